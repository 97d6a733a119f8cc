#include "platform/acm/acm_formats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <span>

#include "platform/acm/mpeg_audio.h"
#include "platform/sample_layout.h"

namespace bw {

namespace {

// Rates the codecs that work at any rate list when no rate is asked for.
constexpr uint32_t kUsualRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
constexpr uint32_t kGsmRates[] = {8000, 11025, 22050, 44100};
// The range of rates those codecs accept when a caller asks for a particular one.
constexpr uint32_t kLowestRate = 1000;
constexpr uint32_t kHighestRate = 192000;

constexpr uint16_t kChosenTags[] = {kWaveFormatPcm,    kWaveFormatMsAdpcm,   kWaveFormatIeeeFloat,
                                    kWaveFormatALaw,   kWaveFormatMuLaw,     kWaveFormatImaAdpcm,
                                    kWaveFormatGsm610, kWaveFormatMpegLayer3};
// The seven coefficient pairs every Microsoft ADPCM format carries.
constexpr int16_t kMsAdpcmCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0},     {192, 64},
                                                {240, 0}, {460, -208}, {392, -232}};

// MPEGLAYER3WAVEFORMAT fields: the stream is plain MPEG, its frames padded as the standard
// says, one frame per block.
constexpr uint16_t kMpegLayer3IdMpeg = 1;
constexpr uint32_t kMpegLayer3FlagPaddingIso = 0;
constexpr uint16_t kMpegLayer3CodecDelay = 1393;

WAVEFORMATEX Base(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg, uint16_t align,
                  uint16_t bits) {
  return WAVEFORMATEX{tag, channels, rate, avg, align, bits, 0};
}

// ADPCM blocks grow with the rate so that a block stays a few hundredths of a second long;
// the sizes are powers of two, which the encoders need.
uint16_t AdpcmBlockAlign(uint32_t rate, uint16_t channels) {
  const uint16_t per_channel = rate <= 11025 ? 256 : rate <= 22050 ? 512 : 1024;
  return static_cast<uint16_t>(per_channel * channels);
}

FormatBlock MakeFloat(uint32_t rate, uint16_t channels) {
  const auto align = static_cast<uint16_t>(4 * channels);
  return FormatBlock(Base(kWaveFormatIeeeFloat, channels, rate, rate * align, align, 32));
}

FormatBlock MakeG711(uint16_t tag, uint32_t rate, uint16_t channels) {
  return FormatBlock(Base(tag, channels, rate, rate * channels, channels, 8));
}

FormatBlock MakeMsAdpcm(uint32_t rate, uint16_t channels) {
  const uint16_t align = AdpcmBlockAlign(rate, channels);
  const uint16_t samples = static_cast<uint16_t>((align - 7 * channels) * 2 / channels + 2);
  std::array<uint8_t, 32> extra{};
  StoreLe16(&extra[0], samples);
  StoreLe16(&extra[2], 7);
  for (int i = 0; i < 7; ++i) {
    StoreLe16(&extra[4 + 4 * i], static_cast<uint16_t>(kMsAdpcmCoefficients[i][0]));
    StoreLe16(&extra[6 + 4 * i], static_cast<uint16_t>(kMsAdpcmCoefficients[i][1]));
  }
  return FormatBlock(Base(kWaveFormatMsAdpcm, channels, rate, rate * align / samples, align, 4),
                     extra);
}

FormatBlock MakeImaAdpcm(uint32_t rate, uint16_t channels) {
  const uint16_t align = AdpcmBlockAlign(rate, channels);
  const uint16_t samples = static_cast<uint16_t>((align - 4 * channels) * 8 / (4 * channels) + 1);
  std::array<uint8_t, 2> extra{};
  StoreLe16(extra.data(), samples);
  return FormatBlock(Base(kWaveFormatImaAdpcm, channels, rate, rate * align / samples, align, 4),
                     extra);
}

// 320 samples in 65 bytes: two GSM frames packed as in WAVE files.
FormatBlock MakeGsm610(uint32_t rate) {
  std::array<uint8_t, 2> extra{};
  StoreLe16(extra.data(), 320);
  return FormatBlock(Base(kWaveFormatGsm610, 1, rate, rate * 65 / 320, 65, 0), extra);
}

