// Play lists through the view's core on the virtual card: the sequence a list plays, the
// Playlist commands and their rules, and the editor's Use List writing the list file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "playlist/playlist_file.h"
#include "support/wave_image.h"
#include "view/view_test_util.h"

namespace bw::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using Samples = std::vector<int16_t>;

// A song shorter than a block plays as the two primed blocks.
constexpr std::size_t kShortSongSamples = 2 * kBlockSamples;

// What the card plays for a song of `data` (stereo, 44,100 Hz) that fits in `samples`.
Samples Heard(const Samples& data, std::size_t samples) {
  Samples heard = data;
  heard.resize(samples, 0);
  return heard;
}

class PlayListScenario : public ViewCoreTest {
 protected:
  // `count` short stereo songs, each with its own samples.
  void MakeSongs(int count, uint32_t frames = 1000) {
    for (int i = 0; i < count; ++i) {
      songs_.push_back(PatternSamples(std::size_t{frames} * 2, 100 + i));
      paths_.push_back(WritePcm("song" + std::to_string(i) + ".wav", 44100, 2, songs_.back()));
    }
  }
  std::string WriteList(const Lines& entries, const std::string& name = "songs.plf") {
    const std::string path = dir / name;
    WriteFileText(path, JoinPlayListLines(entries));
    return path;
  }
  // Playlist > Open PlayList with `path` chosen in its dialog.
  void OpenList(const std::string& path) {
    window.QueueFileDialogAnswer(path);
    EXPECT_TRUE(core.OnCommand(ID_PLAYLIST_OPEN));
  }
  // Plays block by block until `ends` songs have ended; what the card played.
  Samples PlayUntilEnds(int ends) {
    Samples played;
    for (int block = 0; window.DispatchedCount(WM_STREAM_END) < ends && block < 100; ++block) {
      const Samples step = Advance(FramesToNextBlock());
      played.insert(played.end(), step.begin(), step.end());
    }
    EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), ends);
    return played;
  }
  // Each of `order`'s songs as the card plays it, one after the other.
  Samples HeardInTurn(std::initializer_list<int> order) const {
    Samples all;
    for (int i : order) {
      const Samples one = Heard(songs_[i], kShortSongSamples);
      all.insert(all.end(), one.begin(), one.end());
    }
    return all;
  }
  CommandState State(int id) const { return *core.QueryCommandState(id); }

  std::vector<Samples> songs_;
  Lines paths_;
};

TEST_F(PlayListScenario, EntriesPlayInTurnAndTheLastOneStaysLoaded) {
  MakeSongs(3);
  stream().playSettings.AutoPlay = 1;
  OpenList(WriteList(paths_));
  EXPECT_EQ(stream().playListCount, 3u);
  EXPECT_EQ(stream().playListInUse, 1);
  EXPECT_EQ(stream().playing, 1);

  EXPECT_EQ(PlayOut(), HeardInTurn({0, 1, 2}));
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 3);
  EXPECT_EQ(stream().playListIndex, 2u);
  EXPECT_EQ(stream().fileOpen, 1);
  EXPECT_EQ(window.DocumentTitle(), paths_[2]);
  // The sequence has stopped: nothing reads "Playing" and the volume ramp has ended.
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(window.StatusText(), "Ready");
  EXPECT_FALSE(window.IsTimerSet(kPlaybackTimerId));
  EXPECT_EQ(stream().playListOpen, 1);
  // Nothing else happens: the list stays in use.
  EXPECT_EQ(State(ID_PLAYLIST_IN_USE), (CommandState{true, true}));
  EXPECT_TRUE(window.Messages().empty());
}

