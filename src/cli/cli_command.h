// brookwave-cli's commands. Each command lives in its own file and registers itself with
// BW_CLI_COMMAND; cli_main.cpp dispatches on the first argument.
//
// A command returns the process exit status: 0 on success, non-zero otherwise, with the
// system's own message on stderr (the message sink of brookwave-cli writes there).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bw::cli {

using Args = std::span<const std::string>;

struct Command {
  std::string_view name;
  std::string_view usage;  // the arguments after the name, e.g. "FILE"
  int (*run)(Args args);   // args excludes the program and command names
};

// Registers `command`; returns true so that it can initialise a static.
bool RegisterCommand(const Command& command);
const std::vector<Command>& Commands();

// Prints "usage: brookwave-cli NAME USAGE" to stderr and returns 2.
int UsageError(std::string_view name);

// Options of the form "--name value". FindOption returns the value or nullptr; positional
// arguments are those that are neither options nor option values. `flags` lists the options
// that take no value.
const std::string* FindOption(Args args, std::string_view name);
bool HasFlag(Args args, std::string_view name);
std::vector<std::string> Positionals(Args args, std::span<const std::string_view> flags = {});

}  // namespace bw::cli

#define BW_CLI_CONCAT_INNER(a, b) a##b
#define BW_CLI_CONCAT(a, b) BW_CLI_CONCAT_INNER(a, b)
#define BW_CLI_COMMAND(name, usage, fn)                                                            \
  namespace {                                                                                      \
  const bool BW_CLI_CONCAT(registered_, __LINE__) = ::bw::cli::RegisterCommand(::bw::cli::Command{ \
      name, usage, fn});                                                                           \
  }
