// The pieces the conversion commands are built from: the table of formats a target may have,
// the format Import wraps a stream in, its temporary file's place and name.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/capture_block_basis.h"
#include "convert/audio_import.h"
#include "convert/import_temp_path.h"
#include "convert/mpeg_import.h"
#include "convert/output_file.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

FormatBlock Target(uint16_t tag, uint32_t rate, uint16_t channels, uint32_t avg = 0,
                   std::vector<uint8_t> extra = {}) {
  WAVEFORMATEX f;
  f.wFormatTag = tag;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.nAvgBytesPerSec = avg;
  return FormatBlock(f, extra);
}

TEST(CaptureBlockBasis, GrowsWithTheRateInStepsOf11025AndRefusesUnknownTags) {
  for (const auto& [tag, base] : {std::pair{kWaveFormatMsAdpcm, 21378u},
                                  {kWaveFormatGsm610, 21120u},
                                  {kWaveFormatMpegLayer3, 21888u}}) {
    EXPECT_EQ(CaptureBlockBasis(Target(tag, 8000, 1)), base) << tag;
    EXPECT_EQ(CaptureBlockBasis(Target(tag, 11025, 1)), base) << tag;
    EXPECT_EQ(CaptureBlockBasis(Target(tag, 22050, 2)), 2 * base) << tag;
    EXPECT_EQ(CaptureBlockBasis(Target(tag, 44100, 2)), 4 * base) << tag;
  }
  EXPECT_EQ(CaptureBlockBasis(FormatBlock(MakePcmFormat(44100, 2))), 70560u);
  EXPECT_EQ(CaptureBlockBasis(Target(kWaveFormatImaAdpcm, 22050, 2, 0, {0xF9, 0x03})), 20 * 1017u);
  EXPECT_EQ(CaptureBlockBasis(Target(kWaveFormatMsnAudio, 8000, 1, 0, {0x40, 0x01})), 296 * 320u);
  EXPECT_EQ(CaptureBlockBasis(Target(kWaveFormatLhCelp, 8000, 1)), 16000u);
  for (uint16_t tag : {0x0000, 0x0050, 0x0160})
    EXPECT_EQ(CaptureBlockBasis(Target(tag, 44100, 2, 16000)), 0u) << tag;
}

TEST(ImportFormat, DescribesTheStreamAsStereoMpegLayer3) {
  ImportStream stream;
  stream.frameLength = 413;
  stream.kbit = 128;
  stream.samplesPerSec = 44100;
  const FormatBlock format = MakeImportFormat(stream);
  EXPECT_EQ(
      format.Serialize(),
      (std::vector<uint8_t>{0x55, 0,  2, 0, 0x44, 0xAC, 0, 0, 0x80, 0x3E, 0,    0, 1, 0,    0,
                            0,    12, 0, 1, 0,    2,    0, 0, 0,    0xA1, 0x01, 1, 0, 0x71, 0x05}));

  // Only 44,100 Hz, or joint stereo at another rate, is played.
  EXPECT_TRUE(IsImportable(stream));
  stream.samplesPerSec = 48000;
  EXPECT_FALSE(IsImportable(stream));
  stream.jointStereo = true;
  EXPECT_TRUE(IsImportable(stream));

  // One second per copy, never more than the work buffer (a bit rate text without a number
  // leaves 16,000 kbit/s, two million bytes a second).
  EXPECT_EQ(ImportCopyBlockBytes(format, 400000), 16000u);
  EXPECT_EQ(ImportCopyBlockBytes(MakeImportFormat(ImportStream{}), 400000), 400000u);
}

