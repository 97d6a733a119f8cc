// brookwave-cli play FILE [--device W1,W2,W3,W4] [--eq v0,...,v7] [--no-fade-in]: plays FILE on
// a sound device (the default one, or the device with that identifier; the silent null device
// when the machine has none) with a one-line progress display, until the end of the file or
// Ctrl+C, which stops cleanly. --eq sets the equaliser's bands and --no-fade-in starts at full
// volume, so that with every band at 0 the device gets the file's samples unchanged.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/headless_player.h"

namespace bw::cli {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
}

void ShowProgress(const HeadlessWindow& window) {
  std::printf("\r%s / %s ", window.Text(IDC_POSITION_BOX).c_str(),
              window.Text(IDC_TIME_END).c_str());
  std::fflush(stdout);
}

int RunPlay(Args args) {
  constexpr std::string_view kFlags[] = {"--no-fade-in"};
  const std::vector<std::string> files = Positionals(args, kFlags);
  std::vector<int64_t> device;
  const std::string* device_text = FindOption(args, "--device");
  const std::string* eq_text = FindOption(args, "--eq");
  std::vector<int64_t> eq;
  if (files.size() != 1 ||
      (device_text && !ParseIntegerList(*device_text, 4, 0, UINT32_MAX, device)) ||
      (eq_text && !ParseIntegerList(*eq_text, 8, -128, 128, eq)))
    return UsageError("play");

  SelectSoundBackend(SoundBackend::kAuto);
  HeadlessPlayer player;
  CBrookwaveViewCore& core = player.core;
  for (std::size_t i = 0; i < device.size(); ++i)
    core.stream().playSettings.PlayDevice.words[i] = static_cast<uint32_t>(device[i]);
  for (std::size_t band = 0; band < eq.size(); ++band)
    core.stream().playSettings.EqBand[band] = static_cast<int32_t>(eq[band]);
  if (HasFlag(args, "--no-fade-in")) core.stream().playSettings.FadeIn = 0;
  if (!player.Open(files[0])) return 1;

  std::signal(SIGINT, OnInterrupt);
  core.OnPlay();
  using Clock = std::chrono::steady_clock;
  constexpr auto kTick = std::chrono::milliseconds(kPlaybackTimerMs);
  auto next_tick = Clock::now() + kTick;
  while (core.stream().playing) {
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(next_tick - Clock::now());
    if (player.window.WaitForMessage(std::max(wait, std::chrono::milliseconds(0))))
      player.window.DispatchPending();
    if (Clock::now() >= next_tick) {
      player.window.FireTimer(kPlaybackTimerId);
      next_tick += kTick;
      ShowProgress(player.window);
    }
    if (g_interrupted) core.OnStop();
  }
  player.window.DispatchPending();
  ShowProgress(player.window);
  std::printf("\n");
  std::signal(SIGINT, SIG_DFL);
  return 0;
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("play", "FILE [--device W1,W2,W3,W4] [--eq v0,...,v7] [--no-fade-in]",
               bw::cli::RunPlay)
