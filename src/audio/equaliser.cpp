#include "audio/equaliser.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace bw {

// Blocks of 16-bit samples are read and written as host integers.
static_assert(std::endian::native == std::endian::little);

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

struct ChannelState {
  Lanes w1[2];
  Lanes w2[2];
};

// Four samples at once: the band outputs, their sums in double and in int, the samples.
using QuadFloats = float __attribute__((vector_size(16)));
using Quad = double __attribute__((vector_size(32)));
using QuadInts = int32_t __attribute__((vector_size(16)));
using QuadShorts = int16_t __attribute__((vector_size(8)));

// The band outputs of four successive samples, band by band, so that adding a band to four
// samples takes one load.
struct FourSamples {
  QuadFloats band[kEqualiserBands];
};

// Samples filtered per pass before their band outputs are added to the block.
constexpr uint32_t kChunkSamples = 256;
// Groups of four samples whose sums are worked out side by side. Each group's sum is one chain
// of dependent steps, band after band; several chains keep the processor busy while each step
// waits for the one before.
constexpr uint32_t kGroupsAtOnce = 8;

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

[[gnu::always_inline]] inline Lanes RunBands(const SectionLanes (&sections)[2], ChannelState& s,
                                             float x) {
  const Lanes first = RunSection(sections[0], s.w1[0], s.w2[0], Lanes{x, x, x, x, x, x, x, x});
  return RunSection(sections[1], s.w1[1], s.w2[1], first);
}

// Rows of sample-by-band (rows[k]: sample k) into FourSamples: pairs of samples interleaved,
// then pairs of pairs, which leaves bands b and b + 4 in one vector.
[[gnu::always_inline]] inline void Transpose(const Lanes (&rows)[4], FourSamples& out) {
  const Lanes t0 = __builtin_shufflevector(rows[0], rows[1], 0, 8, 1, 9, 4, 12, 5, 13);
  const Lanes t1 = __builtin_shufflevector(rows[0], rows[1], 2, 10, 3, 11, 6, 14, 7, 15);
  const Lanes t2 = __builtin_shufflevector(rows[2], rows[3], 0, 8, 1, 9, 4, 12, 5, 13);
  const Lanes t3 = __builtin_shufflevector(rows[2], rows[3], 2, 10, 3, 11, 6, 14, 7, 15);
  const Lanes pairs[4] = {__builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13),
                          __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15),
                          __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13),
                          __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15)};
  for (int b = 0; b < 4; ++b) {
    out.band[b] = __builtin_shufflevector(pairs[b], pairs[b], 0, 1, 2, 3);
    out.band[b + 4] = __builtin_shufflevector(pairs[b], pairs[b], 4, 5, 6, 7);
  }
}

// Every band's output for `samples` interleaved samples of `kChannels` channels, four samples
// to a group (the last one padded with zeros).
template <int kChannels>
[[gnu::always_inline]] inline void FilterChunk(const uint8_t* in, uint32_t samples,
                                               ChannelState (&state)[kEqualiserChannels],
                                               FourSamples* y) {
  static const SectionLanes sections[2] = {SectionOfAllBands(0), SectionOfAllBands(1)};
  // The delays in locals, so that they stay in registers rather than being stored each time.
  ChannelState s[kChannels];
  std::copy_n(state, kChannels, s);
  // Four samples, or the `count` left at the end; a whole group keeps its channels known.
  const auto group = [&](uint32_t i, uint32_t count) {
    Lanes rows[4] = {};
    for (uint32_t k = 0; k < count; ++k)
      rows[k] = RunBands(sections, s[k % kChannels], LoadSample(in + 2 * (i + k)));
    Transpose(rows, y[i / 4]);
  };
  const uint32_t whole = samples / 4 * 4;
  for (uint32_t i = 0; i < whole; i += 4)
    group(i, 4);
  if (whole < samples) group(whole, samples - whole);
  std::copy_n(s, kChannels, state);
}

