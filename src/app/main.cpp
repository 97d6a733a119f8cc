// brookwave: the desktop program.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/brookwave_app.h"
#include "app/command_line.h"

wxIMPLEMENT_APP_NO_MAIN(bw::CBrookwaveApp);

int main(int argc, char** argv) {
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
  return wxEntry(argc, argv);
}
