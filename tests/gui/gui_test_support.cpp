#include "gui_test_support.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/evtloop.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/uiaction.h>
#include <wx/xrc/xmlres.h>

#include <cstdlib>
#include <filesystem>

namespace bw::test {
namespace {

wxDialog* ModalDialog() {
  for (wxWindow* window : wxTopLevelWindows) {
    auto* dialog = dynamic_cast<wxDialog*>(window);
    if (dialog != nullptr && dialog->IsModal()) return dialog;
  }
  return nullptr;
}

}  // namespace

void ScheduleModalScript(std::function<void(wxDialog&)> script) {
  wxTheApp->CallAfter([script = std::move(script)] {
    wxDialog* dialog = ModalDialog();
    if (dialog == nullptr) {
      ADD_FAILURE() << "no modal dialog came up";
      return;
    }
    script(*dialog);
    if (ModalDialog() == dialog) {
      ADD_FAILURE() << "the script left the dialog open";
      dialog->EndModal(wxID_CANCEL);
    }
  });
}

void MessageBoxAnswerer::Notify() {
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w != nullptr; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    gchar* text = nullptr;
    g_object_get(w->data, "text", &text, nullptr);
    texts.emplace_back(text != nullptr ? text : "");
    g_free(text);
    gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_OK);
  }
  g_list_free(windows);
}

// A nested event loop rather than Yield: GTK draws only from its own main loop.
void Settle(int ms) {
  wxGUIEventLoop loop;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
  timer.StartOnce(ms);
  loop.Run();
}

bool SettleUntil(const std::function<bool()>& done, int most_ms, const char* caller_file,
                 int caller_line) {
  for (int waited = 0; !done(); waited += 20) {
    if (waited >= most_ms) {
      ADD_FAILURE_AT(caller_file, caller_line)
          << "what the test waits for did not happen in " << most_ms << " ms";
      return false;
    }
    Settle(20);
  }
  return true;
}

namespace {

// Counts the idle rounds wx runs: the app has its idle event before every window.
class IdleRounds : public wxEvtHandler {
 public:
  IdleRounds() { wxTheApp->Bind(wxEVT_IDLE, &IdleRounds::OnIdle, this); }
  ~IdleRounds() override { wxTheApp->Unbind(wxEVT_IDLE, &IdleRounds::OnIdle, this); }
  int count = 0;

 private:
  void OnIdle(wxIdleEvent& event) {
    ++count;
    event.Skip();
  }
};

}  // namespace

void HandleQueued() {
  gdk_display_sync(gdk_display_get_default());
  wxGUIEventLoop loop;
  const wxEventLoopActivator active(&loop);
  // Idle comes after every other source, so two rounds follow what was queued and what the first
  // round queued in turn. More would spin: a floating frame asks for idle time as long as the
  // button is down, and asks the X server for the button each time.
  IdleRounds idle;
  // wx runs idle rounds back to back for as long as one asks for more and nothing else is
  // pending; a ticking timer is something pending, so the count above is looked at.
  wxTimer tick;
  tick.Bind(wxEVT_TIMER, [](wxTimerEvent&) {});
  tick.Start(10);
  // What the test itself queued goes first, before timers that have come due meanwhile.
  for (int handled = 0; handled < 10000 && idle.count < 2; ++handled) {
    if (wxTheApp->HasPendingEvents()) {
      wxTheApp->ProcessPendingEvents();
    } else if (gtk_events_pending()) {
      gtk_main_iteration_do(FALSE);
    } else {
      return;
    }
  }
}

bool WaitUntilDrawn(wxWindow& window) {
  HandleQueued();  // the exposures and refreshes asked for so far
  GdkWindow* top = gtk_widget_get_window(gtk_widget_get_toplevel(window.GetHandle()));
  if (top == nullptr || !gdk_window_is_viewable(top)) {
    ADD_FAILURE() << "the window is not on the screen";
    return false;
  }
  GdkFrameClock* clock = gdk_window_get_frame_clock(top);
  bool painted = false;
  const gulong handler = g_signal_connect_swapped(
      clock, "after-paint", G_CALLBACK(+[](bool* done) { *done = true; }), &painted);
  gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
  const bool done = SettleUntil([&] { return painted; });
  g_signal_handler_disconnect(clock, handler);
  return done;
}

namespace {

// Notes the pointer's arrival at `at` in `window`: a motion there, or (`entering`) its entering
// there. It watches before any handler, which might keep the event to itself.
class PointerWatch : public wxEventFilter {
 public:
  PointerWatch(wxWindow& window, const wxPoint& at, bool entering)
      : window_(window), at_(at), entering_(entering) {
    wxEvtHandler::AddFilter(this);
  }
  ~PointerWatch() override { wxEvtHandler::RemoveFilter(this); }
  PointerWatch(const PointerWatch&) = delete;
  PointerWatch& operator=(const PointerWatch&) = delete;

  int FilterEvent(wxEvent& event) override {
    const wxEventType type = event.GetEventType();
    if ((type == wxEVT_MOTION || (entering_ && type == wxEVT_ENTER_WINDOW)) &&
        event.GetEventObject() == &window_ &&
        static_cast<wxMouseEvent&>(event).GetPosition() == at_)
      arrived_ = true;
    return Event_Skip;
  }
  bool Arrived() const { return arrived_; }

