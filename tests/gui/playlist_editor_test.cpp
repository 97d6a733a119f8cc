// The play list editor with its real widgets: the list box mirrors the list through every
// button, the browser feeds Add, double-click and Add All, and Use List hands the list to the
// view, which ends the run.
#include "playlist/playlist_editor.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/filectrl.h>
#include <wx/listbox.h>
#include <wx/textctrl.h>

#include "gui_test_support.h"
#include "playlist/playlist_editor_model.h"
#include "res/dialog_ids.h"
#include "support/test_support.h"
#include "view/view_ids.h"

namespace bw {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

CPlayListEditor* ModalEditor() {
  for (wxWindow* window : wxTopLevelWindows) {
    auto* editor = dynamic_cast<CPlayListEditor*>(window);
    if (editor != nullptr && editor->IsModal()) return editor;
  }
  return nullptr;
}

// Stands in for the view: records what the editor posts and, as the view does once it has
// written the list, ends the run when Use List arrives, recording how the run ended.
struct ViewStandIn final : MessageTarget {
  void PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) override {
    posted.push_back({message, wparam, lparam});
    if (message != WM_PLAYLIST_EDITED) return;
    wxTheApp->CallAfter([this] {
      CPlayListEditor* editor = ModalEditor();
      ClosePlayListEditor();
      if (editor != nullptr && !editor->IsModal()) closed_with = editor->GetReturnCode();
    });
  }
  std::vector<std::tuple<uint32_t, WPARAM, LPARAM>> posted;
  std::optional<int> closed_with;
};

Lines Shown(CPlayListEditor& editor) {
  Lines shown;
  for (const wxString& item : editor.PlayList()->GetStrings())
    shown.push_back(item.utf8_string());
  return shown;
}

std::string FileNameShown(CPlayListEditor& editor) {
  return dynamic_cast<wxTextCtrl*>(editor.FindWindow(res::IDC_EDITOR_FILE_NAME))
      ->GetValue()
      .utf8_string();
}

void SendBrowserEvent(CPlayListEditor& editor, wxEventType type) {
  wxFileCtrlEvent event(type, editor.Browser(), editor.Browser()->GetId());
  editor.Browser()->ProcessWindowEvent(event);
}

// What a click on `path` in the browser does.
void ChooseInBrowser(CPlayListEditor& editor, const fs::path& path) {
  const wxString wanted = wxString::FromUTF8(path.string());
  const auto shown = [&] {
    return editor.Browser()->GetPath() == wanted || editor.Browser()->GetDirectory() == wanted;
  };
  // The browser loads its folder in the background: the click comes once it shows the entry.
  // A choice made while the folder it opened on is still loading can be lost (seen under load:
  // the entry never shown), so it is made again every two seconds until it holds.
  int waited = 0;
  test::SettleUntil([&] {
    if (shown()) return true;
    if (waited % 2000 == 0) editor.Browser()->SetPath(wanted);
    waited += 20;
    return false;
  });
  SendBrowserEvent(editor, wxEVT_FILECTRL_SELECTIONCHANGED);
}

void Select(CPlayListEditor& editor, int index) {
  editor.PlayList()->SetSelection(index);
}

class PlayListEditorTest : public testing::Test {
 protected:
  // Runs the editor on a play list file holding `text`, and `script` once it is up; the
  // script must end the run.
  void Run(std::string_view text, const std::function<void(CPlayListEditor&)>& script) {
    test::WriteFileText(list_, text);
    model_.SetPlayListFile(list_.string());
    test::ScheduleModalScript(
        [&](wxDialog& dialog) { script(dynamic_cast<CPlayListEditor&>(dialog)); });
    RunPlayListEditor(nullptr, model_);
  }

  test::TempDir dir_;
  fs::path list_ = dir_ / "songs.plf";
  test::CapturedMessages messages_;
  ViewStandIn view_;
  PlayListEditorModel model_{view_};
};

