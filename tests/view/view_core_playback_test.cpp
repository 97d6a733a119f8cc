// Playback scenarios through the view's core on the virtual card: what the card plays, the
// messages the thread posts and what the core makes of them. With every equaliser band at 0
// a PCM source must come out sample for sample. Each scenario runs twice, with the blocks
// decoded in turn and decoded ahead (as a render does), which must play and show the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <utility>

#include "audio/wave_file.h"
#include "platform/acm_test_util.h"
#include "support/wave_image.h"
#include "view/view_test_util.h"

namespace bw::test {
namespace {

bool AllZero(const std::vector<int16_t>& v, std::size_t from) {
  return std::all_of(v.begin() + std::min(from, v.size()), v.end(),
                     [](int16_t s) { return s == 0; });
}

class PlaybackFixture : public ViewCoreTest {
 protected:
  // A 44,100 Hz stereo file of `frames` frames, opened.
  std::vector<int16_t> OpenStereo(uint32_t frames) {
    std::vector<int16_t> data = PatternSamples(std::size_t{frames} * 2);
    Open(WritePcm("song.wav", 44100, 2, data));
    return data;
  }
  void MoveSliderTo(int64_t position, int code = TB_THUMBPOSITION) {
    core.OnHScroll(code, position, IDC_POSITION);
  }
};

class PlaybackScenario : public PlaybackFixture, public ::testing::WithParamInterface<bool> {
 protected:
  PlaybackScenario() { stream().playback.decodeAhead = GetParam(); }
};

std::string DecodingName(bool ahead) {
  return ahead ? "DecodedAhead" : "DecodedInTurn";
}

// What a song plays and shows: the card's samples and, after each block, the position slider
// and the left meter; at its end, the error word.
struct PlayedAndShown {
  std::vector<int16_t> samples;
  std::vector<int64_t> positions;
  std::vector<int> meters;
  int32_t lastError = 0;
};

// 128 kbit/s MPEG Layer-3 at 44,100 Hz stereo, as Import wraps it.
FormatBlock Mp3Block() {
  const std::vector<uint8_t> extra{1, 0, 0, 0, 0, 0, 0xA1, 0x01, 1, 0, 0x71, 0x05};
  return FormatBlock(WAVEFORMATEX{kWaveFormatMpegLayer3, 2, 44100, 16000, 1, 0, 12}, extra);
}

// A block of MPEG audio rarely decodes to a whole block: the rest is topped up when the block
// is taken, whether it ends a selection settled then. Decoded ahead, an MPEG song plays and
// shows block for block what it does decoded in turn: whole, with the equaliser on, through a
// selection's end, and cut short while open.
TEST_F(PlaybackFixture, AnMpegSongPlaysAndShowsTheSameDecodedAheadAsInTurn) {
  const std::vector<int16_t> pcm = Sweep(44100, 2, 6 * 44100);
  const std::vector<uint8_t> coded =
      ConvertAll(Pcm16Block(44100, 2), Mp3Block(),
                 {reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size() * 2});
  ASSERT_FALSE(coded.empty());
  const std::string path = WriteWave("song.wav", Mp3Block(), coded);
  enum class Case { kWhole, kSelection, kCut };
  for (const Case c : {Case::kWhole, Case::kSelection, Case::kCut}) {
    PlayedAndShown runs[2];
    for (const bool ahead : {false, true}) {
      WriteWave("song.wav", Mp3Block(), coded);
      Open(path);
      stream().playback.decodeAhead = ahead;
      constexpr std::array<int32_t, 8> kBands{-40, 30, 1, 0, -128, 7, 90, -3};
      for (std::size_t band = 0; band < kBands.size(); ++band)
        stream().playSettings.EqBand[band] = kBands[band];
      if (c == Case::kCut) {
        std::filesystem::resize_file(path, stream().playback.dataChunk.dwDataOffset + 40000);
      } else if (c == Case::kSelection) {
        MoveSliderTo(20000);
        core.OnSelectionFrom();
        MoveSliderTo(57000);
        core.OnSelectionTo();
        core.OnSelectionUse();
        MoveSliderTo(20000);
      }
      core.OnPlay();
      PlayedAndShown& run = runs[ahead];
      for (int block = 0; block < 100 && BufferPlaying() && stream().playing; ++block) {
        const std::vector<int16_t> step = Advance(FramesToNextBlock());
        run.samples.insert(run.samples.end(), step.begin(), step.end());
        run.positions.push_back(window.Slider(IDC_POSITION).pos);
        run.meters.push_back(window.Meter(IDC_LBAR));
      }
      EXPECT_EQ(stream().playing, 0) << DecodingName(ahead);
      run.lastError = stream().lastError;
      core.OnFileClose();
    }
    const auto at = static_cast<int>(c);
    EXPECT_GT(runs[0].positions.size(), 3u) << at;
    EXPECT_TRUE(std::any_of(runs[0].samples.begin(), runs[0].samples.end(), [](int16_t s) {
      return s != 0;
    })) << at;
    EXPECT_TRUE(runs[0].samples == runs[1].samples) << at;
    EXPECT_EQ(runs[0].positions, runs[1].positions) << at;
    EXPECT_EQ(runs[0].meters, runs[1].meters) << at;
    // The cut file's reads fail where it ends, which is told as such.
    EXPECT_EQ(runs[0].lastError, c == Case::kCut ? -WaveFileTruncated : 0) << at;
    EXPECT_EQ(runs[0].lastError, runs[1].lastError) << at;
  }
}

TEST_P(PlaybackScenario, PlaysToTheEndThenStartsOverAtTheNextPlay) {
  const std::vector<int16_t> data = OpenStereo(2 * kBlockFrames + 1000);
  const uint32_t data_bytes = static_cast<uint32_t>(data.size() * 2);
  EXPECT_EQ(window.Text(IDC_TIME_END), "   00:01");
  EXPECT_EQ(window.Text(IDC_CHANNELS_BOX), " Stereo ");
  EXPECT_EQ(window.Slider(IDC_POSITION).max, data_bytes);
  EXPECT_EQ(stream().playback.bufferBytes, 4 * kBlockBytes);

  core.OnPlay();
  EXPECT_EQ(window.StatusText(), "Playing");
  EXPECT_EQ(core.QueryCommandState(ID_PLAY), (CommandState{false, true}));
  EXPECT_TRUE(window.IsTimerSet(kPlaybackTimerId));
  const std::vector<int16_t> played = PlayOut();

  // The block holding the last bytes is heard to its end, then nothing more.
  ASSERT_EQ(played.size(), 3 * kBlockSamples);
  EXPECT_EQ(Slice(played, 0, data.size()), data);
  EXPECT_TRUE(AllZero(played, data.size()));
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 1);
  EXPECT_GE(window.DispatchedCount(WM_LEVEL_METER), 1);
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, data_bytes);
  EXPECT_EQ(stream().playback.position, data_bytes);
  EXPECT_EQ(window.StatusText(), "Ready");
  EXPECT_EQ(window.Meter(IDC_LBAR), 0);
  EXPECT_EQ(window.Meter(IDC_RBAR), 0);
  EXPECT_FALSE(window.IsTimerSet(kPlaybackTimerId));
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(core.QueryCommandState(ID_PLAY), (CommandState{true, false}));

