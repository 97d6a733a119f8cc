// The level a block of 16-bit PCM shows on the meters.
//
// Called by the playback thread once per decoded block; pure, so any thread may call it.
#pragma once

#include <cstdint>
#include <span>

namespace bw {

// The peak of each of the two samples of every pair (left and right, or two successive mono
// samples) on the meters' 0..65535 scale: 0 for silence, 65535 for a full-scale block. The
// first level is in the low 16 bits, the second in the high 16 bits. A trailing odd byte is
// ignored.
uint32_t BlockPeakLevels(std::span<const uint8_t> pcm16);

}  // namespace bw
