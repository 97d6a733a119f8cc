#include "playlist/playlist_editor_model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "playlist/playlist_file.h"
#include "support/test_support.h"
#include "view/view_ids.h"

namespace bw {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

struct PostedMessages final : MessageTarget {
  struct Posted {
    uint32_t message;
    WPARAM wparam;
    LPARAM lparam;
    friend bool operator==(const Posted&, const Posted&) = default;
  };
  void PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) override {
    posted.push_back({message, wparam, lparam});
  }
  std::vector<Posted> posted;
};

class PlayListEditorModelTest : public ::testing::Test {
 protected:
  // The editor loaded from a play list file holding `text`.
  void Load(std::string_view text) {
    test::WriteFileText(list_, text);
    editor_.SetPlayListFile(list_.string());
    ASSERT_TRUE(editor_.OnInitDone());
  }

  test::TempDir dir_;
  fs::path list_ = dir_ / "songs.plf";
  test::CapturedMessages messages_;
  PostedMessages view_;
  PlayListEditorModel editor_{view_};
};

TEST_F(PlayListEditorModelTest, EachRunStartsFromTheFileEveryLineIncluded) {
  const std::string overlong(kMaxPlayListEntry + 5, 'x');
  Load("/a.wav\r\n\r\n" + overlong + "\n/d.wav");
  // An overlong line is shown so that the user can mend it; Use List will not write it.
  EXPECT_EQ(editor_.Entries(), (Lines{"/a.wav", "", overlong, "/d.wav"}));
  editor_.Select(1);
  editor_.OnUseList();
  EXPECT_EQ(editor_.FileOkResult(), 0);

  Load("/b.wav\r\n");
  EXPECT_EQ(editor_.Entries(), Lines{"/b.wav"});
  EXPECT_EQ(editor_.Selection(), std::nullopt);
  EXPECT_EQ(editor_.FileOkResult(), -1);
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(PlayListEditorModelTest, AFileThatCannotBeOpenedForWritingGivesTheFileErrorAndAnEmptyList) {
  Load("/a.wav\r\n");
  ASSERT_EQ(::chmod(list_.c_str(), 0444), 0);
  EXPECT_FALSE(editor_.OnInitDone());
  EXPECT_TRUE(editor_.Entries().empty());

  editor_.SetPlayListFile((dir_ / "gone.plf").string());
  EXPECT_FALSE(editor_.OnInitDone());
  ASSERT_EQ(messages_.messages().size(), 2u);
  EXPECT_NE(messages_.texts()[0].find(list_.string()), std::string::npos);
  EXPECT_NE(messages_.texts()[1].find("gone.plf"), std::string::npos);
}

TEST_F(PlayListEditorModelTest, AddedFilesKeepTheirOrderAndTheDialogStaysOpenUntilUseList) {
  Load("/first.wav\r\n");
  EXPECT_TRUE(editor_.OnAdd("/music/b.wav"));
  EXPECT_EQ(editor_.OnFileNameOK("/music/a.wav"), -1);  // a double-click adds, the dialog stays
  EXPECT_FALSE(editor_.OnAdd(""));                      // nothing selected in the browser
  EXPECT_TRUE(editor_.OnAdd("/music/b.wav"));           // duplicates are allowed
  EXPECT_EQ(editor_.Entries(),
            (Lines{"/first.wav", "/music/b.wav", "/music/a.wav", "/music/b.wav"}));

  // What a file could not give back as it is never enters the list.
  const std::string too_long = "/" + std::string(kMaxPlayListEntry, 'x');
  EXPECT_FALSE(editor_.OnAdd(too_long));
  EXPECT_FALSE(editor_.OnAdd("/two\nlines.wav"));
  EXPECT_EQ(editor_.Entries().size(), 4u);
  EXPECT_EQ(messages_.texts(), (std::vector<std::string>{"Unable to Add file " + too_long + "\n",
                                                         "Unable to Add file /two\nlines.wav\n"}));

  EXPECT_TRUE(view_.posted.empty());
  EXPECT_TRUE(editor_.OnUseList());
  EXPECT_EQ(view_.posted, (std::vector<PostedMessages::Posted>{{WM_PLAYLIST_EDITED, 1, 0}}));
  EXPECT_EQ(editor_.OnFileNameOK("/music/c.wav"), 0);
}

TEST_F(PlayListEditorModelTest, UseListIgnoresAnEmptyList) {
  Load("");
  EXPECT_FALSE(editor_.OnUseList());
  editor_.OnAdd("/a.wav");
  editor_.OnClearList();
  EXPECT_FALSE(editor_.OnUseList());
  EXPECT_TRUE(view_.posted.empty());
  EXPECT_EQ(editor_.FileOkResult(), -1);
}

TEST_F(PlayListEditorModelTest, AddAllAsksThenAppendsEveryWaveFileInTheFileSystemsOrder) {
  const fs::path folder = dir_ / "music";
  fs::create_directory(folder);
  for (const char* name : {"b.wav", "A.WAV", "notes.txt", "c.wav.bak", "d.Wav", ".hidden.wav"})
    test::WriteFileText(folder / name, "");
  fs::create_directory(folder / "folder.wav");  // matches are not filtered by kind
  Load("/kept.wav\r\n");

  messages_.set_answer(kIdNo);
  editor_.OnAddAll(folder);
  EXPECT_EQ(editor_.Entries(), Lines{"/kept.wav"});
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.texts()[0], "Are you sure you want to Add all *.wav files?");
  EXPECT_EQ(messages_.messages()[0].style & kMbButtonMask, kMbYesNo);

  messages_.set_answer(kIdYes);
  editor_.OnAddAll(folder);
  Lines expected{"/kept.wav"};
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != "notes.txt" && name != "c.wav.bak") expected.push_back((folder / name).string());
  }
  EXPECT_EQ(expected.size(), 6u);
  EXPECT_EQ(editor_.Entries(), expected);
  EXPECT_EQ(messages_.messages().size(), 2u);
}