  core.OnPlay();
  EXPECT_EQ(Slice(Advance(kBlockFrames), 0, kBlockSamples), Slice(data, 0, kBlockSamples));
}

TEST_P(PlaybackScenario, FilesOfAnyLengthPlayWholeAndOnlyOnce) {
  for (uint32_t frames : {0u, 1u, kBlockFrames - 1, kBlockFrames, 2 * kBlockFrames,
                          2 * kBlockFrames + 1, 5 * kBlockFrames + 17}) {
    const std::vector<int16_t> data = OpenStereo(frames);
    core.OnPlay();
    const std::vector<int16_t> played = PlayOut();
    const std::size_t blocks = std::max<std::size_t>(2, (frames + kBlockFrames - 1) / kBlockFrames);
    EXPECT_EQ(played.size(), blocks * kBlockSamples) << frames;
    EXPECT_EQ(Slice(played, 0, data.size()), data) << frames;
    EXPECT_TRUE(AllZero(played, data.size())) << frames;
    EXPECT_EQ(window.Slider(IDC_POSITION).pos, static_cast<int64_t>(data.size() * 2)) << frames;
    core.OnFileClose();
  }
}

// A file cut by another program while it is open: its reads meet the file's end before the
// data's. With the cut anywhere in the primed blocks, and from a start past it, the song plays
// what the file still holds and ends as any song ends, leaving nothing open.
TEST_P(PlaybackScenario, AFileCutWhileOpenPlaysWhatItHoldsAndEndsAsAnySong) {
  struct Cut {
    std::size_t heldSamples;
    uint32_t startBytes;
  };
  int ends = 0;
  // Each cut lies beyond what the reader's buffer already took in at the open.
  for (const Cut cut : {Cut{kBlockSamples / 2 + 6, 0}, Cut{kBlockSamples + 4410, 0},
                        Cut{kBlockSamples / 2, 3 * kBlockBytes}}) {
    const std::size_t fds = OpenFileDescriptorCount();
    const std::vector<int16_t> data = OpenStereo(6 * kBlockFrames);
    std::filesystem::resize_file(stream().playback.playPath,
                                 stream().playback.dataChunk.dwDataOffset + cut.heldSamples * 2);
    if (cut.startBytes > 0) MoveSliderTo(cut.startBytes);
    core.OnPlay();
    const std::vector<int16_t> played = PlayOut();

    const std::size_t heard = cut.startBytes > 0 ? 0 : cut.heldSamples;
    EXPECT_EQ(played.size(), 2 * kBlockSamples) << heard;
    EXPECT_EQ(Slice(played, 0, heard), Slice(data, 0, heard)) << heard;
    EXPECT_TRUE(AllZero(played, heard)) << heard;
    EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), ++ends) << heard;
    EXPECT_EQ(window.StatusText(), "Ready") << heard;
    EXPECT_EQ(stream().playing, 0);
    EXPECT_FALSE(window.IsTimerSet(kPlaybackTimerId));
    EXPECT_EQ(core.QueryCommandState(ID_PLAY), (CommandState{true, false}));
    core.OnFileClose();
    EXPECT_EQ(OpenFileDescriptorCount(), fds);
  }
}

