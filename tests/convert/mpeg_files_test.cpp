// MPEG files made by lame and ffmpeg: the first header as Import reads it, and a walk over
// every frame that must account for every byte of the file.
#include <gtest/gtest.h>

#include "convert/mpeg_reader.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::CapturedMessages;
using test::TempDir;

struct Encoding {
  const char* name;
  uint32_t rate;
  uint16_t channels;
  std::vector<std::string> encoder;  // program and options; input and output are appended
  int32_t layer;
  int32_t mode;
  const char* rateText;
  const char* bitrateText;
};

std::vector<std::string> Lame(std::string bitrate, std::string mode) {
  return {"lame", "--quiet", "-b", bitrate, "-m", mode};
}

std::vector<std::string> FfmpegMp2(std::string bitrate) {
  return {"ffmpeg", "-loglevel", "error", "-y", "-i", "", "-c:a", "mp2", "-b:a", bitrate};
}

// Encodes two seconds of a tone with `encoding` and returns the file's path.
std::filesystem::path Encode(const TempDir& dir, const Encoding& encoding) {
  const auto wav = dir / "tone.wav";
  const auto samples =
      test::SineTone(encoding.rate, encoding.channels, encoding.rate * 2, 440.0, 0.4);
  test::WriteFileBytes(wav,
                       test::BuildWave(FormatBlock(MakePcmFormat(encoding.rate, encoding.channels)),
                                       test::Pcm16Bytes(samples)));
  const auto out = dir / (std::string(encoding.name) + ".mpa");
  std::vector<std::string> argv = encoding.encoder;
  if (argv[0] == "ffmpeg") {
    argv[5] = wav.string();  // after "-i"
    argv.push_back("-f");
    argv.push_back("mp2");
  } else {
    argv.push_back(wav.string());
  }
  argv.push_back(out.string());
  const auto result = test::RunCommand(argv);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  return out;
}

struct Walk {
  int frames = 0;
  uint64_t bytes = 0;  // headers and bodies of every frame found
};

// Parses every frame after the first one, which `header` already holds.
Walk WalkRest(MpegFrameHeader& header, MpegFileReader& reader) {
  Walk walk{1, static_cast<uint64_t>(header.frameLength) + 4};
  while (header.ParseNextHeader(reader)) {
    ++walk.frames;
    walk.bytes += static_cast<uint64_t>(header.frameLength) + 4;
  }
  return walk;
}

class MpegFilesTest : public ::testing::TestWithParam<Encoding> {};

TEST_P(MpegFilesTest, FirstHeaderAndEveryFrameAreRead) {
  const Encoding& e = GetParam();
  BW_REQUIRE_PROGRAM(e.encoder[0]);
  TempDir dir;
  CapturedMessages messages;
  const auto path = Encode(dir, e);
  MpegFileReader reader;
  ASSERT_TRUE(reader.Open(path.string()));
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(reader));
  EXPECT_EQ(header.version, 1);
  EXPECT_EQ(header.layer, e.layer);
  EXPECT_EQ(header.mode, e.mode);
  EXPECT_EQ(header.SampleRateText(), e.rateText);
  EXPECT_EQ(header.BitrateText(), e.bitrateText);

  const Walk walk = WalkRest(header, reader);
  EXPECT_EQ(walk.bytes, std::filesystem::file_size(path)) << walk.frames << " frames";
  EXPECT_GT(walk.frames, 50);
  EXPECT_TRUE(messages.messages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Peers, MpegFilesTest,
    ::testing::Values(
        Encoding{"lame_joint_44k", 44100, 2, Lame("128", "j"), 3, 1, "44100 Hz   ", "128 kbit/s"},
        Encoding{"lame_stereo_44k", 44100, 2, Lame("128", "s"), 3, 0, "44100 Hz   ", "128 kbit/s"},
        Encoding{"lame_mono_44k", 44100, 1, Lame("128", "m"), 3, 3, "44100 Hz   ", "128 kbit/s"},
        Encoding{"lame_stereo_48k", 48000, 2, Lame("128", "s"), 3, 0, "48000 Hz      ",
                 "128 kbit/s"},
        Encoding{"lame_mono_32k", 32000, 1, Lame("64", "m"), 3, 3, "32000 Hz      ", "64 kbit/s"},
        Encoding{"mp2_44k", 44100, 2, FfmpegMp2("192k"), 2, 0, "44100 Hz   ", "192 kbit/s"},
        Encoding{"mp2_32k", 32000, 2, FfmpegMp2("384k"), 2, 0, "32000 Hz      ", "384 kbit/s"}),
    [](const auto& info) { return std::string(info.param.name); });

