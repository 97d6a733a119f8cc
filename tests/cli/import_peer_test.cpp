// brookwave-cli import of compressed files that ffmpeg made from one signal: each is decoded into
// 16-bit PCM at its own rate, and what render plays of the imported file is ffmpeg's own
// decoding of it. MPEG Layer III stays wrapped byte for byte; broken files are refused by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::CommandResult;
using test::RunCli;

struct ImportCase {
  const char* name;
  const char* extension;
  const char* encoder;  // ffmpeg's options
  uint32_t rate;
  uint16_t channels;  // of the source
  int tolerance;      // largest difference from ffmpeg's decoding, in 16-bit steps
};

void PrintTo(const ImportCase& c, std::ostream* os) {
  *os << c.name;
}

int MaxDifference(std::span<const int16_t> a, std::span<const int16_t> b) {
  int most = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    most = std::max(most, std::abs(int{a[i]} - int{b[i]}));
  return most;
}

class CliImportFiles : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // `seconds` of a tone (each channel at its own pitch) coded by ffmpeg with `encoder`.
  std::string Coded(const std::string& name, const std::string& encoder, uint32_t rate,
                    uint16_t channels, uint32_t seconds = 2) {
    const std::string source = Path(name + ".source.wav");
    test::WritePcmWave(source, rate, channels,
                       test::SineTone(rate, channels, rate * seconds, 330, 0.6));
    std::vector<std::string> args{"-i", source};
    for (const std::string& w : test::SplitWords(encoder))
      args.push_back(w);
    args.push_back(Path(name));
    EXPECT_TRUE(test::RunFfmpeg(args)) << name;
    return Path(name);
  }

  // ffmpeg's 16-bit decoding of `coded` in `channels` channels.
  std::vector<int16_t> Theirs(const std::string& coded, uint16_t channels) {
    const std::string raw = coded + ".raw";
    EXPECT_TRUE(test::RunFfmpeg(
        {"-i", coded, "-ac", std::to_string(channels), "-f", "s16le", "-c:a", "pcm_s16le", raw}));
    return test::Pcm16Samples(test::ReadFileBytes(raw));
  }

  test::TempDir dir;
};

