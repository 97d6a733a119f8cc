#include "platform/acm/acm_formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "platform/acm/acm.h"
#include "support/test_support.h"

namespace bw {
namespace {

const AcmFormatDetails* Find(const std::vector<AcmFormatDetails>& formats, std::string_view text) {
  const auto it = std::ranges::find(formats, text, &AcmFormatDetails::szFormat);
  return it == formats.end() ? nullptr : &*it;
}

std::vector<uint8_t> Extra(const AcmFormatDetails& d) {
  return {d.format.extra().begin(), d.format.extra().end()};
}

TEST(AcmFormats, TagsAreListedWithTheirNamesAndLargestBlocks) {
  std::vector<std::pair<uint16_t, std::string>> tags;
  for (const AcmFormatTagDetails& t : EnumFormatTags()) {
    tags.emplace_back(t.dwFormatTag, t.szFormatTag);
    EXPECT_EQ(t.cStandardFormats, EnumFormats(t.dwFormatTag).size());
  }
  EXPECT_EQ(tags, (std::vector<std::pair<uint16_t, std::string>>{{0x0001, "PCM"},
                                                                 {0x0002, "Microsoft ADPCM"},
                                                                 {0x0003, "IEEE Float"},
                                                                 {0x0006, "CCITT A-Law"},
                                                                 {0x0007, "CCITT u-Law"},
                                                                 {0x0011, "IMA ADPCM"},
                                                                 {0x0031, "GSM 6.10"},
                                                                 {0x0055, "MPEG Layer-3"}}));
  uint32_t largest = 0;
  ASSERT_EQ(acmMetrics(ACM_METRIC_MAX_SIZE_FORMAT, largest), MMSYSERR_NOERROR);
  EXPECT_EQ(largest, 50u);  // Microsoft ADPCM: 18 + 32 bytes of coefficients
  EXPECT_EQ(acmMetrics(7, largest), MMSYSERR_NOTSUPPORTED);
}

// The blocks are those WAVE files carry for these formats, extra bytes included.
TEST(AcmFormats, BlocksCarryTheFieldsOtherProgramsRead) {
  const auto pcm = EnumFormats(kWaveFormatPcm, {2, 44100});
  const AcmFormatDetails* cd = Find(pcm, "44.100 kHz, 16 Bit, Stereo");
  ASSERT_NE(cd, nullptr);
  EXPECT_EQ(cd->format.format(), MakePcmFormat(44100, 2, 16));

  const auto mp3 = EnumFormats(kWaveFormatMpegLayer3, {2, 44100});
  const AcmFormatDetails* m = Find(mp3, "128 kBit/s, 44.100 kHz, Stereo");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->format.format(), (WAVEFORMATEX{0x0055, 2, 44100, 16000, 1, 0, 12}));
  // wID 1, fdwFlags 0, nBlockSize 417, nFramesPerBlock 1, nCodecDelay 1393.
  EXPECT_EQ(Extra(*m), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0xA1, 0x01, 1, 0, 0x71, 0x05}));
  const auto mp3_low = EnumFormats(kWaveFormatMpegLayer3, {1, 8000});
  ASSERT_EQ(mp3_low.size(), 8u);  // 8 to 64 kbit/s
  EXPECT_EQ(mp3_low.front().szFormat, "8 kBit/s, 8.000 kHz, Mono");
  EXPECT_EQ(mp3_low.front().format.WordAt(24), 72u);  // 576 / 8 * 8000 / 8000

  const auto ms = EnumFormats(kWaveFormatMsAdpcm, {1, 8000});
  ASSERT_EQ(ms.size(), 1u);
  EXPECT_EQ(ms[0].szFormat, "8.000 kHz, 4 Bit, Mono");
  EXPECT_EQ(ms[0].format.format(), (WAVEFORMATEX{0x0002, 1, 8000, 4096, 256, 4, 32}));
  EXPECT_EQ(ms[0].format.WordAt(18), 500u);                        // samples per block
  EXPECT_EQ(ms[0].format.WordAt(20), 7u);                          // coefficient pairs
  EXPECT_EQ(static_cast<int16_t>(ms[0].format.WordAt(28)), -256);  // second pair: 512, -256

  const auto ima = EnumFormats(kWaveFormatImaAdpcm, {2, 22050});
  ASSERT_EQ(ima.size(), 1u);
  EXPECT_EQ(ima[0].format.format(), (WAVEFORMATEX{0x0011, 2, 22050, 22201, 1024, 4, 2}));
  EXPECT_EQ(ima[0].format.WordAt(18), 1017u);

  const auto gsm = EnumFormats(kWaveFormatGsm610, {1, 8000});
  ASSERT_EQ(gsm.size(), 1u);
  EXPECT_EQ(gsm[0].szFormat, "8.000 kHz, Mono");
  EXPECT_EQ(gsm[0].format.format(), (WAVEFORMATEX{0x0031, 1, 8000, 1625, 65, 0, 2}));
  EXPECT_EQ(gsm[0].format.WordAt(18), 320u);

  const auto alaw = EnumFormats(kWaveFormatALaw, {2, 11025});
  ASSERT_EQ(alaw.size(), 1u);
  EXPECT_EQ(alaw[0].szFormat, "11.025 kHz, 8 Bit, Stereo");
  EXPECT_EQ(alaw[0].format.format(), (WAVEFORMATEX{0x0006, 2, 11025, 22050, 2, 8, 0}));
}

