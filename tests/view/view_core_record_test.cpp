// Recording scenarios through the view's core on the virtual card: File New, Record, Pause and
// Stop as a user runs them, with the capture thread taking block after block. Into 16-bit PCM
// of the card's own layout a recording must keep exactly what was captured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "support/wave_image.h"
#include "view/view_test_util.h"

namespace bw::test {
namespace {

std::vector<int16_t> Blocks(const std::vector<int16_t>& v, std::initializer_list<int> blocks) {
  std::vector<int16_t> out;
  for (int b : blocks) {
    const std::vector<int16_t> block = Slice(v, b * kBlockSamples, kBlockSamples);
    out.insert(out.end(), block.begin(), block.end());
  }
  return out;
}

class RecordScenario : public ViewCoreTest {
 protected:
  RecordScenario() { virtual_sound::SetCaptureFormat({0, 0}); }

  // File New for `name` with `format` chosen.
  std::string NewTarget(const std::string& name, const FormatBlock& format = kStereo16) {
    const std::string path = dir / name;
    window.QueueFileDialogAnswer(path);
    window.QueueFormatChoice({0, format});
    EXPECT_TRUE(core.OnCommand(ID_FILE_NEW));
    return path;
  }
  std::string StartRecording(const std::string& name = "take.wav") {
    const std::string path = NewTarget(name);
    EXPECT_EQ(stream().recordTargetReady, 1);
    core.OnCommand(ID_RECORD);
    EXPECT_EQ(stream().recording, 1);
    return path;
  }
  void Feed(const std::vector<int16_t>& samples) {
    EXPECT_TRUE(virtual_sound::FeedCapture(samples));
    window.DispatchPending();
  }
  static std::optional<ParsedWave> Parsed(const std::string& path) {
    return ParseWave(ReadFileBytes(path));
  }
  static std::vector<int16_t> Recorded(const std::string& path) {
    const std::optional<ParsedWave> wave = Parsed(path);
    EXPECT_TRUE(wave.has_value()) << path;
    return wave ? Pcm16Samples(wave->data) : std::vector<int16_t>{};
  }
};

TEST_F(RecordScenario, KeepsEveryCapturedFrameUpToStopWhateverTheLength) {
  // The lag holds up to two blocks at Stop: none, a part, one, one and a part, ...
  for (uint32_t frames : {0u, 1u, 999u, kBlockFrames, kBlockFrames + 7, 2 * kBlockFrames,
                          4 * kBlockFrames + 1, 9 * kBlockFrames - 3}) {
    const std::string path = StartRecording("take" + std::to_string(frames) + ".wav");
    EXPECT_EQ(window.StatusText(), "Recording");
    EXPECT_EQ(core.QueryCommandState(ID_RECORD), (CommandState{false, true}));
    const std::vector<int16_t> fed = PatternSamples(std::size_t{frames} * 2, frames + 1);
    Feed(fed);
    window.ClearMessages();
    core.OnCommand(ID_STOP);
    EXPECT_EQ(Recorded(path), fed) << frames;
    EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Record Completed"});
    EXPECT_EQ(window.StatusText(), "Ready");
    EXPECT_EQ(stream().recording, 0);
    EXPECT_EQ(stream().recordTargetReady, 0);
    // The new file is the open file.
    EXPECT_EQ(stream().fileOpen, 1) << frames;
    EXPECT_EQ(stream().playback.playPath, path);
    EXPECT_EQ(window.DocumentTitle(), path);
    EXPECT_EQ(window.RecentFiles().front(), path);
    EXPECT_EQ(window.Slider(IDC_POSITION).pos, 0);
    core.OnFileClose();
  }
}

TEST_F(RecordScenario, TheRecordedFilePlaysFromItsStart) {
  StartRecording();
  const std::vector<int16_t> fed = PatternSamples(5 * kBlockSamples);
  Feed(fed);
  core.OnCommand(ID_STOP);
  core.OnCommand(ID_PLAY);
  EXPECT_EQ(Advance(kBlockFrames), Slice(fed, 0, kBlockSamples));
}

TEST_F(RecordScenario, SizesInTheFileFollowEveryBlockWritten) {
  const std::string path = StartRecording();
  const std::vector<int16_t> fed = PatternSamples(4 * kBlockSamples);
  Feed(Slice(fed, 0, 3 * kBlockSamples));
  // A process that died now would leave these two blocks in a well-formed file.
  EXPECT_EQ(Recorded(path), Blocks(fed, {0, 1}));
  EXPECT_EQ(stream().capture.bytesRecorded, 2 * kBlockBytes);
  Feed(Slice(fed, 3 * kBlockSamples, kBlockSamples));
  EXPECT_EQ(Recorded(path), Blocks(fed, {0, 1, 2}));
}

TEST_F(RecordScenario, LevelsAndVoiceActivationFollowTheSampleToSampleChanges) {
  // Left alternates 0 and 100, right is still: per block 44 x 100 x (frames - 1) / frames.
  std::vector<int16_t> ripple(kBlockSamples);
  for (std::size_t frame = 1; frame < kBlockFrames; frame += 2)
    ripple[2 * frame] = 100;
  std::vector<int16_t> loud(kBlockSamples);
  for (std::size_t i = 0; i < loud.size(); ++i)
    loud[i] = (i / 2) % 2 ? 32767 : -32767;
  const std::vector<int16_t> silence(kBlockSamples);

  for (const int32_t threshold : {4399, 4400}) {
    stream().recordSettings.VoiceActivated = 1;
    stream().recordSettings.ActiveThreshold = threshold;
    const std::string path = StartRecording("voice" + std::to_string(threshold) + ".wav");
    Feed(loud);
    Feed(ripple);  // the loud block is taken
    EXPECT_EQ(window.Meter(IDC_LBAR), 0xFFFE);
    EXPECT_EQ(window.Meter(IDC_RBAR), 0xFFFE);
    const int meters = window.DispatchedCount(WM_LEVEL_METER);
    Feed(silence);  // the ripple block is taken
    EXPECT_EQ(window.Meter(IDC_LBAR), 4399);
    EXPECT_EQ(window.Meter(IDC_RBAR), 0);
    Feed(ripple);  // the silent block is taken: measured, not written
    EXPECT_EQ(window.DispatchedCount(WM_LEVEL_METER), meters + 2);
    const uint32_t written = stream().capture.bytesRecorded;
    Feed(silence);
    core.OnCommand(ID_STOP);
    // The block at the threshold is written: the level has to reach it, not pass it.
    std::vector<int16_t> expected = loud;
    if (threshold == 4399) {
      for (int copies = 0; copies < 2; ++copies)
        expected.insert(expected.end(), ripple.begin(), ripple.end());
    }
    EXPECT_EQ(Recorded(path), expected) << threshold;
    EXPECT_EQ(written, threshold == 4399 ? 2 * kBlockBytes : kBlockBytes);
    core.OnFileClose();
  }
}

TEST_F(RecordScenario, AMonoTakeEndingInHalfAPairCountsItsLastSampleForTheVoiceGate) {
  // Stop's drain takes three samples: a pair and a lone one, which alone carries the level
  // (44 x 1000 / 3 frames, over the threshold).
  stream().recordSettings.VoiceActivated = 1;
  stream().recordSettings.ActiveThreshold = 10000;
  const std::string path = NewTarget("mono.wav", FormatBlock(MakePcmFormat(44100, 1)));
  core.OnCommand(ID_RECORD);
  ASSERT_EQ(stream().recording, 1);
  Feed({0, 0, 1000});
  core.OnCommand(ID_STOP);
  EXPECT_EQ(Recorded(path), (std::vector<int16_t>{0, 0, 1000}));
}

TEST_F(RecordScenario, StopLimitEndsTheRecordingOnceTheCountIsGreater) {
  const std::vector<int16_t> fed = PatternSamples(6 * kBlockSamples);
  // {limit, blocks kept}: equal to a count does not stop; 0 stops at the first block.
  const std::pair<uint32_t, uint32_t> cases[] = {{kBlockBytes, 2}, {kBlockBytes - 1, 1}, {0, 1}};
  for (const auto& [limit, blocks] : cases) {
    stream().recordSettings.StopAtLimit = 1;
    stream().recordSettings.StopLimitBytes = static_cast<int32_t>(limit);
    const std::string path = StartRecording("limit" + std::to_string(limit) + ".wav");
    const int ends = window.DispatchedCount(WM_STREAM_END);
    window.ClearMessages();
    Feed(fed);
    EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), ends + 1);
    EXPECT_EQ(stream().recording, 0);
    EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Record Completed"});
    EXPECT_EQ(Recorded(path), Slice(fed, 0, blocks * kBlockSamples)) << limit;
    core.OnFileClose();
  }
}

