// brookwave-cli play FILE [--device W1,W2,W3,W4]: plays FILE on a sound device (the default
// one, or the device with that identifier; the silent null device when the machine has none)
// with a one-line progress display, until the end of the file or Ctrl+C, which stops cleanly.
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
  const std::vector<std::string> files = Positionals(args);
  std::vector<int64_t> device;
  const std::string* device_text = FindOption(args, "--device");
  if (files.size() != 1 ||
      (device_text && !ParseIntegerList(*device_text, 4, 0, UINT32_MAX, device)))
    return UsageError("play");

  SelectSoundBackend(SoundBackend::kAuto);
  HeadlessPlayer player;
  CBrookwaveViewCore& core = player.core;
  for (std::size_t i = 0; i < device.size(); ++i)
    core.stream().playSettings.PlayDevice.words[i] = static_cast<uint32_t>(device[i]);
  if (!player.Open(files[0])) return 1;

  std::signal(SIGINT, OnInterrupt);
  core.OnPlay();
  using Clock = std::chrono::steady_clock;
  constexpr auto kTick = std::chrono::milliseconds(kPlaybackTimerMs);
  auto next_tick = Clock::now() + kTick;
  while (core.stream().playing) {
    // Rounded up: a wait cut short by rounding would wake twice per tick.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_tick - Clock::now());
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

BW_CLI_COMMAND("play", "FILE [--device W1,W2,W3,W4]", bw::cli::RunPlay)
