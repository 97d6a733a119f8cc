// The end of the desktop session inside the program: the frame tells the user, lets the
// session end, and the manager's end closes it while it plays, keeping the stored placement.
#include <gtest/gtest.h>

#include "app/brookwave_app.h"
#include "frame/main_frame.h"
#include "gui_test_support.h"
#include "shell_test_support.h"
#include "view/view_core.h"

namespace bw::test {
namespace {

using EndSession = ProgramTest;

TEST_F(EndSession, TellsTheUserThenEndsWhilePlayingWithoutStoringPlacement) {
  const std::string stored = "0,1,-1,-1,-1,-1,30,40,477,340";
  Store("Settings", "WindowPos", stored);
  Start({WriteTone("tone.wav", 5)});
  ASSERT_EQ(core().stream().playing, 1);

  CapturedMessages messages;
  EXPECT_TRUE(frame().OnQueryEndSession());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "ShutDownWindows");
  EXPECT_EQ(messages.messages()[0].caption, "Brookwave");
  EXPECT_EQ(messages.messages()[0].style, kMbOk);
  EXPECT_EQ(core().stream().playing, 1) << "the question alone changes nothing";

  frame().OnEndSession();
  EXPECT_EQ(wxGetApp().MainFrame(), nullptr);
  End();
  EXPECT_EQ(Stored("Settings", "WindowPos"), stored);
}

}  // namespace
}  // namespace bw::test