const Encoding kLameJoint{"joint", 44100, 2, Lame("128", "j"), 3, 1, "", ""};

TEST(MpegFilesLeadingData, Id3v2TagAndJunkAreSkipped) {
  BW_REQUIRE_PROGRAM("lame");
  TempDir dir;
  CapturedMessages messages;
  Encoding tagged = kLameJoint;
  tagged.name = "tagged";
  tagged.encoder.insert(tagged.encoder.end(), {"--id3v2-only", "--tt", "Title", "--ta", "Artist"});
  const auto tagged_path = Encode(dir, tagged);
  const auto tagged_bytes = test::ReadFileBytes(tagged_path);
  ASSERT_GT(tagged_bytes.size(), 10u);
  ASSERT_EQ(std::string(tagged_bytes.begin(), tagged_bytes.begin() + 3), "ID3");
  const uint64_t tag_size =
      10 + (uint64_t{tagged_bytes[6]} << 21 | uint64_t{tagged_bytes[7]} << 14 |
            uint64_t{tagged_bytes[8]} << 7 | tagged_bytes[9]);

  const auto plain_path = Encode(dir, kLameJoint);
  std::vector<uint8_t> junk_bytes = {'n', 'o', 't', ' ', 'a', 'u', 'd', 'i', 'o', 0xFF, 0x0F};
  const auto plain = test::ReadFileBytes(plain_path);
  junk_bytes.insert(junk_bytes.end(), plain.begin(), plain.end());
  const auto junk_path = dir / "junk.mp3";
  test::WriteFileBytes(junk_path, junk_bytes);

  for (const auto& [path, leading] :
       {std::pair{tagged_path, tag_size}, std::pair{junk_path, uint64_t{11}}}) {
    MpegFileReader reader;
    ASSERT_TRUE(reader.Open(path.string()));
    MpegFrameHeader header;
    ASSERT_TRUE(header.ParseNextHeader(reader)) << path;
    EXPECT_EQ(header.layer, 3);
    EXPECT_EQ(header.mode, 1);
    EXPECT_EQ(header.SampleRateText(), "44100 Hz   ");
    EXPECT_EQ(WalkRest(header, reader).bytes + leading, std::filesystem::file_size(path)) << path;
  }
  EXPECT_TRUE(messages.messages().empty());
}

TEST(MpegFilesLsf, IsRefusedWithItsMessageBeforeAnyFrameIsRead) {
  BW_REQUIRE_PROGRAM("lame");
  TempDir dir;
  CapturedMessages messages;
  const auto path = Encode(dir, {"lsf", 22050, 1, Lame("64", "m"), 3, 3, "", ""});
  MpegFileReader reader;
  ASSERT_TRUE(reader.Open(path.string()));
  MpegFrameHeader header;
  EXPECT_FALSE(header.ParseNextHeader(reader));
  EXPECT_EQ(header.frameLength, 0);
  EXPECT_EQ(reader.currentFrameNumber(), 0);
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "Sorry, MPEG-2 LSF is not supported yet.");
  EXPECT_EQ(messages.messages()[0].caption, "Stream not supported");
  EXPECT_EQ(messages.messages()[0].style, kMbOk | kMbIconError);
}

}  // namespace
}  // namespace bw
