// The real program on the session bus: driven by playerctl, meeting a second start of itself,
// and installed with cmake --install into a prefix of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "launched_program.h"
#include "remote_test_support.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr char kBusName[] = "org.mpris.MediaPlayer2.brookwave";

// "PlaySet" with the defaults but `multiMode`.
std::string PlaySetProfile(int multiMode) {
  return "[Settings]\nPlaySet=1,1,0,0,1,1,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0," +
         std::to_string(multiMode) + ",1,1,1,1,1,1,1,1,0,0\n";
}

class RemoteProgram : public LaunchedProgram {
 protected:
  // A 30 s tone in the scratch folder.
  std::string WriteTone() {
    const std::string tone = (dir_ / "tone.wav").string();
    WritePcmWave(tone, 44100, 2, SineTone(44100, 2, 44100 * 30, 440));
    return tone;
  }

  // Starts the program on the silent device and waits for its window and, when it is the first,
  // for its bus name.
  pid_t StartProgram(const std::vector<std::string>& args, bool first = true) {
    std::vector<std::string> all = {"--sound=null"};
    all.insert(all.end(), args.begin(), args.end());
    const pid_t pid = Launch(all);
    EXPECT_TRUE(MainWindow(pid)) << "no main window came up";
    if (first) {
      EXPECT_TRUE(WaitForName(kBusName, true)) << "the bus name was not taken";
    }
    return pid;
  }

