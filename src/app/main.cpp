// brookwave: the desktop program.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/brookwave_app.h"
#include "app/command_line.h"
#include "platform/remote/running_instance.h"

wxIMPLEMENT_APP_NO_MAIN(bw::CBrookwaveApp);

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) then fails the write with its message instead of killing the
  // program with whatever it had not yet written.
  std::signal(SIGXFSZ, SIG_IGN);
  std::setlocale(LC_ALL, "");
  // --help and mistakes in the arguments are answered before the display is opened.
  const std::vector<std::string> args(argv + 1, argv + argc);
  const bw::CommandLineInfo info = bw::ParseCommandLine(args, std::getenv("BROOKWAVE_SOUND"));
  if (info.help) {
    std::fputs(bw::UsageText().data(), stdout);
    return 0;
  }
  if (!info.error.empty()) {
    std::fprintf(stderr, "brookwave: %s\n\n%s", info.error.c_str(), bw::UsageText().data());
    return 2;
  }
  // A file opened from the desktop while the program already runs opens there, and this start
  // ends as a success before it shows anything.
  if (!info.path.empty() && bw::HandFileToRunningInstance(info.path)) return 0;
  bw::CBrookwaveApp::KeepArguments(args);
  return wxEntry(argc, argv);
}