TEST_F(RecordScenario, AFileThatWouldPassItsSizeLimitEndsValidAtTheLastBlockThatFits) {
  const std::string path = NewTarget("big.wav");
  CaptureStream& capture = stream().capture;
  capture.targetByteLimit = capture.dataChunk.dwDataOffset + 2 * kBlockBytes + 64 * 1024;
  core.OnCommand(ID_RECORD);
  const std::vector<int16_t> fed = PatternSamples(6 * kBlockSamples);
  window.ClearMessages();
  Feed(fed);
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 1);
  EXPECT_EQ(stream().recording, 0);
  EXPECT_EQ(window.MessageTexts(),
            (std::vector<std::string>{"File " + path +
                                          " has reached the largest size a WAVE file can have; "
                                          "the recording stopped there.",
                                      "Record Completed"}));
  EXPECT_EQ(Recorded(path), Blocks(fed, {0, 1}));
}

TEST_F(RecordScenario, ABlockTooLargeForTheWorkBuffersIsMadeSmallerAndRecordsExactly) {
  // 192 kHz 16-bit stereo would take 614,400 bytes a block.
  const std::string path = NewTarget("high.wav", FormatBlock(MakePcmFormat(192000, 2)));
  EXPECT_EQ(stream().capture.captureBlockBytes, kWorkBufferBytes);
  core.OnCommand(ID_RECORD);
  const std::vector<int16_t> fed = PatternSamples(7 * kWorkBufferBytes / 4 + 6);
  Feed(fed);
  core.OnCommand(ID_STOP);
  EXPECT_EQ(Recorded(path), fed);
}

