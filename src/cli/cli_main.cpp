// brookwave-cli: the engine from the command line, for scripted conversion, rendering and checks.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
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

namespace {

constexpr std::string_view kProgram = "brookwave-cli";

std::string UsageLine(std::string_view name) {
  std::string line = "usage: brookwave-cli";
  for (const Command& c : Commands()) {
    if (c.name == name) line.append(" ").append(c.name).append(" ").append(c.usage);
  }
  if (name == "help") line += " help [COMMAND]";
  if (name.empty()) line += " COMMAND [ARGS]";
  return line + "\n";
}

// CLI11's layout, with the usage line each command has always shown.
class CommandFormatter final : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string) const override {
    return UsageLine(app->get_parent() ? app->get_name() : "");
  }
};

constexpr const char* kDescription =
    "brookwave-cli runs Brookwave's engine without a window: it converts, exports, imports,\n"
    "renders, records and plays sound files and describes them. 'brookwave-cli help COMMAND'\n"
    "shows a command's options.\n";

class CommandLine {
 public:
  CommandLine() {
    app_.formatter(std::make_shared<CommandFormatter>());
    app_.get_formatter()->column_width(34);
    app_.description(kDescription);
    app_.set_version_flag("--version", std::string(kProgram) + " " BW_VERSION,
                          "Print the version and exit");
    app_.require_subcommand(1);
    std::vector<Command> sorted = Commands();
    std::ranges::sort(sorted, {}, &Command::name);
    for (const Command& c : sorted) {
      CLI::App* sub = app_.add_subcommand(std::string(c.name), std::string(c.summary));
      runners_[sub] = c.define(*sub);
    }
    help_ = app_.add_subcommand("help", "Print the help of brookwave-cli or of COMMAND");
    std::vector<std::string> topics = CommandNames();
    topics.push_back("help");
    help_->add_option("COMMAND", topic_, "The command to explain")
        ->type_name("")
        ->check(CLI::IsMember(topics));
  }

  int Run(int argc, char** argv) {
    const std::vector<std::string> names = CommandNames();
    const std::string_view first = argc > 1 ? argv[1] : "";
    if (first.starts_with('-') && first != "-h" && first != "--help" && first != "--version")
      return UsageError("", "unknown option '" + std::string(first) + "'");
    if (argc > 1 && argv[1][0] != '-' && argv[1] != std::string_view("help") &&
        std::ranges::find(names, argv[1]) == names.end())
      return UsageError("", "unknown command '" + std::string(argv[1]) + "'");
    try {
      app_.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
      return Answer(e);
    }
    if (help_->parsed()) {
      // help() would explain the help command itself, the one parsed.
      const CLI::App* topic = topic_.empty() ? &app_ : app_.get_subcommand(topic_);
      std::cout << topic->get_formatter()->make_help(topic, topic->get_name(),
                                                     CLI::AppFormatMode::Normal);
      return 0;
    }
    for (const auto& [sub, run] : runners_) {
      if (sub->parsed()) return run();
    }
    return 2;
  }

 private:
  std::vector<std::string> CommandNames() const {
    std::vector<std::string> names;
    for (const auto& [sub, run] : runners_)
      names.push_back(sub->get_name());
    return names;
  }

  // Help and version to stdout with 0; a mistake to stderr with 2.
  int Answer(const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app_.exit(e);
    const std::vector<CLI::App*> parsed = app_.get_subcommands();
    const std::string name = parsed.empty() ? "" : parsed.front()->get_name();
    return UsageError(name, e.what());
  }

  CLI::App app_{"", std::string(kProgram)};
  std::map<CLI::App*, Runner> runners_;
  CLI::App* help_ = nullptr;
  std::string topic_;
};

}  // namespace

int UsageError(std::string_view name, std::string_view what) {
  const std::string command =
      name.empty() ? std::string(kProgram) : "brookwave-cli " + std::string(name);
  std::fprintf(stderr, "%s: %.*s\n%s", command.c_str(), static_cast<int>(what.size()), what.data(),
               UsageLine(name).c_str());
  std::fprintf(stderr, "Try '%s --help' for more information.\n", command.c_str());
  return 2;
}

}  // namespace bw::cli

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) then fails the write with its message instead of killing the
  // process.
  std::signal(SIGXFSZ, SIG_IGN);
  bw::cli::CommandLine commandLine;
  return commandLine.Run(argc, argv);
}
