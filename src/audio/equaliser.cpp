#include "audio/equaliser.h"

#include <algorithm>
#include <cstring>

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

// One value per band: the eight bands run side by side in one vector.
using Lanes = float __attribute__((vector_size(4 * kEqualiserBands)));

struct SectionLanes {
  Lanes a1, a2, b0, b1, b2;
};

SectionLanes SectionOfAllBands(int section) {
  SectionLanes lanes{};
  for (int band = 0; band < kEqualiserBands; ++band) {
    const BiquadCoefficients& c = kEqualiserCoefficients[band].section[section];
    lanes.a1[band] = c.a1;
    lanes.a2[band] = c.a2;
    lanes.b0[band] = c.b0;
    lanes.b1[band] = c.b1;
    lanes.b2[band] = c.b2;
  }
  return lanes;
}

// Frames filtered per pass before their band outputs are added to the block.
constexpr uint32_t kChunkFrames = 128;
constexpr uint32_t kChunkSamples = kChunkFrames * kEqualiserChannels;

struct ChannelState {
  Lanes w1[2];
  Lanes w2[2];
};

inline int16_t LoadSample(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | (p[1] << 8));
}

inline void StoreSample(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

// Single precision throughout, every value rounded when stored (this file is built without
// floating-point contraction, so the results do not depend on the machine's FMA).
[[gnu::always_inline]] inline Lanes RunSection(const SectionLanes& c, Lanes& w1, Lanes& w2,
                                               Lanes x) {
  const Lanes w = x - c.a1 * w1 - c.a2 * w2;
  const Lanes y = c.b0 * w + c.b1 * w1 + c.b2 * w2;
  w2 = w1;
  w1 = w;
  return y;
}

// Every band's output for `frames` frames of `kChannels` channels into y[band][sample].
template <int kChannels>
[[gnu::always_inline]] inline void FilterChunk(const uint8_t* in, uint32_t frames,
                                               const SectionLanes (&sections)[2],
                                               ChannelState (&state)[kEqualiserChannels],
                                               float (&y)[kEqualiserBands][kChunkSamples]) {
  for (uint32_t f = 0; f < frames; ++f) {
    for (int ch = 0; ch < kChannels; ++ch) {
      const uint32_t i = f * kChannels + ch;
      const float x = LoadSample(in + 2 * i);
      ChannelState& s = state[ch];
      const Lanes first = RunSection(sections[0], s.w1[0], s.w2[0], Lanes{} + x);
      const Lanes band_out = RunSection(sections[1], s.w1[1], s.w2[1], first);
      for (int band = 0; band < kEqualiserBands; ++band)
        y[band][i] = band_out[band];
    }
  }
}

// Adds the running bands' outputs, band after band, each sum truncated toward zero and held
// to the 16-bit range (holding before truncating gives the same result and keeps every value
// within an int).
[[gnu::always_inline]] inline void AddBands(uint8_t* out, uint32_t samples,
                                            const EqualiserBands& bands,
                                            const float (&y)[kEqualiserBands][kChunkSamples]) {
  int32_t sum[kChunkSamples];
  for (uint32_t i = 0; i < samples; ++i)
    sum[i] = LoadSample(out + 2 * i);
  for (int band = 0; band < kEqualiserBands; ++band) {
    if (!bands.run[band] || bands.gain[band] == 0.0f) continue;
    const double gain = bands.gain[band];
    for (uint32_t i = 0; i < samples; ++i) {
      double v = static_cast<double>(y[band][i]) * gain + sum[i];
      v = v < -32768.0 ? -32768.0 : v;
      v = v > 32767.0 ? 32767.0 : v;
      sum[i] = static_cast<int32_t>(v);
    }
  }
  for (uint32_t i = 0; i < samples; ++i)
    StoreSample(out + 2 * i, sum[i]);
}

template <int kChannels>
[[gnu::always_inline]] inline void FilterBlock(uint8_t* out, const uint8_t* in,
                                               const EqualiserBands& bands, uint32_t frames,
                                               ChannelState (&state)[kEqualiserChannels]) {
  static const SectionLanes sections[2] = {SectionOfAllBands(0), SectionOfAllBands(1)};
  float y[kEqualiserBands][kChunkSamples];
  for (uint32_t done = 0; done < frames; done += kChunkFrames) {
    const uint32_t n = std::min(kChunkFrames, frames - done);
    const std::size_t at = std::size_t{done} * kChannels * 2;
    FilterChunk<kChannels>(in + at, n, sections, state, y);
    AddBands(out + at, n * kChannels, bands, y);
  }
}

void FilterMonoOrStereoAnyWidth(uint8_t* out, const uint8_t* in, const EqualiserBands& bands,
                                uint32_t frames, uint16_t channels,
                                ChannelState (&state)[kEqualiserChannels]) {
  if (channels == 1)
    FilterBlock<1>(out, in, bands, frames, state);
  else
    FilterBlock<2>(out, in, bands, frames, state);
}

#if defined(__x86_64__)
// The same code with eight-wide vector instructions. Chosen at the first call rather than by an
// ifunc, which would run before the sanitizers' runtimes are up.
[[gnu::target("avx2")]] void FilterMonoOrStereoAvx2(uint8_t* out, const uint8_t* in,
                                                    const EqualiserBands& bands, uint32_t frames,
                                                    uint16_t channels,
                                                    ChannelState (&state)[kEqualiserChannels]) {
  if (channels == 1)
    FilterBlock<1>(out, in, bands, frames, state);
  else
    FilterBlock<2>(out, in, bands, frames, state);
}
#endif

void FilterMonoOrStereo(uint8_t* out, const uint8_t* in, const EqualiserBands& bands,
                        uint32_t frames, uint16_t channels,
                        ChannelState (&state)[kEqualiserChannels]) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return FilterMonoOrStereoAvx2(out, in, bands, frames, channels, state);
#endif
  FilterMonoOrStereoAnyWidth(out, in, bands, frames, channels, state);
}