// The gains of the bands whose outputs are added; 0 for the others.
std::array<double, kEqualiserBands> AddedGains(const EqualiserBands& bands) {
  std::array<double, kEqualiserBands> gains{};
  for (int band = 0; band < kEqualiserBands; ++band)
    gains[band] = bands.run[band] ? bands.gain[band] : 0.0f;
  return gains;
}

// One band's output added to a sum, truncated toward zero and held to the 16-bit range. The
// product and the sum are those of double arithmetic; truncating before holding gives the same
// result, since band outputs of 16-bit input stay far inside the int range.
inline int32_t AddBand(int32_t sum, float y, double gain) {
  const auto v = static_cast<int32_t>(static_cast<double>(y) * gain + sum);
  return std::clamp(v, -32768, 32767);
}

// Element by element: GCC widens these with one instruction each, where it would convert
// whole vectors in halves.
[[gnu::always_inline]] inline Quad Widen(QuadFloats v) {
  return Quad{v[0], v[1], v[2], v[3]};
}
[[gnu::always_inline]] inline Quad Widen(QuadInts v) {
  return Quad{double(v[0]), double(v[1]), double(v[2]), double(v[3])};
}

// The same for four samples at once.
[[gnu::always_inline]] inline QuadInts AddBand(QuadInts sum, QuadFloats y, double gain) {
  const Quad v = Widen(y) * gain + Widen(sum);
  QuadInts t = __builtin_convertvector(v, QuadInts);
  t = t < -32768 ? QuadInts{} - 32768 : t;
  return t > 32767 ? QuadInts{} + 32767 : t;
}

// Adds the bands of kGroupsAtOnce groups to `out`, band after band; with kEveryBand all eight
// have a gain.
template <bool kEveryBand>
[[gnu::always_inline]] inline void AddBandsOfGroups(
    uint8_t* out, const FourSamples* y, const std::array<double, kEqualiserBands>& gain) {
  // Unrolled, so that the sums stay in registers instead of going through memory each step.
  QuadInts sum[kGroupsAtOnce];
#pragma GCC unroll 8
  for (uint32_t g = 0; g < kGroupsAtOnce; ++g) {
    QuadShorts samples;
    std::memcpy(&samples, out + g * sizeof samples, sizeof samples);
    sum[g] = __builtin_convertvector(samples, QuadInts);
  }
  for (int band = 0; band < kEqualiserBands; ++band) {
    if (!kEveryBand && gain[band] == 0.0) continue;
#pragma GCC unroll 8
    for (uint32_t g = 0; g < kGroupsAtOnce; ++g)
      sum[g] = AddBand(sum[g], y[g].band[band], gain[band]);
  }
#pragma GCC unroll 8
  for (uint32_t g = 0; g < kGroupsAtOnce; ++g) {
    const QuadShorts samples = __builtin_convertvector(sum[g], QuadShorts);
    std::memcpy(out + g * sizeof samples, &samples, sizeof samples);
  }
}

// Adds the band outputs `y` of `samples` samples to `out` (gain 0: the band is left out).
template <bool kEveryBand>
[[gnu::always_inline]] inline void AddBands(uint8_t* out, uint32_t samples,
                                            const std::array<double, kEqualiserBands>& gain,
                                            const FourSamples* y) {
  constexpr uint32_t kStep = 4 * kGroupsAtOnce;
  const uint32_t whole = samples / kStep * kStep;
  for (uint32_t i = 0; i < whole; i += kStep)
    AddBandsOfGroups<kEveryBand>(out + 2 * i, &y[i / 4], gain);
  for (uint32_t i = whole; i < samples; ++i) {
    int32_t sum = LoadSample(out + 2 * i);
    for (int band = 0; band < kEqualiserBands; ++band) {
      if (gain[band] != 0.0) sum = AddBand(sum, y[i / 4].band[band][i % 4], gain[band]);
    }
    StoreSample(out + 2 * i, sum);
  }
}

