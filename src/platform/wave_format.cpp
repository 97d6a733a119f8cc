#include "platform/wave_format.h"

#include <algorithm>

namespace bw {

WAVEFORMATEX MakePcmFormat(uint32_t samples_per_sec, uint16_t channels, uint16_t bits) {
  WAVEFORMATEX f;
  f.wFormatTag = kWaveFormatPcm;
  f.nChannels = channels;
  f.nSamplesPerSec = samples_per_sec;
  f.wBitsPerSample = bits;
  f.nBlockAlign = static_cast<uint16_t>(channels * (bits / 8));
  f.nAvgBytesPerSec = f.nBlockAlign * samples_per_sec;
  f.cbSize = 0;
  return f;
}

FormatBlock::FormatBlock(const WAVEFORMATEX& base, std::span<const uint8_t> extra) : format_(base) {
  SetExtra(extra);
}

void FormatBlock::SetExtra(std::span<const uint8_t> extra) {
  extra_.assign(extra.begin(), extra.end());
  format_.cbSize = static_cast<uint16_t>(extra_.size());
}

FormatBlock FormatBlock::Parse(std::span<const uint8_t> bytes) {
  if (bytes.size() < kPcmWaveFormatSize) return {};
  WAVEFORMATEX f;
  const uint8_t* p = bytes.data();
  f.wFormatTag = LoadLe16(p);
  f.nChannels = LoadLe16(p + 2);
  f.nSamplesPerSec = LoadLe32(p + 4);
  f.nAvgBytesPerSec = LoadLe32(p + 8);
  f.nBlockAlign = LoadLe16(p + 12);
  f.wBitsPerSample = LoadLe16(p + 14);
  if (bytes.size() < kWaveFormatExSize) return FormatBlock(f);
  const uint16_t extra = LoadLe16(p + 16);
  if (bytes.size() < kWaveFormatExSize + extra) return {};
  return FormatBlock(f, bytes.subspan(kWaveFormatExSize, extra));
}

std::vector<uint8_t> FormatBlock::Serialize() const {
  std::vector<uint8_t> out(size());
  uint8_t* p = out.data();
  StoreLe16(p, format_.wFormatTag);
  StoreLe16(p + 2, format_.nChannels);
  StoreLe32(p + 4, format_.nSamplesPerSec);
  StoreLe32(p + 8, format_.nAvgBytesPerSec);
  StoreLe16(p + 12, format_.nBlockAlign);
  StoreLe16(p + 14, format_.wBitsPerSample);
  StoreLe16(p + 16, static_cast<uint16_t>(extra_.size()));
  std::copy(extra_.begin(), extra_.end(), p + kWaveFormatExSize);
  return out;
}

uint16_t FormatBlock::WordAt(std::size_t offset) const {
  const std::vector<uint8_t> bytes = Serialize();
  if (offset + 2 > bytes.size()) return 0;
  return LoadLe16(bytes.data() + offset);
}

}  // namespace bw
