// brookwave-cli: the engine from the command line, for scripted conversion, rendering and checks.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"

namespace bw::cli {

std::vector<Command>& MutableCommands() {
  static std::vector<Command> commands;
  return commands;
}

bool RegisterCommand(const Command& command) {
  MutableCommands().push_back(command);
  return true;
}

const std::vector<Command>& Commands() {
  return MutableCommands();
}

int UsageError(std::string_view name) {
  for (const Command& c : Commands()) {
    if (c.name == name) {
      std::fprintf(stderr, "usage: brookwave-cli %.*s %.*s\n", static_cast<int>(c.name.size()),
                   c.name.data(), static_cast<int>(c.usage.size()), c.usage.data());
    }
  }
  return 2;
}

const std::string* FindOption(Args args, std::string_view name) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == name) return &args[i + 1];
  }
  return nullptr;
}

bool HasFlag(Args args, std::string_view name) {
  return std::find(args.begin(), args.end(), name) != args.end();
}

std::vector<std::string> Positionals(Args args, std::span<const std::string_view> flags) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() > 2 && a.starts_with("--")) {
      const bool is_flag = std::find(flags.begin(), flags.end(), a) != flags.end();
      if (!is_flag) ++i;  // skip the option's value
      continue;
    }
    out.push_back(a);
  }
  return out;
}

namespace {

int PrintHelp() {
  std::fputs("usage: brookwave-cli COMMAND [ARGS]\n\ncommands:\n", stderr);
  std::vector<Command> sorted = Commands();
  std::sort(sorted.begin(), sorted.end(),
            [](const Command& a, const Command& b) { return a.name < b.name; });
  for (const Command& c : sorted) {
    std::fprintf(stderr, "  %.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                 static_cast<int>(c.usage.size()), c.usage.data());
  }
  return 2;
}

}  // namespace
}  // namespace bw::cli

int main(int argc, char** argv) {
  using namespace bw::cli;
  // A file-size limit (ulimit -f) then fails the write with its message instead of killing the
  // process.
  std::signal(SIGXFSZ, SIG_IGN);
  if (argc < 2) return PrintHelp();
  const std::string name = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  for (const Command& c : Commands()) {
    if (c.name == name) return c.run(args);
  }
  std::fprintf(stderr, "brookwave-cli: unknown command '%s'\n", name.c_str());
  return PrintHelp();
}
