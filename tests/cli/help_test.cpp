// brookwave-cli's command-line conventions: help and version on stdout with 0, mistakes named
// on stderr with 2, and a manual page and completion that know every command and option.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "support/test_support.h"

namespace bw {
namespace {

using test::CommandResult;
using test::RunCli;

bool Mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The commands the program's help lists.
std::vector<std::string> ListedCommands() {
  const std::string help = RunCli({"--help"}).out;
  std::vector<std::string> names;
  std::istringstream lines(help.substr(help.find("Subcommands:")));
  std::string line;
  const std::regex entry("^  ([a-z-]+) +\\S.*");
  for (std::smatch m; std::getline(lines, line);) {
    if (std::regex_match(line, m, entry)) names.push_back(m[1]);
  }
  return names;
}

// The long options a command's help names.
std::set<std::string> OptionsOf(const std::string& command) {
  const std::string help = RunCli({command, "--help"}).out;
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
       it != std::sregex_iterator(); ++it)
    options.insert(it->str());
  return options;
}

TEST(CliHelp, HelpAndVersionGoToStdoutWithSuccess) {
  const std::vector<std::string> commands = ListedCommands();
  for (const char* c : {"convert", "export", "import", "info", "mpeg-info", "formats", "devices",
                        "play", "record", "render", "help"})
    EXPECT_NE(std::find(commands.begin(), commands.end(), c), commands.end()) << c;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}}) {
    const CommandResult r = RunCli(args);
    EXPECT_EQ(r.exit_code, 0) << args[0];
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(Mentions(r.out, "usage: brookwave-cli COMMAND")) << r.out;
  }
  for (const std::string& c : commands) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{c, "--help"}, {c, "-h"}, {"help", c}}) {
      const CommandResult r = RunCli(args);
      EXPECT_EQ(r.exit_code, 0) << args[0] << " " << args[1];
      EXPECT_TRUE(Mentions(r.out, "usage: brookwave-cli " + c)) << r.out;
    }
  }
  // Each option on a line of its own with its explanation.
  const std::string render = RunCli({"help", "render"}).out;
  for (const char* o : {"--eq", "--volume", "--pan", "--frequency", "--selection", "--repeat ",
                        "--repeat-playlist", "--fade-in", "--fade-out"}) {
    const std::regex line(std::string("\n  ") + o + "[^\n]*  [A-Z][a-z]");
    EXPECT_TRUE(std::regex_search(render, line)) << o << "\n" << render;
  }
  const CommandResult version = RunCli({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "brookwave-cli " BW_TEST_VERSION "\n");
}

TEST(CliHelp, TheFormatSyntaxIsExplainedWhereAFormatIsTaken) {
  for (const char* c : {"convert", "export", "record"}) {
    const std::string help = RunCli({c, "--help"}).out;
    for (const char* kind : {"pcm:RATE:CHANNELS:BITS", "alaw:", "mulaw:", "msadpcm:", "imaadpcm:",
                             "gsm610:", "mp3:RATE:CHANNELS:KBPS", "Examples: pcm:44100:2:16"})
      EXPECT_TRUE(Mentions(help, kind)) << c << " " << kind;
  }
}

TEST(CliHelp, MistakesAreNamedOnStderrWithStatus2) {
  const struct {
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {{}, "command"},
      {{"frob"}, "unknown command 'frob'"},
      {{"--frob"}, "--frob"},
      {{"info"}, "FILE is required"},
      {{"info", "a.wav", "b.wav"}, "b.wav"},
      {{"render", "a.wav", "b.wav", "--volume", "loud"}, "--volume: 'loud' is not an integer"},
      {{"render", "a.wav", "b.wav", "--eq", "1,2"}, "--eq"},
      {{"render", "a.wav", "b.wav", "--selection", "9:3"}, "--selection"},
      {{"render", "a.wav", "b.wav", "--repeat-playlist", "1"}, "needs a play list"},
      {{"render", "a.wav", "b.wav", "--bogus"}, "--bogus"},
      {{"convert", "a.wav", "b.wav", "--format", "ogg:44100:2"}, "unknown format"},
      {{"record", "a.wav", "--format", "pcm:44100:2:16", "--backend", "virtual"}, "--backend"},
      {{"formats", "--rate", "0x10"}, "--rate"},
      {{"help", "frob"}, "frob"},
  };
  for (const auto& c : cases) {
    const CommandResult r = RunCli(c.args);
    const std::string what = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(r.exit_code, 2) << what;
    EXPECT_TRUE(r.out.empty()) << what << ": " << r.out;
    EXPECT_TRUE(Mentions(r.err, c.named)) << what << ": " << r.err;
    EXPECT_TRUE(Mentions(r.err, "usage: brookwave-cli")) << r.err;
  }
  // A file name that is also a command's name is still a file.
  EXPECT_TRUE(Mentions(RunCli({"info", "render"}).err, "render")) << RunCli({"info", "render"}).err;
  EXPECT_EQ(RunCli({"info", "render"}).exit_code, 1);
  // Negative numbers are values, not options.
  EXPECT_NE(RunCli({"render", "none.wav", "out.wav", "--pan", "-500"}).exit_code, 2);
}

TEST(CliHelp, TheManualPageNamesEveryCommandAndOption) {
  std::ifstream in(std::string(BW_SOURCE_DIR) + "/docs/man/brookwave-cli.1");
  ASSERT_TRUE(in);
  std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // troff writes a dash as "\-".
  page = std::regex_replace(page, std::regex("\\\\-"), "-");
  for (const std::string& c : ListedCommands()) {
    EXPECT_TRUE(Mentions(page, "\\fB" + c + "\\fR")) << c;
    for (const std::string& o : OptionsOf(c))
      EXPECT_TRUE(Mentions(page, o)) << c << " " << o;
  }
}

TEST(CliHelp, CompletionOffersEveryCommandAndItsOptions) {
  const std::string script = std::string(BW_SOURCE_DIR) + "/src/cli/brookwave-cli.bash-completion";
  // The completions for the words typed so far, one a line.
  const auto complete = [&](const std::string& words, int cword) {
    const CommandResult r =
        test::RunCommand({"bash", "--norc", "-c",
                          "source '" + script + "' && COMP_WORDS=('" BW_CLI_PATH "' " + words +
                              ") && COMP_CWORD=" + std::to_string(cword) +
                              " && _brookwave_cli && printf '%s\\n' \"${COMPREPLY[@]}\""});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    return r.out;
  };
  const std::string commands = complete("''", 1);
  for (const std::string& c : ListedCommands())
    EXPECT_TRUE(Mentions(commands, c + "\n")) << c;
  for (const std::string& c : ListedCommands()) {
    const std::string options = complete(c + " --", 2);
    for (const std::string& o : OptionsOf(c))
      EXPECT_TRUE(Mentions(options, o + "\n")) << c << o;
  }
  EXPECT_EQ(complete("record a.wav --backend p", 4), "portaudio\n");
}

}  // namespace
}  // namespace bw
