// brookwave-cli record: its arguments, the exact PCM round trip from a file fed to the virtual
// card, and the options that act as the record settings and the Pause command.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::CommandResult;
using test::RunCli;

constexpr uint32_t kBlockFrames = 35280;  // a 44,100 Hz 16-bit stereo PCM block
constexpr std::size_t kBlockSamples = 2 * kBlockFrames;
constexpr std::size_t kBlockBytes = 4 * kBlockFrames;

std::vector<int16_t> Pattern(std::size_t count) {
  std::vector<int16_t> out(count);
  uint32_t x = 7;
  for (int16_t& s : out) {
    x = x * 1103515245u + 12345u;
    s = static_cast<int16_t>(x >> 16);
  }
  return out;
}

class CliRecord : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  std::string WritePcm(const std::string& name, uint32_t rate, uint16_t channels,
                       const std::vector<int16_t>& samples) {
    test::WritePcmWave(Path(name), rate, channels, samples);
    return Path(name);
  }
  // Records `in` into out.wav as 16-bit stereo PCM with `options`; the samples recorded.
  std::vector<int16_t> Record(const std::string& in, std::vector<std::string> options = {}) {
    std::vector<std::string> args{"record",         Path("out.wav"), "--format",
                                  "pcm:44100:2:16", "--from",        in};
    args.insert(args.end(), options.begin(), options.end());
    const CommandResult r = RunCli(args);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("Record Completed"), std::string::npos) << r.err;
    const auto wave = test::ParseWave(test::ReadFileBytes(Path("out.wav")));
    EXPECT_TRUE(wave.has_value());
    return wave ? test::Pcm16Samples(wave->data) : std::vector<int16_t>{};
  }

  test::TempDir dir;
};

TEST_F(CliRecord, RefusesWhatItCannotRecord) {
  const std::string mono = WritePcm("mono.wav", 44100, 1, Pattern(1000));
  const struct {
    std::vector<std::string> args;
    int exit_code;
    std::string message;
  } cases[] = {
      {{"record", Path("a.wav")}, 2, "usage: brookwave-cli record"},
      {{"record", Path("a.wav"), "--format", "pcm:44100:2:16"}, 2, "usage"},  // no source, no time
      {{"record", Path("a.wav"), "--format", "pcm:44100:2:16", "--seconds", "x"}, 2, "usage"},
      {{"record", Path("a.wav"), "--format", "ogg:44100:2", "--seconds", "1"}, 2, "unknown format"},
      {{"record", Path("a.wav"), "--format", "pcm:44100:2:16", "--from", mono}, 1, "16-bit PCM"},
      {{"record", mono, "--format", "pcm:44100:1:16", "--from", mono}, 1, "overwrite"},
      {{"record", Path("a.wav"), "--format", "pcm:44100:2:16", "--from", Path("none.wav")},
       1,
       "cannot read"},
  };
  for (const auto& c : cases) {
    const CommandResult r = RunCli(c.args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.args.back();
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(test::ReadFileBytes(mono).size(), 44u + 2000u);  // the source is untouched
}

TEST_F(CliRecord, Pcm16OfTheSourcesLayoutIsItsDataFirstSampleToLast) {
  for (const uint32_t frames : {0u, 1u, 3 * kBlockFrames, 5 * kBlockFrames / 2 + 3}) {
    const std::vector<int16_t> fed = Pattern(std::size_t{frames} * 2);
    EXPECT_EQ(Record(WritePcm("in.wav", 44100, 2, fed)), fed) << frames;
  }
  // --seconds takes only the start of the source.
  const std::vector<int16_t> fed = Pattern(4 * kBlockSamples);
  const std::vector<int16_t> start(fed.begin(), fed.begin() + 44100 * 2);
  EXPECT_EQ(Record(WritePcm("in.wav", 44100, 2, fed), {"--seconds", "1"}), start);
}

TEST_F(CliRecord, OptionsActAsTheRecordSettingsAndPause) {
  const std::vector<int16_t> fed = Pattern(8 * kBlockSamples);
  const std::string in = WritePcm("in.wav", 44100, 2, fed);
  const auto blocks = [&](std::size_t from, std::size_t count) {
    return std::vector<int16_t>(fed.begin() + from * kBlockSamples,
                                fed.begin() + (from + count) * kBlockSamples);
  };
  // Pausing from 1.7 s to 3.3 s: the blocks taken meanwhile (the second and third, one block
  // behind the capture) are left out.
  std::vector<int16_t> expected = blocks(0, 1);
  const std::vector<int16_t> rest = blocks(3, 5);
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(Record(in, {"--pause-at", "1.7:3.3"}), expected);

  // The limit stops after the first block whose count passes it, not at one that equals it.
  EXPECT_EQ(Record(in, {"--limit", std::to_string(2 * kBlockBytes)}), blocks(0, 3));

  // A silent source under voice activation leaves the data chunk empty.
  EXPECT_TRUE(Record(WritePcm("quiet.wav", 44100, 2, std::vector<int16_t>(3 * kBlockSamples)),
                     {"--voice-threshold", "1"})
                  .empty());
}

}  // namespace
}  // namespace bw
