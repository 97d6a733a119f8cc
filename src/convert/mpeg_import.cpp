#include "convert/mpeg_import.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace bw {
namespace {

constexpr uint16_t kMpegLayer3IdMpeg = 1;
constexpr uint32_t kMpegLayer3FlagPaddingOff = 2;
constexpr uint16_t kFramesPerBlock = 1;
constexpr uint16_t kCodecDelay = 1393;
constexpr uint16_t kMpegLayer3ExtraBytes = 12;

// The leading number of `text` as "%11d" reads it; `fallback` when there is none.
uint32_t LeadingNumber(const std::string& text, uint32_t fallback) {
  int value = 0;
  if (std::sscanf(text.c_str(), "%11d", &value) != 1 || value <= 0) return fallback;
  return static_cast<uint32_t>(value);
}

}  // namespace

ImportStream DescribeImportStream(MpegFrameHeader& header) {
  ImportStream stream;
  stream.jointStereo = header.ChannelModeText().find("Stereo", 1) != std::string::npos;
  stream.frameLength = header.ComputeFrameLength();
  stream.kbit = LeadingNumber(header.BitrateText(), stream.kbit);
  stream.samplesPerSec = LeadingNumber(header.SampleRateText(), stream.samplesPerSec);
  return stream;
}

bool IsImportable(const ImportStream& stream) {
  return stream.samplesPerSec == 44100 || stream.jointStereo;
}

FormatBlock MakeImportFormat(const ImportStream& stream) {
  WAVEFORMATEX base;
  base.wFormatTag = kWaveFormatMpegLayer3;
  base.nChannels = 2;
  base.nSamplesPerSec = stream.samplesPerSec;
  base.nAvgBytesPerSec = static_cast<uint32_t>(uint64_t{stream.kbit} * 1000 / 8);
  base.nBlockAlign = 1;
  base.wBitsPerSample = 0;
  std::array<uint8_t, kMpegLayer3ExtraBytes> extra{};
  StoreLe16(&extra[0], kMpegLayer3IdMpeg);
  StoreLe32(&extra[2], kMpegLayer3FlagPaddingOff);
  StoreLe16(&extra[6], static_cast<uint16_t>(std::max(stream.frameLength + 4, 0)));
  StoreLe16(&extra[8], kFramesPerBlock);
  StoreLe16(&extra[10], kCodecDelay);
  return FormatBlock(base, extra);
}

uint32_t ImportCopyBlockBytes(const FormatBlock& format, uint32_t bufferBytes) {
  return std::clamp<uint32_t>(format.format().nAvgBytesPerSec, 1, bufferBytes);
}

}  // namespace bw
