// The view's core without playback: start-up, settings, the enable rules over every flag
// combination, the selection commands, failed opens and the recent files.
#include <gtest/gtest.h>

#include "settings/settings_records.h"
#include "support/wave_image.h"
#include "view/view_test_util.h"

namespace bw::test {
namespace {

using ViewCore = ViewCoreTest;

std::vector<int64_t> Range(int64_t from, int64_t below, int64_t step) {
  std::vector<int64_t> out;
  for (int64_t v = from; v < below; v += step)
    out.push_back(v);
  return out;
}

TEST_F(ViewCore, InitialUpdateSizesTheControlsFromTheSettings) {
  EXPECT_EQ(window.StatusText(), "Ready");
  EXPECT_EQ(window.Text(IDC_FREQUENCY_BOX), " 44100 Hz");
  EXPECT_EQ(window.Text(IDC_CHANNELS_BOX), " Stereo ");
  const SliderState& volume = window.Slider(IDC_VOLUME);
  EXPECT_EQ(volume.ticks, Range(-2000, 0, 100));
  EXPECT_EQ(volume.pos, 0);
  EXPECT_EQ(window.Slider(IDC_BALANCE).ticks, Range(-10000, 10000, 2500));
  EXPECT_EQ(window.Slider(IDC_FREQUENCY).ticks, Range(100, 100000, 4995));
  EXPECT_EQ(window.Slider(IDC_FREQUENCY).pos, 44100);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).ticks, Range(-6, 6, 1));
  EXPECT_EQ(window.Slider(IDC_VELOCITY).pos, 0);
  EXPECT_EQ(window.Slider(IDC_POSITION), SliderState{});

  // Stored settings: taken as they are; narrow ranges get no ticks.
  profile.WriteString("Settings", "PlaySet",
                      "1,1,0,0,1,1,10,10,-3000,-2990,100,100000,5,10,-6,6,0,0,0,0,1,1,1,1,1,1,1,"
                      "1,1,0,0");
  core.OnInitialUpdate();
  EXPECT_EQ(window.Slider(IDC_VOLUME).min, -3000);
  EXPECT_TRUE(window.Slider(IDC_VOLUME).ticks.empty());
  EXPECT_TRUE(window.Slider(IDC_BALANCE).ticks.empty());
  EXPECT_EQ(window.Slider(IDC_BALANCE).pos, 5);  // 0 held to the range
}

TEST_F(ViewCore, FileExitWritesBothSettingsAndClosesTheWindow) {
  core.OnInitialUpdate();  // the defaults, as at start-up with nothing stored
  core.OnCommand(ID_APP_EXIT);
  EXPECT_EQ(profile.GetString("Settings", "PlaySet", ""),
            "1,1,0,0,1,1,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0,1,1,1,1,1,1,1,1,1,0,0");
  EXPECT_EQ(profile.GetString("Settings", "RecordSet", ""),
            "0,0,0,0,0,0,2147483647,1000,1,1,1,1,1,1,1,1,0,0");
  EXPECT_TRUE(window.CloseRequested());
}

TEST_F(ViewCore, EnableRulesFollowTheBusyFlags) {
  StreamState& s = stream();
  for (int mask = 0; mask < (1 << 9); ++mask) {
    const auto bit = [&](int i) { return (mask >> i) & 1; };
    s.fileOpen = bit(0);
    s.recordTargetReady = bit(1);
    s.paused = bit(2);
    s.converting = bit(3);
    s.playing = bit(4);
    s.recording = bit(5);
    s.selectionSet = bit(6);
    s.selectionPlay = bit(7);
    s.playSettings.RepeatSong = bit(8);
    const bool open = bit(0), ready = bit(1), paused = bit(2), converting = bit(3);
    const bool playing = bit(4), recording = bit(5), set = bit(6);
    const bool idle = !playing && !converting && !recording;
    const auto expect = [&](int id, bool enabled, bool checked = false) {
      EXPECT_EQ(core.QueryCommandState(id), (CommandState{enabled, checked}))
          << "command " << id << " flags " << mask;
    };
    // A prepared record target holds the work buffers too.
    expect(ID_PLAY, open && idle && !paused && !ready, playing);
    expect(ID_PAUSE, (recording || paused) && !converting && !playing, paused);
    expect(ID_STOP, open || ready || converting);
    expect(ID_RECORD, ready && idle, recording);
    for (int id : {ID_FIRST, ID_LAST, ID_REVERSE, ID_FORWARD, ID_SELECTION_FROM, ID_SELECTION_TO})
      expect(id, open && idle && !paused);
    expect(ID_SELECTION_CLEAR, set);
    expect(ID_SELECTION_USE, set && open, bit(7));
    expect(ID_REPEAT_SONG, true, bit(8));
    expect(ID_FILE_NEW, !ready && !playing && !open);
    expect(ID_FILE_OPEN, !open && !playing);
    expect(ID_FILE_CLOSE, (open || ready) && idle);
    for (int id : {ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_PASTE})
      expect(id, false);
  }
  s.ClearFlags();
  EXPECT_EQ(core.QueryCommandState(ID_VIEW_TOOLBAR), std::nullopt);
}

