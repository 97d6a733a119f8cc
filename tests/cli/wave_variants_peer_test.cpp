// WAVE files as sox and ffmpeg write them today (24 and 32 bits, float, EXTENSIBLE, six
// channels, RF64), rendered by brookwave-cli and compared with ffmpeg's decoding of the same
// file; the targets Save writes in those formats, read back by both; and the broken files:
// contradictory formats, data chunks longer than the file, RF64 data beyond 32-bit positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

enum class Compare { kExact, kOneStep, kMixedDown };

struct VariantCase {
  const char* name;
  const char* writer;   // "sox" or "ffmpeg"
  const char* command;  // its arguments; OUT is the file it writes, SRC a six-channel source
  Compare compare;
};

void PrintTo(const VariantCase& c, std::ostream* os) {
  *os << c.name;
}

std::vector<std::string> Words(const std::string& command, const std::string& out,
                               const std::string& src) {
  std::vector<std::string> words = test::SplitWords(command);
  for (std::string& w : words) {
    if (w == "OUT") w = out;
    if (w == "SRC") w = src;
  }
  return words;
}

std::vector<int32_t> Le32Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int32_t> samples(bytes.size() / 4);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
  return samples;
}

// 32-bit samples to 16 bits, rounded to the nearest step (halves up) and held to the range.
std::vector<int16_t> Rounded(const std::vector<int32_t>& wide) {
  std::vector<int16_t> out;
  for (int32_t v : wide)
    out.push_back(static_cast<int16_t>(std::min<int64_t>((int64_t{v} + 32768) >> 16, 32767)));
  return out;
}

class WaveVariants : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  bool Write(const char* writer, const std::string& command, const std::string& out) {
    const std::vector<std::string> args = Words(command, out, Path("six.wav"));
    if (std::string(writer) == "ffmpeg") return test::RunFfmpeg(args);
    std::vector<std::string> argv = {"sox"};
    argv.insert(argv.end(), args.begin(), args.end());
    return test::RunCommand(argv).exit_code == 0;
  }

  // Six channels of different tones, written by sox.
  void WriteSixChannels() {
    ASSERT_EQ(test::RunCommand(
                  {"sox",   "-n",   "-r",   "48000", "-c",   "6",   "-b",   "16",  Path("six.wav"),
                   "synth", "1",    "sine", "200",   "sine", "300", "sine", "400", "sine",
                   "500",   "sine", "600",  "sine",  "700",  "vol", "0.9"})
                  .exit_code,
              0);
  }

  // What ffmpeg decodes `file` to, as raw little-endian bytes of `format`.
  std::vector<uint8_t> FfmpegDecoding(const std::string& file, const std::string& format,
                                      bool stereo = false) {
    std::vector<std::string> args = {"-i", file};
    if (stereo) args.insert(args.end(), {"-ac", "2"});
    args.insert(args.end(), {"-f", format, Path("ffmpeg.raw")});
    EXPECT_TRUE(test::RunFfmpeg(args));
    return test::ReadFileBytes(Path("ffmpeg.raw"));
  }

  std::vector<uint8_t> SoxDecoding(const std::string& file, const std::string& type) {
    // No dither: what the file holds, not a new rounding of it.
    EXPECT_EQ(test::RunCommand({"sox", "-D", file, "-t", type, Path("sox.raw")}).exit_code, 0);
    return test::ReadFileBytes(Path("sox.raw"));
  }

  // Renders `file` with a flat equaliser; the card's 16-bit output.
  std::vector<int16_t> Render(const std::string& file, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"render", file, Path("out.wav"), "--eq", "0,0,0,0,0,0,0,0"};
    args.insert(args.end(), options.begin(), options.end());
    const test::CommandResult r = test::RunCli(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const auto out = test::ParseWave(test::ReadFileBytes(Path("out.wav")));
    if (!out) {
      ADD_FAILURE() << "render wrote no WAVE file";
      return {};
    }
    rendered_channels = out->format.format().nChannels;
    return test::Pcm16Samples(out->data);
  }

  uint16_t rendered_channels = 0;
  test::TempDir dir;
};

