#include "platform/sample_layout.h"

#include <algorithm>
#include <bit>

namespace bw {
namespace {

// A subformat GUID carries a tag as {tag-0000-0010-8000-00aa00389b71}: the tag in the first
// 32-bit word, then these twelve bytes.
constexpr uint8_t kTagGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                      0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct ExtensibleFields {
  uint16_t validBits = 0;
  uint32_t channelMask = 0;
  uint16_t subTag = 0;  // 0: the GUID carries no tag
};

bool ReadExtensible(const FormatBlock& format, ExtensibleFields& fields) {
  const std::span<const uint8_t> extra = format.extra();
  if (extra.size() < kExtensibleExtraBytes) return false;
  fields.validBits = LoadLe16(extra.data());
  fields.channelMask = LoadLe32(extra.data() + 2);
  const uint32_t first = LoadLe32(extra.data() + 6);
  const bool carriesTag = first <= 0xFFFF && std::equal(std::begin(kTagGuidTail),
                                                        std::end(kTagGuidTail), extra.data() + 10);
  fields.subTag = carriesTag ? static_cast<uint16_t>(first) : 0;
  return true;
}

// Integer samples of 1 to 4 bytes, float samples of 4 or 8, each a whole share of the block;
// the bits that count fit the container.
bool DescribeUncoded(const WAVEFORMATEX& f, uint32_t validBits, SampleLayout& layout) {
  if (f.nChannels == 0 || f.nBlockAlign % f.nChannels != 0) return false;
  const uint32_t container = f.nBlockAlign / f.nChannels;
  if (f.wBitsPerSample == 0 || f.wBitsPerSample > container * 8) return false;
  if (validBits == 0 || validBits > f.wBitsPerSample) return false;
  if (layout.tag == kWaveFormatPcm && (container < 1 || container > 4)) return false;
  if (layout.tag == kWaveFormatIeeeFloat &&
      ((container != 4 && container != 8) || validBits != container * 8))
    return false;
  layout.containerBytes = container;
  layout.validBits = validBits;
  return true;
}

}  // namespace

bool DescribeSamples(const FormatBlock& format, SampleLayout& layout) {
  const WAVEFORMATEX& f = format.format();
  layout = SampleLayout{f.wFormatTag, f.nChannels};
  uint32_t validBits = f.wBitsPerSample;
  if (f.wFormatTag == kWaveFormatExtensible) {
    ExtensibleFields fields;
    if (!ReadExtensible(format, fields) || fields.subTag == 0 ||
        fields.subTag == kWaveFormatExtensible)
      return false;
    layout.tag = fields.subTag;
    layout.channelMask = fields.channelMask;
    // Writers that leave the valid bits 0 mean the whole container.
    if (fields.validBits != 0) validBits = fields.validBits;
  }
  if (!layout.uncoded()) return true;
  return DescribeUncoded(f, validBits, layout);
}

FormatBlock PlainFormat(const FormatBlock& format) {
  SampleLayout layout;
  if (format.format().wFormatTag != kWaveFormatExtensible || !DescribeSamples(format, layout))
    return format;
  WAVEFORMATEX base = format.format();
  if (layout.uncoded()) {
    if (layout.validBits != layout.containerBytes * 8) return format;
    base.wBitsPerSample = static_cast<uint16_t>(layout.validBits);
  }
  base.wFormatTag = layout.tag;
  return FormatBlock(base, format.extra().subspan(kExtensibleExtraBytes));
}

bool IsUncodedFormat(const FormatBlock& format) {
  SampleLayout layout;
  return DescribeSamples(format, layout) && layout.uncoded();
}

uint32_t SpeakerMask(const SampleLayout& layout) {
  if (layout.channelMask != 0 && std::popcount(layout.channelMask) == layout.channels)
    return layout.channelMask;
  if (layout.channels >= 32) return 0xFFFFFFFFu;
  return (1u << layout.channels) - 1;
}

}  // namespace bw
