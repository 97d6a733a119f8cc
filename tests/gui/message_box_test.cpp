// Message boxes as real dialogs: the buttons shown and the answer given back for each button.
#include "view/dialogs/message_box.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/timer.h>

namespace bw {
namespace {

struct Answered {
  unsigned style;
  int gtk_response;  // the button the user presses
  int expected;
};

void PrintTo(const Answered& a, std::ostream* out) {
  *out << "style " << a.style << ", response " << a.gtk_response;
}

// Presses `response` on the message box once it is up.
class Presser : public wxTimer {
 public:
  explicit Presser(int response) : response_(response) { StartOnce(100); }
  void Notify() override {
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w != nullptr; w = w->next) {
      if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_visible(GTK_WIDGET(w->data))) {
        title = gtk_window_get_title(GTK_WINDOW(w->data));
        gtk_dialog_response(GTK_DIALOG(w->data), response_);
      }
    }
    g_list_free(windows);
  }
  std::string title;

 private:
  int response_;
};

class MessageBoxAnswers : public testing::TestWithParam<Answered> {};

TEST_P(MessageBoxAnswers, GiveBackTheButtonPressed) {
  const Answered a = GetParam();
  Presser presser(a.gtk_response);
  EXPECT_EQ(RunMessageBox(nullptr, "File x exists,Overwrite File", "", a.style), a.expected);
  EXPECT_EQ(presser.title, "Brookwave");  // an empty caption shows the program's name
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, MessageBoxAnswers,
    testing::Values(Answered{kMbOk, GTK_RESPONSE_OK, kIdOk},
                    Answered{kMbOkCancel | kMbIconQuestion, GTK_RESPONSE_CANCEL, kIdCancel},
                    Answered{kMbYesNo | kMbIconExclamation, GTK_RESPONSE_YES, kIdYes},
                    Answered{kMbYesNo, GTK_RESPONSE_NO, kIdNo},
                    Answered{kMbYesNoCancel, GTK_RESPONSE_CANCEL, kIdCancel},
                    Answered{kMbAbortRetryIgnore, GTK_RESPONSE_YES, kIdAbort},
                    Answered{kMbAbortRetryIgnore, GTK_RESPONSE_NO, kIdRetry},
                    Answered{kMbAbortRetryIgnore | kMbIconError, GTK_RESPONSE_CANCEL, kIdIgnore}));

// A text with a 120,000-character path (any program may hand one over): the box still fits the
// screen, and Enter answers it.
TEST(MessageBoxSize, ALongTextFitsTheScreenAndEnterAnswers) {
  class Measurer : public wxTimer {
   public:
    Measurer() { StartOnce(100); }
    void Notify() override {
      GList* windows = gtk_window_list_toplevels();
      for (GList* w = windows; w != nullptr; w = w->next) {
        if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data)))
          continue;
        gtk_window_get_size(GTK_WINDOW(w->data), &width, &height);
        activated = gtk_window_activate_default(GTK_WINDOW(w->data));
      }
      g_list_free(windows);
    }
    int width = 0, height = 0;
    bool activated = false;
  } measurer;
  const std::string text = "File /" + std::string(120000, 'x') + ".wav not found";
  EXPECT_EQ(RunMessageBox(nullptr, text, "", kMbOk), kIdOk);
  GdkRectangle screen{};
  gdk_monitor_get_geometry(gdk_display_get_primary_monitor(gdk_display_get_default()), &screen);
  EXPECT_GT(measurer.width, 0);
  EXPECT_LE(measurer.width, screen.width);
  EXPECT_LE(measurer.height, screen.height);
  EXPECT_TRUE(measurer.activated);
}

}  // namespace
}  // namespace bw
