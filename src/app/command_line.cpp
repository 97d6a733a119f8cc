#include "app/command_line.h"

#include <array>
#include <optional>
#include <utility>

namespace bw {
namespace {

constexpr std::array<std::pair<std::string_view, SoundBackend>, 5> kBackends{{
    {"auto", SoundBackend::kAuto},
    {"pulse", SoundBackend::kPulse},
    {"portaudio", SoundBackend::kPortAudio},
    {"null", SoundBackend::kNull},
    {"virtual", SoundBackend::kVirtual},
}};

std::optional<SoundBackend> BackendNamed(std::string_view name) {
  for (const auto& [known, backend] : kBackends) {
    if (known == name) return backend;
  }
  return std::nullopt;
}

constexpr std::string_view kUsage =
    "usage: brookwave [--sound=DEVICE] [FILE]\n"
    "\n"
    "Brookwave plays, records and converts sound files. FILE is a sound file to open (and play\n"
    "at once while AutoPlay is on) or a play list (.plf).\n"
    "\n"
    "  --sound=DEVICE  where the sound goes and comes from:\n"
    "                    auto       the sound server, else the sound card through PortAudio,\n"
    "                               else none\n"
    "                    pulse      the desktop's sound server (PulseAudio, PipeWire)\n"
    "                    portaudio  the sound card through PortAudio\n"
    "                    null       no sound card: silence, in real time\n"
    "                    virtual    a silent card whose clock stands still (for tests)\n"
    "                  The environment variable BROOKWAVE_SOUND sets the default (auto).\n"
    "  -h, --help      show this text\n"
    "\n"
    "Settings are kept in $XDG_CONFIG_HOME/Brookwave/Brookwave.conf (~/.config by default).\n";

}  // namespace

CommandLineInfo ParseCommandLine(std::span<const std::string> args, const char* sound_env) {
  CommandLineInfo info;
  std::optional<std::string_view> device;
  if (sound_env != nullptr && *sound_env != '\0') device = sound_env;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size() && info.error.empty(); ++i) {
    const std::string_view arg = args[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && (arg == "-h" || arg == "--help")) {
      info.help = true;
    } else if (!options_done && arg.starts_with("--sound=")) {
      device = arg.substr(8);
    } else if (!options_done && arg == "--sound") {
      if (i + 1 < args.size())
        device = args[++i];
      else
        info.error = "--sound needs a device";
    } else if (!options_done && arg.size() > 1 && arg.starts_with("-")) {
      info.error = "unknown option " + std::string(arg);
    } else if (info.path.empty()) {
      info.path = arg;
    } else {
      info.error = "only one file can be opened";
    }
  }
  if (info.error.empty() && device) {
    if (const std::optional<SoundBackend> backend = BackendNamed(*device))
      info.backend = *backend;
    else
      info.error = "unknown sound device \"" + std::string(*device) + "\"";
  }
  return info;
}

std::string_view UsageText() {
  return kUsage;
}

}  // namespace bw
