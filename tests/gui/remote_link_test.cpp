// The program's side of the remote control and of drag and drop, inside the test process: what
// other programs' commands and dropped files do to the running program.
#include "app/remote_link.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/dialog.h>
#include <wx/dnd.h>
#include <wx/timer.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/brookwave_app.h"
#include "frame/main_frame.h"
#include "gui_test_support.h"
#include "playlist/playlist_file.h"
#include "shell_test_support.h"
#include "support/wave_image.h"
#include "view/brookwave_view.h"
#include "view/form_window.h"
#include "view/view_core.h"

namespace bw::test {
namespace {

using RemoteLink = ProgramTest;

void Drop(wxWindow& window, const std::vector<std::string>& paths) {
  auto* target = dynamic_cast<wxFileDropTarget*>(window.GetDropTarget());
  ASSERT_NE(target, nullptr);
  wxArrayString files;
  for (const std::string& path : paths)
    files.Add(wxString::FromUTF8(path));
  EXPECT_TRUE(target->OnDropFiles(10, 10, files));
  HandleQueued();  // the view opens the file once the drop has returned
}

TEST_F(RemoteLink, FilesDroppedOnTheWindowOpenAsFileOpenWould) {
  const std::string first = WriteTone("first.wav", 5), second = WriteTone("second.wav", 5);
  Start();
  // Several files: the first one opens, and plays with AutoPlay.
  Drop(frame(), {first, second});
  EXPECT_EQ(core().stream().playing, 1);
  EXPECT_EQ(Caption(), first + " - Brookwave");

  // On the form, a play list replaces the playing file.
  const std::string list = (dir / "list.plf").string();
  const std::string text = JoinPlayListLines(std::vector<std::string>{second, first});
  WriteFileBytes(list, {text.begin(), text.end()});
  Drop(*view().Form(), {list});
  EXPECT_EQ(core().stream().playListPath, list);
  EXPECT_EQ(Caption(), second + " - Brookwave");
}

TEST_F(RemoteLink, UnderAModalDialogQuitRaisesAndAHandedFileWaitsForTheDialog) {
  const std::string tone = WriteTone("tone.wav", 5);
  Start();
  CRemoteLink* link = wxGetApp().RemoteLink();
  ASSERT_NE(link, nullptr);
  ASSERT_TRUE(link->HasService());
  ScheduleModalScript([&](wxDialog& about) {
    link->OnRemoteCommand(RemoteCommand::kQuit);
    link->OnRemoteOpen(tone);
    HandleQueued();
    EXPECT_NE(wxGetApp().MainFrame(), nullptr);
    EXPECT_EQ(core().stream().fileOpen, 0);
    about.EndModal(wxID_OK);
  });
  Command(ID_APP_ABOUT);
  SettleUntil([&] { return core().stream().playing == 1; });
  EXPECT_EQ(core().stream().playing, 1);
  EXPECT_EQ(Caption(), tone + " - Brookwave");

  // Busy, Quit stops; idle, it closes the window and gives the bus name up.
  link->OnRemoteCommand(RemoteCommand::kQuit);
  EXPECT_EQ(core().stream().playing, 0);
  EXPECT_TRUE(link->HasService());
  link->OnRemoteCommand(RemoteCommand::kQuit);
  SettleUntil([] { return wxGetApp().MainFrame() == nullptr; });
  EXPECT_EQ(wxGetApp().MainFrame(), nullptr);
  EXPECT_FALSE(link->HasService());
}

// Other programs' Quit and OpenUri while a large MPEG file is being imported (its copy pumps
// the event loop): the program stays up, the file asked for is refused by name, and Quit
// stops the import cleanly, leaving nothing behind.
TEST_F(RemoteLink, QuitAndOpenUriDuringAnImportStopItAndTheProgramStaysUp) {
  const std::string tone = WriteTone("tone.wav", 5);
  const std::string mpeg = (dir / "long.mp3").string();
  WriteFileBytes(mpeg, SilentMpegFrames(0xFB, 0x90, 0x40, 417, 60000));  // 25 MB, 26 minutes
  Start();
  CRemoteLink* link = wxGetApp().RemoteLink();
  ASSERT_NE(link, nullptr);
  MessageBoxAnswerer answerer;
  bool asked = false, arrivedDuringImport = false;
  wxTimer asker;
  asker.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    // The drop is taken after its event; the copy into the wrapper runs now.
    asked = true;
    arrivedDuringImport = StatusLine() == "Converting";
    link->OnRemoteOpen(tone);
    link->OnRemoteCommand(RemoteCommand::kQuit);
  });
  asker.StartOnce(1);
  Drop(frame(), {mpeg});
  ASSERT_TRUE(SettleUntil([&] { return asked; }));
  ASSERT_TRUE(arrivedDuringImport) << "the requests came after the import";

  ASSERT_NE(wxGetApp().MainFrame(), nullptr);
  EXPECT_TRUE(link->HasService());
  EXPECT_FALSE(core().IsRunningCommand());
  EXPECT_EQ(core().stream().converting, 0);
  EXPECT_EQ(core().stream().playing, 0);
  EXPECT_FALSE(std::filesystem::exists(core().stream().importTempPath));
  EXPECT_EQ(StatusLine(), "Ready");
  EXPECT_EQ(answerer.texts,
            std::vector<std::string>{tone + " was not opened: stop the recording or the "
                                            "conversion first."});
  // Idle again, the next request is taken.
  link->OnRemoteOpen(tone);
  EXPECT_EQ(Caption(), tone + " - Brookwave");
}

}  // namespace
}  // namespace bw::test
