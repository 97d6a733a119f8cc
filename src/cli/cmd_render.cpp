// brookwave-cli render IN OUT.wav [...]: plays IN through the view's core on the virtual sound
// card, whose clock runs as fast as the engine keeps up, and writes exactly what the card
// played to OUT as 16-bit PCM (the source's rate and channels). Timer 1 fires every 100 ms of
// rendered sound, so the volume ramps behave as they would in real time.
//
// An IN that names a play list (".plf" in its path, as at start-up) is opened as at start-up
// with AutoPlay on and played through its whole sequence: each entry follows the previous one
// in OUT, at the first entry's rate and channels (the card converts the others), until the
// sequence stops at the end of the list or at an entry that cannot be played.
// --repeat-playlist N wraps to the first entry N times.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "cli/cli_command.h"
#include "cli/headless_player.h"
#include "platform/sound/virtual_sound.h"
#include "playlist/playlist_file.h"

namespace bw::cli {
namespace {

constexpr const char* kUsage =
    "IN|LIST.plf OUT.wav [--eq v0,...,v7] [--volume N] [--pan N] [--frequency N] "
    "[--selection START:END] [--repeat N] [--repeat-playlist N] [--fade-in] [--fade-out]";

struct RenderOptions {
  std::string in;
  std::string out;
  std::vector<int64_t> eq;  // empty: the settings' defaults
  std::optional<int64_t> volume;
  std::optional<int64_t> pan;
  std::optional<int64_t> frequency;
  std::optional<std::pair<int64_t, int64_t>> selection;
  std::optional<int64_t> repeats;
  std::optional<int64_t> playListRepeats;
  bool fadeIn = false;
  bool fadeOut = false;
};

// The settings and controls a user would set before pressing Play.
void ApplyBeforePlay(const RenderOptions& o, CBrookwaveViewCore& core) {
  PlaySettingsValues& settings = core.stream().playSettings;
  settings.FadeIn = o.fadeIn ? 1 : 0;
  settings.FadeOut = o.fadeOut ? 1 : 0;
  settings.RepeatSong = o.repeats.value_or(0) > 0 ? 1 : 0;
  for (std::size_t band = 0; band < o.eq.size(); ++band)
    settings.EqBand[band] = static_cast<int32_t>(o.eq[band]);
  if (o.volume) core.OnHScroll(TB_THUMBPOSITION, *o.volume, IDC_VOLUME);
  if (o.pan) core.OnHScroll(TB_THUMBPOSITION, *o.pan, IDC_BALANCE);
  if (o.selection) {
    core.OnHScroll(TB_THUMBPOSITION, o.selection->first, IDC_POSITION);
    core.OnSelectionFrom();
    core.OnHScroll(TB_THUMBPOSITION, o.selection->second, IDC_POSITION);
    core.OnSelectionTo();
    core.OnSelectionUse();
    core.OnHScroll(TB_THUMBPOSITION, o.selection->first, IDC_POSITION);
  }
}

// Writes the card's output to a 16-bit PCM WAVE file as it comes.
class RenderTarget {
 public:
  explicit RenderTarget(std::string path) : path_(std::move(path)) {}

  bool Append(const virtual_sound::Played& played) {
    if (played.samples.empty()) return true;
    if (!file_.is_open() && !Begin(played.format)) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(played.samples.data());
    uint32_t written = 0;
    return WriteWaveData(file_, {bytes, played.samples.size() * 2}, written, io_, kRunBytes) == 0;
  }

  bool Finish() {
    if (!file_.is_open() && !Begin(virtual_sound::PlaybackFormat())) return false;
    return FinishWaveTarget(file_, data_, riff_, io_, 0) == 0;
  }

 private:
  static constexpr std::size_t kRunBytes = 1 << 16;

