// brookwave-cli play FILE [--device W1,W2,W3,W4] [--eq v0,...,v7] [--no-fade-in] [--no-fade-out]:
// plays FILE on a sound device (the default one, or the device with that identifier; the silent
// null device when the machine has none) with a one-line progress display, until the end of the
// file or Ctrl+C, which stops cleanly. --eq sets the equaliser's bands; --no-fade-in starts at
// full volume and --no-fade-out keeps it to the end, so that with both and every band at 0 the
// device gets the file's samples unchanged.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/headless_player.h"

namespace bw::cli {
namespace {

// The position and length on one line, written again only when they changed.
class Progress {
 public:
  void Show(const HeadlessWindow& window) {
    std::string line = window.Text(IDC_POSITION_BOX) + " / " + window.Text(IDC_TIME_END);
    if (line == shown_) return;
    shown_ = std::move(line);
    std::printf("\r%s ", shown_.c_str());
    std::fflush(stdout);
  }

 private:
  std::string shown_;
};

struct PlayArgs {
  std::string file;
  std::vector<int64_t> device;
  std::vector<int64_t> eq;  // empty: the settings' defaults
  bool no_fade_in = false;
  bool no_fade_out = false;
};

int RunPlay(const PlayArgs& a) {
  InterruptWatch interrupt;
  SelectSoundBackend(SoundBackend::kAuto);
  HeadlessPlayer player;
  CBrookwaveViewCore& core = player.core;
  for (std::size_t i = 0; i < a.device.size(); ++i)
    core.stream().playSettings.PlayDevice.words[i] = static_cast<uint32_t>(a.device[i]);
  for (std::size_t band = 0; band < a.eq.size(); ++band)
    core.stream().playSettings.EqBand[band] = static_cast<int32_t>(a.eq[band]);
  if (a.no_fade_in) core.stream().playSettings.FadeIn = 0;
  if (a.no_fade_out) core.stream().playSettings.FadeOut = 0;
  if (!player.Open(a.file)) return 1;

  const InterruptWatch::Waking waking = interrupt.Wake(player.window);
  core.OnPlay();
  using Clock = std::chrono::steady_clock;
  constexpr auto kTick = std::chrono::milliseconds(kPlaybackTimerMs);
  // Ticks that would change nothing are slept through, on the same grid of ticks, so that the
  // loop wakes for the playback thread's messages only while the volume stands still.
  constexpr auto kNoTick = std::chrono::hours(24);
  auto next_tick = Clock::now() + kTick;
  Progress progress;
  while (core.stream().playing) {
    const bool ticking = core.TimerMovesVolume();
    // Rounded up: a wait cut short by rounding would wake twice per tick.
    const auto wait =
        ticking ? std::chrono::ceil<std::chrono::milliseconds>(next_tick - Clock::now()) : kNoTick;
    if (player.window.WaitForMessage(std::max(wait, std::chrono::milliseconds(0))))
      player.window.DispatchPending();
    const auto now = Clock::now();
    if (now >= next_tick) {
      if (ticking) player.window.FireTimer(kPlaybackTimerId);
      while (next_tick <= now)
        next_tick += kTick;
    }
    progress.Show(player.window);
    if (interrupt.interrupted()) core.OnStop();
  }
  player.window.DispatchPending();
  progress.Show(player.window);
  std::printf("\n");
  return 0;
}

Runner DefinePlay(CLI::App& app) {
  auto a = std::make_shared<PlayArgs>();
  app.add_option("FILE", a->file, "The sound file to play")->required();
  AddIntegerList(app, "--device", a->device, 4, 0, UINT32_MAX, "W1,W2,W3,W4",
                 "The playback device's identifier (see 'devices')");
  AddIntegerList(app, "--eq", a->eq, 8, -128, 128, "v0,...,v7", "The equaliser's eight bands");
  app.add_flag("--no-fade-in", a->no_fade_in, "Start at full volume instead of fading in");
  app.add_flag("--no-fade-out", a->no_fade_out,
               "Keep the volume to the end instead of fading out in the last seconds");
  return [a] { return RunPlay(*a); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("play",
               "FILE [--device W1,W2,W3,W4] [--eq v0,...,v7] [--no-fade-in] [--no-fade-out]",
               "Play a file on a sound device until its end or Ctrl+C", bw::cli::DefinePlay)
