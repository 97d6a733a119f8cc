// The codec layer's format registry: which format tags and formats a format chooser offers,
// the names and attribute texts it shows for them, and the FORMAT arguments of brookwave-cli,
// which name the same choices. Every format block handed out here is exactly what the encoders
// write into a WAVE file's "fmt " chunk, extra bytes included.
//
// Pure functions over constant tables: any thread may call them at any time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wave_format.h"

namespace bw {

struct AcmFormatTagDetails {
  uint16_t dwFormatTag = 0;
  std::string szFormatTag;    // "PCM", "Microsoft ADPCM", "MPEG Layer-3", ...
  uint32_t cbFormatSize = 0;  // the largest format block of this tag
  uint32_t cStandardFormats = 0;
};

struct AcmFormatDetails {
  FormatBlock format;
  std::string szFormatTag;  // the tag's name
  std::string szFormat;     // "44.100 kHz, 16 Bit, Stereo", "128 kBit/s, 44.100 kHz, Stereo"
};

// Restricts an enumeration to formats with this channel count and/or sample rate. A codec
// that works at any rate offers the requested rate even where it is not one of its usual ones.
// A count above two lists the formats at that count (where a codec takes it) and the stereo
// formats of every codec, which a stream from such a source mixes down to.
struct AcmFormatFilter {
  std::optional<uint16_t> channels;
  std::optional<uint32_t> samples_per_sec;
};

// The tags a format chooser offers (those the codecs here can write), ascending by tag.
std::vector<AcmFormatTagDetails> EnumFormatTags();
// The formats of `tag` that pass `filter`, in the order a chooser lists them; empty for a tag
// with no encoder here.
std::vector<AcmFormatDetails> EnumFormats(uint16_t tag, const AcmFormatFilter& filter = {});
// Every tag's formats that pass `filter`, tag by tag.
std::vector<AcmFormatDetails> EnumAllFormats(const AcmFormatFilter& filter = {});

// The name of `tag` as a chooser shows it ("PCM", "GSM 6.10", also the decode-only
// "DSP Group TrueSpeech", "MSN Audio"); empty for a tag this layer does not know.
std::string_view FormatTagName(uint16_t tag);
// Name and attribute text for any format block, for showing a file's format. A tag without a
// name is shown as "Format 0x%04X".
AcmFormatDetails DescribeFormat(const FormatBlock& format);

// The largest format block among all formats of all codecs here (base and extra bytes).
uint32_t LargestFormatSize();

// Parses a FORMAT argument of brookwave-cli:
//   pcm:RATE:CHANNELS:BITS  float:RATE:CHANNELS  alaw:RATE:CHANNELS  mulaw:RATE:CHANNELS  msadpcm:RATE:CHANNELS
//   imaadpcm:RATE:CHANNELS  gsm610:RATE:CHANNELS  mp3:RATE:CHANNELS:KBPS
// On success returns the format block the chooser gives for that choice; otherwise an empty
// block, with a message for the user in `error`.
FormatBlock ParseFormatArgument(std::string_view text, std::string& error);

}  // namespace bw