 private:
  wxWindow& window_;
  wxPoint at_;
  bool entering_;
  bool arrived_ = false;
};

void MoveUntilArrived(wxWindow& window, const wxPoint& at, bool entering) {
  const PointerWatch watch(window, at, entering);
  const wxPoint target = window.ClientToScreen(at);
  wxUIActionSimulator().MouseMove(target);
  // A pop-up that is closing may still hold the pointer, and the motion then goes to it, not to
  // `window`: once the X server has the pointer there, its event is waited for only a while.
  int waitedThere = 0;
  SettleUntil([&] {
    if (wxGetMousePosition() == target) waitedThere += 20;
    return watch.Arrived() || waitedThere >= 2000;
  });
}

}  // namespace

// Moved as the mouse moves it (a warp brings no motion), and to a point beside first: moved to
// where it is already, the pointer brings nothing, and coming in from another window, maybe
// only its entering.
void MovePointer(wxWindow& window, const wxPoint& at) {
  const wxPoint beside = at + wxPoint(at.x > 0 ? -1 : 1, 0);
  if (wxGetMousePosition() != window.ClientToScreen(beside)) MoveUntilArrived(window, beside, true);
  MoveUntilArrived(window, at, false);
}

namespace {

// Sets the control `id` of type T as the user would (`set`) and sends the command event the
// widget sends then (type 0: the setter sends it itself).
template <typename T, typename Set>
void Operate(wxWindow& dialog, int id, wxEventType type, int value, Set set) {
  auto* control = dynamic_cast<T*>(dialog.FindWindow(id));
  if (control == nullptr) {
    ADD_FAILURE() << "no control " << id << " of the expected kind";
    return;
  }
  set(*control);
  if (type == 0) return;
  wxCommandEvent event(type, id);
  event.SetEventObject(control);
  event.SetInt(value);
  control->ProcessWindowEvent(event);
}

}  // namespace

void Click(wxWindow& dialog, int id) {
  Operate<wxButton>(dialog, id, wxEVT_BUTTON, 0, [](wxButton&) {});
}

void Type(wxWindow& dialog, int id, std::string_view text) {
  Operate<wxTextCtrl>(dialog, id, 0, 0, [&](wxTextCtrl& edit) {
    edit.SetValue(wxString::FromUTF8(text.data(), text.size()));  // sends wxEVT_TEXT
  });
}

void MoveSlider(wxWindow& dialog, int id, int position) {
  Operate<wxSlider>(dialog, id, wxEVT_SLIDER, position,
                    [&](wxSlider& slider) { slider.SetValue(position); });
}

void SetCheck(wxWindow& dialog, int id, bool checked) {
  Operate<wxCheckBox>(dialog, id, wxEVT_CHECKBOX, checked,
                      [&](wxCheckBox& box) { box.SetValue(checked); });
}

void ChooseRadio(wxWindow& dialog, int id) {
  Operate<wxRadioButton>(dialog, id, wxEVT_RADIOBUTTON, 1,
                         [](wxRadioButton& button) { button.SetValue(true); });
}

bool HasFocusInWindow(wxWindow& control) {
  GtkWidget* top = gtk_widget_get_toplevel(control.GetHandle());
  return GTK_IS_WINDOW(top) && gtk_window_get_focus(GTK_WINDOW(top)) == control.GetHandle();
}

void SelectTab(wxBookCtrlBase& book, std::size_t index) {
  book.SetSelection(index);  // sends the changing and changed events, as a click does
  HandleQueued();            // what the sheet queued in reply
}

wxWindow* FindControl(wxWindow& parent, const char* name) {
  return parent.FindWindow(XRCID(name));
}

wxImage GrabScreen(const wxRect& r) {
  GdkPixbuf* shot =
      gdk_pixbuf_get_from_window(gdk_get_default_root_window(), r.x, r.y, r.width, r.height);
  if (shot == nullptr) {
    ADD_FAILURE() << "the screen could not be read";
    return wxImage(r.width, r.height);
  }
  wxImage image(r.width, r.height);
  const int stride = gdk_pixbuf_get_rowstride(shot);
  const int channels = gdk_pixbuf_get_n_channels(shot);
  const guchar* pixels = gdk_pixbuf_get_pixels(shot);
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      const guchar* p = pixels + y * stride + x * channels;
      image.SetRGB(x, y, p[0], p[1], p[2]);
    }
  }
  g_object_unref(shot);
  return image;
}

namespace {

// A dark theme's pictures stand beside the light ones: <name>_dark_<dpi>dpi.png.
std::string ScreenshotName(std::string_view name) {
  const char* dpi = std::getenv("BW_SCREEN_DPI");
  const char* theme = std::getenv("GTK_THEME");
  const bool dark = theme != nullptr && std::string_view(theme).ends_with(":dark");
  return std::string(name) + (dark ? "_dark" : "") + "_" + (dpi ? dpi : "96") + "dpi.png";
}

}  // namespace

// Read back from the X server through GDK: wx's screen context keeps showing the first frame
// it read.
void SaveScreenshot(wxWindow& window, std::string_view name) {
  SaveScreenshot({&window}, name);
}

void SaveScreenshot(std::initializer_list<wxWindow*> windows, std::string_view name) {
  wxRect rect;
  for (wxWindow* window : windows) {
    window->Raise();
    rect = rect.IsEmpty() ? window->GetScreenRect() : rect.Union(window->GetScreenRect());
  }
  for (wxWindow* window : windows)
    WaitUntilDrawn(*window);
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rect.x, rect.y,
                                               rect.width, rect.height);
  ASSERT_NE(shot, nullptr);
  const std::filesystem::path dir(BW_SCREENSHOT_DIR);
  std::filesystem::create_directories(dir);
  const std::string file = (dir / ScreenshotName(name)).string();
  EXPECT_TRUE(gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr)) << file;
  g_object_unref(shot);
}

}  // namespace bw::test
