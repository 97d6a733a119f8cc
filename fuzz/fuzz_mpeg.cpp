// The MPEG header loop over any bytes: ParseNextHeader until it gives up, walking the bits of
// every frame it loads, and the format Import would build from the first header. The reader reads
// files, so each input is written to a scratch file (in /dev/shm where there is one, to keep the
// runs fast).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "convert/mpeg_import.h"
#include "convert/mpeg_reader.h"
#include "fuzz_support.h"

namespace {

using bw::fuzz::Check;

// Takes the whole frame in bit groups of every width, then runs past its end. Only the bits
// taken count: a group of 0 takes none, and counting it would stop a long frame's walk short
// of its last bits.
void WalkFrameBits(bw::MpegFileReader& reader, int32_t frameLength, uint8_t seed) {
  int64_t bits = int64_t{frameLength} * 8 + 64;
  for (int32_t k = seed % 18; bits > 0; k = (k + 7) % 18) {
    const uint32_t value = reader.TakeBits(k);
    Check(k == 0 ? value == 0 : value < (1u << k));
    bits -= k;
  }
  Check(reader.TakeBits(17) == 0);  // past the loaded frame everything reads as zero
}

// Import's wrapper format for the first header: always a usable 30-byte MPEG Layer-3 block,
// and a copy block within the work buffer.
void CheckImportFormat(bw::MpegFrameHeader& header) {
  const bw::ImportStream stream = bw::DescribeImportStream(header);
  const bw::FormatBlock format = bw::MakeImportFormat(stream);
  Check(format.size() == 30 && format.format().nChannels == 2);
  Check(format.format().nAvgBytesPerSec > 0 && format.format().nSamplesPerSec > 0);
  Check(format.WordAt(24) == header.frameLength + 4);
  const uint32_t block = bw::ImportCopyBlockBytes(format, 400000);
  Check(block > 0 && block <= 400000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bw::fuzz::MemoryFile file("fuzz_mpeg");
  file.Write({reinterpret_cast<const char*>(data), size});
  bw::fuzz::SilentSink sink;
  bw::ScopedMessageSink scope(&sink);
  bw::MpegFileReader reader;
  Check(reader.Open(file.path()));
  bw::MpegFrameHeader header;
  bool first = true;
  while (header.ParseNextHeader(reader)) {
    Check(header.version == 1 && header.layer >= 1 && header.layer <= 3);
    Check(header.frameLength > 0 &&
          static_cast<std::size_t>(header.frameLength) <= bw::MpegFileReader::kFrameBufferBytes);
    Check(header.intensityStereoBound <= header.subbandCount);
    Check(!header.BitrateText().empty() && !header.SampleRateText().empty());
    Check(header.FrameOffset(header.frameOffsetCount) == 0);
    if (first) CheckImportFormat(header);
    first = false;
    WalkFrameBits(reader, header.frameLength, size > 0 ? data[size - 1] : 0);
  }
  return 0;
}
