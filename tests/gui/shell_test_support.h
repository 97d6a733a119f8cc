// The desktop program inside the test process: CBrookwaveApp's own start-up (InitInstance with
// a command line) on the virtual sound card, whose clock stands still unless the test advances
// it, with a profile of its own in a scratch folder ($XDG_CONFIG_HOME).
#pragma once

#include <gtest/gtest.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/test_support.h"

class wxMenuItem;

namespace bw {
class CBrookwaveApp;
class CBrookwaveView;
class CBrookwaveViewCore;
class CMainFrame;
}  // namespace bw

namespace bw::test {

class ProgramTest : public ::testing::Test {
 public:
  ProgramTest();
  ~ProgramTest() override;

  // Starts the program with `args` (its command line without the program's name) and waits
  // until the frame is on the screen and drawn. Fails the test when it does not start.
  void Start(std::vector<std::string> args = {});
  // Asks the main window to close, as its close box does; true when it closed.
  bool CloseBox();
  // Ends the program whatever it is doing (a close that cannot be refused, then the
  // application's end).
  void End();
  bool Running() const { return running_; }

  CMainFrame& frame();
  CBrookwaveView& view();
  CBrookwaveViewCore& core();

  // What the status line shows.
  std::string StatusLine();
  std::string Caption();
  // Command `id` chosen from the menu (or a button, or an accelerator), and what it queued
  // handled.
  void Command(int id);
  // Opens `path` for playback as File > Open does after its dialog.
  void Open(const std::string& path);
  // The menu item of command `id` in the frame's menu (null when there is none).
  wxMenuItem* MenuItem(int id);
  // Runs the command-state updates of the menus and the toolbars now.
  void UpdateCommandStates();

  // Profile values as stored in the program's file (readable while the program is not
  // running; written before a start, they are what it finds).
  std::optional<std::string> Stored(std::string_view section, std::string_view entry);
  void Store(std::string_view section, std::string_view entry, std::string_view value);
  // "PlaySet" with the defaults but AutoPlay `autoplay` and no fades (so the volume does not
  // ramp while a test looks).
  void StorePlaySet(bool autoplay);

  // A 16-bit PCM stereo WAVE file of a sine tone in the scratch folder.
  std::string WriteTone(const std::string& name, double seconds, double hz = 440);

  TempDir dir;

 private:
  std::string ProfileFile() const;
  // Where the bars are on the screen, and whether they are still where they were.
  std::vector<wxRect> BarRects();
  bool LaidOut();
  bool running_ = false;
  wxWeakRef<wxWindow> frame_;  // the main window until wx has destroyed it
  std::vector<wxRect> bars_;
};

}  // namespace bw::test