TEST_F(RecordScenario, PauseWithholdsTheBlocksTakenWhilePausedAndResumeGoesOn) {
  const std::string path = StartRecording();
  const std::vector<int16_t> fed = PatternSamples(8 * kBlockSamples);
  Feed(Blocks(fed, {0, 1}));  // block 0 is taken
  EXPECT_EQ(core.QueryCommandState(ID_PAUSE), (CommandState{true, false}));
  core.OnCommand(ID_PAUSE);
  EXPECT_EQ(window.StatusText(), "Paused Recording");
  EXPECT_EQ(core.QueryCommandState(ID_PAUSE), (CommandState{true, true}));
  Feed(Blocks(fed, {2, 3}));  // blocks 1 and 2 are taken while paused
  core.OnCommand(ID_PAUSE);
  EXPECT_EQ(window.StatusText(), "Recording");
  Feed(Blocks(fed, {4, 5}));  // blocks 3 and 4
  // Paused again at Stop: what the lag holds (block 5) stays out too.
  core.OnCommand(ID_PAUSE);
  Feed(Blocks(fed, {6}));
  core.OnCommand(ID_STOP);
  EXPECT_EQ(stream().paused, 0);
  EXPECT_EQ(Recorded(path), Blocks(fed, {0, 3, 4}));
}

TEST_F(RecordScenario, StopRightAfterFileNewLeavesAnEmptyWaveFile) {
  const std::string path = NewTarget("empty.wav");
  EXPECT_EQ(window.DocumentTitle(), path);
  EXPECT_EQ(core.QueryCommandState(ID_RECORD), (CommandState{true, false}));
  EXPECT_EQ(core.QueryCommandState(ID_FILE_NEW), (CommandState{false, false}));
  window.ClearMessages();
  core.OnCommand(ID_STOP);
  EXPECT_TRUE(window.MessageTexts().empty());
  EXPECT_EQ(stream().recordTargetReady, 0);
  EXPECT_EQ(stream().fileOpen, 0);
  const std::optional<ParsedWave> wave = Parsed(path);
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->format, kStereo16);
  EXPECT_TRUE(wave->data.empty());
  EXPECT_EQ(wave->chunk_ids, (std::vector<std::string>{"fmt ", "fact", "data"}));

  // File Close gives a prepared target up the same way.
  const std::string closed = NewTarget("closed.wav");
  core.OnCommand(ID_FILE_CLOSE);
  EXPECT_EQ(stream().recordTargetReady, 0);
  ASSERT_TRUE(Parsed(closed).has_value());
  EXPECT_TRUE(Parsed(closed)->data.empty());
}

