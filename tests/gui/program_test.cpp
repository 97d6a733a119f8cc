// The desktop program as a user starts it: the real binary on the test's X server, its sound
// going through PortAudio to a private PulseAudio server whose sink the test listens to, its
// window closed the way a window manager's close box closes it.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "launched_program.h"
#include "support/pulse_server.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw::test {
namespace {

using namespace std::chrono_literals;

double Rms(const std::vector<int16_t>& samples) {
  double sum = 0;
  for (int16_t s : samples)
    sum += static_cast<double>(s) * s;
  return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

// Its sound on a private PulseAudio server whose sink the test listens to.
class Program : public LaunchedProgram {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(pulse_.Start(&error)) << error;
    LaunchedProgram::SetUp();
  }

  // How loud the sink is over most of the next second.
  double Loudness() {
    const std::vector<int16_t> samples = pulse_.RecordSink(1000);
    EXPECT_GT(samples.size(), 4410u) << "the sink could not be recorded";
    return Rms(samples);
  }

  // Listens a second at a time until the sink is heard (`loud`) or silent, at most ten times
  // (a loaded machine may take a while to start or stop the stream); the last loudness heard.
  double LoudnessOnceIt(bool loud) {
    double rms = Loudness();
    for (int tries = 1; tries < 10 && (loud ? rms <= kHeard : rms >= kSilent); ++tries)
      rms = Loudness();
    return rms;
  }

  static constexpr double kHeard = 100.0;
  static constexpr double kSilent = 5.0;

 private:
  PulseServer pulse_{dir_.path()};
};

TEST_F(Program, PlaysTheWaveOnItsCommandLineAndItsCloseBoxStopsThenCloses) {
  const std::string tone = (dir_ / "tone.wav").string();
  // Long enough that it cannot end by itself while the test waits for it to stop.
  WritePcmWave(tone, 44100, 2, SineTone(44100, 2, 44100 * 90, 440));
  const pid_t pid = Launch({tone});
  const std::optional<XWindow> window = MainWindow(pid);
  ASSERT_TRUE(window) << "no main window came up";
  // AutoPlay is on by default: the file opened (its path is the title) and plays.
  EXPECT_EQ(AwaitCaption(*window, tone + " - Brookwave"), tone + " - Brookwave");
  EXPECT_GT(LoudnessOnceIt(true), kHeard) << "nothing reaches the sound card";

  // The first close stops playback and leaves the window open.
  CloseBox(*window);
  EXPECT_FALSE(Exited(pid, 1s)) << "the program ended while playing";
  EXPECT_LT(LoudnessOnceIt(false), kSilent) << "still playing after the close box";
  EXPECT_TRUE(MainWindow(pid, 1s));

  // The second one closes: the program ends and has stored its placement.
  CloseBox(*window);
  EXPECT_EQ(Exited(pid, 20s), 0);
  EXPECT_NE(Profile().find("WindowPos="), std::string::npos) << Profile();
}

TEST_F(Program, HelpNamesTheSoundOptionAndABadOptionIsRefused) {
  const CommandResult help = RunCommand({BW_PROGRAM_PATH, "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("--sound=DEVICE"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("BROOKWAVE_SOUND"), std::string::npos) << help.out;
  const CommandResult bad = RunCommand({BW_PROGRAM_PATH, "--sound=loud", "a.wav"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_NE(bad.err.find("unknown sound device \"loud\""), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace bw::test