TEST_F(PlayListScenario, RepeatPlayListWrapsToTheFirstEntryUntilSwitchedOff) {
  MakeSongs(3);
  stream().playSettings.AutoPlay = 1;
  stream().playSettings.RepeatPlayList = 1;
  OpenList(WriteList(paths_));
  EXPECT_EQ(stream().playSettings.RepeatPlayList, 0);  // opening a list turns it off
  EXPECT_EQ(State(ID_PLAYLIST_REPEAT), (CommandState{true, false}));
  EXPECT_TRUE(core.OnCommand(ID_PLAYLIST_REPEAT));
  EXPECT_EQ(State(ID_PLAYLIST_REPEAT), (CommandState{true, true}));

  Samples played = PlayUntilEnds(3);
  EXPECT_EQ(stream().playListIndex, 0u);
  EXPECT_EQ(window.DocumentTitle(), paths_[0]);
  EXPECT_EQ(stream().playing, 1);
  core.OnCommand(ID_PLAYLIST_REPEAT);
  const Samples rest = PlayOut();
  played.insert(played.end(), rest.begin(), rest.end());
  EXPECT_EQ(played, HeardInTurn({0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(stream().playListIndex, 2u);
}

TEST_F(PlayListScenario, AnEntryThatCannotBePlayedShowsItsMessageAndStopsTheSequence) {
  MakeSongs(3);
  stream().playSettings.AutoPlay = 1;
  OpenList(WriteList({paths_[0], "", paths_[2]}));  // the empty line is an entry
  EXPECT_EQ(stream().playListCount, 3u);

  EXPECT_EQ(PlayOut(), HeardInTurn({0}));
  EXPECT_EQ(window.MessageTexts(), (Lines{"File  not found", "StreamBufferSetupPlay"}));
  EXPECT_EQ(stream().playListIndex, 1u);
  EXPECT_EQ(stream().fileOpen, 0);
  EXPECT_EQ(stream().playListOpen, 1);
  const Samples after = Advance(kBlockFrames);
  EXPECT_TRUE(std::all_of(after.begin(), after.end(), [](int16_t v) { return v == 0; }));
  EXPECT_EQ(State(ID_PLAYLIST_CLOSE), (CommandState{true, false}));

  core.OnCommand(ID_PLAYLIST_CLOSE);
  for (int32_t value : {stream().playListOpen, stream().playListInUse})
    EXPECT_EQ(value, 0);
  EXPECT_EQ(stream().playListCount, 0u);
  EXPECT_EQ(stream().playListIndex, 0u);
  EXPECT_EQ(State(ID_PLAYLIST_IN_USE), (CommandState{false, false}));
}

TEST_F(PlayListScenario, AnEntryCutWhileOpenEndsAsAnySongAndTheNextOnePlays) {
  MakeSongs(2, kBlockFrames);
  stream().playSettings.AutoPlay = 0;
  OpenList(WriteList(paths_));
  // Cut by another program after the list opened it (beyond what the reader's buffer took in
  // at the open): its reads meet the file's end.
  const std::size_t held = 10000 * 2;
  fs::resize_file(paths_[0], stream().playback.dataChunk.dwDataOffset + held * 2);
  core.OnCommand(ID_PLAYLIST_IN_USE);
  core.OnCommand(ID_PLAY);

  Samples cut = songs_[0];
  cut.resize(held);
  Samples expected = Heard(cut, kShortSongSamples);
  const Samples next = Heard(songs_[1], kShortSongSamples);
  expected.insert(expected.end(), next.begin(), next.end());
  EXPECT_EQ(PlayOut(), expected);
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 2);
  EXPECT_EQ(stream().playListIndex, 1u);
  EXPECT_EQ(window.StatusText(), "Ready");
}

TEST_F(PlayListScenario, FirstAndLastMoveWithinTheList) {
  MakeSongs(3);
  OpenList(WriteList(paths_));  // AutoPlay off: the first entry waits
  EXPECT_EQ(stream().playing, 0);
  const auto step = [&](int command) {
    EXPECT_TRUE(core.OnCommand(command));
    EXPECT_EQ(window.DocumentTitle(), paths_[stream().playListIndex]);
    return stream().playListIndex;
  };
  EXPECT_EQ(step(ID_FIRST), 0u);  // without Repeat PlayList the ends hold
  EXPECT_EQ(step(ID_LAST), 1u);
  EXPECT_EQ(step(ID_LAST), 2u);
  EXPECT_EQ(step(ID_LAST), 2u);
  core.OnCommand(ID_PLAYLIST_REPEAT);  // with it they wrap
  EXPECT_EQ(step(ID_LAST), 0u);
  EXPECT_EQ(step(ID_FIRST), 2u);
  EXPECT_EQ(step(ID_FIRST), 1u);
  EXPECT_EQ(stream().playing, 0);

  core.OnCommand(ID_AUTOPLAY);
  EXPECT_EQ(State(ID_AUTOPLAY), (CommandState{true, true}));
  EXPECT_EQ(step(ID_LAST), 2u);
  EXPECT_EQ(stream().playing, 1);
  Samples played = PlayUntilEnds(1);  // in use now, and still repeating
  EXPECT_EQ(stream().playListIndex, 0u);
  core.OnCommand(ID_PLAYLIST_REPEAT);
  const Samples rest = PlayOut();
  played.insert(played.end(), rest.begin(), rest.end());
  EXPECT_EQ(played, HeardInTurn({2, 0, 1, 2}));
}

TEST_F(PlayListScenario, StopTakesTheListOutOfUseAndPlayWithAutoPlayPutsItBack) {
  MakeSongs(2, 3 * kBlockFrames);
  stream().playSettings.AutoPlay = 1;
  OpenList(WriteList(paths_));
  Advance(kBlockFrames);
  core.OnCommand(ID_STOP);
  EXPECT_EQ(State(ID_PLAYLIST_IN_USE), (CommandState{true, false}));

  core.OnCommand(ID_PLAY);
  EXPECT_EQ(State(ID_PLAYLIST_IN_USE), (CommandState{true, true}));
  PlayUntilEnds(1);
  EXPECT_EQ(stream().playListIndex, 1u);
  EXPECT_EQ(stream().playing, 1);

  // Without AutoPlay, Play leaves it out of use: the song ends and nothing follows.
  core.OnCommand(ID_STOP);
  core.OnCommand(ID_AUTOPLAY);
  core.OnCommand(ID_FIRST);
  core.OnCommand(ID_PLAY);
  EXPECT_EQ(stream().playListInUse, 0);
  PlayOut();
  EXPECT_EQ(stream().playListIndex, 0u);
  EXPECT_EQ(window.DocumentTitle(), paths_[0]);

  // PlayList in Use puts it back by hand.
  core.OnCommand(ID_PLAYLIST_IN_USE);
  core.OnCommand(ID_PLAY);
  PlayOut();
  EXPECT_EQ(stream().playListIndex, 1u);
}

TEST_F(PlayListScenario, TheEndOfARecordingDoesNotMoveTheList) {
  MakeSongs(2);
  stream().playSettings.AutoPlay = 1;
  OpenList(WriteList(paths_));
  core.OnCommand(ID_STOP);
  core.OnCommand(ID_PLAYLIST_IN_USE);
  stream().recording = 1;  // a recording that reached its size limit
  core.WindowProc(WM_STREAM_END, 100, 0);
  EXPECT_EQ(stream().playListIndex, 0u);
  EXPECT_EQ(window.DocumentTitle(), paths_[0]);
}

TEST_F(PlayListScenario, ALostDeviceStopsTheSongInsteadOfMovingTheListOn) {
  MakeSongs(2);
  stream().playSettings.AutoPlay = 1;
  OpenList(WriteList(paths_));
  ASSERT_EQ(stream().playing, 1);
  core.WindowProc(WM_STREAM_END, kDeviceLostCode, 0);
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(stream().playListIndex, 0u);
  EXPECT_EQ(stream().playListInUse, 0) << "as Stop leaves it";
  EXPECT_EQ(window.DocumentTitle(), paths_[0]);
  EXPECT_EQ(window.StatusText(), "Ready");
}

TEST_F(PlayListScenario, StartUpPathsNameAListOnlyWithLowerCasePlf) {
  MakeSongs(1);
  const std::string upper = dir / "LIST.PLF";
  fs::copy_file(paths_[0], upper);
  window.SetDocumentPath(upper);
  core.OnInitialUpdate();  // the defaults: AutoPlay on
  EXPECT_EQ(stream().playListOpen, 0);
  EXPECT_EQ(stream().fileOpen, 1);
  EXPECT_EQ(window.DocumentTitle(), upper);
  core.OnStop();
  core.OnFileClose();

  // A start-up list that cannot be opened is not retried in place of the dialog.
  window.SetDocumentPath(dir / "missing.plf");
  core.OnInitialUpdate();
  EXPECT_EQ(stream().playListOpen, 0);
  EXPECT_TRUE(window.Messages().empty());
  OpenList(WriteList(paths_));
  EXPECT_EQ(stream().playListOpen, 1);
  EXPECT_EQ(stream().playListPath, dir / "songs.plf");
}

TEST_F(PlayListScenario, OpenPlayListChangesNothingForListsItCannotTake) {
  MakeSongs(1);
  const std::string list = WriteList(paths_);
  window.QueueFileDialogAnswer(std::nullopt);
  core.OnCommand(ID_PLAYLIST_OPEN);
  EXPECT_EQ(window.MessageTexts(), Lines{"Please choose a file\r\nOr Type a New FileName"});

  window.ClearMessages();
  OpenList(dir / "missing.plf");
  EXPECT_TRUE(window.Messages().empty());
  OpenList(WriteList({}, "empty.plf"));
  EXPECT_TRUE(window.Messages().empty());

  ASSERT_EQ(::chmod(list.c_str(), 0444), 0);
  OpenList(list);
  ASSERT_EQ(window.Messages().size(), 1u);
  EXPECT_NE(window.MessageTexts()[0].find(list), std::string::npos);
  EXPECT_EQ(stream().playListOpen, 0);
  EXPECT_EQ(stream().fileOpen, 0);
}

TEST_F(PlayListScenario, UseListWritesTheFileAndPlaysItsFirstEntry) {
  MakeSongs(3);
  stream().playSettings.AutoPlay = 1;
  stream().playSettings.RepeatPlayList = 1;
  const std::string list = dir / "new.plf";
  const Lines edited = {paths_[1], paths_[0] + " ", paths_[2]};
  int seen_on_init = -1;
  window.playListEditorScript = [&](PlayListEditorModel& editor) {
    seen_on_init = static_cast<int>(editor.Entries().size());
    editor.OnAdd(paths_[1]);
    editor.OnAdd(paths_[2]);
    editor.OnAdd(paths_[0] + " ");
    editor.Select(2);
    editor.OnMoveUp();
    editor.OnUseList();
  };
  window.QueueFileDialogAnswer(list);
  core.OnCommand(ID_PLAYLIST_NEW);
  EXPECT_EQ(seen_on_init, 0);  // created empty for the editor
  EXPECT_EQ(window.PlayListEditorRuns(), 1);
  EXPECT_FALSE(window.PlayListEditorShowing());  // closed by Use List

  EXPECT_EQ(ReadFileText(list), paths_[1] + "\r\n" + paths_[0] + " \r\n" + paths_[2] + "\r\n");
  Lines back;
  ASSERT_EQ(ReadPlayListFile(list, back), PlayListReadResult::kRead);
  EXPECT_EQ(back, edited);
  EXPECT_EQ(stream().playListCount, 3u);
  EXPECT_EQ(stream().playSettings.RepeatPlayList, 0);
  EXPECT_EQ(stream().playListInUse, 1);
  EXPECT_EQ(window.DocumentTitle(), paths_[1]);
  EXPECT_EQ(PlayUntilEnds(1), HeardInTurn({1}));
  // The second entry has a blank at the end of its name: no such file.
  EXPECT_EQ(window.MessageTexts(),
            (Lines{"File " + paths_[0] + "  not found", "StreamBufferSetupPlay"}));
}

TEST_F(PlayListScenario, EditingAndCancellingLeavesTheListFileAsItWas) {
  MakeSongs(2);
  const std::string list = WriteList(paths_);
  OpenList(list);
  EXPECT_EQ(State(ID_PLAYLIST_EDIT), (CommandState{true, false}));
  Lines loaded;
  window.playListEditorScript = [&](PlayListEditorModel& editor) {
    loaded = editor.Entries();
    editor.OnClearList();
    editor.OnAdd(paths_[1]);
    // The editor does not start a second time over itself.
    core.OnCommand(ID_PLAYLIST_EDIT);
  };
  core.OnCommand(ID_PLAYLIST_EDIT);
  EXPECT_EQ(loaded, paths_);
  EXPECT_EQ(window.PlayListEditorRuns(), 1);
  EXPECT_EQ(ReadFileText(list), JoinPlayListLines(paths_));
  EXPECT_EQ(stream().playListCount, 2u);

  // New PlayList on an existing list edits it as it stands.
  window.QueueFileDialogAnswer(list);
  core.OnCommand(ID_FILE_CLOSE);
  core.OnCommand(ID_PLAYLIST_NEW);
  EXPECT_EQ(window.PlayListEditorRuns(), 2);
  EXPECT_EQ(loaded, paths_);
  EXPECT_EQ(ReadFileText(list), JoinPlayListLines(paths_));

  window.QueueFileDialogAnswer(std::nullopt);
  core.OnCommand(ID_PLAYLIST_NEW);
  EXPECT_EQ(window.MessageTexts(), Lines{"Please choose a file\r\nOr Type a New FileName"});
  core.OnCommand(ID_PLAYLIST_EDIT);  // the list path was cleared: nothing to edit
  EXPECT_EQ(window.PlayListEditorRuns(), 2);
}

TEST_F(PlayListScenario, UseListThatCannotTakeTheListLeavesTheEditorOpen) {
  MakeSongs(1);
  const std::string list = WriteList(paths_);
  OpenList(list);
  bool open_after_failure = false;
  window.playListEditorScript = [&](PlayListEditorModel& editor) {
    editor.OnAdd(dir / "gone.wav");
    editor.Select(1);
    editor.OnMoveUp();
    editor.OnUseList();
    window.DispatchPending();
    open_after_failure = window.PlayListEditorShowing();
    editor.Select(0);
    editor.OnDelete();
    editor.OnUseList();
  };
  core.OnCommand(ID_PLAYLIST_EDIT);
  EXPECT_TRUE(open_after_failure);
  EXPECT_FALSE(window.PlayListEditorShowing());
  const std::string gone = dir / "gone.wav";
  EXPECT_EQ(window.MessageTexts(), (Lines{"File " + gone + " not found", "StreamBufferSetupPlay"}));
  EXPECT_EQ(ReadFileText(list), JoinPlayListLines(paths_));
  EXPECT_EQ(stream().fileOpen, 1);

  // A list file that may not be written is kept, and so is the list in use.
  window.ClearMessages();
  ASSERT_EQ(::chmod(list.c_str(), 0444), 0);
  window.playListEditorScript = [&](PlayListEditorModel& editor) {
    editor.OnAdd(paths_[0]);
    editor.OnUseList();
  };
  core.OnCommand(ID_PLAYLIST_EDIT);
  ASSERT_EQ(window.Messages().size(), 2u);  // when the editor opens and at Use List
  EXPECT_EQ(ReadFileText(list), JoinPlayListLines(paths_));
  EXPECT_EQ(stream().playListCount, 1u);
}

TEST_F(PlayListScenario, PlaylistCommandsFollowTheirRules) {
  StreamState& s = stream();
  for (int mask = 0; mask < (1 << 6); ++mask) {
    const auto bit = [&](int i) { return (mask >> i) & 1; };
    s.fileOpen = bit(0);
    s.playing = bit(1);
    s.paused = bit(2);
    s.playListOpen = bit(3);
    s.playListInUse = bit(4);
    s.playSettings.RepeatPlayList = bit(5);
    s.playSettings.AutoPlay = bit(4) ^ bit(5);
    const bool idle = !bit(0) && !bit(1) && !bit(2);
    const auto expect = [&](int id, bool enabled, bool checked) {
      EXPECT_EQ(core.QueryCommandState(id), (CommandState{enabled, checked}))
          << "command " << id << " flags " << mask;
    };
    expect(ID_PLAYLIST_NEW, idle, false);
    expect(ID_PLAYLIST_OPEN, idle, false);
    expect(ID_PLAYLIST_CLOSE, bit(3) && !bit(1), false);
    expect(ID_PLAYLIST_EDIT, bit(3) && !bit(1), false);
    expect(ID_PLAYLIST_IN_USE, bit(3), bit(4));
    expect(ID_PLAYLIST_REPEAT, bit(3), bit(5));
    expect(ID_AUTOPLAY, true, bit(4) ^ bit(5));
  }
  s.ClearFlags();
  s.playSettings.AutoPlay = 2;  // the toggles leave any other value alone
  core.OnCommand(ID_AUTOPLAY);
  EXPECT_EQ(s.playSettings.AutoPlay, 2);
  s.playSettings.AutoPlay = 0;
  core.OnCommand(ID_AUTOPLAY);
  EXPECT_EQ(s.playSettings.AutoPlay, 1);
  core.OnCommand(ID_PLAYLIST_IN_USE);  // refused: no list is open
  EXPECT_EQ(s.playListInUse, 0);
}

}  // namespace
}  // namespace bw::test