TEST_F(PlayListEditorModelTest, AddAllStopsAtTheFirstNameTheListRefuses) {
  // A folder deep enough that its long names no longer fit a play list entry.
  fs::path folder = dir_.path();
  while (folder.string().size() < kMaxPlayListEntry - 60)
    folder /= std::string(40, 'f');
  fs::create_directories(folder);
  for (char c : {'p', 'q', 'r'})
    test::WriteFileText(folder / (std::string(80, c) + ".wav"), "");
  Load("");
  messages_.set_answer(kIdYes);
  editor_.OnAddAll(folder);
  EXPECT_TRUE(editor_.Entries().empty());
  ASSERT_EQ(messages_.messages().size(), 2u);  // the question, then one refusal only
  EXPECT_EQ(messages_.texts()[1].substr(0, 19), "Unable to Add file ");
  EXPECT_EQ(messages_.texts()[1].size(), 19u + 84u + 1u);  // the name alone, then "\n"
}

TEST_F(PlayListEditorModelTest, MovesAndDeletesActOnTheSelectionAndNeverLoseOrDoubleAnEntry) {
  Load("a\nb\nc\n");
  editor_.OnMoveUp();  // nothing selected: nothing moves
  editor_.OnDelete();
  EXPECT_EQ(editor_.Entries(), (Lines{"a", "b", "c"}));

  editor_.Select(0);
  editor_.OnMoveUp();  // the first entry stays first
  EXPECT_EQ(editor_.Entries(), (Lines{"a", "b", "c"}));
  EXPECT_EQ(editor_.Selection(), 0u);
  editor_.OnMoveDown();
  EXPECT_EQ(editor_.Entries(), (Lines{"b", "a", "c"}));
  EXPECT_EQ(editor_.Selection(), 1u);
  editor_.OnMoveDown();
  editor_.OnMoveDown();  // the last entry stays last
  EXPECT_EQ(editor_.Entries(), (Lines{"b", "c", "a"}));
  EXPECT_EQ(editor_.Selection(), 2u);
  editor_.OnMoveUp();
  EXPECT_EQ(editor_.Entries(), (Lines{"b", "a", "c"}));
  EXPECT_EQ(editor_.Selection(), 1u);

  editor_.Select(7);  // past the list: the selection stays
  EXPECT_EQ(editor_.Selection(), 1u);
  editor_.OnDelete();
  EXPECT_EQ(editor_.Entries(), (Lines{"b", "c"}));
  EXPECT_EQ(editor_.Selection(), std::nullopt);

  editor_.OnClearList();
  EXPECT_TRUE(editor_.Entries().empty());
  EXPECT_EQ(editor_.Selection(), std::nullopt);
}

}  // namespace
}  // namespace bw
