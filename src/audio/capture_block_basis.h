// How much sound one capture block holds for a record target's format: the bytes per channel
// of 16-bit PCM that the capture takes out of its buffer at each notification. The table also
// decides which formats a recording or a conversion may write at all: a format it has no entry
// for gives 0 and is refused with "UnSupported Format".
//
// A pure function of the format block; any thread.
#pragma once

#include <cstdint>

#include "platform/wave_format.h"

namespace bw {

// The coded formats' blocks, in capture and in playback, grow with the rate in whole steps of
// 11,025 Hz.
uint64_t ScaledByRate(uint64_t base, uint32_t rate);

// 0 for a format tag outside the table (and for a layout whose entry works out at 0).
uint32_t CaptureBlockBasis(const FormatBlock& target);

}  // namespace bw