TEST_P(PlaybackScenario, StopHaltsAtOnceAndPlayGoesOnFromTheSlider) {
  const std::vector<int16_t> data = OpenStereo(6 * kBlockFrames);
  core.OnPlay();
  Advance(kBlockFrames);
  // Two primed blocks and one refill have been read.
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 3 * kBlockBytes);
  core.OnStop();
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(window.StatusText(), "Ready");
  EXPECT_FALSE(BufferPlaying());
  EXPECT_TRUE(AllZero(Advance(kBlockFrames), 0));  // the card is silent after Stop
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 3 * kBlockBytes);

  core.OnPlay();
  EXPECT_EQ(Advance(kBlockFrames), Slice(data, 3 * kBlockSamples, kBlockSamples));
}

TEST_P(PlaybackScenario, DraggingThePositionSliderStopsAndPlaysFromWhereItEnds) {
  const std::vector<int16_t> data = OpenStereo(6 * kBlockFrames);
  core.OnPlay();
  Advance(kBlockFrames / 2);
  MoveSliderTo(kBlockBytes, TB_THUMBTRACK);
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(stream().paused, 1);
  EXPECT_EQ(core.QueryCommandState(ID_PLAY), (CommandState{false, false}));
  MoveSliderTo(kBlockBytes + 1002, TB_THUMBTRACK);
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(window.Text(IDC_POSITION_BOX), "   00:00");

  MoveSliderTo(kBlockBytes + 1002, TB_ENDTRACK);  // aligned down to a whole frame
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(stream().paused, 0);
  EXPECT_EQ(window.StatusText(), "Playing");
  EXPECT_EQ(Advance(kBlockFrames), Slice(data, (kBlockBytes + 1000) / 2, kBlockSamples));
}

TEST_P(PlaybackScenario, SelectionPlayStartsAtTheSelectionAndEndsOneBlockAfterItsEnd) {
  const std::vector<int16_t> data = OpenStereo(10 * kBlockFrames);
  const uint32_t start = kBlockBytes + 400;
  const uint32_t end = start + 5 * kBlockBytes / 2;
  MoveSliderTo(start);
  core.OnSelectionFrom();
  MoveSliderTo(end);
  core.OnSelectionTo();
  EXPECT_EQ(core.QueryCommandState(ID_SELECTION_USE), (CommandState{true, false}));
  core.OnSelectionUse();
  EXPECT_EQ(core.QueryCommandState(ID_SELECTION_USE), (CommandState{true, true}));
  EXPECT_TRUE(window.Slider(IDC_POSITION).has_selection);
  MoveSliderTo(0);  // outside: Play starts at the nearer edge

  core.OnPlay();
  const std::vector<int16_t> played = PlayOut();
  // The third block read passes the end; the block after it is read but never heard.
  EXPECT_EQ(played, Slice(data, start / 2, 3 * kBlockSamples));
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, start + 4 * kBlockBytes);
  EXPECT_EQ(stream().endOfData, 1);

  core.OnPlay();  // after the end, again from the selection's start
  EXPECT_EQ(Advance(1000), Slice(data, start / 2, 2000));
}

