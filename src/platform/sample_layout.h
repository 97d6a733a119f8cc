// How a WAVE format's samples lie in its blocks: the tag that really describes the samples (for
// WAVE_FORMAT_EXTENSIBLE the one its subformat GUID carries), and for uncoded formats (integer
// PCM and IEEE float) the container size, the bits that count and the speaker positions. The
// codec layer decodes by it, playback sizes its blocks by it, the File page and brookwave-cli
// info name the format by it.
//
// Pure functions over the format block: any thread.
#pragma once

#include <cstdint>

#include "platform/wave_format.h"

namespace bw {

inline constexpr uint16_t kWaveFormatIeeeFloat = 0x0003;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// wValidBitsPerSample, dwChannelMask and the 16-byte SubFormat GUID after the 18-byte base.
inline constexpr std::size_t kExtensibleExtraBytes = 22;

// Speaker positions of dwChannelMask (the lowest bit is the front left speaker).
inline constexpr uint32_t kSpeakerFrontLeft = 0x1;
inline constexpr uint32_t kSpeakerFrontRight = 0x2;
inline constexpr uint32_t kSpeakerFrontCenter = 0x4;
inline constexpr uint32_t kSpeakerLowFrequency = 0x8;
inline constexpr uint32_t kSpeakerBackLeft = 0x10;
inline constexpr uint32_t kSpeakerBackRight = 0x20;

struct SampleLayout {
  uint16_t tag = 0;  // the tag the samples are coded in; EXTENSIBLE is never left here
  uint16_t channels = 0;
  // Uncoded formats only: bytes per sample, the significant bits at the top of it (the rest
  // are padding), and the speakers the channels feed in order (0: none named).
  uint32_t containerBytes = 0;
  uint32_t validBits = 0;
  uint32_t channelMask = 0;

  // Integer PCM or IEEE float: samples a plain loop can read.
  bool uncoded() const { return tag == kWaveFormatPcm || tag == kWaveFormatIeeeFloat; }
};

// Describes `format`; false when its fields contradict each other (bits against block align,
// channels against block align, valid bits above the container, an EXTENSIBLE block too short
// for its fields) or when it is EXTENSIBLE with a subformat GUID that carries no tag.
bool DescribeSamples(const FormatBlock& format, SampleLayout& layout);

// The format under its plain tag where that says the same: EXTENSIBLE with a coded subformat,
// or with integer or float samples that fill their containers, becomes the base record with the
// subformat's tag and the extra bytes behind the EXTENSIBLE fields. Anything else (padded
// containers among it) comes back as it is.
FormatBlock PlainFormat(const FormatBlock& format);

// True for a consistent integer PCM or IEEE float format, EXTENSIBLE ones included.
bool IsUncodedFormat(const FormatBlock& format);

// The speaker positions the channels feed: the format's mask, or when it names none (or not
// one speaker per channel) the first mask bits in their order, as WAVE readers assume.
uint32_t SpeakerMask(const SampleLayout& layout);

}  // namespace bw
