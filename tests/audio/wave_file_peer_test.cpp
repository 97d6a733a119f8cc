// Peers as oracles: WAVE files made by ffmpeg and sox are read with their exact format block and
// data, and files this program writes decode in ffmpeg and sox exactly as the originals do.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "audio/wave_test_util.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::RunCommand;

struct PeerCase {
  const char* name;
  const char* maker;  // "ffmpeg" or "sox"
  std::vector<std::string> codec_args;
  int rate;
  int channels;
  uint16_t format_tag;
  bool sox_decodes;
};

std::vector<std::string> MakeCommand(const PeerCase& c, const std::string& out) {
  const std::string rate = std::to_string(c.rate);
  const std::string channels = std::to_string(c.channels);
  std::vector<std::string> argv;
  if (std::string(c.maker) == "ffmpeg") {
    argv = {"ffmpeg", "-v",    "error", "-y",
            "-f",     "lavfi", "-i",    "sine=frequency=440:duration=0.3:sample_rate=" + rate,
            "-ac",    channels};
    argv.insert(argv.end(), c.codec_args.begin(), c.codec_args.end());
    argv.push_back(out);
  } else {
    argv = {"sox", "-n", "-r", rate, "-c", channels};
    argv.insert(argv.end(), c.codec_args.begin(), c.codec_args.end());
    argv.insert(argv.end(), {out, "synth", "0.3", "sine", "440"});
  }
  return argv;
}

// Runs a peer and returns its standard output; fails the test when the peer does.
std::string Peer(const std::vector<std::string>& argv) {
  const test::CommandResult r = RunCommand(argv);
  EXPECT_EQ(r.exit_code, 0) << argv[0] << ": " << r.err;
  return r.out;
}

std::string FfprobeStream(const std::filesystem::path& path) {
  return Peer({"ffprobe", "-v", "error", "-show_entries", "stream=codec_name,sample_rate,channels",
               "-of", "default=nw=1", path.string()});
}

std::string FfmpegDecode(const std::filesystem::path& path) {
  return Peer({"ffmpeg", "-v", "error", "-i", path.string(), "-f", "s16le", "-"});
}

std::string SoxInfo(const std::filesystem::path& path) {
  std::string out;
  for (const char* field : {"-r", "-c", "-s", "-e"})
    out += Peer({"sox", "--i", field, path.string()});
  return out;
}

std::string SoxDecode(const std::filesystem::path& path) {
  return Peer({"sox", path.string(), "-t", "raw", "-e", "signed", "-b", "16", "-"});
}

void PrintTo(const PeerCase& c, std::ostream* os) {
  *os << c.name;
}

class PeerWave : public ::testing::TestWithParam<PeerCase> {
 protected:
  void SetUp() override {
    BW_REQUIRE_PROGRAM("ffmpeg");
    BW_REQUIRE_PROGRAM("ffprobe");
    BW_REQUIRE_PROGRAM("sox");
    original_ = dir_ / "peer.wav";
    const test::CommandResult r = RunCommand(MakeCommand(GetParam(), original_.string()));
    ASSERT_EQ(r.exit_code, 0) << r.err;
  }
  test::TempDir dir_;
  std::filesystem::path original_;
};

TEST_P(PeerWave, IsReadWithItsFormatBlockAndData) {
  const auto expected = test::ParseWave(test::ReadFileBytes(original_));
  ASSERT_TRUE(expected) << "the peer's file is not a plain RIFF WAVE";
  const test::SourceContents got = test::ReadSource(original_, 1024);
  ASSERT_EQ(got.result(), 0);
  EXPECT_EQ(got.format.format().wFormatTag, GetParam().format_tag);
  EXPECT_EQ(got.format, expected->format);
  EXPECT_EQ(got.declared_bytes, expected->data.size());
  EXPECT_EQ(got.data, expected->data);
}

