// The playback equaliser: eight fixed band filters whose outputs, each weighted by its band's
// gain, are added to the decoded sound. What plays is x + sum of g[i] * H[i](x).
//
// Threads: PrimePlayback runs it on the user-interface thread before the buffer starts, the
// playback thread after every block; the state belongs to whichever of them runs the stream,
// never to both at once.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace bw {

inline constexpr int kEqualiserBands = 8;
inline constexpr int kEqualiserChannels = 2;  // state is kept for the first two channels

// One second-order section: w = x - a1 w1 - a2 w2; y = b0 w + b1 w1 + b2 w2 (a0 is 1).
struct BiquadCoefficients {
  float a1, a2, b0, b1, b2;
};

// Each band is two sections in series (the two further sections of the table are pass-through).
struct EqualiserBandCoefficients {
  BiquadCoefficients section[2];
};

extern const std::array<EqualiserBandCoefficients, kEqualiserBands> kEqualiserCoefficients;

// The delay values (w1, w2) of every section, channel and band; they carry over from block to
// block. Kept band by band side by side, so that the eight bands run together.
struct EqualiserState {
  alignas(32) float w1[kEqualiserChannels][2][kEqualiserBands]{};
  alignas(32) float w2[kEqualiserChannels][2][kEqualiserBands]{};
};

// The bands that run over a block, and their gains. A band that does not run keeps its state.
struct EqualiserBands {
  std::array<bool, kEqualiserBands> run{};
  std::array<float, kEqualiserBands> gain{};
};

void ClearEqualiserState(EqualiserState& state);

// The gain of a band from its slider value (-128..128): up on the slider raises the band.
float EqualiserGain(int32_t bandValue);

// Filters `frames` x `channels` interleaved 16-bit little-endian samples of `input` through
// band `band` and adds gain x the result to the samples of `output` at the same places. Each sum
// is truncated toward zero and held to -32768..32767 (loud material clips instead of wrapping
// around). Only mono and stereo blocks are filtered. Both spans hold at least
// frames x channels samples and do not overlap.
void ApplyEqualiserBand(std::span<uint8_t> output, std::span<const uint8_t> input, int band,
                        uint32_t frames, uint16_t channels, float gain, EqualiserState& state);

// The running bands of `bands`, one after another in band order: the same result as
// ApplyEqualiserBand for each of them, in one pass over the block.
void ApplyEqualiser(std::span<uint8_t> output, std::span<const uint8_t> input,
                    const EqualiserBands& bands, uint32_t frames, uint16_t channels,
                    EqualiserState& state);

// The vector instructions the filter has code for. ApplyEqualiser above runs the widest the
// processor has; every one gives the same result, bit for bit.
enum class EqualiserIsa { kPortable, kAvx2 };
// Whether this build and this processor can run the code for `isa`.
bool EqualiserIsaAvailable(EqualiserIsa isa);
// ApplyEqualiser with the code for `isa`; does nothing when it is not available.
void ApplyEqualiser(EqualiserIsa isa, std::span<uint8_t> output, std::span<const uint8_t> input,
                    const EqualiserBands& bands, uint32_t frames, uint16_t channels,
                    EqualiserState& state);

}  // namespace bw