// Sets or clears environment variables for a scope.
class Environment {
 public:
  ~Environment() {
    for (const auto& [name, value] : saved_) {
      if (value)
        setenv(name.c_str(), value->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
  }
  void Set(const std::string& name, const char* value) {
    const char* old = std::getenv(name.c_str());
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    if (value)
      setenv(name.c_str(), value, 1);
    else
      unsetenv(name.c_str());
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// The folder a path lies in, and the folder that holds that one.
std::pair<std::filesystem::path, std::filesystem::path> Folders(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  return {folder, folder.parent_path()};
}

bool LoadedHere(const std::string& library) {
  const std::vector<uint8_t> maps = test::ReadFileBytes("/proc/self/maps");
  return std::string(maps.begin(), maps.end()).find(library) != std::string::npos;
}

// The desktop asks this of every file it opens: a WAVE file is told by its first bytes,
// without loading libavformat (and the ninety libraries it brings) only to hear it refused.
TEST(ImportableSoundFile, AWaveFileIsRefusedWithoutFfmpegAndOtherFilesAreProbed) {
  test::TempDir dir;
  const std::string wave = (dir / "song.wav").string();
  test::WritePcmWave(wave, 8000, 1, std::vector<int16_t>(800));
  const bool loaded_before = LoadedHere("libavformat");
  EXPECT_FALSE(IsImportableSoundFile(wave));
  EXPECT_TRUE(loaded_before || !LoadedHere("libavformat")) << "not loaded for a WAVE file";

  const std::string text = (dir / "notes.txt").string();
  test::WriteFileBytes(text, std::vector<uint8_t>(4096, 'x'));
  EXPECT_FALSE(IsImportableSoundFile(text));
  EXPECT_TRUE(LoadedHere("libavformat")) << "probed by libavformat";
}

TEST(ImportTempPath, APrivateFolderInTmpThenTempThenTmpdirThenTmpNamesTheTimeOfDay) {
  Environment env;
  test::TempDir a, b, c;
  env.Set("TMP", a.path().c_str());
  env.Set("TEMP", (b.path().string() + "/").c_str());
  env.Set("TMPDIR", c.path().c_str());
  std::vector<std::filesystem::path> made;
  for (const test::TempDir* expected : {&a, &b, &c}) {
    ImportTempFolder folder;
    const std::string path = folder.MakeImportTempPath();
    const auto [own, parent] = Folders(path);
    EXPECT_EQ(parent, expected->path()) << path;
    EXPECT_TRUE(own.filename().string().starts_with("brookwave-")) << path;
    EXPECT_TRUE(std::filesystem::path(path).filename().string().starts_with("_")) << path;
    EXPECT_EQ(std::filesystem::status(own).permissions(), std::filesystem::perms::owner_all);
    // The view keeps its folder: a later path lies in the same one.
    EXPECT_EQ(Folders(folder.MakeImportTempPath()).first, own);
    made.push_back(own);
    unsetenv(expected == &a ? "TMP" : expected == &b ? "TEMP" : "TMPDIR");
  }
  for (const auto& own : made)
    EXPECT_FALSE(std::filesystem::exists(own)) << "the folder outlived its view";
  {
    ImportTempFolder folder;
    EXPECT_EQ(Folders(folder.MakeImportTempPath()).second, "/tmp");
    EXPECT_STREQ(std::getenv("TEMP"), "/tmp");
    ImportTempFolder other;
    EXPECT_NE(Folders(other.MakeImportTempPath()).first, Folders(folder.MakeImportTempPath()).first)
        << "two views must not share a name anyone could guess";
  }
  env.Set("TMP", "/nonexistent/folder");
  ImportTempFolder missing;
  EXPECT_EQ(CreatePrivateFile(missing.MakeImportTempPath()), ENOENT);

  using namespace std::chrono;
  const sys_days day = 2024y / 3 / 7;
  EXPECT_EQ(ImportTempFileName(system_clock::time_point(day + 15min + 30s + 123ms)),
            "_070015300123.WAV");
}

TEST(ImportTempFile, IsCreatedNewAndPrivateNeverThroughWhatWasThere) {
  test::TempDir dir;
  const auto victim = dir / "victim";
  test::WriteFileBytes(victim, {1, 2, 3});
  std::filesystem::create_symlink(victim, dir / "link.WAV");
  ASSERT_EQ(CreatePrivateFile(dir / "link.WAV"), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link.WAV"));
  ASSERT_EQ(::link(victim.c_str(), (dir / "hard.WAV").c_str()), 0);
  ASSERT_EQ(CreatePrivateFile(dir / "hard.WAV"), 0);
  EXPECT_EQ(test::ReadFileBytes(victim), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(std::filesystem::hard_link_count(victim), 1u);
  ASSERT_EQ(::mkfifo((dir / "pipe.WAV").c_str(), 0600), 0);
  ASSERT_EQ(CreatePrivateFile(dir / "pipe.WAV"), 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir / "pipe.WAV"));
  std::filesystem::create_directory(dir / "folder.WAV");
  EXPECT_NE(CreatePrivateFile(dir / "folder.WAV"), 0);

  test::WriteFileBytes(dir / "old.WAV", {4, 5});
  ASSERT_EQ(CreatePrivateFile(dir / "old.WAV"), 0);
  EXPECT_EQ(std::filesystem::file_size(dir / "old.WAV"), 0u);
  ASSERT_EQ(CreatePrivateFile(dir / "new.WAV"), 0);
  EXPECT_EQ(std::filesystem::status(dir / "new.WAV").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace
}  // namespace bw