  bool Begin(virtual_sound::CardFormat format) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc).close();
    const FormatBlock pcm(MakePcmFormat(format.rate, format.channels));
    uint32_t expected = kWaveTargetExpectedSize;
    return CreateWaveTarget(path_, file_, pcm, riff_, expected) == 0 &&
           BeginWaveData(file_, data_, io_, expected) == 0;
  }

  std::string path_;
  RiffFile file_;
  MMCKINFO riff_;
  MMCKINFO data_;
  MMIOINFO io_;
};

// Card frames until the buffer's play cursor reaches its next block boundary, where a
// notification lies (the last one, a byte short of the end, is reached with the end).
uint32_t FramesToNextBlock(const PlaybackStream& playback) {
  uint32_t play = 0;
  uint32_t frequency = 0;
  playback.soundBuffer->GetCurrentPosition(&play, nullptr);
  playback.soundBuffer->GetFrequency(&frequency);
  const uint32_t block = playback.blockBytes;
  const uint32_t bytes = (play / block + 1) * block - play;
  const double frames = double(bytes) / playback.pcmFormat.format().nBlockAlign;
  const double card_rate = virtual_sound::PlaybackFormat().rate;
  return static_cast<uint32_t>(std::max(1.0, std::ceil(frames * card_rate / frequency)));
}

bool BufferPlaying(const PlaybackStream& playback) {
  uint32_t status = 0;
  return playback.soundBuffer && playback.soundBuffer->GetStatus(&status) == kSoundOk &&
         (status & kBufferStatusPlaying);
}

// True when OUT is IN itself or, for a play list, one of its entries: rendering would
// overwrite what it is about to play.
bool WouldOverwriteInput(const std::string& in, const std::string& out, bool playList) {
  std::error_code ec;
  if (std::filesystem::equivalent(in, out, ec)) return true;
  std::vector<std::string> entries;
  if (!playList || ReadPlayListFile(in, entries) != PlayListReadResult::kRead) return false;
  return std::any_of(entries.begin(), entries.end(), [&](const std::string& entry) {
    return std::filesystem::equivalent(entry, out, ec);
  });
}

// A play list plays its entries one after the other; options that act on one file do not fit.
bool OptionsFitInput(const RenderOptions& o, bool playList) {
  if (playList) return !o.selection && o.repeats.value_or(0) == 0 && !o.frequency;
  return !o.playListRepeats;
}

// Starts IN playing: a play list as at start-up, a file as File Open and Play would.
bool StartPlaying(HeadlessPlayer& player, const std::string& in, const RenderOptions& options,
                  bool playList) {
  CBrookwaveViewCore& core = player.core;
  if (playList) {
    ApplyBeforePlay(options, core);
    if (!player.OpenPlayList(in)) {
      std::fprintf(stderr, "brookwave-cli: the play list %s could not be opened\n", in.c_str());
      return false;
    }
    // Later entries play on at the first one's rate and channels, converted by the card.
    virtual_sound::SetPlaybackFormat(virtual_sound::PlaybackFormat());
    return true;
  }
  if (!player.Open(in)) return false;
  ApplyBeforePlay(options, core);
  core.OnPlay();
  if (options.frequency) core.OnHScroll(TB_THUMBPOSITION, *options.frequency, IDC_FREQUENCY);
  return true;
}

