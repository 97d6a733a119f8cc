// Uncoded samples of every width and EXTENSIBLE formats: how their fields are read, which are
// refused, and what the codec layer makes of their samples (rounding, saturation, mixing down).
#include "platform/acm/sample_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "acm_test_util.h"
#include "platform/acm/acm.h"
#include "platform/float_to_s16.h"
#include "platform/sample_layout.h"
#include "platform/wave_format.h"
#include "support/wave_image.h"

namespace bw {
namespace {

// {tag-0000-0010-8000-00aa00389b71}
std::vector<uint8_t> TagGuid(uint16_t tag) {
  std::vector<uint8_t> guid = {0,    0,    0,    0,    0x00, 0x00, 0x10, 0x00,
                               0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  StoreLe16(guid.data(), tag);
  return guid;
}

FormatBlock Extensible(uint16_t subTag, uint16_t channels, uint32_t rate, uint16_t container,
                       uint16_t validBits, uint32_t mask, std::vector<uint8_t> more = {}) {
  const auto align = static_cast<uint16_t>(channels * container / 8);
  std::vector<uint8_t> extra(6);
  StoreLe16(extra.data(), validBits);
  StoreLe32(extra.data() + 2, mask);
  const std::vector<uint8_t> guid = TagGuid(subTag);
  extra.insert(extra.end(), guid.begin(), guid.end());
  extra.insert(extra.end(), more.begin(), more.end());
  return FormatBlock(
      WAVEFORMATEX{kWaveFormatExtensible, channels, rate, rate * align, align, container, 0},
      extra);
}

FormatBlock Plain(uint16_t tag, uint16_t channels, uint16_t align, uint16_t bits) {
  return FormatBlock(WAVEFORMATEX{tag, channels, 8000, 8000u * align, align, bits, 0});
}

TEST(SampleLayout, ReadsTheFieldsOfConsistentFormats) {
  SampleLayout l;
  ASSERT_TRUE(DescribeSamples(Extensible(kWaveFormatPcm, 6, 48000, 32, 24, 0x3F), l));
  EXPECT_EQ(l.tag, kWaveFormatPcm);
  EXPECT_EQ(l.containerBytes, 4u);
  EXPECT_EQ(l.validBits, 24u);
  EXPECT_EQ(l.channelMask, 0x3Fu);
  // 24 valid bits in 4-byte containers with the plain PCM tag.
  ASSERT_TRUE(DescribeSamples(Plain(kWaveFormatPcm, 2, 8, 24), l));
  EXPECT_EQ(l.containerBytes, 4u);
  EXPECT_EQ(l.validBits, 24u);
  // 20 in 24, and valid bits 0 meaning the whole container.
  ASSERT_TRUE(DescribeSamples(Extensible(kWaveFormatPcm, 1, 8000, 24, 20, 0x4), l));
  EXPECT_EQ(l.validBits, 20u);
  ASSERT_TRUE(DescribeSamples(Extensible(kWaveFormatIeeeFloat, 2, 8000, 64, 0, 0x3), l));
  EXPECT_EQ(l.tag, kWaveFormatIeeeFloat);
  EXPECT_EQ(l.validBits, 64u);
  // A coded subformat is described by its tag; its own extra bytes follow the EXTENSIBLE ones.
  const FormatBlock ms = Extensible(kWaveFormatMsAdpcm, 2, 22050, 4, 4, 0x3, {0xF4, 0x01});
  ASSERT_TRUE(DescribeSamples(ms, l));
  EXPECT_EQ(l.tag, kWaveFormatMsAdpcm);
  const FormatBlock plain = PlainFormat(ms);
  EXPECT_EQ(plain.format().wFormatTag, kWaveFormatMsAdpcm);
  EXPECT_EQ(plain.extra().size(), 2u);
  EXPECT_EQ(plain.WordAt(18), 500u);
  // Padded containers keep their EXTENSIBLE form; full ones become the plain tag.
  EXPECT_EQ(PlainFormat(Extensible(kWaveFormatPcm, 2, 8000, 32, 24, 3)).format().wFormatTag,
            kWaveFormatExtensible);
  EXPECT_EQ(PlainFormat(Extensible(kWaveFormatPcm, 2, 8000, 24, 24, 3)).format(),
            MakePcmFormat(8000, 2, 24));
}

TEST(SampleLayout, RefusesFormatsWhoseFieldsContradictEachOther) {
  SampleLayout l;
  EXPECT_FALSE(DescribeSamples(Plain(kWaveFormatPcm, 2, 2, 16), l));  // 16 bits in 1 byte
  EXPECT_FALSE(DescribeSamples(Plain(kWaveFormatPcm, 2, 5, 16), l));  // align not per channel
  EXPECT_FALSE(DescribeSamples(Plain(kWaveFormatPcm, 1, 6, 48), l));  // 6-byte integers
  EXPECT_FALSE(DescribeSamples(Plain(kWaveFormatPcm, 1, 2, 0), l));   // no bits
  EXPECT_FALSE(DescribeSamples(Plain(kWaveFormatIeeeFloat, 2, 16, 32), l));  // 32 in 8 bytes
  EXPECT_FALSE(DescribeSamples(Plain(kWaveFormatIeeeFloat, 1, 2, 16), l));   // half floats
  EXPECT_FALSE(DescribeSamples(Extensible(kWaveFormatPcm, 2, 8000, 16, 24, 3), l));
  EXPECT_FALSE(DescribeSamples(Extensible(kWaveFormatIeeeFloat, 2, 8000, 32, 24, 3), l));
  // A GUID that carries no tag, and one that names EXTENSIBLE itself.
  FormatBlock foreign = Extensible(kWaveFormatPcm, 2, 8000, 16, 16, 3);
  std::vector<uint8_t> extra(foreign.extra().begin(), foreign.extra().end());
  extra[21] ^= 1;
  foreign.SetExtra(extra);
  EXPECT_FALSE(DescribeSamples(foreign, l));
  EXPECT_FALSE(DescribeSamples(Extensible(kWaveFormatExtensible, 2, 8000, 16, 16, 3), l));
  // EXTENSIBLE fields cut short.
  FormatBlock cut = Extensible(kWaveFormatPcm, 2, 8000, 16, 16, 3);
  cut.SetExtra(cut.extra().first(21));
  EXPECT_FALSE(DescribeSamples(cut, l));
  // The codec layer refuses them as well.
  HACMSTREAM stream;
  EXPECT_EQ(acmStreamOpen(stream, Plain(kWaveFormatPcm, 2, 2, 16), test::Pcm16Block(8000, 2), 0),
            ACMERR_NOTPOSSIBLE);
}

TEST(ChannelMix, FiveOneGoesToStereoAtTheUsualWeights) {
  const SampleLayout surround{kWaveFormatPcm, 6, 2, 16, 0x3F};  // L R C LFE BL BR
  const std::vector<double> w = acm::ChannelMixWeights(surround, 2);
  const double k = 1 / (1 + 2 * std::sqrt(0.5));  // a full-scale left, centre and back sum to 1
  const std::vector<double> expected = {
      k, 0, k * std::sqrt(0.5), 0, k * std::sqrt(0.5), 0, 0, k, k * std::sqrt(0.5),
      0, 0, k * std::sqrt(0.5)};
  ASSERT_EQ(w.size(), expected.size());
  for (std::size_t i = 0; i < w.size(); ++i)
    EXPECT_NEAR(w[i], expected[i], 1e-12) << i;
  // No mask: the first speakers in order, as for 0x3F.
  EXPECT_EQ(acm::ChannelMixWeights({kWaveFormatPcm, 6, 2, 16, 0}, 2), w);
  // A mask naming the wrong number of speakers is not believed either.
  EXPECT_EQ(acm::ChannelMixWeights({kWaveFormatPcm, 6, 2, 16, 0x3}, 2), w);
}

std::vector<int16_t> Decode16(const FormatBlock& src, const std::vector<uint8_t>& bytes,
                              uint16_t channels = 1) {
  return test::Pcm16Samples(test::ConvertAll(src, test::Pcm16Block(8000, channels), bytes));
}

std::vector<uint8_t> Le24(std::initializer_list<int32_t> values, bool in32 = false) {
  std::vector<uint8_t> out;
  for (int32_t v : values) {
    if (in32) out.push_back(0x5A);  // padding below the valid bits
    for (int b = 0; b < 3; ++b)
      out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * b)));
  }
  return out;
}

