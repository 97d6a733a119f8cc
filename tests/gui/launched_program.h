// The real binary started as a user starts it, on the test's X server, with a profile of its
// own in the scratch folder ($XDG_CONFIG_HOME): several processes at once, their main windows
// found by their process ids, closed the way a window manager's close box closes them.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

// Xlib's own types, without its macros (None, Bool, Status clash with the headers of tests).
typedef struct _XDisplay Display;

namespace bw::test {

using XWindow = unsigned long;

class LaunchedProgram : public ::testing::Test {
 protected:
  void SetUp() override;
  // Every process the test started and has not seen end is killed.
  void TearDown() override;

  // Starts `program` with `args`; its sound goes through PortAudio unless the arguments say
  // otherwise. `environment` holds NAME=VALUE entries that replace the test's own, and bare
  // NAMEs that are left out.
  pid_t Launch(const std::vector<std::string>& args, const std::string& program = BW_PROGRAM_PATH,
               const std::vector<std::string>& environment = {});
  // The main window of process `pid` once it is on the screen.
  std::optional<XWindow> MainWindow(pid_t pid,
                                    std::chrono::milliseconds wait = std::chrono::seconds(20));
  std::string Name(XWindow window);
  // The caption of `window` once it reads `expected`, or what it still reads after `wait`.
  std::string AwaitCaption(XWindow window, const std::string& expected,
                           std::chrono::milliseconds wait = std::chrono::seconds(10));
  // A mapped top-level window of process `pid` captioned `name` (a dialog, a message box).
  std::optional<XWindow> WindowNamed(pid_t pid, const std::string& name,
                                     std::chrono::milliseconds wait = std::chrono::seconds(20));
  // The mapped top-level windows of process `pid` captioned `name` now.
  std::vector<XWindow> WindowsNamed(pid_t pid, const std::string& name);
  // The window manager's close box: WM_DELETE_WINDOW.
  void CloseBox(XWindow window);
  // The exit status of `pid` once it has ended, nothing while it still runs after `wait`.
  std::optional<int> Exited(pid_t pid, std::chrono::milliseconds wait);
  // True when `upper` is stacked above `lower` (both children of the root window).
  bool IsAbove(XWindow upper, XWindow lower);
  // A plain window of the test's own, mapped on top of everything.
  XWindow MapCoveringWindow();
  std::string Profile() const;
  // Writes the program's profile before it starts.
  void WriteProfile(const std::string& text);

  TempDir dir_;
  Display* display_ = nullptr;

 private:
  std::vector<unsigned char> Property(XWindow window, const char* name);
  pid_t Pid(XWindow window);
  bool IsMapped(XWindow window);
  std::vector<XWindow> TopLevelWindows();

  std::vector<pid_t> pids_;
};

}  // namespace bw::test