TEST_F(PlayListEditorTest, OpensOnTheFilesLinesAndCancelLeavesTheFileAsItWas) {
  const std::string text = "/music/a.wav\r\n\r\n/music/c.wav";
  Run(text, [&](CPlayListEditor& editor) {
    EXPECT_EQ(editor.GetTitle(), "PlayList Editor");
    EXPECT_EQ(Shown(editor), (Lines{"/music/a.wav", "", "/music/c.wav"}));
    auto* file = dynamic_cast<wxTextCtrl*>(editor.FindWindow(res::IDC_EDITOR_LIST_FILE));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetValue().utf8_string(), list_.string());
    for (int id : {res::IDC_EDITOR_MOVE_UP, res::IDC_EDITOR_MOVE_DOWN}) {
      auto* arrow = dynamic_cast<wxButton*>(editor.FindWindow(id));
      ASSERT_NE(arrow, nullptr) << id;
      EXPECT_TRUE(arrow->GetBitmap().IsOk()) << id;
    }

    Select(editor, 0);
    test::Click(editor, res::IDC_EDITOR_DELETE);
    EXPECT_EQ(Shown(editor), (Lines{"", "/music/c.wav"}));
    test::Click(editor, wxID_CANCEL);
  });
  EXPECT_EQ(test::ReadFileBytes(list_), std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_TRUE(view_.posted.empty());
  EXPECT_TRUE(messages_.messages().empty());
  ClosePlayListEditor();  // none runs: nothing happens
}

TEST_F(PlayListEditorTest, AddAndDoubleClickAppendTheBrowsersFileAndTheDialogStaysOpen) {
  const fs::path music = dir_ / "music";
  fs::create_directories(music / "folder");
  test::WriteFileBytes(music / "a.wav", {0});
  test::WriteFileBytes(music / "b.wav", {0});
  Run("/first.wav\r\n", [&](CPlayListEditor& editor) {
    ChooseInBrowser(editor, music / "a.wav");
    EXPECT_EQ(FileNameShown(editor), "a.wav");
    test::Click(editor, res::IDC_EDITOR_ADD);
    EXPECT_EQ(Shown(editor), (Lines{"/first.wav", (music / "a.wav").string()}));

    ChooseInBrowser(editor, music / "b.wav");
    SendBrowserEvent(editor, wxEVT_FILECTRL_FILEACTIVATED);
    EXPECT_TRUE(editor.IsModal());
    EXPECT_EQ(Shown(editor).back(), (music / "b.wav").string());

    // A folder is no entry: Add does nothing with it.
    ChooseInBrowser(editor, music / "folder");
    EXPECT_EQ(FileNameShown(editor), "");
    test::Click(editor, res::IDC_EDITOR_ADD);
    EXPECT_EQ(Shown(editor).size(), 3u);
    test::Click(editor, wxID_CANCEL);
  });
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(PlayListEditorTest, AddAllAsksFirstAndAppendsTheFoldersWaveFiles) {
  const fs::path music = dir_ / "music";
  fs::create_directories(music);
  for (const char* name : {"one.wav", "TWO.WAV", "notes.txt"})
    test::WriteFileBytes(music / name, {0});
  Run("/first.wav\r\n", [&](CPlayListEditor& editor) {
    const wxString folder = wxString::FromUTF8(music.string());
    editor.Browser()->SetDirectory(folder);
    test::SettleUntil([&] { return editor.Browser()->GetDirectory() == folder; });
    messages_.set_answer(kIdNo);
    test::Click(editor, res::IDC_EDITOR_ADD_ALL);
    ASSERT_EQ(messages_.texts(), Lines{"Are you sure you want to Add all *.wav files?"});
    EXPECT_EQ(messages_.messages()[0].style & kMbButtonMask, kMbYesNo);
    EXPECT_EQ(Shown(editor), Lines{"/first.wav"});

    messages_.set_answer(kIdYes);
    test::Click(editor, res::IDC_EDITOR_ADD_ALL);
    Lines shown = Shown(editor);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "/first.wav");
    std::sort(shown.begin() + 1, shown.end());
    EXPECT_EQ(shown[1], (music / "TWO.WAV").string());
    EXPECT_EQ(shown[2], (music / "one.wav").string());
    test::Click(editor, wxID_CANCEL);
  });
}

