#include "audio/equaliser.h"

#include <algorithm>
#include <cmath>

namespace bw {

// Band 0 passes everything (it scales the whole signal); bands 1 to 6 are band-passes and band 7
// passes the top of the spectrum. The frequencies scale with the source's sample rate.
const std::array<EqualiserBandCoefficients, kEqualiserBands> kEqualiserCoefficients{{
    {{{0.0f, 0.0f, 1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f}}},
    {{{-1.9889216f, 0.9894057f, 0.011922652f, -0.023370378f, 0.011922652f},
      {-1.9954448f, 0.9955306f, 0.50000024f, -1.0f, 0.50000024f}}},
    {{{-1.9833597f, 0.98458844f, 0.27509615f, -0.54874986f, 0.27509615f},
      {-1.9934474f, 0.9936547f, 0.5000123f, -1.0f, 0.5000123f}}},
    {{{-1.9537655f, 0.96149355f, 0.28791058f, -0.5666349f, 0.28791058f},
      {-1.9829024f, 0.98418844f, 0.5000796f, -1.0f, 0.5000796f}}},
    {{{-1.8564509f, 0.9046819f, 0.28253594f, -0.5080975f, 0.28253594f},
      {-1.952184f, 0.9602482f, 0.5004981f, -1.0f, 0.5004981f}}},
    {{{-1.5089254f, 0.7848289f, 0.28977254f, -0.26968205f, 0.28977254f},
      {-1.8514612f, 0.9018452f, 0.50309134f, -1.0f, 0.50309134f}}},
    {{{-0.24544162f, 0.6010178f, 0.47595507f, 0.51095456f, 0.47595507f},
      {-1.4769278f, 0.7590438f, 0.51967245f, -1.0f, 0.51967245f}}},
    {{{1.993535f, 0.99357945f, 0.21679749f, -0.43359405f, 0.21679749f},
      {0.8864177f, 0.44792446f, 1.0f, 1.0f, -0.87937826f}}},
}};

namespace {

// Single precision throughout, every value rounded when stored (this file is built without
// floating-point contraction, so the results do not depend on the machine's FMA).
inline float RunSection(const BiquadCoefficients& c, BiquadState& s, float x) {
  const float w = x - c.a1 * s.w1 - c.a2 * s.w2;
  const float y = c.b0 * w + c.b1 * s.w1 + c.b2 * s.w2;
  s.w2 = s.w1;
  s.w1 = w;
  return y;
}

inline int16_t LoadSample(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | (p[1] << 8));
}

inline void StoreSample(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// out + gain x y, formed in double precision, truncated toward zero and clipped.
inline int32_t Accumulate(float y, float gain, int16_t out) {
  const double sum = static_cast<double>(y) * static_cast<double>(gain) + out;
  return static_cast<int32_t>(std::clamp(std::trunc(sum), -32768.0, 32767.0));
}

// Runs the band over `kChannels` (1 or 2) channels at a time, so that the two channels' filter
// chains overlap in the processor instead of waiting on each other.
template <int kChannels>
void FilterBand(uint8_t* out, const uint8_t* in, const EqualiserBandCoefficients& c,
                uint32_t frames, uint16_t stride, float gain, BiquadState (*delay)[2]) {
  BiquadState s[kChannels][2];
  for (int ch = 0; ch < kChannels; ++ch) {
    s[ch][0] = delay[ch][0];
    s[ch][1] = delay[ch][1];
  }
  const std::size_t frame_bytes = std::size_t{stride} * 2;
  for (uint32_t f = 0; f < frames; ++f) {
    const std::size_t at = f * frame_bytes;
    for (int ch = 0; ch < kChannels; ++ch) {
      const float x = LoadSample(in + at + 2 * ch);
      const float y = RunSection(c.section[1], s[ch][1], RunSection(c.section[0], s[ch][0], x));
      uint8_t* o = out + at + 2 * ch;
      StoreSample(o, Accumulate(y, gain, LoadSample(o)));
    }
  }
  for (int ch = 0; ch < kChannels; ++ch) {
    delay[ch][0] = s[ch][0];
    delay[ch][1] = s[ch][1];
  }
}

}  // namespace

void ClearEqualiserState(EqualiserState& state) {
  state = EqualiserState{};
}

float EqualiserGain(int32_t bandValue) {
  return -static_cast<float>(bandValue) / 256.0f;
}

void ApplyEqualiserBand(std::span<uint8_t> output, std::span<const uint8_t> input, int band,
                        uint32_t frames, uint16_t channels, float gain, EqualiserState& state) {
  if (band < 0 || band >= kEqualiserBands || channels == 0) return;
  const std::size_t needed = std::size_t{frames} * channels * 2;
  if (output.size() < needed || input.size() < needed) return;
  const EqualiserBandCoefficients& c = kEqualiserCoefficients[band];
  if (channels == 1)
    FilterBand<1>(output.data(), input.data(), c, frames, channels, gain, state.delay[band]);
  else
    FilterBand<2>(output.data(), input.data(), c, frames, channels, gain, state.delay[band]);
}

}  // namespace bw
