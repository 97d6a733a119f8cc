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
  if (!info.error.empty()) {
    std::fprintf(stderr, "brookwave: %s\nTry 'brookwave --help' for more information.\n",
                 info.error.c_str());
    return 2;
  }
  if (info.help || info.version) {
    std::fputs(info.help ? bw::UsageText().c_str() : bw::VersionText().data(), stdout);
    return 0;
  }
  // A file opened from the desktop while the program already runs opens there, and this start
  // ends as a success before it shows anything.
  if (!info.path.empty() && bw::HandFileToRunningInstance(info.path)) return 0;
  // Nothing here draws with OpenGL; without this GTK probes the GL visuals when it opens the
  // display, which loads the whole GL driver stack (tens of MiB and a good part of the start).
  setenv("GDK_GL", "disable", 0);
  bw::CBrookwaveApp::KeepArguments(args);
  return wxEntry(argc, argv);
}