TEST_P(PlaybackScenario, RepeatSongPlaysTheFileAgainUntilSwitchedOff) {
  const std::vector<int16_t> data = OpenStereo(kBlockFrames + 100);
  core.OnRepeatSong();
  EXPECT_EQ(core.QueryCommandState(ID_REPEAT_SONG), (CommandState{true, true}));
  core.OnPlay();
  std::vector<int16_t> first;
  while (window.DispatchedCount(WM_STREAM_END) == 0) {
    const std::vector<int16_t> step = Advance(FramesToNextBlock());
    first.insert(first.end(), step.begin(), step.end());
  }
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(window.StatusText(), "Playing");
  core.OnRepeatSong();
  const std::vector<int16_t> second = PlayOut();
  for (const std::vector<int16_t>* played : {&std::as_const(first), &second}) {
    EXPECT_EQ(played->size(), 2 * kBlockSamples);
    EXPECT_EQ(Slice(*played, 0, data.size()), data);
  }
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 2);
  EXPECT_EQ(window.StatusText(), "Ready");
}

TEST_P(PlaybackScenario, ALostDeviceStopsARepeatedSongWhereItWas) {
  OpenStereo(20 * kBlockFrames);
  core.OnRepeatSong();
  core.OnPlay();
  Advance(FramesToNextBlock());
  const int64_t at = window.Slider(IDC_POSITION).pos;
  window.PostMessage(WM_STREAM_END, kDeviceLostCode, 0);
  window.DispatchPending();
  EXPECT_EQ(stream().playing, 0) << "not played again";
  EXPECT_EQ(window.StatusText(), "Ready");
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, at);
  EXPECT_EQ(core.QueryCommandState(ID_PLAY), (CommandState{true, false}));
}

TEST_P(PlaybackScenario, FadeInRampsTheVolumeUpByTheVelocityEveryTick) {
  OpenStereo(20 * kBlockFrames);
  stream().playSettings.FadeIn = 1;
  core.OnPlay();
  const SoundBuffer& buffer = *stream().playback.soundBuffer;
  int32_t volume = 0;
  buffer.GetVolume(&volume);
  EXPECT_EQ(volume, -2000);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, -2000);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).pos, 3);
  for (int tick = 0; tick < 66; ++tick)
    window.FireTimer(kPlaybackTimerId);
  buffer.GetVolume(&volume);
  EXPECT_EQ(volume, -20);
  window.FireTimer(kPlaybackTimerId);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, 0);  // held at the slider's maximum

  // Without playback the ramp still moves the slider but not the buffer.
  core.OnStop();
  EXPECT_FALSE(window.FireTimer(kPlaybackTimerId));
  core.OnHScroll(TB_THUMBPOSITION, -500, IDC_VOLUME);
  core.OnHScroll(TB_THUMBPOSITION, -2, IDC_VELOCITY);
  core.OnTimer(kPlaybackTimerId);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, -520);
  buffer.GetVolume(&volume);
  EXPECT_EQ(volume, 0);
}

// A loop may sleep through the ticks this calls idle; each one must then change nothing.
TEST_P(PlaybackScenario, TicksThatWouldChangeNothingAreToldApart) {
  OpenStereo(20 * kBlockFrames);
  stream().playSettings.FadeIn = 1;
  EXPECT_FALSE(core.TimerMovesVolume());  // no timer before Play
  core.OnPlay();
  SoundBuffer& buffer = *stream().playback.soundBuffer;
  int ticks = 0;
  while (core.TimerMovesVolume()) {
    window.FireTimer(kPlaybackTimerId);
    ++ticks;
  }
  EXPECT_EQ(ticks, 67);
  const auto idle_tick_changes_nothing = [&] {
    int32_t before = 0, after = 0;
    buffer.GetVolume(&before);
    const int64_t slider = window.Slider(IDC_VOLUME).pos;
    window.FireTimer(kPlaybackTimerId);
    buffer.GetVolume(&after);
    return before == after && slider == window.Slider(IDC_VOLUME).pos;
  };
  EXPECT_TRUE(idle_tick_changes_nothing());  // at the top, pushed further up

  // A buffer that plays at another volume than the slider shows is brought back by a tick.
  buffer.SetVolume(-700);
  EXPECT_TRUE(core.TimerMovesVolume());
  window.FireTimer(kPlaybackTimerId);
  EXPECT_FALSE(core.TimerMovesVolume());

  core.OnHScroll(TB_THUMBPOSITION, 0, IDC_VELOCITY);
  core.OnHScroll(TB_THUMBPOSITION, -900, IDC_VOLUME);
  EXPECT_FALSE(core.TimerMovesVolume());
  EXPECT_TRUE(idle_tick_changes_nothing());
  core.OnHScroll(TB_THUMBPOSITION, -1, IDC_VELOCITY);
  EXPECT_TRUE(core.TimerMovesVolume());
  core.OnStop();
  EXPECT_FALSE(core.TimerMovesVolume());
}