TEST_F(ViewCore, DisabledCommandsAreRefused) {
  EXPECT_TRUE(core.OnCommand(ID_PLAY));  // nothing open: taken and refused
  EXPECT_EQ(stream().playing, 0);
  EXPECT_FALSE(core.OnCommand(ID_VIEW_TOOLBAR));
}

TEST_F(ViewCore, SelectionCommandsKeepOrMoveTheEnds) {
  Open(WritePcm("a.wav", 44100, 2, PatternSamples(441000)));
  const auto at = [&](int64_t position) {
    core.OnHScroll(TB_THUMBPOSITION, position, IDC_POSITION);
  };
  at(40000);
  core.OnSelectionTo();
  at(10000);
  core.OnSelectionFrom();
  EXPECT_EQ(stream().selectionStart, 10000u);
  EXPECT_EQ(stream().selectionEnd, 40000u);
  EXPECT_EQ(stream().selectionSet, 1);
  EXPECT_EQ(window.Slider(IDC_POSITION).selection_start, 10000);
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 10000);
  at(50000);  // From beyond the end moves both ends there
  core.OnSelectionFrom();
  EXPECT_EQ(stream().selectionStart, 50000u);
  EXPECT_EQ(stream().selectionEnd, 50000u);
  EXPECT_EQ(stream().selectionSet, 0);
  at(20000);
  core.OnSelectionTo();
  EXPECT_EQ(stream().selectionStart, 20000u);
  core.OnSelectionClear();
  EXPECT_EQ(stream().selectionSet, 0);
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 0);
  EXPECT_FALSE(window.Slider(IDC_POSITION).has_selection);

  // The toggles leave values other than 0 and 1 alone.
  stream().selectionPlay = 2;
  core.OnSelectionUse();
  EXPECT_EQ(stream().selectionPlay, 2);
  core.OnRepeatSong();
  EXPECT_EQ(stream().playSettings.RepeatSong, 1);
}

struct OpenFailure {
  const char* name;
  std::vector<uint8_t> image;
  const char* message;
  int result;
};