// The block chunk by chunk: filtered, then the chunk's band outputs added.
template <int kChannels>
[[gnu::always_inline]] inline void FilterBlock(uint8_t* out, const uint8_t* in,
                                               const EqualiserBands& bands, uint32_t frames,
                                               ChannelState (&state)[kEqualiserChannels]) {
  const std::array<double, kEqualiserBands> gain = AddedGains(bands);
  const bool every_band = std::ranges::none_of(gain, [](double g) { return g == 0.0; });
  FourSamples y[kChunkSamples / 4];
  const uint32_t samples = frames * kChannels;
  for (uint32_t done = 0; done < samples; done += kChunkSamples) {
    const uint32_t n = std::min(kChunkSamples, samples - done);
    FilterChunk<kChannels>(in + 2 * done, n, state, y);
    if (every_band)
      AddBands<true>(out + 2 * done, n, gain, y);
    else
      AddBands<false>(out + 2 * done, n, gain, y);
  }
}

[[gnu::always_inline]] inline void FilterMonoOrStereo(uint8_t* out, const uint8_t* in,
                                                      const EqualiserBands& bands, uint32_t frames,
                                                      uint16_t channels,
                                                      ChannelState (&state)[kEqualiserChannels]) {
  if (channels == 1)
    FilterBlock<1>(out, in, bands, frames, state);
  else
    FilterBlock<2>(out, in, bands, frames, state);
}

void FilterPortable(uint8_t* out, const uint8_t* in, const EqualiserBands& bands, uint32_t frames,
                    uint16_t channels, ChannelState (&state)[kEqualiserChannels]) {
  FilterMonoOrStereo(out, in, bands, frames, channels, state);
}

#if defined(__x86_64__)
// The same code with eight-wide vector instructions. Chosen at the first call rather than by an
// ifunc, which would run before the sanitizers' runtimes are up.
[[gnu::target("avx2")]] void FilterAvx2(uint8_t* out, const uint8_t* in,
                                        const EqualiserBands& bands, uint32_t frames,
                                        uint16_t channels,
                                        ChannelState (&state)[kEqualiserChannels]) {
  FilterMonoOrStereo(out, in, bands, frames, channels, state);
}
#endif

void Filter(EqualiserIsa isa, uint8_t* out, const uint8_t* in, const EqualiserBands& bands,
            uint32_t frames, uint16_t channels, ChannelState (&state)[kEqualiserChannels]) {
#if defined(__x86_64__)
  if (isa == EqualiserIsa::kAvx2) return FilterAvx2(out, in, bands, frames, channels, state);
#endif
  FilterPortable(out, in, bands, frames, channels, state);
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

bool EqualiserIsaAvailable(EqualiserIsa isa) {
  switch (isa) {
    case EqualiserIsa::kPortable:
      return true;
    case EqualiserIsa::kAvx2:
#if defined(__x86_64__)
      return __builtin_cpu_supports("avx2");
#else
      return false;
#endif
  }
  return false;
}

void ApplyEqualiser(std::span<uint8_t> output, std::span<const uint8_t> input,
                    const EqualiserBands& bands, uint32_t frames, uint16_t channels,
                    EqualiserState& state) {
  static const EqualiserIsa widest =
      EqualiserIsaAvailable(EqualiserIsa::kAvx2) ? EqualiserIsa::kAvx2 : EqualiserIsa::kPortable;
  ApplyEqualiser(widest, output, input, bands, frames, channels, state);
}

void ApplyEqualiser(EqualiserIsa isa, std::span<uint8_t> output, std::span<const uint8_t> input,
                    const EqualiserBands& bands, uint32_t frames, uint16_t channels,
                    EqualiserState& state) {
  if (!EqualiserIsaAvailable(isa) || channels < 1 || channels > kEqualiserChannels) return;
  const std::size_t needed = std::size_t{frames} * channels * 2;
  if (output.size() < needed || input.size() < needed) return;
  // No band runs: nothing is added and every state stays as it is.
  if (std::ranges::none_of(bands.run, [](bool run) { return run; })) return;
  ChannelState lanes[kEqualiserChannels];
  LoadState(state, lanes);
  Filter(isa, output.data(), input.data(), bands, frames, channels, lanes);
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
