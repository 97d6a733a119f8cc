// What the file dialogs do once the user has named a file: default extension, the replace and
// create questions, a name that must exist. The browser itself is replaced by a script.
#include "view/dialogs/file_dialog.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/test_support.h"

namespace bw {
namespace {

namespace fs = std::filesystem;

struct Pick {
  fs::path folder;
  std::string name;
};

// Answers the browser with the given names in turn (nothing = Cancel) and records where it
// was opened.
class ScriptedBrowser {
 public:
  explicit ScriptedBrowser(std::deque<std::optional<std::string>> answers)
      : answers_(std::move(answers)) {}
  FilePicker picker() {
    return [this](const fs::path& folder, const std::string& name) {
      shown.push_back({folder, name});
      if (answers_.empty()) return std::optional<std::string>();
      auto answer = answers_.front();
      answers_.pop_front();
      return answer;
    };
  }
  std::vector<Pick> shown;

 private:
  std::deque<std::optional<std::string>> answers_;
};

FileDialogSpec SaveDialog() {
  FileDialogSpec dialog;
  dialog.kind = FileDialogSpec::Kind::kSave;
  dialog.title = "File Open";
  dialog.filters = {{"Wave Files", "*.wav"}, {"All Files", "*.*"}};
  dialog.default_extension = "wav";
  dialog.overwrite_prompt = true;
  dialog.create_prompt = true;
  return dialog;
}

FileDialogSpec NewFileDialog() {
  FileDialogSpec dialog = SaveDialog();
  dialog.kind = FileDialogSpec::Kind::kOpen;
  dialog.title = "File New";
  return dialog;
}

class FileDialogRules : public testing::Test {
 protected:
  test::TempDir dir_;
  test::CapturedMessages messages_;
  std::string Existing(const char* name) {
    test::WriteFileBytes(dir_ / name, {1});
    return (dir_ / name).string();
  }
};

TEST_F(FileDialogRules, ANameWithoutExtensionGetsTheDefaultOne) {
  EXPECT_EQ(WithDefaultExtension("/a/take", "wav"), "/a/take.wav");
  EXPECT_EQ(WithDefaultExtension("/a/take.mp3", "wav"), "/a/take.mp3");
  EXPECT_EQ(WithDefaultExtension("/a.dir/take", "wav"), "/a.dir/take.wav");
  EXPECT_EQ(WithDefaultExtension("/a/take", ""), "/a/take");

  ScriptedBrowser browser({(dir_ / "take").string()});
  EXPECT_EQ(ConfirmFileDialog(SaveDialog(), browser.picker(), dir_.path()),
            (dir_ / "take.wav").string());
  EXPECT_EQ(browser.shown.at(0).folder, dir_.path());
  EXPECT_TRUE(messages_.texts().empty());  // a save dialog never asks to create
}

// "No" shows the browser again on the same name; "Yes" takes the file.
TEST_F(FileDialogRules, ReplacingAFileIsAskedFirst) {
  const std::string old = Existing("old.wav");
  messages_.set_answer(kIdNo);
  ScriptedBrowser browser({(dir_ / "old").string(), std::nullopt});
  EXPECT_EQ(ConfirmFileDialog(SaveDialog(), browser.picker(), dir_.path()), std::nullopt);
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].caption, "File Open");
  EXPECT_NE(messages_.texts()[0].find(old), std::string::npos);
  ASSERT_EQ(browser.shown.size(), 2u);
  EXPECT_EQ(browser.shown[1].folder, dir_.path());
  EXPECT_EQ(browser.shown[1].name, "old.wav");

  messages_.set_answer(kIdYes);
  ScriptedBrowser again({old});
  EXPECT_EQ(ConfirmFileDialog(SaveDialog(), again.picker(), dir_.path()), old);
}

// An open dialog that may create its file asks before naming a new one, and never asks to
// replace: the command itself decides about an existing file.
TEST_F(FileDialogRules, AnOpenDialogAsksBeforeANewNameOnly) {
  const std::string old = Existing("old.wav");
  ScriptedBrowser existing({old});
  EXPECT_EQ(ConfirmFileDialog(NewFileDialog(), existing.picker(), dir_.path()), old);
  EXPECT_TRUE(messages_.texts().empty());

  messages_.set_answer(kIdNo);
  ScriptedBrowser refused({(dir_ / "new").string(), std::nullopt});
  EXPECT_EQ(ConfirmFileDialog(NewFileDialog(), refused.picker(), dir_.path()), std::nullopt);
  EXPECT_EQ(messages_.texts().size(), 1u);
  EXPECT_EQ(refused.shown.size(), 2u);

  messages_.set_answer(kIdYes);
  ScriptedBrowser accepted({(dir_ / "new").string()});
  EXPECT_EQ(ConfirmFileDialog(NewFileDialog(), accepted.picker(), dir_.path()),
            (dir_ / "new.wav").string());
}

TEST_F(FileDialogRules, AFileThatMustExistIsLookedFor) {
  FileDialogSpec import;
  import.title = "Import";
  import.default_extension = "mp3";
  import.file_must_exist = true;
  const std::string song = Existing("song.mp3");
  ScriptedBrowser browser({(dir_ / "missing").string(), (dir_ / "song").string()});
  EXPECT_EQ(ConfirmFileDialog(import, browser.picker(), dir_.path()), song);
  ASSERT_EQ(messages_.texts().size(), 1u);
  EXPECT_NE(messages_.texts()[0].find("missing.mp3"), std::string::npos);
  EXPECT_EQ(browser.shown.size(), 2u);
}

}  // namespace
}  // namespace bw