class WaveVariantRender : public WaveVariants, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(WaveVariantRender, MatchesFfmpegsDecoding) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  BW_REQUIRE_PROGRAM("sox");
  const VariantCase& c = GetParam();
  WriteSixChannels();
  const std::string file = Path("variant.wav");
  ASSERT_TRUE(Write(c.writer, c.command, file)) << c.command;

  std::vector<int16_t> theirs;
  if (c.compare == Compare::kExact)
    theirs = Rounded(Le32Samples(FfmpegDecoding(file, "s32le")));
  else
    theirs = test::Pcm16Samples(FfmpegDecoding(file, "s16le", c.compare == Compare::kMixedDown));
  ASSERT_FALSE(theirs.empty());

  const std::vector<int16_t> ours = Render(file);
  EXPECT_LE(rendered_channels, 2);
  ASSERT_GE(ours.size(), theirs.size());
  int worst = 0;
  for (std::size_t i = 0; i < theirs.size(); ++i)
    worst = std::max(worst, std::abs(ours[i] - theirs[i]));
  EXPECT_LE(worst, c.compare == Compare::kExact ? 0 : 1) << c.name;
  EXPECT_TRUE(std::all_of(ours.begin() + static_cast<std::ptrdiff_t>(theirs.size()), ours.end(),
                          [](int16_t s) { return s == 0; }))
      << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Writers, WaveVariantRender,
    ::testing::Values(
        VariantCase{"sox_24bit", "sox", "-n -r 44100 -c 2 -b 24 OUT synth 1 sine 997 sine 440",
                    Compare::kExact},
        VariantCase{"sox_float", "sox",
                    "-n -r 44100 -c 2 -e float -b 32 OUT synth 1 sine 997 sine 440",
                    Compare::kOneStep},
        VariantCase{"sox_float64", "sox", "-n -r 22050 -c 1 -e float -b 64 OUT synth 1 sine 997",
                    Compare::kOneStep},
        VariantCase{"ffmpeg_s24le", "ffmpeg",
                    "-f lavfi -i sine=frequency=997:duration=1 -af "
                    "volume=0.9 -ac 2 -c:a pcm_s24le OUT",
                    Compare::kExact},
        VariantCase{"ffmpeg_s32le", "ffmpeg",
                    "-f lavfi -i sine=frequency=997:duration=1 -af "
                    "volume=0.9 -ac 2 -c:a pcm_s32le OUT",
                    Compare::kExact},
        VariantCase{"ffmpeg_f32le", "ffmpeg",
                    "-f lavfi -i sine=frequency=997:duration=1 -af "
                    "volume=0.9 -ac 2 -c:a pcm_f32le OUT",
                    Compare::kOneStep},
        VariantCase{"ffmpeg_f64le", "ffmpeg",
                    "-f lavfi -i sine=frequency=997:duration=1 -af "
                    "volume=0.9 -ac 2 -c:a pcm_f64le OUT",
                    Compare::kOneStep},
        VariantCase{"ffmpeg_6ch_s16le", "ffmpeg", "-i SRC -c:a pcm_s16le OUT", Compare::kMixedDown},
        VariantCase{"sox_6ch_24bit", "sox", "SRC -b 24 OUT", Compare::kMixedDown},
        VariantCase{
            "ffmpeg_rf64_s16le", "ffmpeg",
            "-f lavfi -i sine=frequency=997:duration=1 -ac 2 -c:a pcm_s16le -rf64 always OUT",
            Compare::kExact},
        VariantCase{
            "ffmpeg_rf64_s24le", "ffmpeg",
            "-f lavfi -i sine=frequency=997:duration=1 -ac 2 -c:a pcm_s24le -rf64 always OUT",
            Compare::kExact},
        VariantCase{"ffmpeg_rf64_6ch", "ffmpeg", "-i SRC -c:a pcm_s16le -rf64 always OUT",
                    Compare::kMixedDown}),
    [](const auto& info) { return std::string(info.param.name); });