TEST_F(RecordScenario, FileNewDialogsCanBeCancelledWithoutHarm) {
  window.QueueFileDialogAnswer(std::nullopt);
  core.OnCommand(ID_FILE_NEW);
  EXPECT_EQ(window.MessageTexts(),
            std::vector<std::string>{"Please choose a file\r\nOr Type a New FileName"});
  EXPECT_EQ(stream().recordTargetReady, 0);

  // An existing file: No keeps it; Yes and a cancelled format choice keep it too.
  const std::string existing = dir / "keep.wav";
  WriteFileBytes(existing, {1, 2, 3});
  for (const int answer : {kIdNo, kIdYes}) {
    window.ClearMessages();
    window.QueueFileDialogAnswer(existing);
    window.QueueMessageBoxAnswer(answer);
    core.OnCommand(ID_FILE_NEW);
    EXPECT_EQ(window.MessageTexts(),
              std::vector<std::string>{"File " + existing + " exists,Overwrite File"});
    EXPECT_EQ(ReadFileBytes(existing), (std::vector<uint8_t>{1, 2, 3}));
  }
  // A new name and a cancelled choice leave an empty file and Record disabled.
  const std::string fresh = dir / "fresh.wav";
  window.QueueFileDialogAnswer(fresh);
  core.OnCommand(ID_FILE_NEW);
  EXPECT_TRUE(std::filesystem::exists(fresh));
  EXPECT_EQ(std::filesystem::file_size(fresh), 0u);
  EXPECT_EQ(core.QueryCommandState(ID_RECORD), (CommandState{false, false}));

  // A failing chooser, and a name that cannot be created.
  window.ClearMessages();
  window.QueueFileDialogAnswer(fresh);
  window.QueueMessageBoxAnswer(kIdYes);
  window.QueueFormatChoice({7, {}});
  core.OnCommand(ID_FILE_NEW);
  EXPECT_EQ(window.MessageTexts().back(), "There was a fatal error in bringing up the list");
  EXPECT_EQ(stream().lastError, kRecordChooserFailed);
  const std::string nowhere = dir / "no" / "such" / "folder.wav";
  window.QueueFileDialogAnswer(nowhere);
  core.OnCommand(ID_FILE_NEW);
  EXPECT_EQ(window.MessageTexts().back(), "File " + nowhere + " could not be created");
  EXPECT_EQ(stream().recordTargetReady, 0);
}

TEST_F(RecordScenario, AnUnsupportedFormatIsRefusedAndStopStillLeavesAValidFile) {
  WAVEFORMATEX wma = MakePcmFormat(44100, 2);
  wma.wFormatTag = 0x0160;
  const std::string path = NewTarget("odd.wav", FormatBlock(wma));
  EXPECT_EQ(window.MessageTexts(),
            (std::vector<std::string>{"UnSupported Format", "StreamBufferSetupC"}));
  EXPECT_EQ(stream().lastError, kRecordPrepareFailed);
  EXPECT_FALSE(stream().capture.captureObject);  // refused before any device object

  // Record on the half-prepared target starts nothing; Stop releases it.
  window.ClearMessages();
  core.OnCommand(ID_RECORD);
  EXPECT_EQ(window.MessageTexts().size(), 1u);
  EXPECT_FALSE(stream().capture.captureThread.joinable());
  EXPECT_EQ(core.QueryCommandState(ID_RECORD), (CommandState{false, true}));
  core.OnCommand(ID_STOP);
  EXPECT_EQ(stream().recordTargetReady, 0);
  EXPECT_EQ(stream().recording, 0);
  const std::optional<ParsedWave> wave = Parsed(path);
  ASSERT_TRUE(wave.has_value());
  EXPECT_TRUE(wave->data.empty());
}

TEST_F(RecordScenario, RecordTwiceDoesNothingMore) {
  const std::string path = StartRecording();
  const std::vector<int16_t> fed = PatternSamples(3 * kBlockSamples);
  Feed(Slice(fed, 0, 2 * kBlockSamples));
  core.OnRecord();  // straight to the handler: the menu would refuse it
  EXPECT_EQ(stream().capture.bytesRecorded, kBlockBytes);
  Feed(Slice(fed, 2 * kBlockSamples, kBlockSamples));
  core.OnCommand(ID_STOP);
  EXPECT_EQ(Recorded(path), fed);
}

