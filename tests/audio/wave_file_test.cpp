#include "audio/wave_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <concepts>
#include <fstream>
#include <ostream>
#include <string>

#include "audio/wave_test_util.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::BuildRiffWave;
using test::BuildWave;
using test::Chunk;
using test::FmtBody;
using test::ParseWave;
using test::ReadFileBytes;
using test::ReadSource;
using test::WriteFileBytes;
using test::WriteTarget;

std::vector<uint8_t> Pattern(std::size_t size) {
  std::vector<uint8_t> out(size);
  for (std::size_t i = 0; i < size; ++i)
    out[i] = static_cast<uint8_t>(i * 13 + 5);
  return out;
}

std::vector<uint8_t> Le32(uint32_t value) {
  std::vector<uint8_t> out(4);
  StoreLe32(out.data(), value);
  return out;
}

std::vector<uint8_t> Text(std::string_view text) {
  return {text.begin(), text.end()};
}

FormatBlock Pcm(uint32_t rate, uint16_t channels, uint16_t bits = 16) {
  return FormatBlock(MakePcmFormat(rate, channels, bits));
}

FormatBlock Coded(uint16_t tag, uint16_t channels, uint16_t block_align,
                  std::vector<uint8_t> extra = {}) {
  return FormatBlock(WAVEFORMATEX{tag, channels, 8000, 4055, block_align, 4, 0}, extra);
}

// Parameterised cases print, and are named, by their name.
template <typename Case>
requires std::same_as<decltype(Case::name), const char*> std::ostream& operator<<(std::ostream& os,
                                                                                  const Case& c) {
  return os << c.name;
}
constexpr auto kCaseName = [](const auto& info) { return std::string(info.param.name); };

template <typename Case>
class FileCase : public ::testing::TestWithParam<Case> {
 protected:
  test::TempDir dir_;
  test::CapturedMessages messages_;
};

// ---- targets ------------------------------------------------------------------------------

struct TargetCase {
  const char* name;
  FormatBlock format;
  std::size_t data_bytes;
  uint32_t data_offset;
};

using WaveTarget = FileCase<TargetCase>;

TEST_P(WaveTarget, WritesTheFixedLayout) {
  const TargetCase& c = GetParam();
  const auto path = dir_ / "target.wav";
  const std::vector<uint8_t> data = Pattern(c.data_bytes);
  ASSERT_EQ(WriteTarget(path, c.format, data, 4321), 0);

  const std::vector<uint8_t> image = ReadFileBytes(path);
  // An independent builder pads every chunk, so an odd fmt or data chunk is checked too.
  EXPECT_EQ(image,
            BuildRiffWave(
                {{"fmt ", FmtBody(c.format), {}}, {"fact", Le32(4321), {}}, {"data", data, {}}}));
  const auto parsed = ParseWave(image);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->format, c.format);
  EXPECT_EQ(parsed->data_offset, c.data_offset);
  EXPECT_EQ(parsed->data, data);
  EXPECT_EQ(parsed->fact, 4321u);
  EXPECT_EQ(image.size() % 2, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, WaveTarget,
    ::testing::Values(TargetCase{"Pcm16StereoOddData", Pcm(22050, 2), 1001, 56},
                      TargetCase{"Pcm8MonoEmpty", Pcm(8000, 1, 8), 0, 56},
                      TargetCase{"ImaAdpcmWithExtraBytes",
                                 Coded(kWaveFormatImaAdpcm, 1, 256, {0xF9, 0x01}), 4096, 60},
                      TargetCase{"OddExtraBytesPadTheFmtChunk", Coded(0x1234, 2, 4, {1, 2, 3}), 77,
                                 62}),
    kCaseName);