// Save into the new targets: what sox and ffmpeg read back is the source, bit for bit, where
// the target holds the source's precision.
TEST_F(WaveVariants, SaveWrites24BitAndFloatTargetsPeersReadExactly) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  BW_REQUIRE_PROGRAM("sox");
  const std::string source = Path("source24.wav");
  ASSERT_TRUE(Write("sox", "-n -r 44100 -c 2 -b 24 OUT synth 1 sine 997 sine 440", source));
  const std::string pcm24 = Path("pcm24.wav");
  test::CommandResult r = test::RunCli({"convert", source, pcm24, "--format", "pcm:44100:2:24"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<uint8_t> original = FfmpegDecoding(source, "s32le");
  EXPECT_EQ(FfmpegDecoding(pcm24, "s32le"), original);
  EXPECT_EQ(SoxDecoding(pcm24, "s32"), SoxDecoding(source, "s32"));

  // 16-bit sound in 32-bit floats: every sample is exact.
  const std::string source16 = Path("source16.wav");
  ASSERT_TRUE(Write("sox", "-n -r 32000 -c 1 -b 16 OUT synth 1 sine 997", source16));
  const std::string float32 = Path("float32.wav");
  r = test::RunCli({"convert", source16, float32, "--format", "float:32000:1"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<uint8_t> samples16 = FfmpegDecoding(source16, "s16le");
  EXPECT_EQ(FfmpegDecoding(float32, "s16le"), samples16);
  EXPECT_EQ(SoxDecoding(float32, "s16"), samples16);
  r = test::RunCli({"info", float32});
  EXPECT_NE(r.out.find("format_tag=0x0003\n"), std::string::npos) << r.out;
}

// A six-channel source is offered at six channels and as stereo, mixed as playback mixes.
TEST_F(WaveVariants, SaveKeepsSixChannelsOrMixesToStereo) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  BW_REQUIRE_PROGRAM("sox");
  WriteSixChannels();
  const std::string six = Path("six.wav");
  test::CommandResult r =
      test::RunCli({"convert", six, Path("six16.wav"), "--format", "pcm:48000:6:16"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(FfmpegDecoding(Path("six16.wav"), "s16le"), FfmpegDecoding(six, "s16le"));

  r = test::RunCli({"convert", six, Path("stereo.wav"), "--format", "pcm:48000:2:16"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::vector<int16_t> saved =
      test::Pcm16Samples(FfmpegDecoding(Path("stereo.wav"), "s16le"));
  const std::vector<int16_t> played = Render(six);
  ASSERT_GE(played.size(), saved.size());
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), played.begin()));
  // MPEG Layer-3 has no six-channel format.
  r = test::RunCli({"convert", six, Path("six.mp3.wav"), "--format", "mp3:48000:6:128"});
  EXPECT_NE(r.exit_code, 0);
}

// ---- broken files ----

TEST_F(WaveVariants, ContradictoryFormatsAreRefusedNotPlayedAsNoise) {
  const std::vector<uint8_t> data(4000, 0x55);
  const std::vector<FormatBlock> formats = {
      FormatBlock(WAVEFORMATEX{kWaveFormatPcm, 2, 8000, 32000, 2, 16, 0}),  // 16 bits, 1 byte
      FormatBlock(WAVEFORMATEX{kWaveFormatPcm, 2, 8000, 40000, 5, 16, 0}),  // 5 bytes, 2 channels
      FormatBlock(WAVEFORMATEX{0x0003, 2, 8000, 64000, 8, 64, 0}),          // 64 bits in 4 bytes
  };
  for (const FormatBlock& f : formats) {
    const std::string file = Path("contradictory.wav");
    test::WriteFileBytes(file, test::BuildWave(f, data));
    const test::CommandResult r = test::RunCli({"render", file, Path("out.wav")});
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.err.find("UnKnown Format"), std::string::npos) << r.err;
  }
}

// A cut download: the data chunk says more than the file holds.
class CutFile : public WaveVariants {
 protected:
  void SetUp() override {
    BW_REQUIRE_PROGRAM("sox");
    ASSERT_TRUE(
        Write("sox", "-n -r 8000 -c 1 -b 16 OUT synth 2 sine 440 vol 0.5", Path("whole.wav")));
    const std::vector<uint8_t> whole = test::ReadFileBytes(Path("whole.wav"));
    held = 8000;  // one second of the two
    const std::size_t data_at = whole.size() - 32000;
    std::vector<uint8_t> cut(whole.begin(),
                             whole.begin() + static_cast<std::ptrdiff_t>(data_at + held));
    test::WriteFileBytes(Path("cut.wav"), cut);
    expected = test::Pcm16Samples(std::span(cut).subspan(data_at));
  }
  uint32_t held = 0;
  std::vector<int16_t> expected;
};

TEST_F(CutFile, PlaysWhatItHoldsAndEndsAsAnySong) {
  const test::CommandResult info = test::RunCli({"info", Path("cut.wav")});
  EXPECT_NE(info.out.find("data_bytes=32000\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("data_bytes_held=8000\n"), std::string::npos) << info.out;

  const std::vector<int16_t> ours = Render(Path("cut.wav"));
  ASSERT_GE(ours.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ours.begin()));
  EXPECT_TRUE(std::all_of(ours.begin() + static_cast<std::ptrdiff_t>(expected.size()), ours.end(),
                          [](int16_t s) { return s == 0; }));
}

TEST_F(CutFile, APlayListMovesOnToTheNextEntry) {
  test::WritePcmWave(Path("next.wav"), 8000, 1, std::vector<int16_t>(4000, 1234));
  const std::string list = Path("list.plf");
  test::WriteFileBytes(list, [&] {
    const std::string text = Path("cut.wav") + "\r\n" + Path("next.wav") + "\r\n";
    return std::vector<uint8_t>(text.begin(), text.end());
  }());
  const std::vector<int16_t> ours = Render(list);
  ASSERT_GE(ours.size(), expected.size() + 4000);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), ours.begin()));
  EXPECT_EQ(std::count(ours.begin(), ours.end(), int16_t{1234}), 4000);
}