FormatBlock MakeMp3(uint32_t rate, uint16_t channels, uint32_t kbps) {
  std::array<uint8_t, 12> extra{};
  StoreLe16(&extra[0], kMpegLayer3IdMpeg);
  StoreLe32(&extra[2], kMpegLayer3FlagPaddingIso);
  StoreLe16(&extra[6], static_cast<uint16_t>(acm::Mp3FrameSamples(rate) / 8 * kbps * 1000 / rate));
  StoreLe16(&extra[8], 1);
  StoreLe16(&extra[10], kMpegLayer3CodecDelay);
  return FormatBlock(Base(kWaveFormatMpegLayer3, channels, rate, kbps * 125, 1, 0), extra);
}

std::string RateText(uint32_t rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%03u kHz", rate / 1000, rate % 1000);
  return text;
}

std::string ChannelsText(uint16_t channels) {
  if (channels == 1) return "Mono";
  if (channels == 2) return "Stereo";
  return std::to_string(channels) + " Channels";
}

std::string AttributeText(const WAVEFORMATEX& f) {
  std::string text;
  if (f.wFormatTag == kWaveFormatMpegLayer3) {
    text = std::to_string(f.nAvgBytesPerSec * 8 / 1000) + " kBit/s, ";
  }
  text += RateText(f.nSamplesPerSec) + ", ";
  if (f.wBitsPerSample != 0) text += std::to_string(f.wBitsPerSample) + " Bit, ";
  return text + ChannelsText(f.nChannels);
}

bool IsChosenTag(uint16_t tag) {
  return std::ranges::find(kChosenTags, tag) != std::end(kChosenTags);
}

std::vector<uint32_t> RatesOf(uint16_t tag, const AcmFormatFilter& filter) {
  std::span<const uint32_t> usual = kUsualRates;
  if (tag == kWaveFormatGsm610) usual = kGsmRates;
  if (tag == kWaveFormatMpegLayer3) usual = acm::kMpegSampleRates;
  if (!filter.samples_per_sec) return {usual.begin(), usual.end()};
  const uint32_t rate = *filter.samples_per_sec;
  const bool any_rate = tag != kWaveFormatMpegLayer3;
  const bool offered = any_rate ? (rate >= kLowestRate && rate <= kHighestRate)
                                : std::ranges::find(usual, rate) != usual.end();
  if (!offered) return {};
  return {rate};
}

// Codecs that code every channel on its own, so that they take any channel count.
bool TakesAnyChannels(uint16_t tag) {
  return tag == kWaveFormatPcm || tag == kWaveFormatIeeeFloat || tag == kWaveFormatALaw ||
         tag == kWaveFormatMuLaw;
}

std::vector<uint16_t> ChannelsOf(uint16_t tag, const AcmFormatFilter& filter) {
  std::vector<uint16_t> channels = {1, 2};
  if (tag == kWaveFormatGsm610) channels = {1};
  if (filter.channels && *filter.channels > 2) {
    // A source of more channels is offered at its own count and mixed down to stereo.
    // More than any stream takes: nothing.
    const uint16_t wanted = *filter.channels;
    if (wanted > kAcmMostChannels) return {};
    std::erase_if(channels, [](uint16_t c) { return c != 2; });
    if (TakesAnyChannels(tag)) channels.insert(channels.begin(), wanted);
    return channels;
  }
  if (filter.channels) std::erase_if(channels, [&](uint16_t c) { return c != *filter.channels; });
  return channels;
}

// The formats of `tag` at one rate and channel count, in chooser order.
std::vector<FormatBlock> FormatsAt(uint16_t tag, uint32_t rate, uint16_t channels) {
  switch (tag) {
    case kWaveFormatPcm:
      return {FormatBlock(MakePcmFormat(rate, channels, 8)),
              FormatBlock(MakePcmFormat(rate, channels, 16)),
              FormatBlock(MakePcmFormat(rate, channels, 24))};
    case kWaveFormatIeeeFloat:
      return {MakeFloat(rate, channels)};
    case kWaveFormatMsAdpcm:
      return {MakeMsAdpcm(rate, channels)};
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      return {MakeG711(tag, rate, channels)};
    case kWaveFormatImaAdpcm:
      return {MakeImaAdpcm(rate, channels)};
    case kWaveFormatGsm610:
      return {MakeGsm610(rate)};
    case kWaveFormatMpegLayer3: {
      std::vector<FormatBlock> formats;
      for (uint16_t kbps : acm::Mp3EncoderBitrates(rate))
        formats.push_back(MakeMp3(rate, channels, kbps));
      return formats;
    }
    default:
      return {};
  }
}

}  // namespace