TEST(WaveTargetSizes, StayCurrentWhileWritingGoesOn) {
  test::TempDir dir;
  const auto path = dir / "growing.wav";
  const std::vector<uint8_t> data = Pattern(5000);
  test::OpenTarget target;
  ASSERT_EQ(target.Begin(path, Pcm(8000, 1, 8)), 0);
  ASSERT_EQ(target.Write(std::span(data).first(301)), 0);
  ASSERT_EQ(
      UpdateWaveTargetSizes(target.file, target.dataChunk, target.riffChunk, target.ioInfo, 301),
      0);

  // Odd data has no pad byte yet: the sizes count exactly what the file holds.
  std::vector<uint8_t> image = ReadFileBytes(path);
  ASSERT_EQ(image.size(), 56u + 301);
  EXPECT_EQ(LoadLe32(image.data() + 4), image.size() - 8);
  EXPECT_EQ(LoadLe32(image.data() + 52), 301u);
  EXPECT_EQ(LoadLe32(image.data() + 44), 301u);  // the fact count
  EXPECT_TRUE(std::equal(image.begin() + 56, image.end(), data.begin()));

  ASSERT_EQ(target.Write(std::span(data).subspan(301, 4099)), 0);
  ASSERT_EQ(
      UpdateWaveTargetSizes(target.file, target.dataChunk, target.riffChunk, target.ioInfo, 4400),
      0);
  auto parsed = ParseWave(ReadFileBytes(path));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->data, std::vector<uint8_t>(data.begin(), data.begin() + 4400));
  // The count follows the data too.
  EXPECT_EQ(parsed->fact, 4400u);

  ASSERT_EQ(target.Write(std::span(data).subspan(4400)), 0);
  ASSERT_EQ(target.Finish(5000), 0);
  parsed = ParseWave(ReadFileBytes(path));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->data, data);
  EXPECT_EQ(parsed->fact, 5000u);
}

TEST(WaveTargetOpen, NeedsAnExistingFileAndFinishesAnEmptyHandleAsANoOp) {
  test::TempDir dir;
  RiffFile file;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;
  MMIOINFO ioInfo;
  uint32_t expected = kWaveTargetExpectedSize;
  EXPECT_EQ(CreateWaveTarget(dir / "absent.wav", file, Pcm(8000, 1), riffChunk, expected),
            WaveFileWriteFailed);
  EXPECT_FALSE(std::filesystem::exists(dir / "absent.wav"));
  EXPECT_EQ(FinishWaveTarget(file, dataChunk, riffChunk, ioInfo, 1), 0);
}

// ---- sources ------------------------------------------------------------------------------

struct SourceCase {
  const char* name;
  std::vector<uint8_t> image;
  FormatBlock format;
  std::vector<uint8_t> data;
};

SourceCase Layout(const char* name, std::vector<Chunk> chunks, FormatBlock format,
                  std::vector<uint8_t> data) {
  return {name, BuildRiffWave(chunks), std::move(format), std::move(data)};
}

std::vector<uint8_t> WithFormSize(std::vector<uint8_t> image, uint32_t size) {
  StoreLe32(image.data() + 4, size);
  return image;
}

std::vector<SourceCase> SourceCases() {
  const FormatBlock pcm = Pcm(44100, 2);
  const FormatBlock alaw = Coded(kWaveFormatALaw, 1, 1);
  const FormatBlock ima = Coded(kWaveFormatImaAdpcm, 2, 512, {0xF9, 0x01});
  const std::vector<uint8_t> data = Pattern(3000);
  const std::vector<uint8_t> odd = Pattern(77);
  std::vector<uint8_t> pcm18 = pcm.Serialize();
  std::vector<uint8_t> pcm20 = FmtBody(pcm);
  pcm20.insert(pcm20.end(), {9, 9, 9, 9});
  std::vector<uint8_t> alaw16 = FmtBody(alaw);
  alaw16.resize(16);
  return {
      Layout("Pcm16ByteFmt", {{"fmt ", FmtBody(pcm), {}}, {"data", data, {}}}, pcm, data),
      Layout("Pcm18ByteFmt", {{"fmt ", pcm18, {}}, {"data", data, {}}}, pcm, data),
      Layout("PcmFmtWithTrailingBytes", {{"fmt ", pcm20, {}}, {"data", data, {}}}, pcm, data),
      Layout("CodedWithZeroCbSize", {{"fmt ", FmtBody(alaw), {}}, {"data", odd, {}}}, alaw, odd),
      Layout("Coded16ByteFmtHasNoExtraBytes",
             {{"fmt ", alaw16, {}}, {"fact", Le32(77), {}}, {"data", odd, {}}}, alaw, odd),
      Layout("DataBeforeFmt", {{"data", data, {}}, {"fmt ", FmtBody(ima), {}}}, ima, data),
      Layout("ExtraChunksAndOddSizes",
             {{"LIST", Pattern(5), {}},
              {"fmt ", FmtBody(ima), {}},
              {"junk", Pattern(3), {}},
              {"data", odd, {}},
              {"cue ", Pattern(4), {}}},
             ima, odd),
      {"FormClaimsMoreThanTheFile",
       WithFormSize(BuildRiffWave({{"fmt ", FmtBody(pcm), {}}, {"data", odd, {}}}), 0xFFFFFFF0),
       pcm, odd},
  };
}

using WaveSource = FileCase<SourceCase>;