TEST_F(CutFile, AStartPastTheRealEndEndsAtOnce) {
  const std::vector<int16_t> ours = Render(Path("cut.wav"), {"--selection", "20000:30000"});
  EXPECT_TRUE(std::all_of(ours.begin(), ours.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(WaveVariants, Rf64DataBeyond32BitPositionsGetsAClearMessage) {
  const FormatBlock pcm(MakePcmFormat(8000, 1));
  std::vector<uint8_t> ds64(28, 0);
  const uint64_t data_size = 5ull << 30;
  StoreLe32(&ds64[8], static_cast<uint32_t>(data_size));
  StoreLe32(&ds64[12], static_cast<uint32_t>(data_size >> 32));
  std::vector<uint8_t> image =
      test::BuildRiffWave({{"ds64", ds64, {}},
                           {"fmt ", test::FmtBody(pcm), {}},
                           {"data", std::vector<uint8_t>(64, 0), 0xFFFFFFFFu}});
  std::memcpy(image.data(), "RF64", 4);
  const std::string file = Path("huge.wav");
  test::WriteFileBytes(file, image);
  test::CommandResult r = test::RunCli({"render", file, Path("out.wav")});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.err.find("is larger than 4 GiB"), std::string::npos) << r.err;
  r = test::RunCli({"info", file});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_NE(r.err.find("is larger than 4 GiB"), std::string::npos) << r.err;
  // The same file with a size that fits plays what it holds.
  StoreLe32(&image[20 + 8], 64);
  StoreLe32(&image[20 + 12], 0);
  test::WriteFileBytes(file, image);
  r = test::RunCli({"info", file});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("data_bytes=64\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace bw