TEST(AcmFormats, EnumerationFollowsTheChannelAndRateAskedFor) {
  EXPECT_TRUE(EnumFormats(kWaveFormatGsm610, {2, std::nullopt}).empty());
  // Any rate for the codecs that take any rate, only MPEG rates for MPEG.
  const auto odd = EnumAllFormats({1, 37800});
  EXPECT_NE(Find(odd, "37.800 kHz, 16 Bit, Mono"), nullptr);
  EXPECT_NE(Find(odd, "37.800 kHz, Mono"), nullptr);  // GSM 6.10
  EXPECT_TRUE(std::ranges::none_of(odd, [](const AcmFormatDetails& d) {
    return d.format.format().wFormatTag == kWaveFormatMpegLayer3;
  }));
  EXPECT_TRUE(EnumAllFormats({1, 0}).empty());
  EXPECT_TRUE(EnumAllFormats({0, std::nullopt}).empty());
  for (const AcmFormatDetails& d : EnumAllFormats({2, 48000})) {
    EXPECT_EQ(d.format.format().nChannels, 2);
    EXPECT_EQ(d.format.format().nSamplesPerSec, 48000u);
  }
  EXPECT_TRUE(EnumFormats(kWaveFormatTrueSpeech).empty());  // decoded only
}

// Whatever the chooser offers, the streams encode to and decode from.
TEST(AcmFormats, EveryOfferedFormatEncodesAndDecodes) {
  std::vector<AcmFormatDetails> formats = EnumAllFormats();
  const std::vector<AcmFormatDetails> odd = EnumAllFormats({std::nullopt, 96000});
  formats.insert(formats.end(), odd.begin(), odd.end());
  for (const AcmFormatDetails& d : formats) {
    const WAVEFORMATEX& f = d.format.format();
    const FormatBlock pcm(MakePcmFormat(f.nSamplesPerSec, f.nChannels));
    HACMSTREAM stream;
    EXPECT_EQ(acmStreamOpen(stream, pcm, d.format, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR)
        << d.szFormatTag << " " << d.szFormat;
    EXPECT_EQ(acmStreamOpen(stream, d.format, pcm, ACM_STREAMOPENF_QUERY), MMSYSERR_NOERROR)
        << d.szFormatTag << " " << d.szFormat;
  }
}

TEST(AcmFormats, DescribesAnyFormatBlock) {
  const AcmFormatDetails truespeech =
      DescribeFormat(FormatBlock(WAVEFORMATEX{kWaveFormatTrueSpeech, 1, 8000, 1067, 32, 1, 0}));
  EXPECT_EQ(truespeech.szFormatTag, "DSP Group TrueSpeech");
  EXPECT_EQ(truespeech.szFormat, "8.000 kHz, 1 Bit, Mono");
  const AcmFormatDetails unknown =
      DescribeFormat(FormatBlock(WAVEFORMATEX{0x1234, 6, 96000, 0, 0, 24, 0}));
  EXPECT_EQ(unknown.szFormatTag, "Format 0x1234");
  EXPECT_EQ(unknown.szFormat, "96.000 kHz, 24 Bit, 6 Channels");
}

TEST(FormatArgument, NamesTheChooserBlockForEachChoice) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"pcm:44100:2:16", "44.100 kHz, 16 Bit, Stereo"},
      {"pcm:8000:1:8", "8.000 kHz, 8 Bit, Mono"},
      {"alaw:8000:1", "8.000 kHz, 8 Bit, Mono"},
      {"mulaw:22050:2", "22.050 kHz, 8 Bit, Stereo"},
      {"msadpcm:11025:2", "11.025 kHz, 4 Bit, Stereo"},
      {"imaadpcm:44100:1", "44.100 kHz, 4 Bit, Mono"},
      {"gsm610:8000:1", "8.000 kHz, Mono"},
      {"mp3:44100:2:128", "128 kBit/s, 44.100 kHz, Stereo"},
      {"mp3:24000:1:160", "160 kBit/s, 24.000 kHz, Mono"},
  };
  for (const auto& [argument, text] : cases) {
    std::string error;
    const FormatBlock block = ParseFormatArgument(argument, error);
    EXPECT_EQ(error, "") << argument;
    const WAVEFORMATEX& f = block.format();
    const auto formats = EnumFormats(f.wFormatTag, {f.nChannels, f.nSamplesPerSec});
    const AcmFormatDetails* offered = Find(formats, text);
    ASSERT_NE(offered, nullptr) << argument;
    EXPECT_EQ(block, offered->format) << argument;
  }
}