TEST_P(PlaybackScenario, FadesFollowTheSelectionAndTheLastSecondsOfTheFile) {
  OpenStereo(20 * kBlockFrames);  // 16 s
  const uint32_t data_bytes = stream().playback.dataBytes;
  stream().playSettings.FadeIn = 1;
  stream().playSettings.FadeOut = 1;
  core.OnHScroll(TB_THUMBPOSITION, 2, IDC_VELOCITY);

  // No selection: the velocity falls to VelocityMin / 2 within the last 6 seconds.
  core.WindowProc(WM_LEVEL_METER, 0, data_bytes - 7 * 176400);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).pos, 2);
  core.WindowProc(WM_LEVEL_METER, 0, data_bytes - 5 * 176400);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).pos, -3);
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, data_bytes - 5 * 176400);
  EXPECT_EQ(window.Meter(IDC_LBAR), 0);  // nothing plays: the meters stay

  // With a selection: reset inside it, lowered after it.
  MoveSliderTo(176400);
  core.OnSelectionFrom();
  MoveSliderTo(3 * 176400);
  core.OnSelectionTo();
  core.WindowProc(WM_LEVEL_METER, 0, 2 * 176400);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).pos, 0);
  core.WindowProc(WM_LEVEL_METER, 0, 4 * 176400);
  EXPECT_EQ(window.Slider(IDC_VELOCITY).pos, -3);
}

// Three blocks at full scale, two at -20 dBFS, then silence: the meters follow the loudness down
// block by block, whatever sample a block happens to end on.
TEST_P(PlaybackScenario, MetersShowEachBlocksLoudnessInOrder) {
  std::vector<int16_t> data(8 * kBlockSamples, 0);
  for (std::size_t frame = 0; frame < 5 * kBlockFrames; ++frame) {
    const double amplitude = frame < 3 * kBlockFrames ? 32767.0 : 3276.7;
    const double wave = std::sin(2 * std::numbers::pi * static_cast<double>(frame) / 100.0);
    data[2 * frame] = data[2 * frame + 1] = static_cast<int16_t>(std::lround(amplitude * wave));
  }
  Open(WritePcm("steps.wav", 44100, 2, data));
  core.OnPlay();
  std::vector<int> left, right;
  while (BufferPlaying() && stream().playing) {
    Advance(FramesToNextBlock());
    if (!stream().playing) break;
    left.push_back(window.Meter(IDC_LBAR));
    right.push_back(window.Meter(IDC_RBAR));
  }
  EXPECT_EQ(left, right);
  ASSERT_GE(left.size(), 5u);
  EXPECT_TRUE(std::is_sorted(left.rbegin(), left.rend())) << ::testing::PrintToString(left);
  EXPECT_EQ(left.front(), 65535);
  EXPECT_NE(std::find(left.begin(), left.end(), 6554), left.end())
      << ::testing::PrintToString(left);
  EXPECT_EQ(left.back(), 0);
}

TEST_P(PlaybackScenario, ReverseAndForwardStepByTheBlockBasisWithinTheFile) {
  OpenStereo(3 * kBlockFrames);
  const int64_t data_bytes = stream().playback.dataBytes;
  core.OnReverse();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 0);
  core.OnForward();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 70560);
  for (int i = 0; i < 6; ++i)
    core.OnForward();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, data_bytes);
  EXPECT_EQ(window.Text(IDC_POSITION_BOX), "   00:02");
  core.OnReverse();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, data_bytes - 70560);
  core.OnFirst();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, 0);
  core.OnLast();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, data_bytes);

  core.OnPlay();
  const int64_t playing_at = window.Slider(IDC_POSITION).pos;
  EXPECT_EQ(core.QueryCommandState(ID_FORWARD), (CommandState{false, false}));
  core.OnReverse();
  EXPECT_EQ(window.Slider(IDC_POSITION).pos, playing_at);
}

