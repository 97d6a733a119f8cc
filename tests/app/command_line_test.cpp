// The desktop program's command line: an optional path and the sound device.
#include "app/command_line.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

CommandLineInfo Parse(std::vector<std::string> args, const char* env = nullptr) {
  return ParseCommandLine(args, env);
}

bool Mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CommandLine, APathAndTheSoundDevice) {
  EXPECT_EQ(Parse({}).path, "");
  EXPECT_EQ(Parse({}).backend, SoundBackend::kAuto);
  const CommandLineInfo info = Parse({"--sound=null", "/music/a b.wav"});
  EXPECT_EQ(info.path, "/music/a b.wav");
  EXPECT_EQ(info.backend, SoundBackend::kNull);
  EXPECT_TRUE(info.error.empty());
  EXPECT_EQ(Parse({"--sound", "virtual"}).backend, SoundBackend::kVirtual);
  EXPECT_EQ(Parse({"/music/a.wav", "--sound", "null"}).path, "/music/a.wav");
  // The environment gives the default; the option wins.
  EXPECT_EQ(Parse({}, "portaudio").backend, SoundBackend::kPortAudio);
  EXPECT_EQ(Parse({"--sound=null"}, "portaudio").backend, SoundBackend::kNull);
  // After "--" a name that starts with a dash is a file.
  EXPECT_EQ(Parse({"--", "-odd.wav"}).path, "-odd.wav");
  EXPECT_TRUE(Parse({"-h"}).help);
  EXPECT_TRUE(Parse({"--help"}).help);
  EXPECT_TRUE(Parse({"--version"}).version);
  EXPECT_FALSE(Parse({"a.wav"}).help || Parse({"a.wav"}).version);
}

TEST(CommandLine, MistakesAreNamed) {
  EXPECT_TRUE(Mentions(Parse({"--sound=loud"}).error, "unknown sound device \"loud\""));
  EXPECT_EQ(Parse({}, "loud").error, "unknown sound device \"loud\"");
  EXPECT_TRUE(Mentions(Parse({"--sound"}).error, "--sound")) << Parse({"--sound"}).error;
  EXPECT_TRUE(Mentions(Parse({"--volume=3"}).error, "--volume=3"));
  EXPECT_TRUE(Mentions(Parse({"a.wav", "b.wav"}).error, "b.wav"));
  // A mistake is reported even beside --help.
  EXPECT_FALSE(Parse({"a.wav", "b.wav", "--help"}).error.empty());
}

TEST(CommandLine, HelpAndVersionTexts) {
  const std::string help = UsageText();
  for (const char* part : {"usage: brookwave", "--sound", "DEVICE", "--help", "--version",
                           "BROOKWAVE_SOUND", "portaudio", "virtual"})
    EXPECT_TRUE(Mentions(help, part)) << part << "\n" << help;
  EXPECT_TRUE(std::string(VersionText()).starts_with("brookwave " BW_TEST_VERSION));
}

}  // namespace
}  // namespace bw
