// The main function of the program's window tests: GoogleTest inside the program's own
// application object, whose start-up each test runs (see shell_test_support.h). Listing the
// tests needs no display; running them does (see run-headless).
#include <gtest/gtest.h>
#include <wx/init.h>
#include <wx/log.h>

#include <memory>

#include "app/brookwave_app.h"

wxIMPLEMENT_APP_NO_MAIN(bw::CBrookwaveApp);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!wxEntryStart(argc, argv)) {
    fprintf(stderr, "the GUI tests need a display (run them through run-headless)\n");
    return 1;
  }
  // The framework's messages go to stderr rather than into boxes nobody closes.
  const std::unique_ptr<wxLog> gui_log(
      wxLog::SetActiveTarget(std::make_unique<wxLogStderr>().release()));
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
