// The capture block for each kind of record target: the basis per channel follows the format
// tag (and the sample rate in steps of 11,025 Hz for the block codecs); unknown tags get none.
#include <gtest/gtest.h>

#include "audio/capture_stream.h"
#include "platform/acm/acm_formats.h"

namespace bw {
namespace {

FormatBlock Parsed(const char* argument) {
  std::string error;
  FormatBlock format = ParseFormatArgument(argument, error);
  EXPECT_FALSE(format.empty()) << error;
  return format;
}

TEST(CaptureBlockBasis, FollowsTheFormatTagAndRate) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"pcm:44100:2:16", 70560},  // 0.8 s: a block of 141,120 bytes, a buffer of 564,480
      {"pcm:8000:1:8", 3200},        {"alaw:8000:1", 3200},          {"mulaw:22050:2", 17640},
      {"msadpcm:8000:1", 21378},     {"msadpcm:22050:1", 2 * 21378}, {"msadpcm:44100:2", 4 * 21378},
      {"gsm610:8000:1", 21120},      {"gsm610:22050:1", 2 * 21120},  {"gsm610:44100:1", 4 * 21120},
      {"mp3:8000:1:8", 21888},       {"mp3:22050:2:64", 2 * 21888},  {"mp3:44100:2:128", 4 * 21888},
      {"imaadpcm:8000:1", 10 * 505},
  };
  for (const auto& [argument, basis] : cases)
    EXPECT_EQ(CaptureBlockBasis(Parsed(argument)), basis) << argument;

  // The decode-only formats take their words from the format's extra bytes.
  WAVEFORMATEX truespeech{kWaveFormatTrueSpeech, 1, 8000, 1067, 32, 1, 32};
  std::vector<uint8_t> extra(32);
  extra[2] = 240;  // nSamplesPerBlock at byte 20
  EXPECT_EQ(CaptureBlockBasis(FormatBlock(truespeech, extra)), 120u * 240);
  WAVEFORMATEX msn{kWaveFormatMsnAudio, 1, 8000, 1000, 24, 0, 2};
  const uint8_t samples[] = {0x40, 0x01};  // wSamplesPerBlock 320 at byte 18
  EXPECT_EQ(CaptureBlockBasis(FormatBlock(msn, samples)), 296u * 320);
  EXPECT_EQ(CaptureBlockBasis(FormatBlock(WAVEFORMATEX{kWaveFormatLhCelp, 1, 8000, 600, 6, 0, 0})),
            16000u);
  for (const uint16_t tag : {0x0000, 0x0160, 0xFFFF}) {
    WAVEFORMATEX other = MakePcmFormat(44100, 2);
    other.wFormatTag = tag;
    EXPECT_EQ(CaptureBlockBasis(FormatBlock(other)), 0u) << tag;
  }
}

}  // namespace
}  // namespace bw
