// brookwave-cli convert, export and import: their arguments, and the system's messages and exit
// codes when a command is refused.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::CommandResult;
using test::RunCli;

class CliConvertArgs : public ::testing::Test {
 protected:
  CliConvertArgs() { test::WritePcmWave(in, 22050, 1, test::SineTone(22050, 1, 22050, 440)); }
  test::TempDir dir;
  const std::string in = (dir / "in.wav").string();
  const std::string out = (dir / "out.wav").string();
};

TEST_F(CliConvertArgs, BadArgumentsAreUsageErrors) {
  EXPECT_EQ(RunCli({"convert", in, out}).exit_code, 2);  // --format is required
  EXPECT_EQ(RunCli({"export", in}).exit_code, 2);
  EXPECT_EQ(RunCli({"import", in}).exit_code, 2);
  const CommandResult bad = RunCli({"convert", in, out, "--format", "mp3:22050:1"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("mp3"), std::string::npos);
  const CommandResult other = RunCli({"convert", in, out, "--format", "pcm:44100:2:16"});
  EXPECT_EQ(other.exit_code, 2);
  EXPECT_NE(other.err.find("the source has 1 at 22050 Hz"), std::string::npos) << other.err;
  EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CliConvertArgs, RefusedCommandsFailWithTheSystemsMessage) {
  const std::vector<uint8_t> original = test::ReadFileBytes(in);
  const CommandResult onto = RunCli({"convert", in, in, "--format", "pcm:22050:1:8"});
  EXPECT_EQ(onto.exit_code, 1);
  EXPECT_NE(onto.err.find("is the file open for playback"), std::string::npos) << onto.err;
  EXPECT_EQ(test::ReadFileBytes(in), original);

  const CommandResult notMpeg = RunCli({"import", in, out});
  EXPECT_EQ(notMpeg.exit_code, 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_EQ(RunCli({"import", in, in}).exit_code, 1);
  EXPECT_EQ(test::ReadFileBytes(in), original);
}

TEST_F(CliConvertArgs, AFileSizeLimitFailsTheWriteInsteadOfKillingTheProcess) {
  // 8 blocks of 512 bytes: far less than the converted second of sound.
  const CommandResult limited =
      test::RunCommand({"sh", "-c",
                        "ulimit -f 8 && exec \"$0\" convert \"$1\" \"$2\" --format "
                        "pcm:22050:1:16",
                        BW_CLI_PATH, in, out});
  EXPECT_EQ(limited.exit_code, 1) << limited.err;
  EXPECT_NE(limited.err.find("Cannot write the file"), std::string::npos) << limited.err;
}

}  // namespace
}  // namespace bw