int RunRender(const RenderOptions& options) {
  const std::vector<std::string> files{options.in, options.out};
  const bool playList = NamesPlayList(files[0]);
  if (!OptionsFitInput(options, playList)) {
    return UsageError("render", playList ? "--selection, --repeat and --frequency act on a "
                                           "single file, not on a play list"
                                         : "--repeat-playlist needs a play list");
  }
  if (WouldOverwriteInput(files[0], files[1], playList)) {
    std::fprintf(stderr, "brookwave-cli: %s would overwrite the file it plays\n", files[1].c_str());
    return 1;
  }
  SelectSoundBackend(SoundBackend::kVirtual);
  virtual_sound::SetPlaybackFormat({0, 0});  // the card plays at the source's rate
  HeadlessPlayer player;
  CBrookwaveViewCore& core = player.core;
  // The card waits for nothing but the engine: decoding takes a core of its own.
  core.stream().playback.decodeAhead = true;
  if (!StartPlaying(player, files[0], options, playList)) return 1;

  RenderTarget target(files[1]);
  const PlaybackStream& playback = core.stream().playback;
  const int64_t wraps = options.playListRepeats.value_or(0);
  double rendered = 0;
  double next_tick = 0;
  for (;;) {
    const int ends = player.window.DispatchedCount(WM_STREAM_END);
    // ends / count passes through the list are complete; the one playing wraps at its end
    // while fewer than N have.
    if (playList && core.stream().playListCount > 0)
      core.stream().playSettings.RepeatPlayList = ends / core.stream().playListCount < wraps;
    player.window.DispatchPending();
    if (player.window.DispatchedCount(WM_STREAM_END) >= options.repeats.value_or(0))
      core.stream().playSettings.RepeatSong = 0;
    if (!BufferPlaying(playback)) break;
    const double tick = virtual_sound::PlaybackFormat().rate / 10.0;
    if (next_tick == 0) next_tick = tick;
    const auto to_tick = static_cast<uint32_t>(std::max(1.0, std::ceil(next_tick - rendered)));
    // The samples are written while the playback thread refills the block the card passed.
    const virtual_sound::Played played = virtual_sound::AdvancePlayback(
        std::min(FramesToNextBlock(playback), to_tick), virtual_sound::Stepping::kHandOverAtEnd);
    if (!target.Append(played)) {
      std::fprintf(stderr, "brookwave-cli: cannot write %s\n", files[1].c_str());
      return 1;
    }
    if (!played.workers_kept_up || !virtual_sound::WaitForWorkers()) {
      std::fprintf(stderr, "brookwave-cli: the playback thread stopped answering\n");
      return 1;
    }
    rendered += static_cast<double>(played.samples.size()) / played.format.channels;
    if (rendered >= next_tick) {
      player.window.FireTimer(kPlaybackTimerId);
      next_tick += tick;
    }
  }
  if (!target.Finish()) {
    std::fprintf(stderr, "brookwave-cli: cannot write %s\n", files[1].c_str());
    return 1;
  }
  return core.stream().lastError == 0 ? 0 : 1;
}

Runner DefineRender(CLI::App& app) {
  auto o = std::make_shared<RenderOptions>();
  app.add_option("IN", o->in, "The sound file or play list (a path with .plf) to play")->required();
  app.add_option("OUT", o->out, "The 16-bit PCM WAVE file to write")->required();
  AddIntegerList(app, "--eq", o->eq, 8, -128, 128, "v0,...,v7", "The equaliser's eight bands");
  AddInteger(app, "--volume", o->volume, INT32_MIN, INT32_MAX, "The volume slider's position");
  AddInteger(app, "--pan", o->pan, INT32_MIN, INT32_MAX, "The balance slider's position");
  AddInteger(app, "--frequency", o->frequency, INT32_MIN, INT32_MAX,
             "The frequency slider's position, set once playing");
  AddIntegerSpan(app, "--selection", o->selection, 0, UINT32_MAX, "START:END",
                 "Play only these bytes of the data (Selection Use)");
  AddInteger(app, "--repeat", o->repeats, 0, 1000000, "Repeat the song N times");
  AddInteger(app, "--repeat-playlist", o->playListRepeats, 0, 1000000,
             "Start the play list over N times");
  app.add_flag("--fade-in", o->fadeIn, "Fade in at the start");
  app.add_flag("--fade-out", o->fadeOut, "Fade out at the end");
  return [o] { return RunRender(*o); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("render", bw::cli::kUsage,
               "Play a file or play list on the virtual card and write what it played",
               bw::cli::DefineRender)