std::string_view FormatTagName(uint16_t tag) {
  switch (tag) {
    case kWaveFormatPcm:
      return "PCM";
    case kWaveFormatMsAdpcm:
      return "Microsoft ADPCM";
    case kWaveFormatIeeeFloat:
      return "IEEE Float";
    case kWaveFormatALaw:
      return "CCITT A-Law";
    case kWaveFormatMuLaw:
      return "CCITT u-Law";
    case kWaveFormatImaAdpcm:
      return "IMA ADPCM";
    case kWaveFormatTrueSpeech:
      return "DSP Group TrueSpeech";
    case kWaveFormatGsm610:
      return "GSM 6.10";
    case kWaveFormatMsnAudio:
      return "MSN Audio";
    case kWaveFormatMpeg:
      return "MPEG";
    case kWaveFormatMpegLayer3:
      return "MPEG Layer-3";
    case kWaveFormatLhCelp:
      return "Lernout & Hauspie CELP";
    default:
      return {};
  }
}

std::vector<AcmFormatDetails> EnumFormats(uint16_t tag, const AcmFormatFilter& filter) {
  std::vector<AcmFormatDetails> out;
  if (!IsChosenTag(tag)) return out;
  for (uint32_t rate : RatesOf(tag, filter)) {
    for (uint16_t channels : ChannelsOf(tag, filter)) {
      for (FormatBlock& format : FormatsAt(tag, rate, channels)) {
        out.push_back(DescribeFormat(format));
      }
    }
  }
  return out;
}

std::vector<AcmFormatDetails> EnumAllFormats(const AcmFormatFilter& filter) {
  std::vector<AcmFormatDetails> out;
  for (uint16_t tag : kChosenTags) {
    std::vector<AcmFormatDetails> formats = EnumFormats(tag, filter);
    out.insert(out.end(), std::make_move_iterator(formats.begin()),
               std::make_move_iterator(formats.end()));
  }
  return out;
}

std::vector<AcmFormatTagDetails> EnumFormatTags() {
  std::vector<AcmFormatTagDetails> tags;
  for (uint16_t tag : kChosenTags) {
    const std::vector<AcmFormatDetails> formats = EnumFormats(tag);
    uint32_t largest = 0;
    for (const AcmFormatDetails& d : formats)
      largest = std::max<uint32_t>(largest, d.format.size());
    tags.push_back(
        {tag, std::string(FormatTagName(tag)), largest, static_cast<uint32_t>(formats.size())});
  }
  return tags;
}

AcmFormatDetails DescribeFormat(const FormatBlock& format) {
  // An EXTENSIBLE format is named by what its samples are, with the bits that count.
  WAVEFORMATEX shown = format.format();
  if (SampleLayout layout; DescribeSamples(format, layout)) {
    shown.wFormatTag = layout.tag;
    if (layout.uncoded()) shown.wBitsPerSample = static_cast<uint16_t>(layout.validBits);
  }
  const uint16_t tag = shown.wFormatTag;
  std::string name(FormatTagName(tag));
  if (name.empty()) {
    char text[16];
    std::snprintf(text, sizeof text, "Format 0x%04X", tag);
    name = text;
  }
  return {format, std::move(name), AttributeText(shown)};
}

uint32_t LargestFormatSize() {
  static const uint32_t largest = [] {
    uint32_t size = 0;
    for (const AcmFormatTagDetails& tag : EnumFormatTags())
      size = std::max(size, tag.cbFormatSize);
    return size;
  }();
  return largest;
}