void LoadState(const EqualiserState& from, ChannelState (&to)[kEqualiserChannels]) {
  std::memcpy(to[0].w1, from.w1[0], sizeof to[0].w1);
  std::memcpy(to[0].w2, from.w2[0], sizeof to[0].w2);
  std::memcpy(to[1].w1, from.w1[1], sizeof to[1].w1);
  std::memcpy(to[1].w2, from.w2[1], sizeof to[1].w2);
}

// Only the bands that ran move on.
void KeepState(const ChannelState (&from)[kEqualiserChannels], const EqualiserBands& bands,
               EqualiserState& to) {
  for (int ch = 0; ch < kEqualiserChannels; ++ch) {
    for (int section = 0; section < 2; ++section) {
      for (int band = 0; band < kEqualiserBands; ++band) {
        if (!bands.run[band]) continue;
        to.w1[ch][section][band] = from[ch].w1[section][band];
        to.w2[ch][section][band] = from[ch].w2[section][band];
      }
    }
  }
}

}  // namespace

void ClearEqualiserState(EqualiserState& state) {
  state = EqualiserState{};
}

float EqualiserGain(int32_t bandValue) {
  return -static_cast<float>(bandValue) / 256.0f;
}

void ApplyEqualiser(std::span<uint8_t> output, std::span<const uint8_t> input,
                    const EqualiserBands& bands, uint32_t frames, uint16_t channels,
                    EqualiserState& state) {
  if (channels < 1 || channels > kEqualiserChannels) return;
  const std::size_t needed = std::size_t{frames} * channels * 2;
  if (output.size() < needed || input.size() < needed) return;
  ChannelState lanes[kEqualiserChannels];
  LoadState(state, lanes);
  FilterMonoOrStereo(output.data(), input.data(), bands, frames, channels, lanes);
  KeepState(lanes, bands, state);
}

void ApplyEqualiserBand(std::span<uint8_t> output, std::span<const uint8_t> input, int band,
                        uint32_t frames, uint16_t channels, float gain, EqualiserState& state) {
  if (band < 0 || band >= kEqualiserBands) return;
  EqualiserBands one;
  one.run[band] = true;
  one.gain[band] = gain;
  ApplyEqualiser(output, input, one, frames, channels, state);
}

}  // namespace bw
