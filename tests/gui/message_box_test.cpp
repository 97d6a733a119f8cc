// Message boxes as real dialogs: the buttons shown and the answer given back for each button.
#include "view/dialogs/message_box.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/timer.h>

#include <string>

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

// The expander in `widget`'s tree (the whole text of a shortened message), or null.
GtkWidget* FindExpander(GtkWidget* widget) {
  if (GTK_IS_EXPANDER(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GtkWidget* found = nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
    found = FindExpander(GTK_WIDGET(c->data));
  g_list_free(children);
  return found;
}

// The Enter key as the keyboard sends it to `window`: what has the focus there takes it.
void PressEnter(GtkWindow* window) {
  GdkDisplay* display = gdk_display_get_default();
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(window))));
  event->key.keyval = GDK_KEY_Return;
  event->key.time = GDK_CURRENT_TIME;
  GdkKeymapKey* keys = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(display), GDK_KEY_Return, &keys,
                                        &count) &&
      count > 0) {
    event->key.hardware_keycode = static_cast<guint16>(keys[0].keycode);
  }
  g_free(keys);
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(display)));
  gtk_main_do_event(event);
  gdk_event_free(event);
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
        wholeText = FindExpander(GTK_WIDGET(w->data)) != nullptr;
        gtk_dialog_response(GTK_DIALOG(w->data), response_);
      }
    }
    g_list_free(windows);
  }
  std::string title;
  bool wholeText = false;

 private:
  int response_;
};

class MessageBoxAnswers : public testing::TestWithParam<Answered> {};

TEST_P(MessageBoxAnswers, GiveBackTheButtonPressed) {
  const Answered a = GetParam();
  Presser presser(a.gtk_response);
  EXPECT_EQ(RunMessageBox(nullptr, "File x exists,Overwrite File", "", a.style), a.expected);
  EXPECT_EQ(presser.title, "Brookwave");  // an empty caption shows the program's name
  EXPECT_FALSE(presser.wholeText) << "a text shown whole needs no second copy";
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

// A text with a 120,000-character path (any program may hand one over): the box shows it
// shortened and still fits the screen with the whole text opened below, where it can be
// selected; Enter answers the box.
TEST(MessageBoxSize, ALongTextFitsTheScreenKeepsTheWholeTextAndEnterAnswers) {
  // Watches the box every 20 ms: opens the whole text, measures the box once it has grown,
  // then presses Enter.
  class Reader : public wxTimer {
   public:
    Reader() { Start(20); }
    void Notify() override {
      GtkWindow* box = ShownMessageBox();
      if (box == nullptr) return;
      if (expander == nullptr) {
        expander = FindExpander(GTK_WIDGET(box));
        if (expander == nullptr) return Answer(box, GTK_RESPONSE_CANCEL);
        wholeText = BufferText(FindTextView(expander));
        enterAnswers = gtk_window_get_focus(box) == gtk_window_get_default_widget(box);
        gtk_expander_set_expanded(GTK_EXPANDER(expander), TRUE);
      } else if (width == 0) {
        // Once the box has grown round the opened text.
        GtkWidget* scrolled = gtk_bin_get_child(GTK_BIN(expander));
        if (!gtk_widget_get_mapped(scrolled) || gtk_widget_get_allocated_height(scrolled) < 160)
          return;
        gtk_window_get_size(box, &width, &height);
        PressEnter(box);
      } else if (++waited > 250) {
        Answer(box, GTK_RESPONSE_CANCEL);  // Enter did not answer it: only bounds the hang
      }
    }
    std::string wholeText;
    bool enterAnswers = false;
    int width = 0, height = 0;

   private:
    static GtkWindow* ShownMessageBox() {
      GtkWindow* found = nullptr;
      GList* windows = gtk_window_list_toplevels();
      for (GList* w = windows; w != nullptr; w = w->next) {
        if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
          found = GTK_WINDOW(w->data);
      }
      g_list_free(windows);
      return found;
    }
    static GtkWidget* FindTextView(GtkWidget* expander) {
      GtkWidget* scrolled = gtk_bin_get_child(GTK_BIN(expander));
      return scrolled ? gtk_bin_get_child(GTK_BIN(scrolled)) : nullptr;
    }
    static std::string BufferText(GtkWidget* view) {
      if (view == nullptr || !GTK_IS_TEXT_VIEW(view)) return {};
      GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
      GtkTextIter start, end;
      gtk_text_buffer_get_bounds(buffer, &start, &end);
      gchar* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
      std::string out(text);
      g_free(text);
      return out;
    }
    void Answer(GtkWindow* box, int response) {
      Stop();
      gtk_dialog_response(GTK_DIALOG(box), response);
    }

    GtkWidget* expander = nullptr;
    int waited = 0;
  } reader;
  const std::string text = "File /" + std::string(120000, 'x') + ".wav not found";
  EXPECT_EQ(RunMessageBox(nullptr, text, "", kMbOk), kIdOk);
  reader.Stop();
  // Compared whole, not printed: the texts run to 120,000 characters.
  EXPECT_TRUE(reader.wholeText == text)
      << "the whole text has " << reader.wholeText.size() << " of " << text.size() << " bytes";
  EXPECT_TRUE(reader.enterAnswers) << "the keyboard focus is not on the default button";
  GdkRectangle screen{};
  gdk_monitor_get_geometry(gdk_display_get_primary_monitor(gdk_display_get_default()), &screen);
  EXPECT_GT(reader.width, 0);
  EXPECT_LE(reader.width, screen.width);
  EXPECT_LE(reader.height, screen.height);
}

}  // namespace
}  // namespace bw
