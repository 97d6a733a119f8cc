// The main function of the GUI test programs: GoogleTest inside a running wx application.
// Listing the tests needs no display; running them does (see run-headless).
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

// Not in an anonymous namespace: the wxGetApp() the macro below defines would then be a local
// function nobody calls, which clang warns about.
class GuiTestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
    fprintf(stderr, "the GUI tests need a display (run them through run-headless)\n");
    return 1;
  }
  const int result = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return result;
}
