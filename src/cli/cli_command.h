// brookwave-cli's commands. Each command lives in its own file and registers itself with
// BW_CLI_COMMAND; cli_main.cpp parses the command line with CLI11 and runs the command named.
//
// A command declares its arguments on its own CLI::App (bound to values it keeps) and returns
// what runs it once they are parsed. That returns the process exit status: 0 on success,
// non-zero otherwise, with the system's own message on stderr (the message sink of
// brookwave-cli writes there); 2 for arguments that do not fit together.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/sound/sound.h"

namespace bw::cli {

using Runner = std::function<int()>;

struct Command {
  std::string_view name;
  std::string_view usage;    // the arguments after the name, e.g. "FILE"
  std::string_view summary;  // one line for the list of commands
  Runner (*define)(CLI::App& app);
};

// Registers `command`; returns true so that it can initialise a static.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// For mistakes only the command itself can see: "brookwave-cli NAME: WHAT", the usage line and
// where the help is, on stderr; returns 2.
int UsageError(std::string_view name, std::string_view what);

// The FORMAT syntax with examples, for the help of the commands that take one.
extern const char* const kFormatHelp;

// Options that take the values brookwave-cli has always taken: decimal integers (no signs other
// than '-', no hexadecimal), lists of them separated by commas, and spans "A:B".

// "--name N": one integer within [min, max].
CLI::Option* AddInteger(CLI::App& app, const std::string& name, std::optional<int64_t>& value,
                        int64_t min, int64_t max, const std::string& help);
// "--name N1,...,Ncount": exactly `count` integers within [min, max].
CLI::Option* AddIntegerList(CLI::App& app, const std::string& name, std::vector<int64_t>& values,
                            std::size_t count, int64_t min, int64_t max,
                            const std::string& typeName, const std::string& help);
// "--name A:B": two integers within [min, max] with A <= B.
CLI::Option* AddIntegerSpan(CLI::App& app, const std::string& name,
                            std::optional<std::pair<int64_t, int64_t>>& value, int64_t min,
                            int64_t max, const std::string& typeName, const std::string& help);
// "--name S": seconds, a decimal number from 0 up to a billion.
CLI::Option* AddSeconds(CLI::App& app, const std::string& name, std::optional<double>& value,
                        const std::string& help);
// "--name S:E": seconds, with S <= E.
CLI::Option* AddSecondsSpan(CLI::App& app, const std::string& name,
                            std::optional<std::pair<double, double>>& value,
                            const std::string& typeName, const std::string& help);
// "--backend NAME": a sound backend by name; "virtual" only with `allowVirtual`.
CLI::Option* AddBackend(CLI::App& app, SoundBackend& backend, bool allowVirtual);
// Checks a FORMAT argument: the codec layer's own explanation when it cannot be used.
CLI::Validator FormatArgument();

}  // namespace bw::cli

#define BW_CLI_CONCAT_INNER(a, b) a##b
#define BW_CLI_CONCAT(a, b) BW_CLI_CONCAT_INNER(a, b)
#define BW_CLI_COMMAND(name, usage, summary, define)                                               \
  namespace {                                                                                      \
  const bool BW_CLI_CONCAT(registered_, __LINE__) = ::bw::cli::RegisterCommand(::bw::cli::Command{ \
      name, usage, summary, define});                                                              \
  }