  // Waits (at most 10 s) until `name` is owned (or free).
  static bool WaitForName(const std::string& name, bool owned) {
    for (auto waited = 0ms; waited < 10s; waited += 100ms) {
      if (NameHasOwner(name) == owned) return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

  static std::string Status() { return Playerctl({"status"}).out; }
};

TEST_F(RemoteProgram, PlayerctlPlaysAndStopsTheLoadedFileAndNamesIt) {
  const std::string tone = WriteTone();
  const pid_t pid = StartProgram({tone});
  // AutoPlay started it; playerctl sees it play.
  EXPECT_EQ(Status(), "Playing\n");

  EXPECT_EQ(Playerctl({"stop"}).exit_code, 0);
  EXPECT_EQ(Status(), "Stopped\n");
  EXPECT_EQ(Playerctl({"play"}).exit_code, 0);
  EXPECT_EQ(Status(), "Playing\n");
  EXPECT_EQ(Playerctl({"metadata", "xesam:title"}).out, "tone.wav\n");
  EXPECT_EQ(Playerctl({"metadata", "xesam:url"}).out, "file://" + tone + "\n");
  EXPECT_EQ(Playerctl({"metadata", "mpris:length"}).out, "30000000\n");
  EXPECT_EQ(Playerctl({"stop"}).exit_code, 0);
  EXPECT_EQ(Status(), "Stopped\n");

  // Quit is the frame's close: idle now, the program ends and gives its name up.
  EXPECT_EQ(Playerctl({"play"}).exit_code, 0);
  EXPECT_EQ(GdbusCall(kBusName, "org.mpris.MediaPlayer2.Quit").exit_code, 0);
  EXPECT_FALSE(Exited(pid, 1s)) << "a busy program must stop, not quit";
  EXPECT_EQ(Status(), "Stopped\n");
  EXPECT_EQ(GdbusCall(kBusName, "org.mpris.MediaPlayer2.Quit").exit_code, 0);
  EXPECT_EQ(Exited(pid, 20s), 0);
  EXPECT_FALSE(NameHasOwner(kBusName));
}

TEST_F(RemoteProgram, SecondStartInSingleModeEndsTheFirst) {
  WriteProfile(PlaySetProfile(0));
  const pid_t first = StartProgram({});
  const pid_t second = StartProgram({}, false);
  EXPECT_EQ(Exited(first, 20s), 0) << "the first instance still runs";
  EXPECT_FALSE(Exited(second, 0ms));
  // The second took the name over once the first had given it up.
  EXPECT_TRUE(WaitForName(kBusName, true));
  EXPECT_FALSE(NameHasOwner(std::string(kBusName) + ".instance" + std::to_string(second)));
}

TEST_F(RemoteProgram, SecondStartInMultiModeRaisesTheFirstAndBothRun) {
  const pid_t first = StartProgram({});
  const std::optional<XWindow> firstWindow = MainWindow(first);
  ASSERT_TRUE(firstWindow);
  const XWindow cover = MapCoveringWindow();
  ASSERT_TRUE(IsAbove(cover, *firstWindow));

  const pid_t second = StartProgram({}, false);
  EXPECT_TRUE(IsAbove(*firstWindow, cover)) << "the first window was not raised";
  EXPECT_FALSE(Exited(first, 500ms));
  EXPECT_FALSE(Exited(second, 0ms));
  EXPECT_TRUE(NameHasOwner(kBusName));
  EXPECT_TRUE(WaitForName(std::string(kBusName) + ".instance" + std::to_string(second), true));
}

TEST_F(RemoteProgram, SecondStartWithAFileHandsItToTheFirst) {
  const pid_t first = StartProgram({});
  EXPECT_EQ(Status(), "Stopped\n");
  const std::string tone = WriteTone();
  // Started from another folder with a relative path, as a shell would.
  const CommandResult second = RunCommand(
      {"sh", "-c",
       "cd '" + dir_.path().string() + "' && exec '" BW_PROGRAM_PATH "' --sound=null tone.wav"});
  EXPECT_EQ(second.exit_code, 0) << second.err;
  const std::optional<XWindow> window = MainWindow(first);
  ASSERT_TRUE(window);
  EXPECT_EQ(AwaitCaption(*window, tone + " - Brookwave"), tone + " - Brookwave");
  EXPECT_EQ(Status(), "Playing\n");  // AutoPlay
}

// Any program on the bus may hand over file after file: fifty requests in a row for missing
// files bring up one message box, and those made while it is up are refused, not stacked
// behind it. Once it is answered, a request is taken again.
TEST_F(RemoteProgram, OpenUriRequestsWhileAMessageBoxIsUpAreRefused) {
  const pid_t pid = StartProgram({});
  const auto open = [](const std::string& path) {
    return GdbusCall(kBusName, "org.mpris.MediaPlayer2.Player.OpenUri", {Quoted("file://" + path)});
  };
  std::vector<CommandResult> answers;
  for (int i = 0; i < 50; ++i)
    answers.push_back(open((dir_ / ("missing " + std::to_string(i) + ".wav")).string()));
  EXPECT_EQ(answers[0].exit_code, 0) << answers[0].err;
  for (std::size_t i = 1; i < answers.size(); ++i) {
    EXPECT_NE(answers[i].exit_code, 0) << "request " << i << " was taken";
    EXPECT_NE(answers[i].err.find("org.mpris.MediaPlayer2.brookwave.Error.Busy"), std::string::npos)
        << answers[i].err;
  }
  const std::optional<XWindow> box = WindowNamed(pid, "Brookwave");
  ASSERT_TRUE(box) << "no message box came up";
  // Every request has been answered, so whatever they started is on the screen by now.
  EXPECT_EQ(WindowsNamed(pid, "Brookwave").size(), 1u);
  CloseBox(*box);

  const std::string tone = WriteTone();
  CommandResult taken = open(tone);
  // The failed open may show its second message before the view is idle again, and a box being
  // taken down still counts as up for a moment: after each refusal comes the next box, or the
  // view is free again.
  for (int refused = 0; taken.exit_code != 0 && refused < 20; ++refused) {
    if (const std::optional<XWindow> next = WindowNamed(pid, "Brookwave", 1s)) CloseBox(*next);
    taken = open(tone);
  }
  EXPECT_EQ(taken.exit_code, 0) << taken.err;
  const std::optional<XWindow> window = MainWindow(pid);
  ASSERT_TRUE(window);
  EXPECT_EQ(AwaitCaption(*window, tone + " - Brookwave"), tone + " - Brookwave");
}

// File names are bytes: whatever the locale, a name in UTF-8, a folder with an accent and a
// name that is not UTF-8 at all open from the command line, play, are shown (the bytes that are
// not UTF-8 as \xNN) and stay in the recent-file list across starts.
TEST_F(RemoteProgram, StartsWithAnyFileNameUnderAnyLocale) {
  fs::create_directory(dir_ / "dossier \xC3\xA9");
  const std::vector<std::pair<std::string, std::string>> names = {
      {"caf\xC3\xA9.wav", "caf\xC3\xA9.wav"},
      {"dossier \xC3\xA9/tone.wav", "dossier \xC3\xA9/tone.wav"},
      {"\xE9t\xE9.wav", "\\xE9t\\xE9.wav"}};
  for (const char* locale : {"C.UTF-8", "C"}) {
    for (const auto& [name, shown] : names) {
      SCOPED_TRACE(std::string(locale) + " " + name);
      const std::string path = (dir_ / name).string();
      WritePcmWave(path, 44100, 2, SineTone(44100, 2, 44100 * 30, 440));
      const pid_t pid = Launch({"--sound=null", path}, BW_PROGRAM_PATH,
                               {std::string("LANG=") + locale, "LC_ALL"});
      const std::optional<XWindow> window = MainWindow(pid);
      ASSERT_TRUE(window) << "no main window came up";
      // The caption names the whole path once the view has opened the file.
      const std::string caption = dir_.path().string() + "/" + shown + " - Brookwave";
      EXPECT_EQ(AwaitCaption(*window, caption), caption);
      ASSERT_TRUE(WaitForName(kBusName, true));
      EXPECT_EQ(Status(), "Playing\n");
      EXPECT_EQ(GdbusCall(kBusName, "org.mpris.MediaPlayer2.Quit").exit_code, 0);
      EXPECT_EQ(GdbusCall(kBusName, "org.mpris.MediaPlayer2.Quit").exit_code, 0);
      EXPECT_EQ(Exited(pid, 20s), 0);
      ASSERT_TRUE(WaitForName(kBusName, false));
    }
  }
  // The last one (not UTF-8) is the first recent file; a start without a file keeps it.
  const std::string stored = Profile();
  const std::size_t entry = stored.find("File1=");
  ASSERT_NE(entry, std::string::npos) << stored;
  const std::string line = stored.substr(entry, stored.find('\n', entry) - entry);
  const pid_t pid = Launch({"--sound=null"}, BW_PROGRAM_PATH, {"LANG=C", "LC_ALL"});
  ASSERT_TRUE(MainWindow(pid));
  ASSERT_TRUE(WaitForName(kBusName, true));
  EXPECT_EQ(GdbusCall(kBusName, "org.mpris.MediaPlayer2.Quit").exit_code, 0);
  EXPECT_EQ(Exited(pid, 20s), 0);
  EXPECT_NE(Profile().find(line + "\n"), std::string::npos) << Profile();
}

// The settings go where the environment says, accents and all.
TEST_F(RemoteProgram, KeepsItsSettingsInAConfigOrHomeFolderWithAnyName) {
  const fs::path config = dir_ / "r\xC3\xA9glages";
  const fs::path home = dir_ / "maison \xE9";
  fs::create_directory(home);
  const std::vector<std::vector<std::string>> environments = {
      {"XDG_CONFIG_HOME=" + config.string(), "LANG=C", "LC_ALL"},
      {"XDG_CONFIG_HOME", "HOME=" + home.string(), "LANG=C", "LC_ALL"}};
  for (const auto& environment : environments) {
    const pid_t pid = Launch({"--sound=null"}, BW_PROGRAM_PATH, environment);
    const std::optional<XWindow> window = MainWindow(pid);
    ASSERT_TRUE(window);
    CloseBox(*window);
    EXPECT_EQ(Exited(pid, 20s), 0);
  }
  EXPECT_TRUE(fs::is_regular_file(config / "Brookwave/Brookwave.conf"));
  EXPECT_TRUE(fs::is_regular_file(home / ".config/Brookwave/Brookwave.conf"));
}

// A named pipe is no sound file: refused at once, before it could hold the start-up.
TEST_F(RemoteProgram, ANamedPipeOnTheCommandLineIsRefusedAtOnce) {
  const fs::path pipe = dir_ / "pipe.wav";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const pid_t pid = Launch({"--sound=null", pipe.string()});
  // The framework's own report, as for any file that cannot be opened; then the start fails.
  const std::optional<XWindow> error = WindowNamed(pid, "Brookwave Error");
  ASSERT_TRUE(error) << "the start-up hangs on the pipe";
  EXPECT_FALSE(MainWindow(pid, 0ms));
  CloseBox(*error);
  const std::optional<int> status = Exited(pid, 20s);
  ASSERT_TRUE(status);
  EXPECT_NE(*status, 0);
}

TEST_F(RemoteProgram, InstalledIntoAPrefixItStartsAndTheDesktopTakesItsFiles) {
  const fs::path prefix = dir_ / "prefix";
  const CommandResult install =
      RunCommand({BW_CMAKE_COMMAND, "--install", BW_BUILD_DIR, "--prefix", prefix.string()});
  ASSERT_EQ(install.exit_code, 0) << install.out << install.err;

  const fs::path desktop = prefix / "share/applications/brookwave.desktop";
  const CommandResult validate = RunCommand({"desktop-file-validate", desktop.string()});
  EXPECT_EQ(validate.exit_code, 0) << validate.out << validate.err;
  EXPECT_EQ(validate.out + validate.err, "");
  const std::string entry = ReadFileText(desktop);
  EXPECT_NE(entry.find("\nExec=brookwave %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("audio/x-brookwave-playlist;"), std::string::npos) << entry;

  // The shared MIME database built from the package names ".plf" files.
  const CommandResult mime = RunCommand({"update-mime-database", (prefix / "share/mime").string()});
  EXPECT_EQ(mime.exit_code, 0) << mime.err;
  EXPECT_NE(ReadFileText(prefix / "share/mime/globs2").find("audio/x-brookwave-playlist:*.plf"),
            std::string::npos);
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const std::string edge = std::to_string(size);
    EXPECT_TRUE(fs::is_regular_file(prefix / "share/icons/hicolor" / (edge + "x" + edge) /
                                    "apps/brookwave.png"))
        << size;
  }
  // Every resource of the source tree is installed beside the program.
  for (const char* folder : {"dialogs", "pictures"}) {
    for (const auto& file : fs::directory_iterator(fs::path(BW_SOURCE_DIR) / "src/res" / folder)) {
      if (file.is_regular_file()) {
        EXPECT_TRUE(fs::exists(prefix / "share/brookwave" / folder / file.path().filename()))
            << file.path();
      }
    }
  }

  ASSERT_TRUE(fs::is_regular_file(prefix / "bin/brookwave-cli"));
  const pid_t pid = Launch({"--sound=null"}, (prefix / "bin/brookwave").string());
  const std::optional<XWindow> window = MainWindow(pid);
  ASSERT_TRUE(window) << "the installed program did not start";
  CloseBox(*window);
  EXPECT_EQ(Exited(pid, 20s), 0);
}

}  // namespace
}  // namespace bw::test
