// MPEG audio inside the codec layer: the frame header facts the decoder needs to find frames in
// a byte stream, the Layer III choices the encoder offers, and the decoder for the MPEG Layer-3
// (and MPEG) WAVE formats.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/acm/codec_transform.h"
#include "platform/wave_format.h"

namespace bw::acm {

struct MpegFrameHeader {
  uint8_t version = 0;     // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5
  uint8_t layer = 0;       // 1 to 3
  uint8_t rate_index = 0;  // 0 to 2
  uint16_t channels = 0;
  uint32_t sample_rate = 0;
  uint32_t kbps = 0;
  uint32_t bytes = 0;    // the whole frame, header included
  uint32_t samples = 0;  // per channel
};

// The header at `p` (4 bytes readable); nothing when the bytes are not a frame header this
// decoder can use (free-format bit rates included).
std::optional<MpegFrameHeader> ParseMpegFrameHeader(const uint8_t* p);
// Frames of one stream share version, layer and sample rate.
bool SameMpegStream(const MpegFrameHeader& a, const MpegFrameHeader& b);

// The sample rates MPEG audio has, ascending.
inline constexpr uint32_t kMpegSampleRates[] = {8000,  11025, 12000, 16000, 22050,
                                                24000, 32000, 44100, 48000};
// The constant bit rates (kbit/s) the Layer III encoder offers at `sample_rate`, ascending;
// empty for a rate MPEG audio does not have.
std::span<const uint16_t> Mp3EncoderBitrates(uint32_t sample_rate);
bool IsMp3EncoderChoice(uint32_t sample_rate, uint32_t channels, uint32_t kbps);
// Samples per channel in one Layer III frame at `sample_rate` (1152 or 576).
uint32_t Mp3FrameSamples(uint32_t sample_rate);

// Decoder for MPEG audio of layers 1 to 3 carried in a WAVE format (tag 0x0055 or 0x0050),
// into PCM `dst` with the channels and rate the format declares.
std::unique_ptr<CodecTransform> MakeMpegAudioDecoder(const FormatBlock& src,
                                                     const WAVEFORMATEX& dst);

}  // namespace bw::acm
