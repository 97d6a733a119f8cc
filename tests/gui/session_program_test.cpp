// The real program in a desktop session: a session manager inside the test names itself in
// SESSION_MANAGER, announces a log-off, and the program tells the user in a message box before
// it lets the log-off go on; then the manager ends it. A checkpoint passes without a word, and
// without a manager the program runs as ever.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include "launched_program.h"
#include "session_manager_double.h"
#include "support/test_support.h"

namespace bw::test {
namespace {

using namespace std::chrono_literals;

constexpr char kStoredPlacement[] = "0,1,-1,-1,-1,-1,30,40,477,340";

class SessionProgram : public LaunchedProgram {
 protected:
  void SetUp() override {
    LaunchedProgram::SetUp();
    UseEmptyIceAuthority(dir_.path().string());
    WriteProfile(std::string("[Settings]\nWindowPos=") + kStoredPlacement + "\n");
  }
  void TearDown() override {
    unsetenv("SESSION_MANAGER");
    LaunchedProgram::TearDown();
  }

  // The program started in the session of `manager`, its window up and registered.
  pid_t StartInSession(SessionManagerDouble& manager) {
    setenv("SESSION_MANAGER", manager.SessionManager().c_str(), 1);
    const pid_t pid = Launch({"--sound=null"});
    EXPECT_TRUE(MainWindow(pid)) << "no main window came up";
    EXPECT_TRUE(manager.WaitFor("properties")) << "the program did not join the session";
    return pid;
  }

  std::string StoredPlacement() {
    const std::string profile = Profile();
    const std::size_t at = profile.find("WindowPos=");
    if (at == std::string::npos) return {};
    const std::size_t start = at + std::string("WindowPos=").size();
    return profile.substr(start, profile.find('\n', start) - start);
  }
};

TEST_F(SessionProgram, ALogOffShowsTheMessageWaitsForItThenDieEndsWithoutStoringPlacement) {
  SessionManagerDouble manager;
  const pid_t pid = StartInSession(manager);
  const std::optional<XWindow> frame = MainWindow(pid, 1s);
  ASSERT_TRUE(frame);
  // Moved, so that a close that stored the placement would change it.
  RunCommand({"xdotool", "windowmove", "--sync", std::to_string(*frame), "200", "150"});

  manager.SaveYourself(true);
  ASSERT_TRUE(manager.WaitFor("interact-request 1"));
  const std::optional<XWindow> box = WindowNamed(pid, "Brookwave");
  ASSERT_TRUE(box) << "no message box came up";
  // The log-off waits for the user.
  EXPECT_FALSE(manager.WaitFor("save-done 1", 500ms));

  RunCommand({"xdotool", "windowfocus", "--sync", std::to_string(*box)});
  RunCommand({"xdotool", "key", "Return"});
  ASSERT_TRUE(manager.WaitFor("interact-done 0")) << "the box was not dismissed by Return";
  EXPECT_TRUE(manager.WaitFor("save-done 1"));
  EXPECT_TRUE(MainWindow(pid, 1s)) << "the program must live on until the manager ends it";

  manager.Die();
  EXPECT_EQ(Exited(pid, 20s), 0);
  EXPECT_TRUE(manager.WaitFor("closed"));
  EXPECT_EQ(StoredPlacement(), kStoredPlacement) << Profile();
}

TEST_F(SessionProgram, ACheckpointIsAnsweredSilentlyAndTheCloseBoxLeavesTheSession) {
  SessionManagerDouble manager;
  const pid_t pid = StartInSession(manager);
  manager.SaveYourself(false);
  ASSERT_TRUE(manager.WaitFor("save-done 1"));
  EXPECT_FALSE(WindowNamed(pid, "Brookwave", 1s)) << "a checkpoint must not show anything";

  const std::optional<XWindow> frame = MainWindow(pid, 1s);
  ASSERT_TRUE(frame);
  CloseBox(*frame);
  EXPECT_EQ(Exited(pid, 20s), 0);
  EXPECT_TRUE(manager.WaitFor("closed"));
}

TEST_F(SessionProgram, WithoutASessionManagerTheProgramRunsAsEver) {
  unsetenv("SESSION_MANAGER");
  const pid_t pid = Launch({"--sound=null"});
  const std::optional<XWindow> frame = MainWindow(pid);
  ASSERT_TRUE(frame);
  CloseBox(*frame);
  EXPECT_EQ(Exited(pid, 20s), 0);
  EXPECT_NE(StoredPlacement(), kStoredPlacement) << "the close box stores the placement";
}

}  // namespace
}  // namespace bw::test