TEST_P(PlaybackScenario, FrequencySliderTakesTheSourceRateFirstAndKeepsItsOwnLater) {
  Open(WritePcm("slow.wav", 22050, 2, PatternSamples(20 * 17640 * 2)));
  EXPECT_EQ(window.Slider(IDC_FREQUENCY).pos, 22050);
  EXPECT_EQ(window.Text(IDC_FREQUENCY_BOX), " 22050 Hz");
  core.OnHScroll(TB_THUMBPOSITION, 30000, IDC_FREQUENCY);  // not playing: the buffer keeps its rate
  core.OnPlay();
  EXPECT_EQ(window.Slider(IDC_FREQUENCY).pos, 22050);

  core.OnHScroll(TB_THUMBPOSITION, 33075, IDC_FREQUENCY);
  uint32_t frequency = 0;
  stream().playback.soundBuffer->GetFrequency(&frequency);
  EXPECT_EQ(frequency, 33075u);
  EXPECT_EQ(window.Text(IDC_FREQUENCY_BOX), " 33075 Hz");
  core.OnStop();
  core.OnHScroll(TB_THUMBPOSITION, 44100, IDC_FREQUENCY);
  core.OnPlay();
  EXPECT_EQ(window.Slider(IDC_FREQUENCY).pos, 33075);
  EXPECT_EQ(window.Text(IDC_FREQUENCY_BOX), " 33075 Hz");
}

// 192 kHz lies beyond the Frequency slider's default range: the other sliders and a position drag
// leave the buffer at the source's rate, and only the Frequency slider itself changes it.
// At another frequency the cursor takes fractional steps. However they round, it reaches the
// end of each block the thread has written, so that the song plays whole and ends.
TEST_P(PlaybackScenario, AtAnyFrequencyTheSongPlaysWholeAndEnds) {
  int ends = 0;
  for (const auto& [seconds, frequency] : {std::pair{10u, 8000u}, {15u, 30000u}, {6u, 61234u}}) {
    OpenStereo(seconds * 44100);
    core.OnPlay();
    core.OnHScroll(TB_THUMBPOSITION, frequency, IDC_FREQUENCY);
    uint32_t set = 0;
    stream().playback.soundBuffer->GetFrequency(&set);
    ASSERT_EQ(set, frequency);
    // Slower than the card, a step to the next block moves the cursor less than a block.
    const std::size_t frames = PlayOut(2000).size() / 2;
    // All of it at the card's 44,100 Hz, and at most the last block's rest after it.
    const double song = seconds * 44100.0 * 44100.0 / frequency;
    EXPECT_GE(frames, song) << frequency;
    EXPECT_LE(frames, song + kBlockFrames * 44100.0 / frequency + 1) << frequency;
    EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), ++ends) << frequency;
    core.OnFileClose();
  }
}

TEST_P(PlaybackScenario, ASourceRateBeyondTheFrequencyRangeStaysUntilThatSliderMoves) {
  Open(WritePcm("fast.wav", 192000, 2, PatternSamples(192000 * 2 * 4)));
  const auto rate = [&] {
    uint32_t frequency = 0;
    stream().playback.soundBuffer->GetFrequency(&frequency);
    return frequency;
  };
  core.OnPlay();
  ASSERT_EQ(rate(), 192000u);
  core.OnHScroll(TB_THUMBPOSITION, -300, IDC_VOLUME);
  core.OnHScroll(TB_THUMBPOSITION, 500, IDC_BALANCE);
  core.OnHScroll(TB_THUMBPOSITION, 1, IDC_VELOCITY);
  EXPECT_EQ(rate(), 192000u);
  MoveSliderTo(200000, TB_THUMBTRACK);
  MoveSliderTo(400000, TB_ENDTRACK);
  ASSERT_EQ(stream().playing, 1);
  EXPECT_EQ(rate(), 192000u);
  core.OnStop();
  core.OnPlay();
  EXPECT_EQ(rate(), 192000u);

  core.OnHScroll(TB_THUMBPOSITION, 48000, IDC_FREQUENCY);
  EXPECT_EQ(rate(), 48000u);
  core.OnHScroll(TB_THUMBPOSITION, 0, IDC_VOLUME);
  EXPECT_EQ(rate(), 48000u);
}