namespace {

struct ArgumentKind {
  std::string_view name;
  uint16_t tag;
  std::string_view shape;  // the fields after the name
};

constexpr ArgumentKind kArgumentKinds[] = {
    {"pcm", kWaveFormatPcm, "RATE:CHANNELS:BITS"},
    {"float", kWaveFormatIeeeFloat, "RATE:CHANNELS"},
    {"alaw", kWaveFormatALaw, "RATE:CHANNELS"},
    {"mulaw", kWaveFormatMuLaw, "RATE:CHANNELS"},
    {"msadpcm", kWaveFormatMsAdpcm, "RATE:CHANNELS"},
    {"imaadpcm", kWaveFormatImaAdpcm, "RATE:CHANNELS"},
    {"gsm610", kWaveFormatGsm610, "RATE:CHANNELS"},
    {"mp3", kWaveFormatMpegLayer3, "RATE:CHANNELS:KBPS"},
};

std::string Quoted(std::string_view text) {
  std::string quoted(1, '\'');
  quoted.append(text);
  quoted.push_back('\'');
  return quoted;
}

std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t colon = text.find(':', start);
    fields.push_back(text.substr(start, colon - start));
    if (colon == std::string_view::npos) return fields;
    start = colon + 1;
  }
}

std::optional<uint32_t> ParseNumber(std::string_view field) {
  uint32_t value = 0;
  const char* end = field.data() + field.size();
  const auto [ptr, ec] = std::from_chars(field.data(), end, value);
  if (field.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string AllShapes() {
  std::string text;
  for (const ArgumentKind& kind : kArgumentKinds) {
    if (!text.empty()) text += ", ";
    text += std::string(kind.name) + ":" + std::string(kind.shape);
  }
  return text;
}

// The third number of a choice: bits for PCM, kbit/s for MPEG Layer-3.
uint32_t Variant(const WAVEFORMATEX& f) {
  return f.wFormatTag == kWaveFormatMpegLayer3 ? f.nAvgBytesPerSec * 8 / 1000 : f.wBitsPerSample;
}

}  // namespace

FormatBlock ParseFormatArgument(std::string_view text, std::string& error) {
  const std::string quoted = Quoted(text);
  const std::vector<std::string_view> fields = SplitFields(text);
  const auto kind = std::ranges::find(kArgumentKinds, fields[0], &ArgumentKind::name);
  if (kind == std::end(kArgumentKinds)) {
    error = "unknown format " + quoted + "; formats are " + AllShapes();
    return {};
  }
  const std::size_t wanted = 1 + static_cast<std::size_t>(std::ranges::count(kind->shape, ':')) + 1;
  if (fields.size() != wanted) {
    error =
        "format " + quoted + " must be " + std::string(kind->name) + ":" + std::string(kind->shape);
    return {};
  }
  std::vector<uint32_t> numbers;
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const std::optional<uint32_t> n = ParseNumber(fields[i]);
    if (!n) {
      error = Quoted(fields[i]) + " in format " + quoted + " is not a number";
      return {};
    }
    numbers.push_back(*n);
  }
  if (numbers[1] == 0 || numbers[1] > 0xFFFF) {
    error = "format " + quoted + " has no usable channel count";
    return {};
  }
  const AcmFormatFilter filter{static_cast<uint16_t>(numbers[1]), numbers[0]};
  std::vector<AcmFormatDetails> offered = EnumFormats(kind->tag, filter);
  // The stereo formats offered beside a count above two are not that count.
  std::erase_if(offered, [&](const AcmFormatDetails& d) {
    return d.format.format().nChannels != numbers[1];
  });
  for (const AcmFormatDetails& d : offered) {
    if (numbers.size() < 3 || Variant(d.format.format()) == numbers[2]) return d.format;
  }
  error = "format " + quoted + " is not offered";
  if (offered.empty()) {
    error.append(" (no ").append(FormatTagName(kind->tag)).append(" format has ");
    error.append(std::to_string(numbers[1])).append(" channel(s) at ");
    error.append(std::to_string(numbers[0])).append(" Hz)");
  } else {
    error += "; at this rate and channel count it comes with";
    for (const AcmFormatDetails& d : offered) {
      error.push_back(' ');
      error.append(std::to_string(Variant(d.format.format())));
    }
  }
  return {};
}

}  // namespace bw
