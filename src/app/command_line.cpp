#include "app/command_line.h"

#include <CLI/CLI.hpp>
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

std::string UnknownDevice(std::string_view name) {
  return "unknown sound device \"" + std::string(name) + "\"";
}

constexpr const char* kDescription =
    "Brookwave plays, records and converts sound files. FILE is a sound file to open (and play\n"
    "at once while AutoPlay is on) or a play list (.plf).\n";

constexpr const char* kSoundHelp =
    "Where the sound goes and comes from:\n"
    "  auto       the sound server, else the sound card through PortAudio, else none\n"
    "  pulse      the desktop's sound server (PulseAudio, PipeWire)\n"
    "  portaudio  the sound card through PortAudio\n"
    "  null       no sound card: silence, in real time\n"
    "  virtual    a silent card whose clock stands still (for tests)\n"
    "The environment variable BROOKWAVE_SOUND sets the default (auto).\n"
    "\n"
    "Settings are kept in $XDG_CONFIG_HOME/Brookwave/Brookwave.conf (~/.config by default).\n";

// Usage lines in the form the program has always shown them.
class UsageFormatter final : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string) const override {
    return "usage: brookwave [--sound=DEVICE] [FILE]\n";
  }
};

// The program's options, bound to `info` and `device`.
struct Parser {
  Parser(CommandLineInfo& info, std::optional<std::string>& device) {
    app.formatter(std::make_shared<UsageFormatter>());
    app.description(kDescription);
    app.footer(kSoundHelp);
    app.set_help_flag();  // answered below, without CLI11's exception, so that it is a field
    app.add_flag("-h,--help", info.help, "Print this help and exit");
    app.add_flag("--version", info.version, "Print the version and exit");
    app.add_option("--sound", device, "The sound device: auto, portaudio, null or virtual")
        ->type_name("DEVICE")
        ->check(CLI::Validator(
            [](std::string& name) {
              return BackendNamed(name) ? std::string() : UnknownDevice(name);
            },
            "", "DEVICE"));
    app.add_option("FILE", info.path, "The sound file or play list to open");
  }

  CLI::App app{"", "brookwave"};
};

}  // namespace

CommandLineInfo ParseCommandLine(std::span<const std::string> args, const char* sound_env) {
  CommandLineInfo info;
  std::optional<std::string> device;
  Parser parser(info, device);
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    parser.app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    info.error = e.what();
    return info;
  }
  if (!device && sound_env != nullptr && *sound_env != '\0') device = sound_env;
  if (device) {
    if (const std::optional<SoundBackend> backend = BackendNamed(*device))
      info.backend = *backend;
    else
      info.error = UnknownDevice(*device);
  }
  return info;
}

std::string UsageText() {
  CommandLineInfo info;
  std::optional<std::string> device;
  return Parser(info, device).app.help();
}

std::string_view VersionText() {
  return "brookwave " BW_VERSION "\n";
}

}  // namespace bw
