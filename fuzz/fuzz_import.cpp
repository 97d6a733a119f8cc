// Import's decoder on outside bytes: whatever a file holds, it is refused with a message, taken
// for MPEG Layer III only when its container says so, or decoded into whole 16-bit sample frames
// that stay within the block given; the reading never passes the end of the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "convert/audio_import.h"
#include "fuzz_support.h"

namespace {

using bw::fuzz::Check;

// An odd size, so that whole frames never fill it exactly, and a guard behind it.
constexpr std::size_t kBlock = 4099;
constexpr std::size_t kGuard = 16;
// A small input may declare hours of sound; this much of it shows how the decoder behaves.
constexpr std::size_t kMostOutput = 4 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bw::fuzz::MemoryFile file("fuzz_import");
  file.Write({reinterpret_cast<const char*>(data), size});
  bw::AudioImportDecoder decoder;
  std::string failure;
  if (!decoder.Open(file.path(), failure)) {
    Check(failure.find(file.path()) != std::string::npos);
    return 0;
  }
  Check(decoder.fileBytes() == size);
  if (decoder.route() == bw::ImportRoute::kWrapMpegLayer3) return 0;
  const bw::WAVEFORMATEX& f = decoder.format().format();
  Check(f.wFormatTag == bw::kWaveFormatPcm && f.wBitsPerSample == 16);
  Check(f.nChannels == 1 || f.nChannels == 2);
  Check(f.nBlockAlign == f.nChannels * 2 && f.nSamplesPerSec > 0);

  // The guard is filled once: the first write into it fails the run.
  std::vector<uint8_t> block(kBlock + kGuard, 0x5A);
  for (std::size_t total = 0; total < kMostOutput;) {
    std::size_t got = 0;
    if (!decoder.Decode(std::span(block).first(kBlock), got, failure)) {
      Check(!failure.empty());
      break;
    }
    Check(got <= kBlock && got % f.nBlockAlign == 0);
    Check(std::all_of(block.begin() + kBlock, block.end(), [](uint8_t b) { return b == 0x5A; }));
    Check(decoder.bytesRead() <= decoder.fileBytes());
    if (got == 0) break;
    total += got;
  }
  return 0;
}
