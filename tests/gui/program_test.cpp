// The desktop program as a user starts it: the real binary on the test's X server, its sound
// going through PortAudio to a private PulseAudio server whose sink the test listens to, its
// window closed the way a window manager's close box closes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/pulse_server.h"
#include "support/test_support.h"
#include "support/wave_image.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>

extern char** environ;

namespace bw::test {
namespace {

using namespace std::chrono_literals;

double Rms(const std::vector<int16_t>& samples) {
  double sum = 0;
  for (int16_t s : samples)
    sum += static_cast<double>(s) * s;
  return samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(pulse_.Start(&error)) << error;
    display_ = XOpenDisplay(nullptr);
    ASSERT_NE(display_, nullptr) << "no display (run the test through run-headless)";
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (display_) XCloseDisplay(display_);
  }

  // Starts the program with `args`, its profile in the scratch folder, its sound on the
  // PulseAudio server.
  void Launch(const std::vector<std::string>& args) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
      env.emplace_back(*e);
    env.push_back("XDG_CONFIG_HOME=" + (dir_ / "config").string());
    env.push_back("BROOKWAVE_SOUND=portaudio");
    std::vector<std::string> argv = {BW_PROGRAM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    ASSERT_EQ(posix_spawn(&pid_, argv[0].c_str(), nullptr, nullptr, Pointers(argv).data(),
                          Pointers(env).data()),
              0);
  }

  // The program's main window once it is on the screen.
  std::optional<Window> MainWindow(std::chrono::milliseconds wait = 20s) {
    for (auto waited = 0ms; waited < wait; waited += 100ms) {
      Window root = 0, parent = 0;
      Window* children = nullptr;
      unsigned count = 0;
      if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
        std::optional<Window> found;
        for (unsigned i = 0; i < count && !found; ++i) {
          if (Pid(children[i]) == pid_ && Name(children[i]).ends_with(" - Brookwave") &&
              IsMapped(children[i]))
            found = children[i];
        }
        XFree(children);
        if (found) return found;
      }
      std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
  }

  std::string Name(Window window) {
    std::vector<unsigned char> value = Property(window, "_NET_WM_NAME");
    return std::string(value.begin(), value.end());
  }

  // The window manager's close box: WM_DELETE_WINDOW.
  void CloseBox(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
  }

  // The program's exit status once it has ended, nothing while it still runs after `wait`.
  std::optional<int> Exited(std::chrono::milliseconds wait) {
    for (auto waited = 0ms; waited <= wait; waited += 50ms) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(50ms);
    }
    return std::nullopt;
  }

  // How loud the sink is over most of the next second.
  double Loudness() {
    const std::vector<int16_t> samples = pulse_.RecordSink(1000);
    EXPECT_GT(samples.size(), 4410u) << "the sink could not be recorded";
    return Rms(samples);
  }

  std::string Profile() const {
    std::ifstream in(dir_ / "config" / "Brookwave" / "Brookwave.conf");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TempDir dir_;

 private:
  static std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings)
      out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  }

  std::vector<unsigned char> Property(Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned char> value;
    if (XGetWindowProperty(display_, window, XInternAtom(display_, name, False), 0, 1024, False,
                           AnyPropertyType, &type, &format, &items, &after, &data) == Success &&
        data != nullptr) {
      const std::size_t bytes = format == 32 ? items * sizeof(long) : items * (format / 8);
      value.assign(data, data + bytes);
      XFree(data);
    }
    return value;
  }

  pid_t Pid(Window window) {
    const std::vector<unsigned char> value = Property(window, "_NET_WM_PID");
    if (value.size() < sizeof(long)) return -1;
    long pid = 0;
    std::memcpy(&pid, value.data(), sizeof pid);
    return static_cast<pid_t>(pid);
  }

  bool IsMapped(Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display_, window, &attributes) &&
           attributes.map_state == IsViewable;
  }

  PulseServer pulse_{dir_.path()};
  Display* display_ = nullptr;
  pid_t pid_ = -1;
};

TEST_F(Program, PlaysTheWaveOnItsCommandLineAndItsCloseBoxStopsThenCloses) {
  const std::string tone = (dir_ / "tone.wav").string();
  WriteFileBytes(tone, BuildWave(FormatBlock(MakePcmFormat(44100, 2)),
                                 Pcm16Bytes(SineTone(44100, 2, 44100 * 30, 440))));
  Launch({tone});
  const std::optional<Window> window = MainWindow();
  ASSERT_TRUE(window) << "no main window came up";
  // AutoPlay is on by default: the file opened (its path is the title) and plays.
  EXPECT_EQ(Name(*window), tone + " - Brookwave");
  std::this_thread::sleep_for(1s);
  EXPECT_GT(Loudness(), 100.0) << "nothing reaches the sound card";

  // The first close stops playback and leaves the window open.
  CloseBox(*window);
  EXPECT_FALSE(Exited(1s)) << "the program ended while playing";
  std::this_thread::sleep_for(300ms);
  EXPECT_LT(Loudness(), 5.0) << "still playing after the close box";
  EXPECT_TRUE(MainWindow(1s));

  // The second one closes: the program ends and has stored its placement.
  CloseBox(*window);
  EXPECT_EQ(Exited(20s), 0);
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
