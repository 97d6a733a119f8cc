// The about box, the Open File dialog and the resources they and the frame load.
#include <gtest/gtest.h>
#include <wx/filectrl.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "app/about_dlg.h"
#include "gui_test_support.h"
#include "playlist/open_file_dlg.h"
#include "res/resources.h"
#include "support/test_support.h"
#include "view/view_ids.h"

namespace bw {
namespace {

bool HasText(wxWindow& window, const wxString& text) {
  for (wxWindow* child : window.GetChildren()) {
    if (auto* label = dynamic_cast<wxStaticText*>(child); label && label->GetLabel() == text)
      return true;
  }
  return false;
}

TEST(AboutBox, ShowsTheVersionAndThePicture) {
  CAboutDlg about(nullptr);
  ASSERT_TRUE(about.IsOk());
  EXPECT_EQ(about.GetTitle(), "About Brookwave");
  EXPECT_EQ(about.GetId(), 100);
  EXPECT_TRUE(HasText(about, "Brookwave Version"));
  EXPECT_TRUE(HasText(about, "0.98.0153"));
  auto* picture = test::Control<wxStaticBitmap>(about, "IDC_ABOUT_PICTURE");
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(picture->GetBitmap().IsOk());
  EXPECT_NE(about.FindWindow(wxID_OK), nullptr);
}

TEST(OpenFileDlg, ReturnsTheChosenWaveFile) {
  test::TempDir dir;
  test::WriteFileBytes(dir / "song.wav", {0});
  COpenFileDlg dialog(nullptr, wxString::FromUTF8(dir.path().string()));
  ASSERT_TRUE(dialog.IsOk());
  EXPECT_EQ(dialog.GetTitle(), "Open File");
  EXPECT_EQ(dialog.FindWindow(wxID_OK)->GetLabel(), "Open");
  EXPECT_TRUE(HasText(dialog, "0.98.0153"));
  EXPECT_FALSE(dialog.FindWindow(wxID_OK)->IsEnabled());  // nothing chosen yet

  const std::string path = (dir / "song.wav").string();
  test::RunModal<int>([&] { return dialog.ShowModal(); },
                      [&](wxDialog&) {
                        const wxString wanted = wxString::FromUTF8(path);
                        dialog.Browser()->SetPath(wanted);
                        // The browser loads its folder in the background.
                        test::SettleUntil([&] { return dialog.Browser()->GetPath() == wanted; });
                        wxFileCtrlEvent selected(wxEVT_FILECTRL_SELECTIONCHANGED, dialog.Browser(),
                                                 dialog.Browser()->GetId());
                        dialog.Browser()->ProcessWindowEvent(selected);
                        EXPECT_TRUE(dialog.FindWindow(wxID_OK)->IsEnabled());
                        test::Click(dialog, wxID_OK);
                      });
  EXPECT_EQ(dialog.GetPathName(), path);
}

// Every picture the frame, the view and the dialogs load exists in the size they draw it at.
TEST(Resources, EveryPictureIsThereInItsSize) {
  ASSERT_FALSE(res::ResourceDir().empty());
  const int toolbar[] = {ID_FILE_NEW,       ID_FILE_OPEN,     ID_FILE_SAVE,     ID_APP_ABOUT,
                         ID_PLAYLIST_NEW,   ID_PLAYLIST_OPEN, ID_PLAYLIST_EDIT, ID_PLAYLIST_REPEAT,
                         ID_PLAY,           ID_STOP,          ID_PAUSE,         ID_RECORD,
                         ID_FIRST,          ID_REVERSE,       ID_FORWARD,       ID_LAST,
                         ID_SELECTION_FROM, ID_SELECTION_TO,  ID_SELECTION_USE, ID_FILE_CLOSE,
                         ID_REPEAT_SONG};
  for (int command : toolbar) {
    EXPECT_EQ(res::ToolbarBitmap(command, false).GetSize(), wxSize(16, 15)) << command;
    EXPECT_EQ(res::ToolbarBitmap(command, true).GetSize(), wxSize(24, 24)) << command;
  }
  EXPECT_FALSE(res::ToolbarBitmap(ID_APP_EXIT, false).IsOk());
  EXPECT_EQ(res::BackgroundTile().GetSize(), wxSize(64, 64));
  EXPECT_EQ(res::ArrowIcon(true).GetSize(), wxSize(32, 32));
  EXPECT_EQ(res::ArrowIcon(false).GetSize(), wxSize(32, 32));
  EXPECT_TRUE(res::AboutPicture(1.0).IsOk());
  EXPECT_TRUE(res::AboutPicture(1.25).IsOk());
  const wxIconBundle icons = res::ProgramIcons();
  EXPECT_EQ(icons.GetIconCount(), 5u);
  EXPECT_TRUE(icons.GetIcon(32).IsOk());
}

}  // namespace
}  // namespace bw