TEST_F(PlayListEditorTest, MovesDeleteAndClearActOnTheSelectedEntry) {
  Run("a\r\nb\r\nc\r\n", [&](CPlayListEditor& editor) {
    Select(editor, 1);
    test::Click(editor, res::IDC_EDITOR_MOVE_UP);
    EXPECT_EQ(Shown(editor), (Lines{"b", "a", "c"}));
    EXPECT_EQ(editor.PlayList()->GetSelection(), 0);
    test::Click(editor, res::IDC_EDITOR_MOVE_UP);  // the first stays first
    EXPECT_EQ(Shown(editor), (Lines{"b", "a", "c"}));

    Select(editor, 1);
    test::Click(editor, res::IDC_EDITOR_MOVE_DOWN);
    EXPECT_EQ(Shown(editor), (Lines{"b", "c", "a"}));
    EXPECT_EQ(editor.PlayList()->GetSelection(), 2);
    test::Click(editor, res::IDC_EDITOR_MOVE_DOWN);  // the last stays last
    EXPECT_EQ(Shown(editor), (Lines{"b", "c", "a"}));

    Select(editor, 1);
    test::Click(editor, res::IDC_EDITOR_DELETE);
    EXPECT_EQ(Shown(editor), (Lines{"b", "a"}));
    EXPECT_EQ(editor.PlayList()->GetSelection(), wxNOT_FOUND);
    test::Click(editor, res::IDC_EDITOR_DELETE);  // nothing selected
    EXPECT_EQ(Shown(editor), (Lines{"b", "a"}));

    test::Click(editor, res::IDC_EDITOR_CLEAR_LIST);
    EXPECT_TRUE(Shown(editor).empty());
    test::Click(editor, wxID_CANCEL);
  });
}

// The view takes the list in a later turn of the dialog's loop, as a posted message arrives.
TEST_F(PlayListEditorTest, UseListHandsTheListToTheViewWhichEndsTheRun) {
  const fs::path song = dir_ / "song.wav";
  test::WriteFileBytes(song, {0});
  test::WriteFileText(list_, "");
  model_.SetPlayListFile(list_.string());
  bool open_after_use_list = false;
  wxTheApp->CallAfter([&] {
    CPlayListEditor* editor = ModalEditor();
    ASSERT_NE(editor, nullptr);
    test::Click(*editor, res::IDC_EDITOR_USE_LIST);  // an empty list is not handed over
    EXPECT_TRUE(view_.posted.empty());
    ChooseInBrowser(*editor, song);
    test::Click(*editor, res::IDC_EDITOR_ADD);
    test::Click(*editor, res::IDC_EDITOR_USE_LIST);
    open_after_use_list = editor->IsModal();
    // Nothing handed over (a step above failed): no view will end the run, so the test does,
    // and reports the failure instead of waiting for its timeout.
    if (view_.posted.empty()) editor->EndModal(wxID_ABORT);
  });
  RunPlayListEditor(nullptr, model_);

  ASSERT_EQ(view_.posted.size(), 1u);
  EXPECT_EQ(view_.posted[0], std::make_tuple(uint32_t{WM_PLAYLIST_EDITED}, WPARAM{1}, LPARAM{0}));
  EXPECT_TRUE(open_after_use_list);  // until the view has taken the list
  EXPECT_EQ(view_.closed_with, wxID_CANCEL);
  EXPECT_EQ(model_.Entries(), Lines{song.string()});
  EXPECT_TRUE(test::ReadFileBytes(list_).empty());  // the view writes the file, not the editor
}

}  // namespace
}  // namespace bw