TEST_P(WaveSource, FindsFormatAndDataWhereverTheyStand) {
  const SourceCase& c = GetParam();
  const auto path = dir_ / "source.wav";
  WriteFileBytes(path, c.image);
  for (std::size_t block : {7u, 4096u}) {
    const test::SourceContents got = ReadSource(path, block);
    ASSERT_EQ(got.result(), 0) << "block " << block;
    EXPECT_EQ(got.format, c.format);
    EXPECT_EQ(got.declared_bytes, c.data.size());
    EXPECT_EQ(got.data, c.data);
  }
  EXPECT_TRUE(messages_.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Layouts, WaveSource, ::testing::ValuesIn(SourceCases()), kCaseName);

TEST(WaveSourceRead, NeverPassesTheDeclaredEndOfTheData) {
  test::TempDir dir;
  const auto path = dir / "short.wav";
  const std::vector<uint8_t> data = Pattern(10);
  WriteFileBytes(path, BuildRiffWave({{"fmt ", FmtBody(Pcm(8000, 1)), {}},
                                      {"data", data, {}},
                                      {"tail", Text("not sound"), {}}}));
  RiffFile file;
  FormatBlock format;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;
  ASSERT_EQ(OpenWaveSource(path, file, format, riffChunk), 0);
  ASSERT_EQ(SeekWaveData(file, dataChunk, riffChunk), 0);
  std::vector<uint8_t> buffer(100);
  uint32_t got = 0;
  ASSERT_EQ(ReadWaveData(file, std::span(buffer).first(4), dataChunk, got), 0);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(dataChunk.cksize, 6u);
  ASSERT_EQ(ReadWaveData(file, buffer, dataChunk, got), 0);
  EXPECT_EQ(got, 6u);
  EXPECT_TRUE(std::equal(data.begin() + 4, data.end(), buffer.begin()));
  ASSERT_EQ(ReadWaveData(file, buffer, dataChunk, got), 0);
  EXPECT_EQ(got, 0u);
  CloseWaveSource(file, format);
  CloseWaveSource(file, format);  // closing twice is harmless
}

// The access mode a descriptor of this process was opened with, found by the file it names.
int AccessModeOf(const std::filesystem::path& path) {
  const auto target = std::filesystem::canonical(path);
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::filesystem::read_symlink(entry.path(), ec) != target) continue;
    std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
    std::string key;
    while (info >> key) {
      if (key == "flags:") {
        std::string octal;
        info >> octal;
        return std::stoi(octal, nullptr, 8) & O_ACCMODE;
      }
    }
  }
  return -1;
}

TEST(WaveSourceOpen, OpensForReadingOnly) {
  test::TempDir dir;
  const auto path = dir / "readonly.wav";
  WriteFileBytes(path, BuildRiffWave({{"fmt ", FmtBody(Pcm(8000, 1)), {}}, {"data", {}, {}}}));
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  RiffFile file;
  FormatBlock format;
  MMCKINFO riffChunk;
  ASSERT_EQ(OpenWaveSource(path, file, format, riffChunk), 0);
  EXPECT_EQ(AccessModeOf(path), O_RDONLY);
  CloseWaveSource(file, format);
}

TEST(WaveSourceOpen, AFileThatCannotBeOpenedShowsTheCriticalError) {
  test::TempDir dir;
  test::CapturedMessages messages;
  for (const auto& path : {dir / "missing.wav", dir.path()}) {
    messages.clear();
    EXPECT_EQ(test::ReadSource(path).open_rc, WaveFileOpenFailed);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Open Failed Critical Error");
    EXPECT_EQ(messages.messages()[0].style, kMbOk);
  }
}

// ---- bad input ----------------------------------------------------------------------------

struct BadCase {
  const char* name;
  std::vector<uint8_t> image;
  int result;  // the first failing result of open, seek and reading to the end
};

std::vector<uint8_t> Cut(std::vector<uint8_t> image, std::size_t size) {
  image.resize(size);
  return image;
}