TEST_F(ViewCore, FailedOpensShowTheCauseAndLeaveNothingOpen) {
  const FormatBlock pcm(MakePcmFormat(44100, 2));
  // 16-bit samples in one byte each: the fields contradict each other.
  WAVEFORMATEX contradictory = MakePcmFormat(44100, 2);
  contradictory.nBlockAlign = 2;
  WAVEFORMATEX no_rate = MakePcmFormat(44100, 2);
  no_rate.nAvgBytesPerSec = 0;
  WAVEFORMATEX mpeg = MakePcmFormat(44100, 2);
  mpeg.wFormatTag = kWaveFormatMpeg;
  const std::vector<OpenFailure> cases = {
      {"text.wav",
       {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v', 'e', ' ', 'f', 'i', 'l', 'e'},
       "Wave File Open Failed ",
       -100},
      {"nodata.wav", BuildRiffWave({{"fmt ", FmtBody(pcm), {}}}), "IDS_ERROR_WAVESEEKFAILED", -103},
      {"contradictory.wav", BuildWave(FormatBlock(contradictory), std::vector<uint8_t>(600)),
       "UnKnown Format", -3},
      {"norate.wav", BuildWave(FormatBlock(no_rate), std::vector<uint8_t>(64)), "UnKnown Format",
       -3},
      {"mpeg.wav", BuildWave(FormatBlock(mpeg, std::vector<uint8_t>(22)), std::vector<uint8_t>(64)),
       "UnKnown Format", -3},
  };
  for (const OpenFailure& c : cases) {
    window.ClearMessages();
    const std::string path = dir / c.name;
    WriteFileBytes(path, c.image);
    stream().playback.playPath = path;
    EXPECT_EQ(core.OnPlayFileChosen(1), -1) << c.name;
    EXPECT_EQ(stream().lastError, c.result) << c.name;
    EXPECT_EQ(stream().fileOpen, 0) << c.name;
    ASSERT_GE(window.Messages().size(), 2u) << c.name;
    EXPECT_EQ(window.MessageTexts().back(), "StreamBufferSetupPlay Failed");
    const std::string& cause = window.Messages()[window.Messages().size() - 2].text;
    EXPECT_EQ(cause.substr(0, std::string(c.message).size()), c.message) << c.name;
  }

  window.ClearMessages();
  const std::string missing = dir / "missing.wav";
  stream().playback.playPath = missing;
  EXPECT_EQ(core.OnPlayFileChosen(1), -1);
  EXPECT_EQ(stream().lastError, -1);
  ASSERT_EQ(window.Messages().size(), 2u);
  EXPECT_EQ(window.Messages()[0].text, "File " + missing + " not found");
  EXPECT_EQ(window.Messages()[0].style, kMbAbortRetryIgnore | kMbIconExclamation);
  window.QueueMessageBoxAnswer(kIdFailed);
  core.OnPlayFileChosen(1);
  EXPECT_EQ(stream().lastError, -2);
}

TEST_F(ViewCore, FileOpenPostsTheChosenPathAndRecentFilesReopenIt) {
  const std::string path = WritePcm("song.wav", 44100, 2, PatternSamples(1000));
  window.QueueFileDialogAnswer(path);
  EXPECT_TRUE(core.OnCommand(ID_FILE_OPEN));
  EXPECT_EQ(stream().fileOpen, 0);  // not before the message is handled
  window.DispatchPending();
  EXPECT_EQ(stream().fileOpen, 1);
  EXPECT_EQ(window.DocumentTitle(), path);
  EXPECT_EQ(window.RecentFiles(), std::vector<std::string>{path});
  EXPECT_EQ(core.recentFiles().Entry(0), path);

  core.OnFileClose();
  EXPECT_TRUE(core.OnCommand(ID_FILE_MRU_FIRST));
  EXPECT_EQ(stream().fileOpen, 1);
  core.OnFileClose();
  std::filesystem::remove(path);
  EXPECT_FALSE(core.OnCommand(ID_FILE_MRU_FIRST));  // gone: the application's handler runs
  EXPECT_EQ(core.recentFiles().Entry(0), "");
}

TEST_F(ViewCore, PauseTogglesOnlyARecording) {
  core.OnPause();
  EXPECT_EQ(window.StatusText(), "Paused");
  EXPECT_EQ(stream().paused, 0);
  stream().recording = 1;
  core.OnPause();
  EXPECT_EQ(window.StatusText(), "Paused Recording");
  EXPECT_EQ(stream().paused, 1);
  core.OnPause();
  EXPECT_EQ(window.StatusText(), "Recording");
  EXPECT_EQ(stream().paused, 0);
  stream().recording = 0;
}

TEST_F(ViewCore, CursorOverAControlShowsItsPromptAndTip) {
  EXPECT_EQ(core.OnSetCursor(IDC_BALANCE), "Pan");
  EXPECT_EQ(window.StatusText(), "Pan");
  // Over the form the idle prompt shows the last state text: none has been reported yet.
  EXPECT_EQ(core.OnSetCursor(std::nullopt), "");
  EXPECT_EQ(window.StatusText(), "");
  core.OnPause();
  EXPECT_EQ(core.OnSetCursor(IDC_RBAR), "VolumeMeter");
  EXPECT_EQ(window.StatusText(), "VolumeMeter");
  core.OnSetCursor(std::nullopt);
  EXPECT_EQ(window.StatusText(), "Paused");
}

}  // namespace
}  // namespace bw::test