TEST(FormatArgument, RefusesAnythingElseWithAReason) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "unknown format ''"},
      {"wav:44100:2:16", "unknown format 'wav:44100:2:16'; formats are pcm:RATE:CHANNELS:BITS"},
      {"pcm:44100:2", "format 'pcm:44100:2' must be pcm:RATE:CHANNELS:BITS"},
      {"alaw:8000:1:8", "format 'alaw:8000:1:8' must be alaw:RATE:CHANNELS"},
      {"pcm:44.1k:2:16", "'44.1k' in format 'pcm:44.1k:2:16' is not a number"},
      {"pcm:44100:-2:16", "'-2' in format"},
      {"pcm:44100::16", "'' in format"},
      {"pcm:44100:2:16 ", "'16 ' in format"},
      {"mp3:44100:2:100", "at this rate and channel count it comes with 32 40 48"},
      {"pcm:44100:2:32", "comes with 8 16 24"},
      {"gsm610:8000:2", "no GSM 6.10 format has 2 channel(s) at 8000 Hz"},
      {"mp3:44000:2:128", "no MPEG Layer-3 format has 2 channel(s) at 44000 Hz"},
      {"pcm:44100:0:16", "no usable channel count"},
      {"pcm:99999999999:2:16", "is not a number"},
  };
  for (const auto& [argument, message] : cases) {
    std::string error;
    EXPECT_TRUE(ParseFormatArgument(argument, error).empty()) << argument;
    EXPECT_NE(error.find(message), std::string::npos) << argument << ": " << error;
  }
}

TEST(FormatsCommand, PrintsOneLinePerOfferedFormat) {
  const test::CommandResult all = test::RunCli({"formats"});
  ASSERT_EQ(all.exit_code, 0) << all.err;
  EXPECT_EQ(static_cast<std::size_t>(std::ranges::count(all.out, '\n')), EnumAllFormats().size());

  const test::CommandResult mono = test::RunCli({"formats", "--channels", "1", "--rate", "8000"});
  ASSERT_EQ(mono.exit_code, 0) << mono.err;
  std::istringstream lines(mono.out);
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first, "0x0001\tPCM\t8.000 kHz, 8 Bit, Mono\t8000\t1");
  EXPECT_NE(mono.out.find("0x0031\tGSM 6.10\t8.000 kHz, Mono\t1625\t65\n"), std::string::npos);
  EXPECT_NE(mono.out.find("0x0055\tMPEG Layer-3\t64 kBit/s, 8.000 kHz, Mono\t8000\t1\n"),
            std::string::npos);
  EXPECT_EQ(mono.out.find("Stereo"), std::string::npos);

  EXPECT_EQ(test::RunCli({"formats", "--rate", "fast"}).exit_code, 2);
  EXPECT_EQ(test::RunCli({"formats", "--channels", "-1"}).exit_code, 2);
  EXPECT_EQ(test::RunCli({"formats", "extra"}).exit_code, 2);
  EXPECT_EQ(test::RunCli({"formats", "--rate", "7"}).out, "");  // nothing at 7 Hz
}

}  // namespace
}  // namespace bw