TEST_P(PlaybackScenario, HighRatesPlayInLimitedBlocks) {
  const std::vector<int16_t> data = PatternSamples(96000 * 2 * 3 + 10);
  Open(WritePcm("hires.wav", 96000, 2, data));
  EXPECT_EQ(stream().playback.blockBytes, 200000u);
  EXPECT_EQ(stream().playback.bufferBytes, 800000u);
  core.OnPlay();
  const std::vector<int16_t> played = PlayOut();
  EXPECT_EQ(Slice(played, 0, data.size()), data);
  EXPECT_TRUE(AllZero(played, data.size()));
  EXPECT_EQ(played.size() % 100000, 0u);
}

TEST_P(PlaybackScenario, EightBitMonoPlaysAsSixteenBit) {
  std::vector<uint8_t> data(20000);
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 37);
  Open(WriteWave("mono8.wav", FormatBlock(MakePcmFormat(11025, 1, 8)), data));
  EXPECT_EQ(window.Text(IDC_CHANNELS_BOX), " Mono   ");
  core.OnPlay();
  const std::vector<int16_t> played = PlayOut();
  ASSERT_GE(played.size(), data.size());
  for (std::size_t i = 0; i < data.size(); ++i)
    ASSERT_EQ(played[i], (data[i] - 128) * 256) << i;
  EXPECT_TRUE(AllZero(played, data.size()));
}

TEST_P(PlaybackScenario, TheEqualiserChangesTheSoundFromTheNextBlock) {
  const std::vector<int16_t> data = OpenStereo(8 * kBlockFrames);
  core.OnPlay();
  EXPECT_EQ(Advance(kBlockFrames), Slice(data, 0, kBlockSamples));
  // The Equaliser page moves band 0 up full: what is decoded from now on is 1.5 times louder.
  core.playSheet().equaliser.m_nBand = {-128, 0, 0, 0, 0, 0, 0, 0};
  core.WindowProc(WM_APPLY_PLAY_PROPERTIES, 0, 0);
  // The two blocks ahead of the cursor were decoded before the change.
  EXPECT_EQ(Advance(kBlockFrames), Slice(data, kBlockSamples, kBlockSamples));
  EXPECT_EQ(Advance(kBlockFrames), Slice(data, 2 * kBlockSamples, kBlockSamples));
  const std::vector<int16_t> louder = Advance(kBlockFrames);
  const std::vector<int16_t> source = Slice(data, 3 * kBlockSamples, kBlockSamples);
  for (std::size_t i = 0; i < louder.size(); i += 997)
    EXPECT_EQ(louder[i], std::clamp(std::trunc(source[i] * 1.5), -32768.0, 32767.0)) << i;
}

TEST_P(PlaybackScenario, RemoteMessagesPlayAndStop) {
  OpenStereo(4 * kBlockFrames);
  EXPECT_EQ(core.WindowProc(WM_REMOTE_PLAY, 0, 1), 0);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(core.WindowProc(WM_REMOTE_STOP, 0, 0), 0);
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(core.WindowProc(WM_RECORD_PAGE_NOTICE, 0, 0), 0);
  EXPECT_EQ(core.WindowProc(WM_UNUSED_503, 0, 0), 0);
}

TEST_P(PlaybackScenario, FileCloseDuringPlaybackReleasesEverythingAtOnce) {
  OpenStereo(6 * kBlockFrames);
  stream().importTempPath = dir / "_import.WAV";
  WriteFileBytes(stream().importTempPath, {1, 2, 3});
  core.OnPlay();
  Advance(kBlockFrames / 3);
  core.OnFileClose();
  EXPECT_EQ(stream().fileOpen, 0);
  EXPECT_EQ(stream().playing, 0);
  EXPECT_EQ(stream().playback.soundBuffer, nullptr);
  EXPECT_FALSE(std::filesystem::exists(stream().importTempPath));
  EXPECT_TRUE(AllZero(Advance(kBlockFrames), 0));
  EXPECT_EQ(core.QueryCommandState(ID_FILE_OPEN), (CommandState{true, false}));
}

