// The WAVE reader: any bytes either open, find their data and read to its end, or are refused;
// nothing is read past the data chunk or the file, and a refusal leaves nothing open.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/wave_file.h"

namespace {

// The input as a file with a path, kept in memory so that each run costs no disk access.
struct MemoryInput {
  int fd = -1;
  std::string path;
};

const MemoryInput& Input() {
  static const MemoryInput input = [] {
    const int fd = memfd_create("fuzz_wave", MFD_CLOEXEC);
    if (fd < 0) std::abort();
    return MemoryInput{fd, "/proc/self/fd/" + std::to_string(fd)};
  }();
  return input;
}

void StoreInput(const uint8_t* data, size_t size) {
  if (ftruncate(Input().fd, 0) != 0 ||
      pwrite(Input().fd, data, size, 0) != static_cast<ssize_t>(size)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StoreInput(data, size);
  bw::RiffFile file;
  bw::FormatBlock format;
  bw::MMCKINFO riffChunk;
  if (bw::OpenWaveSource(Input().path, file, format, riffChunk) != 0) {
    if (file.is_open() || !format.empty()) std::abort();
    return 0;
  }
  bw::MMCKINFO dataChunk;
  if (bw::SeekWaveData(file, dataChunk, riffChunk) == 0) {
    const uint32_t declared = dataChunk.cksize;
    // Block sizes vary with the input, so that reads end at every kind of buffer boundary.
    std::vector<uint8_t> block(1 + (size > 0 ? data[size - 1] * 37u : 0u));
    uint64_t total = 0;
    int rc = 0;
    for (;;) {
      uint32_t got = 0;
      rc = bw::ReadWaveData(file, block, dataChunk, got);
      if (got > block.size()) std::abort();
      total += got;
      if (got == 0 || rc != 0) break;
    }
    if (total > declared || total > size || (rc == 0 && total != declared)) std::abort();
  }
  bw::CloseWaveSource(file, format);
  if (file.is_open()) std::abort();
  return 0;
}
