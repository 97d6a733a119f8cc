#include "audio/block_level.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace bw {

// Blocks of 16-bit samples are read as host integers.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr int32_t kFullScale = 32767;
constexpr int32_t kMeterTop = 0xFFFF;

int32_t MeterValue(int32_t peak) {
  // -32768 is a hair past full scale; it still reads as the top of the meter.
  return std::min(kMeterTop, static_cast<int32_t>(int64_t{peak} * kMeterTop / kFullScale));
}

int32_t Magnitude(const uint8_t* sample) {
  int16_t v;
  std::memcpy(&v, sample, sizeof v);
  return std::abs(int32_t{v});
}

}  // namespace

// Frame by frame with one peak per channel, so that the loop runs in vector instructions.
uint32_t BlockPeakLevels(std::span<const uint8_t> pcm16) {
  const std::size_t samples = pcm16.size() / 2;
  const uint8_t* p = pcm16.data();
  int32_t left = 0, right = 0;
  for (std::size_t i = 0; i + 1 < samples; i += 2) {
    left = std::max(left, Magnitude(p + 2 * i));
    right = std::max(right, Magnitude(p + 2 * i + 2));
  }
  if (samples % 2 == 1) left = std::max(left, Magnitude(p + 2 * (samples - 1)));
  return static_cast<uint32_t>(MeterValue(left)) | static_cast<uint32_t>(MeterValue(right)) << 16;
}

}  // namespace bw
