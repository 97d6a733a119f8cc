// brookwave-cli convert, export and import beside ffmpeg, sox, lame and mpg123: what Save writes
// they decode to the source, and this program plays back as ffmpeg decodes it (MPEG audio as
// mpg123 does, within the conformance limits); what Export writes is a plain MPEG stream;
// Import and Export give an MPEG file back unchanged.
#include <gtest/gtest.h>

#include "platform/acm/acm_formats.h"
#include "platform/acm_test_util.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::CommandResult;
using test::DelayedSnrDb;
using test::RunCli;
using test::RunCommand;

struct SaveCase {
  const char* name;
  const char* format;
  bool sox;          // sox reads this codec in a WAVE file
  double snr_floor;  // dB against the source
};

void PrintTo(const SaveCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<int16_t> Decoded(const CommandResult& r) {
  EXPECT_EQ(r.exit_code, 0) << r.err;
  return test::Pcm16Samples(std::vector<uint8_t>(r.out.begin(), r.out.end()));
}

class CliConvert : public ::testing::TestWithParam<SaveCase> {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // A sweep in the layout of `format`, written as 16-bit PCM.
  std::string WriteSource(const FormatBlock& format) {
    const WAVEFORMATEX& f = format.format();
    source = test::Sweep(f.nSamplesPerSec, f.nChannels, f.nSamplesPerSec * 2);
    test::WriteFileBytes(
        Path("source.wav"),
        test::BuildWave(test::Pcm16Block(f.nSamplesPerSec, f.nChannels), test::Pcm16Bytes(source)));
    return Path("source.wav");
  }

  test::TempDir dir;
  std::vector<int16_t> source;
};

TEST_P(CliConvert, PeersDecodeWhatSaveWritesAndPlaybackMatchesThem) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const SaveCase& c = GetParam();
  std::string error;
  const FormatBlock format = ParseFormatArgument(c.format, error);
  ASSERT_FALSE(format.empty()) << error;
  const std::string out = Path("out.wav");
  const CommandResult r = RunCli({"convert", WriteSource(format), out, "--format", c.format});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "Complete Convert\n");

  const std::optional<test::ParsedWave> wave = test::ParseWave(test::ReadFileBytes(out));
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->format, format);
  EXPECT_EQ(wave->fact, wave->data.size());

  const uint16_t channels = format.format().nChannels;
  const std::vector<int16_t> theirs =
      Decoded(RunCommand({"ffmpeg", "-v", "error", "-i", out, "-f", "s16le", "-"}));
  EXPECT_GE(theirs.size(), source.size());
  EXPECT_GE(DelayedSnrDb(source, theirs, channels, 3000), c.snr_floor);
  if (c.sox && test::HaveProgram("sox")) {
    EXPECT_GE(DelayedSnrDb(source,
                           Decoded(RunCommand({"sox", out, "-t", "raw", "-e", "signed-integer",
                                               "-b", "16", "-L", "-"})),
                           channels, 3000),
              c.snr_floor);
  }
  const CommandResult played =
      RunCli({"render", out, Path("played.wav"), "--eq", "0,0,0,0,0,0,0,0"});
  ASSERT_EQ(played.exit_code, 0) << played.err;
  const std::vector<int16_t> ours =
      test::Pcm16Samples(test::ParseWave(test::ReadFileBytes(Path("played.wav")))->data);
  if (format.format().wFormatTag == kWaveFormatMpegLayer3) {
    const test::DecodingError e = test::ComparePlayed(test::Mpg123Decode(out), ours);
    EXPECT_TRUE(e.within_full_accuracy()) << c.name << ": " << e;
  } else {
    EXPECT_GE(test::SnrDb(theirs, ours), 60) << c.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, CliConvert,
                         ::testing::Values(SaveCase{"pcm8", "pcm:44100:2:8", true, 35},
                                           SaveCase{"alaw", "alaw:8000:1", true, 35},
                                           SaveCase{"mulaw", "mulaw:22050:2", true, 34},
                                           SaveCase{"msadpcm", "msadpcm:44100:2", true, 23},
                                           SaveCase{"imaadpcm", "imaadpcm:22050:2", true, 24},
                                           SaveCase{"gsm610", "gsm610:8000:1", true, 22},
                                           SaveCase{"mp3", "mp3:44100:2:128", false, 23},
                                           SaveCase{"mp3lsf", "mp3:22050:1:56", false, 23}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CliExport, WritesAnMp3StreamThatMpg123Decodes) {
  BW_REQUIRE_PROGRAM("mpg123");
  test::TempDir dir;
  const std::vector<int16_t> source = test::Sweep(44100, 2, 44100 * 3);
  const std::string in = (dir / "in.wav").string();
  const std::string out = (dir / "out.mp3").string();
  test::WriteFileBytes(in, test::BuildWave(test::Pcm16Block(44100, 2), test::Pcm16Bytes(source)));
  const CommandResult r = RunCli({"export", in, out});  // the preset: 128 kbit/s
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<uint8_t> bytes = test::ReadFileBytes(out);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFB);    // MPEG-1 Layer III without checksum
  EXPECT_EQ(bytes[2] >> 4, 9);  // 128 kbit/s
  const std::vector<int16_t> theirs = Decoded(RunCommand({"mpg123", "-q", "-s", out}));
  EXPECT_GE(theirs.size(), source.size());
  EXPECT_GE(DelayedSnrDb(source, theirs, 2, 3000), 23);
}

TEST(CliImport, ThenExportGivesBackTheLameFileWithItsTag) {
  BW_REQUIRE_PROGRAM("lame");
  test::TempDir dir;
  const std::string raw = (dir / "tone.raw").string();
  const std::string mp3 = (dir / "tone.mp3").string();
  test::WriteFileBytes(raw, test::Pcm16Bytes(test::Sweep(44100, 2, 44100 * 2)));
  ASSERT_EQ(RunCommand({"lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16",
                        "--little-endian", "-b", "128", "--add-id3v2", "--tt", "Sweep", raw, mp3})
                .exit_code,
            0);
  const std::string wrapper = (dir / "wrapped.wav").string();
  const CommandResult imported = RunCli({"import", mp3, wrapper});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  const std::optional<test::ParsedWave> wave = test::ParseWave(test::ReadFileBytes(wrapper));
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->format.format().nAvgBytesPerSec, 16000u);
  EXPECT_EQ(wave->data, test::ReadFileBytes(mp3));

  const std::string back = (dir / "back.mp3").string();
  const CommandResult exported = RunCli({"export", wrapper, back});
  ASSERT_EQ(exported.exit_code, 0) << exported.err;
  EXPECT_EQ(test::ReadFileBytes(back), test::ReadFileBytes(mp3));
}

}  // namespace
}  // namespace bw
