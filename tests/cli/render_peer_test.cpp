// brookwave-cli render of every coded format: each file is made by ffmpeg from the same tone,
// rendered with a flat equaliser and compared with the reference decoding (mpg123's for MPEG
// audio, within the conformance limits; ffmpeg's for the others).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

struct RenderCodedCase {
  const char* name;
  const char* encoder;  // ffmpeg's options
  uint32_t rate;
  uint16_t channels;
  double min_snr_db;  // against ffmpeg's decoding
  bool mpeg = false;  // compared with mpg123's decoding instead
};

void PrintTo(const RenderCodedCase& c, std::ostream* os) {
  *os << c.name;
}

class CliRenderCoded : public ::testing::TestWithParam<RenderCodedCase> {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  test::TempDir dir;
};

TEST_P(CliRenderCoded, MatchesTheReferenceDecoding) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const RenderCodedCase& c = GetParam();
  const std::string source = Path("source.wav");
  test::WritePcmWave(source, c.rate, c.channels,
                     test::SineTone(c.rate, c.channels, c.rate * 3, 700, 0.6));
  const std::string coded = Path("coded.wav");
  std::vector<std::string> encode{"-i", source};
  for (const std::string& w : test::SplitWords(c.encoder))
    encode.push_back(w);
  encode.push_back(coded);
  ASSERT_TRUE(test::RunFfmpeg(encode));
  std::vector<int16_t> theirs;
  if (c.mpeg) {
    theirs = test::Mpg123Decode(coded);
  } else {
    ASSERT_TRUE(test::RunFfmpeg({"-i", coded, "-f", "s16le", Path("decoded.raw")}));
    theirs = test::Pcm16Samples(test::ReadFileBytes(Path("decoded.raw")));
  }
  ASSERT_FALSE(theirs.empty());

  const test::CommandResult r =
      test::RunCli({"render", coded, Path("out.wav"), "--eq", "0,0,0,0,0,0,0,0"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto out = test::ParseWave(test::ReadFileBytes(Path("out.wav")));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->format.format().nChannels, c.channels);
  EXPECT_EQ(out->format.format().nSamplesPerSec, c.rate);
  const std::vector<int16_t> ours = test::Pcm16Samples(out->data);
  ASSERT_GE(ours.size(), theirs.size());
  if (c.mpeg) {
    const test::DecodingError e = test::ComparePlayed(theirs, ours);
    EXPECT_TRUE(e.within_full_accuracy()) << e;
  } else {
    EXPECT_GE(test::SnrDb(theirs, ours), c.min_snr_db) << c.name;
  }
  // Beyond what the file holds the card played silence only.
  EXPECT_TRUE(std::all_of(ours.begin() + theirs.size(), ours.end(), [](int16_t s) {
    return s == 0;
  })) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CliRenderCoded,
    ::testing::Values(RenderCodedCase{"alaw", "-c:a pcm_alaw", 44100, 2, 90},
                      RenderCodedCase{"mulaw", "-c:a pcm_mulaw", 8000, 1, 90},
                      RenderCodedCase{"msadpcm", "-c:a adpcm_ms", 22050, 2, 90},
                      RenderCodedCase{"imaadpcm", "-c:a adpcm_ima_wav", 44100, 2, 90},
                      RenderCodedCase{"gsm610", "-c:a libgsm_ms -strict unofficial", 8000, 1, 90},
                      RenderCodedCase{"mp3", "-c:a libmp3lame -b:a 128k", 44100, 2, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

int PeakOf(const std::vector<int16_t>& samples) {
  int peak = 0;
  for (int16_t s : samples)
    peak = std::max(peak, std::abs(int{s}));
  return peak;
}

// The bundled demo sounds as a new user first hears them, with the fades on: each one is long
// enough to reach full volume between the fade-in and the fade-out of its last six seconds.
TEST(CliRenderDemo, EachDemoSoundIsHeardAtFullVolumeBetweenTheFades) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  test::TempDir dir;
  int sounds = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BW_SOURCE_DIR "/data/demo")) {
    if (entry.path().extension() != ".wav") continue;
    ++sounds;
    const std::string name = entry.path().filename().string();
    const std::string raw = (dir / "theirs.raw").string(), out = (dir / "out.wav").string();
    ASSERT_TRUE(test::RunFfmpeg({"-i", entry.path().string(), "-f", "s16le", raw})) << name;
    const std::vector<int16_t> theirs = test::Pcm16Samples(test::ReadFileBytes(raw));
    const test::CommandResult r = test::RunCli({"render", entry.path().string(), out, "--eq",
                                                "0,0,0,0,0,0,0,0", "--fade-in", "--fade-out"});
    ASSERT_EQ(r.exit_code, 0) << name << ": " << r.err;
    const auto ours = test::ParseWave(test::ReadFileBytes(out));
    ASSERT_TRUE(ours.has_value()) << name;
    const WAVEFORMATEX& f = ours->format.format();
    EXPECT_GE(theirs.size(), std::size_t{20} * f.nSamplesPerSec * f.nChannels) << name;
    // -20 dB would leave a tenth; full volume all but the whole peak.
    EXPECT_GE(PeakOf(test::Pcm16Samples(ours->data)), 0.9 * PeakOf(theirs)) << name;
  }
  EXPECT_EQ(sounds, 4);
}

}  // namespace
}  // namespace bw