TEST_P(PlaybackScenario, AStartUpPathPlaysOnlyWithAutoPlay) {
  const std::string path = WritePcm("start.wav", 44100, 2, PatternSamples(4 * kBlockSamples));
  window.SetDocumentPath(path);
  profile.WriteString("Settings", "PlaySet",
                      "0,1,0,0,1,1,10,10,-2000,0,100,100000,-10000,10000,-6,6,0,0,0,0,1,1,1,1,1,1,"
                      "1,1,1,0,0");
  core.OnInitialUpdate();
  EXPECT_EQ(stream().fileOpen, 0);
  EXPECT_TRUE(window.Messages().empty());

  profile.Erase("Settings", "PlaySet");  // the defaults: AutoPlay on
  core.OnInitialUpdate();
  EXPECT_EQ(stream().fileOpen, 1);
  EXPECT_EQ(stream().playing, 1);
  EXPECT_EQ(window.DocumentTitle(), path);
  EXPECT_EQ(window.Slider(IDC_VOLUME).pos, -2000);  // fading in
}

TEST_P(PlaybackScenario, AStartUpPlayListPlaysItsEntriesInTurn) {
  const std::string first = WritePcm("first.wav", 44100, 2, PatternSamples(1000, 1));
  const std::string second = WritePcm("second.wav", 44100, 2, PatternSamples(1000, 2));
  // ".plf" anywhere in the path makes it a play list.
  const std::string list = dir / "songs.plf.txt";
  const std::string text = first + "\r\n" + second + "\r\n";
  WriteFileBytes(list, std::vector<uint8_t>(text.begin(), text.end()));
  window.SetDocumentPath(list);
  core.OnInitialUpdate();
  EXPECT_EQ(stream().playListOpen, 1);
  EXPECT_EQ(stream().playListInUse, 1);
  EXPECT_EQ(stream().playListCount, 2u);
  EXPECT_EQ(window.DocumentTitle(), first);
  EXPECT_EQ(stream().playing, 1);

  PlayOut();
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 2);
  EXPECT_EQ(stream().playListIndex, 1u);  // the last entry stays loaded
  EXPECT_EQ(window.DocumentTitle(), second);
  EXPECT_EQ(stream().fileOpen, 1);
}

// ---- stalls: the playback thread cannot run while the card goes on playing ----

// The frames that are not silence, in the order played.
std::vector<int16_t> Sounding(const std::vector<int16_t>& stereo) {
  std::vector<int16_t> out;
  for (std::size_t i = 0; i + 1 < stereo.size(); i += 2) {
    if (stereo[i] != 0 || stereo[i + 1] != 0) out.insert(out.end(), {stereo[i], stereo[i + 1]});
  }
  return out;
}

// A stall of so many blocks' time, with the blocks decoded ahead or not.
class PlaybackStall : public PlaybackFixture,
                      public ::testing::WithParamInterface<std::tuple<double, bool>> {
 protected:
  PlaybackStall() { stream().playback.decodeAhead = std::get<1>(GetParam()); }
};

TEST_P(PlaybackStall, ResumesWhereItWasWithNoBlockRepeatedOrSkipped) {
  const std::vector<int16_t> data = OpenStereo(12 * kBlockFrames + 500);
  ASSERT_EQ(Sounding(data), data) << "the signal must have no silent frame";
  core.OnPlay();
  std::vector<int16_t> played = Advance(kBlockFrames + 300);
  const virtual_sound::Played stalled =
      virtual_sound::AdvancePlayback(static_cast<uint32_t>(std::get<0>(GetParam()) * kBlockFrames),
                                     virtual_sound::Stepping::kStalled);
  EXPECT_TRUE(stalled.workers_kept_up);
  window.DispatchPending();
  played.insert(played.end(), stalled.samples.begin(), stalled.samples.end());
  const std::vector<int16_t> rest = PlayOut();
  played.insert(played.end(), rest.begin(), rest.end());
  EXPECT_EQ(Sounding(played), data);
  EXPECT_EQ(window.DispatchedCount(WM_STREAM_END), 1);
  EXPECT_EQ(stream().playing, 0);
}

INSTANTIATE_TEST_SUITE_P(Stalls, PlaybackStall,
                         ::testing::Combine(::testing::Values(1.0, 2.0, 3.0, 6.5),
                                            ::testing::Bool()));

INSTANTIATE_TEST_SUITE_P(Decoding, PlaybackScenario, ::testing::Bool(),
                         [](const auto& info) { return DecodingName(info.param); });

}  // namespace
}  // namespace bw::test