TEST_F(RecordScenario, ClosingTheViewWhileRecordingKeepsTheFile) {
  std::string path;
  std::vector<int16_t> fed = PatternSamples(3 * kBlockSamples + 100);
  {
    HeadlessWindow other_window;
    CBrookwaveViewCore other{other_window, profile};
    other_window.Attach(&other);
    other.OnInitialUpdate();
    path = dir / "closing.wav";
    other_window.QueueFileDialogAnswer(path);
    other_window.QueueFormatChoice({0, kStereo16});
    other.OnCommand(ID_FILE_NEW);
    other.OnCommand(ID_RECORD);
    EXPECT_TRUE(virtual_sound::FeedCapture(fed));
  }
  EXPECT_EQ(Recorded(path), fed);
}

// ---- stalls: the capture thread cannot run while the card goes on delivering ----

// Blocks fed in turn, normally or while the capture thread is stalled.
struct StallCase {
  const char* name;
  int blocksBefore;
  double stalledBlocks;  // how much arrives while the thread cannot run
  int blocksAfter;
};

class RecordStall : public RecordScenario, public ::testing::WithParamInterface<StallCase> {};

TEST_P(RecordStall, NotificationsThatMergeStillTakeEveryBlockInOrder) {
  const StallCase& c = GetParam();
  const std::string path = StartRecording();
  const auto stalled = static_cast<std::size_t>(c.stalledBlocks * kBlockSamples) / 2 * 2;
  const std::vector<int16_t> fed =
      PatternSamples((c.blocksBefore + c.blocksAfter) * kBlockSamples + stalled, 7);
  const std::size_t before = c.blocksBefore * kBlockSamples;
  Feed(Slice(fed, 0, before));
  EXPECT_TRUE(
      virtual_sound::FeedCapture(Slice(fed, before, stalled), virtual_sound::Stepping::kStalled));
  window.DispatchPending();
  Feed(Slice(fed, before + stalled, fed.size()));
  window.ClearMessages();
  core.OnCommand(ID_STOP);
  EXPECT_EQ(Recorded(path), fed);
  EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Record Completed"});
}

INSTANTIATE_TEST_SUITE_P(
    Stalls, RecordStall,
    ::testing::Values(StallCase{"OneBlock", 2, 1, 2}, StallCase{"TwoBlocks", 2, 2, 2},
                      StallCase{"ThreeBlocks", 3, 3, 2}, StallCase{"LongerThanTheRing", 2, 6.5, 3},
                      StallCase{"RightAtTheStart", 0, 5, 1}, StallCase{"UpToStop", 2, 7.25, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecordScenario, AStallLongerThanWhatIsKeptLosesOnlyThatSpanAndSaysSo) {
  // 8 kHz mono keeps the test small: 0.4 s blocks, the backlog holds 15 s.
  const FormatBlock mono8k{MakePcmFormat(8000, 1)};
  const std::string path = NewTarget("long.wav", mono8k);
  core.OnCommand(ID_RECORD);
  const std::size_t second = 8000;
  const std::vector<int16_t> fed = PatternSamples(26 * second, 11);
  Feed(Slice(fed, 0, 2 * second));
  EXPECT_TRUE(virtual_sound::FeedCapture(Slice(fed, 2 * second, 22 * second),
                                         virtual_sound::Stepping::kStalled));
  window.DispatchPending();
  Feed(Slice(fed, 24 * second, 2 * second));
  window.ClearMessages();
  core.OnCommand(ID_STOP);

  const std::vector<int16_t> kept = Recorded(path);
  const uint64_t lost = stream().capture.lostBytes() / 2;
  // 22 s against the ring's 1.6 s and the backlog's 15 s.
  EXPECT_GT(lost, 5 * second);
  EXPECT_LT(lost, 6 * second);
  ASSERT_EQ(kept.size() + lost, fed.size());
  // One gap, and on both sides of it the sound in order.
  const auto gap = std::mismatch(kept.begin(), kept.end(), fed.begin()).first - kept.begin();
  EXPECT_GT(gap, static_cast<std::ptrdiff_t>(2 * second));
  EXPECT_TRUE(std::equal(kept.begin() + gap, kept.end(), fed.begin() + gap + lost));
  char seconds[16];
  std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(lost) / second);
  const std::vector<std::string> texts = window.MessageTexts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], std::string("The recording lost ") + seconds +
                          " seconds of sound while the machine could not keep up; " + path +
                          " holds what came before and after, in order.");
  EXPECT_EQ(texts[1], "Record Completed");
}