TEST(SampleConverter, RoundsAndSaturatesTo16Bits) {
  const std::vector<int16_t> expected = {0, 1, -1, 2, 32767, 32767, -32768, 18, -18};
  const auto values = {0x7F, 0x80, -0x81, 0x180, 0x7FFF7F, 0x7FFFFF, -0x800000, 0x1234, -0x1234};
  EXPECT_EQ(Decode16(FormatBlock(MakePcmFormat(8000, 1, 24)), Le24(values)), expected);
  // Left-justified in 4-byte containers, padding ignored, with either tag.
  EXPECT_EQ(Decode16(Plain(kWaveFormatPcm, 1, 4, 24), Le24(values, true)), expected);
  EXPECT_EQ(Decode16(Extensible(kWaveFormatPcm, 1, 8000, 32, 24, 4), Le24(values, true)), expected);

  std::vector<uint8_t> floats;
  for (float v : {0.0f, 0.5f, -1.0f, 1.0f, 2.5f, -7.0f, std::nanf(""), 1.0f / 65536}) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    floats.insert(floats.end(), b, b + 4);
  }
  EXPECT_EQ(Decode16(Plain(kWaveFormatIeeeFloat, 1, 4, 32), floats),
            (std::vector<int16_t>{0, 16384, -32768, 32767, 32767, -32768, 0, 1}));
}