std::vector<BadCase> BadCases() {
  const FormatBlock pcm = Pcm(8000, 1);
  const FormatBlock alaw = Coded(kWaveFormatALaw, 1, 1);
  const std::vector<uint8_t> data = Pattern(100);
  const std::vector<uint8_t> good = BuildWave(pcm, data);
  std::vector<uint8_t> cb_too_large = alaw.Serialize();
  StoreLe16(cb_too_large.data() + 16, 40);
  cb_too_large.insert(cb_too_large.end(), {1, 2});  // the chunk holds 2 of the 40
  const FormatBlock with_extra = Coded(0x1234, 1, 1, {1, 2, 3, 4});
  std::vector<uint8_t> not_wave = good;
  std::copy_n("AVI ", 4, not_wave.begin() + 8);
  std::vector<uint8_t> rifx = good;
  std::copy_n("RIFX", 4, rifx.begin());
  return {
      {"Empty", {}, kMmioErrChunkNotFound},
      {"TextFile", Text("This is not a sound file at all.\n"), WaveFileNotRiffWave},
      {"Rifx", rifx, WaveFileNotRiffWave},
      {"NotWave", not_wave, WaveFileNotRiffWave},
      {"CutInTheFormHeader", Cut(good, 10), kMmioErrChunkNotFound},
      {"NoFmt", BuildRiffWave({{"data", data, {}}}), kMmioErrChunkNotFound},
      {"FmtShorterThan16", BuildRiffWave({{"fmt ", Pattern(14), {}}, {"data", data, {}}}),
       WaveFileNotRiffWave},
      {"FmtCutByTheEnd", Cut(good, 12 + 8 + 6), WaveFileReadFailed},
      {"CbSizeCutByTheEnd", Cut(BuildRiffWave({{"fmt ", alaw.Serialize(), {}}}), 12 + 8 + 17),
       WaveFileReadFailed},
      {"CbSizeLargerThanTheChunk",
       BuildRiffWave({{"fmt ", cb_too_large, {}}, {"data", Pattern(64), {}}}), WaveFileNotRiffWave},
      {"ExtraBytesCutByTheEnd",
       Cut(BuildRiffWave({{"fmt ", with_extra.Serialize(), {}}}), 12 + 8 + 20),
       WaveFileNotRiffWave},
      {"FormTooSmallForFmt", WithFormSize(good, 4), kMmioErrChunkNotFound},
      {"NoData", BuildRiffWave({{"fmt ", FmtBody(pcm), {}}}), kMmioErrChunkNotFound},
      {"HugeFmtHidesTheData",
       BuildRiffWave({{"fmt ", FmtBody(alaw), 0xFFFFFFF0}, {"data", data, {}}}),
       kMmioErrChunkNotFound},
      {"HugeData", BuildRiffWave({{"fmt ", FmtBody(pcm), {}}, {"data", data, 0xFFFFFFF0}}),
       WaveFileTruncated},
      {"DataCutByTheEnd", Cut(good, good.size() - 10), WaveFileTruncated},
  };
}

using BadWave = FileCase<BadCase>;

TEST_P(BadWave, IsRefusedWithItsCodeAndLeavesNothingOpen) {
  const BadCase& c = GetParam();
  const auto path = dir_ / "bad.wav";
  WriteFileBytes(path, c.image);
  const std::size_t fds = test::OpenFileDescriptorCount();
  const test::SourceContents got = ReadSource(path);
  EXPECT_EQ(got.result(), c.result);
  if (c.result == WaveFileTruncated) {
    EXPECT_EQ(got.read_rc, WaveFileTruncated);
  }
  EXPECT_EQ(test::OpenFileDescriptorCount(), fds);
  EXPECT_TRUE(messages_.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Files, BadWave, ::testing::ValuesIn(BadCases()), kCaseName);

TEST(BadWaveSweep, EveryTruncationFailsCleanly) {
  test::TempDir dir;
  test::CapturedMessages messages;
  const auto path = dir / "cut.wav";
  const std::vector<uint8_t> whole =
      BuildRiffWave({{"LIST", Pattern(9), {}},
                     {"fmt ", Coded(kWaveFormatMsAdpcm, 1, 256, Pattern(32)).Serialize(), {}},
                     {"data", Pattern(301), {}}});
  const std::size_t fds = test::OpenFileDescriptorCount();
  for (std::size_t size = 0; size + 1 < whole.size(); ++size) {
    WriteFileBytes(path, Cut(whole, size));
    const int rc = ReadSource(path, 64).result();
    EXPECT_TRUE(rc == kMmioErrChunkNotFound || rc == WaveFileNotRiffWave ||
                rc == WaveFileReadFailed || rc == WaveFileTruncated)
        << "size " << size << " gave " << rc;
  }
  EXPECT_EQ(test::OpenFileDescriptorCount(), fds);
  // Only the final pad byte missing: every data byte is there, and so the file plays.
  WriteFileBytes(path, Cut(whole, whole.size() - 1));
  EXPECT_EQ(ReadSource(path).data, Pattern(301));
}

}  // namespace
}  // namespace bw
