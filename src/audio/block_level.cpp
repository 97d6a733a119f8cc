#include "audio/block_level.h"

#include <algorithm>
#include <cstdlib>

namespace bw {
namespace {

constexpr int32_t kFullScale = 32767;
constexpr int32_t kMeterTop = 0xFFFF;

int32_t MeterValue(int32_t peak) {
  // -32768 is a hair past full scale; it still reads as the top of the meter.
  return std::min(kMeterTop, static_cast<int32_t>(int64_t{peak} * kMeterTop / kFullScale));
}

}  // namespace

uint32_t BlockPeakLevels(std::span<const uint8_t> pcm16) {
  int32_t peaks[2] = {0, 0};
  const std::size_t samples = pcm16.size() / 2;
  for (std::size_t i = 0; i < samples; ++i) {
    const auto v = static_cast<int16_t>(pcm16[2 * i] | (pcm16[2 * i + 1] << 8));
    int32_t& peak = peaks[i % 2];
    peak = std::max(peak, std::abs(int32_t{v}));
  }
  return static_cast<uint32_t>(MeterValue(peaks[0])) | static_cast<uint32_t>(MeterValue(peaks[1]))
                                                           << 16;
}

}  // namespace bw
