#include <gtest/gtest.h>

#include "support/test_support.h"

namespace bw {
namespace {

using test::RunCli;
using test::TempDir;

// A header word followed by a zeroed body of `body` bytes.
std::vector<uint8_t> Frame(uint32_t word, std::size_t body) {
  std::vector<uint8_t> bytes = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                                static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
  bytes.resize(bytes.size() + body);
  return bytes;
}

TEST(MpegInfo, PrintsTheFirstHeaderWithTheTextsBlanksIncluded) {
  TempDir dir;
  const auto path = dir / "joint.mp3";
  // Layer III, no checksum, 128 kbit/s, 48 kHz, padded, joint stereo with mode extension 2.
  test::WriteFileBytes(path, Frame(0xFFFB9660, 381));
  const auto result = RunCli({"mpeg-info", path.string()});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "version=1\nlayer=3\nprotection=1\npadding=1\nmode=1\nmode_extension=2\n"
            "bitrate_text=\"128 kbit/s\"\n"
            "rate_text=\"48000 Hz      \"\n"
            "mode_text=\"Joint Stereo                  \"\n"
            "frame_length=381\nmain_data_slots=349\nsubband_count=27\n"
            "intensity_stereo_bound=12\n");
}

TEST(MpegInfo, FailsWithTheSystemsMessageOrAClearOne) {
  TempDir dir;
  const auto lsf = dir / "lsf.mp3";
  test::WriteFileBytes(lsf, Frame(0xFFF38000, 204));
  const auto empty = dir / "empty.mp3";
  test::WriteFileBytes(empty, {});
  const auto missing = dir / "missing.mp3";
  const std::pair<std::filesystem::path, std::string> cases[] = {
      {lsf, "Stream not supported: Sorry, MPEG-2 LSF is not supported yet.\n"},
      {missing, "Invalid handle: Error opening file: " + missing.string() + "\n"},
      {empty, "brookwave-cli: no complete MPEG audio frame found in " + empty.string() + "\n"},
  };
  for (const auto& [path, message] : cases) {
    const auto result = RunCli({"mpeg-info", path.string()});
    EXPECT_NE(result.exit_code, 0) << path;
    EXPECT_EQ(result.err, message);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(RunCli({"mpeg-info"}).exit_code, 2);
}

}  // namespace
}  // namespace bw