// ---- a recording belongs to itself ----

class RecordAlone : public RecordScenario {
 protected:
  RecordAlone() {
    stream().playSettings.AutoPlay = 1;
    song_ = WritePcm("song.wav", 44100, 2, PatternSamples(3 * kBlockSamples, 99));
  }
  // Records around `interrupt` and checks that the file holds exactly what was fed, that
  // nothing played and that the recording went on.
  void RecordAround(const std::function<void()>& interrupt) {
    const std::string path = StartRecording();
    const std::vector<int16_t> fed = PatternSamples(5 * kBlockSamples, 5);
    Feed(Slice(fed, 0, 2 * kBlockSamples + 10));
    interrupt();
    window.DispatchPending();
    EXPECT_EQ(stream().playing, 0);
    EXPECT_EQ(stream().recording, 1);
    EXPECT_EQ(core.QueryCommandState(ID_PLAY)->enabled, false);
    EXPECT_FALSE(core.DescribeForRemote().can_play);
    Feed(Slice(fed, 2 * kBlockSamples + 10, fed.size()));
    window.ClearMessages();
    core.OnCommand(ID_STOP);
    EXPECT_EQ(Recorded(path), fed);
    EXPECT_EQ(window.MessageTexts(), std::vector<std::string>{"Record Completed"});
  }
  std::string song_;
};

TEST_F(RecordAlone, FileOpenWithAutoPlayOpensButDoesNotPlay) {
  RecordAround([&] {
    window.QueueFileDialogAnswer(song_);
    core.OnCommand(ID_FILE_OPEN);
    window.DispatchPending();
    EXPECT_EQ(stream().fileOpen, 1);
    // Nor does a remote Play, which comes past the menus.
    core.WindowProc(WM_REMOTE_PLAY, 0, 1);
  });
}

TEST_F(RecordAlone, ARecentFileADroppedFileAndOpenUriWait) {
  Open(song_);
  core.OnFileClose();
  RecordAround([&] {
    core.OnCommand(ID_FILE_MRU_FIRST);
    core.OpenFromOutside(song_);  // a drop, a second start's file, MPRIS OpenUri
    EXPECT_EQ(stream().fileOpen, 0);
  });
}

TEST_F(RecordAlone, APlayListOpenedDuringTheRecordingWaits) {
  const std::string list = dir / "list.plf";
  const std::string text = song_ + "\r\n";
  WriteFileBytes(list, std::vector<uint8_t>(text.begin(), text.end()));
  RecordAround([&] {
    window.QueueFileDialogAnswer(list);
    core.OnCommand(ID_PLAYLIST_OPEN);
  });
}

TEST_F(RecordAlone, AnotherCommandsFailureLeavesTheRecordingWriting) {
  const std::string broken = WriteWave("broken.wav", FormatBlock(MakePcmFormat(44100, 2)), {});
  WriteFileBytes(broken, {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'});
  RecordAround([&] {
    window.QueueFileDialogAnswer(broken);
    core.OnCommand(ID_FILE_OPEN);
    window.DispatchPending();
    EXPECT_NE(stream().lastError, 0);
    window.ClearMessages();
  });
}

TEST_F(RecordScenario, ThePositionSliderDoesNotResumeAPausedRecording) {
  const std::string path = StartRecording();
  const std::vector<int16_t> fed = PatternSamples(6 * kBlockSamples, 3);
  Feed(Slice(fed, 0, 2 * kBlockSamples));
  core.OnCommand(ID_PAUSE);
  core.OnHScroll(TB_THUMBTRACK, 10, IDC_POSITION);
  core.OnHScroll(TB_ENDTRACK, 10, IDC_POSITION);
  EXPECT_EQ(stream().paused, 1);
  EXPECT_EQ(stream().recording, 1);
  Feed(Slice(fed, 2 * kBlockSamples, 2 * kBlockSamples));
  core.OnCommand(ID_PAUSE);
  Feed(Slice(fed, 4 * kBlockSamples, 2 * kBlockSamples));
  core.OnCommand(ID_STOP);
  // Blocks 1 and 2 were taken while paused; Stop's drain keeps block 5.
  EXPECT_EQ(Recorded(path), Blocks(fed, {0, 3, 4, 5}));
}

}  // namespace
}  // namespace bw::test
