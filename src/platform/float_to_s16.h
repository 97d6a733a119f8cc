// Float samples (-1..1) as 16-bit values, for the codec layer's float decoders and the sound
// layer's capture: scaled by 32768, rounded to the nearest integer, ties to even, and held to
// the 16-bit range. NaN, which a broken stream can decode to, is silence.
//
// Adding and taking away 1.5 * 2^23 rounds any value of the range in the current rounding mode,
// as nearbyint does (values beyond it are held anyway), and with the holding written as the
// processor's own max and min the loops over it run in vector instructions.
#pragma once

#include <algorithm>
#include <cstdint>

namespace bw {

inline int16_t FloatToS16(float v) {
  constexpr float kRound = 12582912.0f;
  float rounded = (v * 32768.0f + kRound) - kRound;
  rounded = std::max(-32768.0f, rounded);
  rounded = std::min(32767.0f, rounded);
  rounded = v == v ? rounded : 0.0f;
  return static_cast<int16_t>(static_cast<int32_t>(rounded));
}

}  // namespace bw
