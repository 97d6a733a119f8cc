// Helpers for the codec layer's tests: running whole signals through a stream, and comparing
// decoded sound with its source when a codec delays it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/acm/acm.h"
#include "platform/wave_format.h"

namespace bw::test {

FormatBlock Pcm16Block(uint32_t rate, uint16_t channels);

// A sweep over `frames` frames from 100 Hz up to an eighth of the rate (the second channel
// sweeps down), so that any delay or channel swap shows: unlike a steady tone it matches
// itself at one alignment only.
std::vector<int16_t> Sweep(uint32_t rate, uint16_t channels, uint32_t frames,
                           double amplitude = 0.5);

// Converts all of `input` from `src` to `dst` the way a streaming caller does: `chunk` bytes at
// a time with BLOCKALIGN (what a call leaves unused is offered again), each destination sized
// by acmStreamSize, then an END call for the rest. Any failing call fails the test.
std::vector<uint8_t> ConvertAll(const FormatBlock& src, const FormatBlock& dst,
                                std::span<const uint8_t> input, std::size_t chunk = 65536);

// The signal-to-noise ratio of `actual` against `expected` (interleaved, `channels` channels)
// after finding the delay, up to `max_frames` frames, by which `actual` lags.
double DelayedSnrDb(std::span<const int16_t> expected, std::span<const int16_t> actual,
                    uint16_t channels, std::size_t max_frames);

}  // namespace bw::test