class CliImportCodec : public CliImportFiles, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(CliImportCodec, RendersWhatFfmpegDecodes) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const ImportCase& c = GetParam();
  const uint16_t channels = std::min<uint16_t>(c.channels, 2);
  const std::string coded =
      Coded(std::string("coded.") + c.extension, c.encoder, c.rate, c.channels);
  const std::vector<int16_t> theirs = Theirs(coded, channels);
  ASSERT_FALSE(theirs.empty());

  const std::string imported = Path("imported.wav");
  const CommandResult r = RunCli({"import", coded, imported});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto wave = test::ParseWave(test::ReadFileBytes(imported));
  ASSERT_TRUE(wave.has_value());
  const WAVEFORMATEX& f = wave->format.format();
  EXPECT_EQ(f.wFormatTag, kWaveFormatPcm);  // never wrapped as MPEG
  EXPECT_EQ(f.wBitsPerSample, 16);
  EXPECT_EQ(f.nChannels, channels);
  EXPECT_EQ(f.nSamplesPerSec, c.rate);
  EXPECT_EQ(wave->data.size(), theirs.size() * 2);

  const CommandResult rendered =
      RunCli({"render", imported, Path("out.wav"), "--eq", "0,0,0,0,0,0,0,0"});
  ASSERT_EQ(rendered.exit_code, 0) << rendered.err;
  const auto out = test::ParseWave(test::ReadFileBytes(Path("out.wav")));
  ASSERT_TRUE(out.has_value());
  const std::vector<int16_t> ours = test::Pcm16Samples(out->data);
  ASSERT_GE(ours.size(), theirs.size());
  EXPECT_LE(MaxDifference(theirs, ours), c.tolerance);
  EXPECT_TRUE(std::all_of(ours.begin() + static_cast<std::ptrdiff_t>(theirs.size()), ours.end(),
                          [](int16_t s) { return s == 0; }));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CliImportCodec,
    ::testing::Values(ImportCase{"flac", "flac", "-c:a flac", 44100, 2, 0},
                      ImportCase{"flac_mono", "flac", "-c:a flac", 22050, 1, 0},
                      ImportCase{"flac_6ch", "flac", "-c:a flac", 48000, 6, 1},
                      ImportCase{"vorbis", "ogg", "-c:a libvorbis -q:a 4", 44100, 2, 1},
                      ImportCase{"opus", "opus", "-c:a libopus -b:a 96k", 48000, 2, 1},
                      ImportCase{"aac", "m4a", "-c:a aac -b:a 128k", 44100, 2, 1},
                      ImportCase{"aac_adts", "aac", "-c:a aac -b:a 96k", 32000, 2, 1},
                      ImportCase{"alac", "m4a", "-c:a alac", 44100, 2, 0},
                      ImportCase{"wavpack", "wv", "-c:a wavpack", 44100, 2, 0},
                      ImportCase{"aiff", "aiff", "-c:a pcm_s16be", 44100, 2, 0},
                      ImportCase{"mp2", "mp2", "-c:a mp2 -b:a 192k", 48000, 2, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliImportFiles, LayerThreeStaysWrappedAndExportGivesTheBytesBack) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::string mp3 = Coded("coded.mp3", "-c:a libmp3lame -b:a 128k", 44100, 2);
  const std::string wrapper = Path("wrapped.wav");
  const CommandResult imported = RunCli({"import", mp3, wrapper});
  ASSERT_EQ(imported.exit_code, 0) << imported.err;
  const auto wave = test::ParseWave(test::ReadFileBytes(wrapper));
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->format.format().wFormatTag, kWaveFormatMpegLayer3);
  EXPECT_EQ(wave->data, test::ReadFileBytes(mp3));
  const std::string back = Path("back.mp3");
  const CommandResult exported = RunCli({"export", wrapper, back});
  ASSERT_EQ(exported.exit_code, 0) << exported.err;
  EXPECT_EQ(test::ReadFileBytes(back), test::ReadFileBytes(mp3));
}

TEST_F(CliImportFiles, ACutFileGivesWhatItHoldsAndABrokenOneIsRefusedByName) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::string flac = Coded("whole.flac", "-c:a flac", 44100, 2, 4);
  std::vector<uint8_t> bytes = test::ReadFileBytes(flac);
  const std::size_t whole = bytes.size();

  // A download cut in the middle plays its first part, as ffmpeg decodes it.
  const std::string cut = Path("cut.flac");
  test::WriteFileBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + whole / 2));
  const std::vector<int16_t> theirs = Theirs(cut, 2);
  const CommandResult cutImport = RunCli({"import", cut, Path("cut.wav")});
  ASSERT_EQ(cutImport.exit_code, 0) << cutImport.err;
  const auto cutWave = test::ParseWave(test::ReadFileBytes(Path("cut.wav")));
  ASSERT_TRUE(cutWave.has_value());
  EXPECT_EQ(test::Pcm16Samples(cutWave->data), theirs);
  EXPECT_GT(theirs.size(), 44100u * 2);
  EXPECT_LT(theirs.size(), 44100u * 2 * 3);

  // The stream header kept, every frame after it overwritten: nothing decodes.
  for (std::size_t i = 200; i < whole; ++i)
    bytes[i] = static_cast<uint8_t>(i * 7919 >> 3);
  const std::string noise = Path("noise.flac");
  test::WriteFileBytes(noise, bytes);
  // Bytes that are no container at all, and a file that is not there.
  const std::string junk = Path("junk.ogg");
  test::WriteFileBytes(junk, std::vector<uint8_t>(bytes.begin() + 200, bytes.end()));
  for (const std::string& bad : {noise, junk, Path("missing.opus")}) {
    const std::string out = Path("bad.wav");
    const CommandResult r = RunCli({"import", bad, out});
    EXPECT_EQ(r.exit_code, 1) << bad;
    EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out)) << bad;
  }
  // Nor is the temporary file left behind.
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(entry.path().filename().string().front(), '_') << entry.path();
}

}  // namespace
}  // namespace bw
