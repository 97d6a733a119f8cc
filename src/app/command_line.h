// The program's command line: an optional path (a sound file, or a play list when it contains
// ".plf") and the choice of sound device. Parsed before anything else starts.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/sound/sound.h"

namespace bw {

struct CommandLineInfo {
  std::string path;  // empty: start with a new, empty document
  SoundBackend backend = SoundBackend::kAuto;
  bool help = false;
  bool version = false;
  std::string error;  // what is wrong with the arguments; empty when nothing is
};

// `args` without the program's name. `sound_env` is the value of BROOKWAVE_SOUND (null when
// unset); the --sound option overrides it.
CommandLineInfo ParseCommandLine(std::span<const std::string> args, const char* sound_env);

// What --help prints.
std::string UsageText();
// What --version prints.
std::string_view VersionText();

}  // namespace bw