TEST_P(PeerWave, RewrittenThroughTheTargetDecodesAsTheOriginal) {
  const auto parsed = test::ParseWave(test::ReadFileBytes(original_));
  ASSERT_TRUE(parsed);
  const test::SourceContents source = test::ReadSource(original_);
  ASSERT_EQ(source.result(), 0);
  const auto copy = dir_ / "copy.wav";
  ASSERT_EQ(test::WriteTarget(copy, source.format, source.data, parsed->fact.value_or(0)), 0);

  EXPECT_EQ(FfprobeStream(copy), FfprobeStream(original_));
  const std::string decoded = FfmpegDecode(original_);
  EXPECT_GT(decoded.size(), 1000u);
  EXPECT_TRUE(FfmpegDecode(copy) == decoded) << "ffmpeg decodes the copy differently";
  if (GetParam().sox_decodes) {
    EXPECT_EQ(SoxInfo(copy), SoxInfo(original_));
    EXPECT_TRUE(SoxDecode(copy) == SoxDecode(original_)) << "sox decodes the copy differently";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, PeerWave,
    ::testing::Values(
        PeerCase{"FfmpegPcm8", "ffmpeg", {"-c:a", "pcm_u8"}, 22050, 1, kWaveFormatPcm, true},
        PeerCase{"FfmpegPcm16", "ffmpeg", {"-c:a", "pcm_s16le"}, 44100, 2, kWaveFormatPcm, true},
        PeerCase{"FfmpegALaw", "ffmpeg", {"-c:a", "pcm_alaw"}, 8000, 2, kWaveFormatALaw, true},
        PeerCase{"FfmpegMuLaw", "ffmpeg", {"-c:a", "pcm_mulaw"}, 8000, 1, kWaveFormatMuLaw, true},
        PeerCase{"FfmpegImaAdpcm",
                 "ffmpeg",
                 {"-c:a", "adpcm_ima_wav"},
                 22050,
                 2,
                 kWaveFormatImaAdpcm,
                 true},
        PeerCase{
            "FfmpegMsAdpcm", "ffmpeg", {"-c:a", "adpcm_ms"}, 22050, 2, kWaveFormatMsAdpcm, true},
        PeerCase{"FfmpegGsm610", "ffmpeg", {"-c:a", "libgsm_ms"}, 8000, 1, kWaveFormatGsm610, true},
        PeerCase{"FfmpegMp3InWav",
                 "ffmpeg",
                 {"-c:a", "libmp3lame", "-b:a", "32k"},
                 22050,
                 1,
                 kWaveFormatMpegLayer3,
                 false},
        PeerCase{"SoxPcm8", "sox", {"-e", "unsigned", "-b", "8"}, 11025, 1, kWaveFormatPcm, true},
        PeerCase{"SoxPcm16", "sox", {"-e", "signed", "-b", "16"}, 22050, 2, kWaveFormatPcm, true},
        PeerCase{"SoxALaw", "sox", {"-e", "a-law"}, 8000, 1, kWaveFormatALaw, true},
        PeerCase{"SoxMuLaw", "sox", {"-e", "u-law"}, 8000, 2, kWaveFormatMuLaw, true},
        PeerCase{"SoxImaAdpcm", "sox", {"-e", "ima-adpcm"}, 11025, 1, kWaveFormatImaAdpcm, true},
        PeerCase{"SoxMsAdpcm", "sox", {"-e", "ms-adpcm"}, 11025, 2, kWaveFormatMsAdpcm, true},
        PeerCase{"SoxGsm610", "sox", {"-e", "gsm-full-rate"}, 8000, 1, kWaveFormatGsm610, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PeerWaveTone, OurPcmDecodesInThePeersToTheSamplesWritten) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  BW_REQUIRE_PROGRAM("sox");
  test::TempDir dir;
  const auto path = dir / "tone.wav";
  const std::vector<int16_t> tone = test::SineTone(32000, 2, 9001, 440);
  const std::vector<uint8_t> bytes = test::Pcm16Bytes(tone);
  ASSERT_EQ(test::WriteTarget(path, FormatBlock(MakePcmFormat(32000, 2)), bytes, 9001), 0);
  const std::string expected(bytes.begin(), bytes.end());
  EXPECT_EQ(FfprobeStream(path), "codec_name=pcm_s16le\nsample_rate=32000\nchannels=2\n");
  EXPECT_TRUE(FfmpegDecode(path) == expected);
  EXPECT_EQ(SoxInfo(path), "32000\n2\n9001\nSigned Integer PCM\n");
  EXPECT_TRUE(SoxDecode(path) == expected);
}

}  // namespace
}  // namespace bw
