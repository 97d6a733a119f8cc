// The desktop program's command line: an optional path and the sound device.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

CommandLineInfo Parse(std::vector<std::string> args, const char* env = nullptr) {
  return ParseCommandLine(args, env);
}

TEST(CommandLine, APathAndTheSoundDevice) {
  EXPECT_EQ(Parse({}).path, "");
  EXPECT_EQ(Parse({}).backend, SoundBackend::kAuto);
  const CommandLineInfo info = Parse({"--sound=null", "/music/a b.wav"});
  EXPECT_EQ(info.path, "/music/a b.wav");
  EXPECT_EQ(info.backend, SoundBackend::kNull);
  EXPECT_TRUE(info.error.empty());
  EXPECT_EQ(Parse({"--sound", "virtual"}).backend, SoundBackend::kVirtual);
  // The environment gives the default; the option wins.
  EXPECT_EQ(Parse({}, "portaudio").backend, SoundBackend::kPortAudio);
  EXPECT_EQ(Parse({"--sound=null"}, "portaudio").backend, SoundBackend::kNull);
  // After "--" a name that starts with a dash is a file.
  EXPECT_EQ(Parse({"--", "-odd.wav"}).path, "-odd.wav");
  EXPECT_TRUE(Parse({"-h"}).help);
}

TEST(CommandLine, MistakesAreNamed) {
  EXPECT_EQ(Parse({"--sound=loud"}).error, "unknown sound device \"loud\"");
  EXPECT_EQ(Parse({}, "loud").error, "unknown sound device \"loud\"");
  EXPECT_EQ(Parse({"--sound"}).error, "--sound needs a device");
  EXPECT_EQ(Parse({"--volume=3"}).error, "unknown option --volume=3");
  EXPECT_EQ(Parse({"a.wav", "b.wav"}).error, "only one file can be opened");
}

}  // namespace
}  // namespace bw