// The rounding the float decoders and the capture share.
TEST(FloatToS16, RoundsToEvenHoldsTheRangeAndSilencesNaN) {
  const float step = 1.0f / 32768;
  const std::pair<float, int16_t> cases[] = {
      {0.0f, 0},          {0.5f * step, 0}, {1.5f * step, 2},  {-1.5f * step, -2},
      {2.5f * step, 2},   {1.0f, 32767},    {-1.0f, -32768},   {32767.5f * step, 32767},
      {1e30f, 32767},     {-1e30f, -32768}, {INFINITY, 32767}, {-INFINITY, -32768},
      {std::nanf(""), 0}, {-0.25f, -8192},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(FloatToS16(in), out) << in;
}

TEST(SampleConverter, WidensWithoutLoss) {
  const std::vector<int16_t> samples = {-32768, -1, 0, 1, 12345, 32767};
  const std::vector<uint8_t> s16 = test::Pcm16Bytes(samples);
  const std::vector<uint8_t> s24 =
      test::ConvertAll(test::Pcm16Block(8000, 1), FormatBlock(MakePcmFormat(8000, 1, 24)), s16);
  ASSERT_EQ(s24.size(), samples.size() * 3);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const auto v =
        static_cast<int32_t>((s24[3 * i] | s24[3 * i + 1] << 8 | s24[3 * i + 2] << 16) << 8) >> 8;
    EXPECT_EQ(v, samples[i] * 256);
  }
  const std::vector<uint8_t> f32 =
      test::ConvertAll(test::Pcm16Block(8000, 1), Plain(kWaveFormatIeeeFloat, 1, 4, 32), s16);
  ASSERT_EQ(f32.size(), samples.size() * 4);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    float v = 0;
    std::memcpy(&v, &f32[4 * i], 4);
    EXPECT_EQ(v, samples[i] / 32768.0f);
  }
  // And back again, exactly.
  EXPECT_EQ(Decode16(FormatBlock(MakePcmFormat(8000, 1, 24)), s24), samples);
  EXPECT_EQ(Decode16(Plain(kWaveFormatIeeeFloat, 1, 4, 32), f32), samples);
}

TEST(SampleConverter, MixesDownCodedAndUncodedSurround) {
  // Only the centre channel sounds: both outputs carry it at the centre's weight.
  const double centre = std::sqrt(0.5) / (1 + 2 * std::sqrt(0.5));
  std::vector<int16_t> six(6 * 100, 0);
  for (std::size_t f = 0; f < 100; ++f)
    six[6 * f + 2] = 20000;
  const auto expected = static_cast<int16_t>(std::floor(20000 * centre + 0.5));
  const std::vector<int16_t> stereo =
      Decode16(Extensible(kWaveFormatPcm, 6, 8000, 16, 16, 0x3F), test::Pcm16Bytes(six), 2);
  ASSERT_EQ(stereo.size(), 200u);
  for (int16_t s : stereo)
    EXPECT_EQ(s, expected);
  // mu-law inside EXTENSIBLE, six channels: decoded, then mixed the same way.
  const FormatBlock mulaw = Extensible(kWaveFormatMuLaw, 6, 8000, 8, 8, 0x3F);
  const std::vector<uint8_t> coded =
      test::ConvertAll(test::Pcm16Block(8000, 6), PlainFormat(mulaw), test::Pcm16Bytes(six));
  const std::vector<int16_t> mixed = Decode16(mulaw, coded, 2);
  ASSERT_EQ(mixed.size(), 200u);
  EXPECT_NEAR(mixed[0], expected, 0.02 * expected);
  EXPECT_EQ(mixed[0], mixed[1]);
  // Encoding from six channels to a stereo coded target goes through the same mix.
  const std::vector<uint8_t> alaw = test::ConvertAll(
      FormatBlock(MakePcmFormat(8000, 6)),
      FormatBlock(WAVEFORMATEX{kWaveFormatALaw, 2, 8000, 16000, 2, 8, 0}), test::Pcm16Bytes(six));
  EXPECT_EQ(alaw.size(), 200u);
}

}  // namespace
}  // namespace bw
