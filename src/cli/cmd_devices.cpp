// brookwave-cli devices [--backend auto|pulse|portaudio|null|virtual]: the playback devices, then
// the capture devices, one a line: the description and the identifier's four words, as the
// properties' Device pages store them.
#include <cstdio>
#include <memory>
#include <string_view>

#include "cli/cli_command.h"
#include "cli/headless_player.h"
#include "platform/sound/sound.h"

namespace bw::cli {
namespace {

void PrintDevices(const char* heading, const std::vector<SoundDeviceInfo>& devices) {
  std::printf("%s\n", heading);
  for (const SoundDeviceInfo& d : devices) {
    const auto& w = d.id.words;
    std::printf("  %s  %11u %11u %11u %11u\n", d.description.c_str(), w[0], w[1], w[2], w[3]);
  }
}

int RunDevices(SoundBackend backend) {
  SelectSoundBackend(backend);
  PrintDevices("Playback devices:", EnumeratePlaybackDevices());
  PrintDevices("Capture devices:", EnumerateCaptureDevices());
  return 0;
}

Runner DefineDevices(CLI::App& app) {
  auto backend = std::make_shared<SoundBackend>(SoundBackend::kAuto);
  AddBackend(app, *backend, true);
  return [backend] { return RunDevices(*backend); };
}

}  // namespace
}  // namespace bw::cli

BW_CLI_COMMAND("devices", "[--backend auto|pulse|portaudio|null|virtual]",
               "List the playback and capture devices with their identifiers",
               bw::cli::DefineDevices)
