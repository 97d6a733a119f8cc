#include "gui_test_support.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/bookctrl.h>
#include <wx/checkbox.h>
#include <wx/evtloop.h>
#include <wx/radiobut.h>
#include <wx/slider.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
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

// A nested event loop rather than Yield: GTK draws only from its own main loop.
void Settle(int ms) {
  wxGUIEventLoop loop;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
  timer.StartOnce(ms);
  loop.Run();
}

void Click(wxWindow& dialog, int id) {
  wxWindow* button = dialog.FindWindow(id);
  if (button == nullptr) {
    ADD_FAILURE() << "no button " << id;
    return;
  }
  wxCommandEvent click(wxEVT_BUTTON, id);
  click.SetEventObject(button);
  button->ProcessWindowEvent(click);
}

void Type(wxWindow& dialog, int id, std::string_view text) {
  auto* edit = dynamic_cast<wxTextCtrl*>(dialog.FindWindow(id));
  if (edit == nullptr) {
    ADD_FAILURE() << "no edit " << id;
    return;
  }
  edit->SetValue(wxString::FromUTF8(text.data(), text.size()));  // sends wxEVT_TEXT
}

void MoveSlider(wxWindow& dialog, int id, int position) {
  auto* slider = dynamic_cast<wxSlider*>(dialog.FindWindow(id));
  if (slider == nullptr) {
    ADD_FAILURE() << "no slider " << id;
    return;
  }
  slider->SetValue(position);
  wxCommandEvent moved(wxEVT_SLIDER, id);
  moved.SetEventObject(slider);
  moved.SetInt(position);
  slider->ProcessWindowEvent(moved);
}

void SetCheck(wxWindow& dialog, int id, bool checked) {
  auto* box = dynamic_cast<wxCheckBox*>(dialog.FindWindow(id));
  if (box == nullptr) {
    ADD_FAILURE() << "no check box " << id;
    return;
  }
  box->SetValue(checked);
  wxCommandEvent clicked(wxEVT_CHECKBOX, id);
  clicked.SetEventObject(box);
  clicked.SetInt(checked);
  box->ProcessWindowEvent(clicked);
}

void ChooseRadio(wxWindow& dialog, int id) {
  auto* button = dynamic_cast<wxRadioButton*>(dialog.FindWindow(id));
  if (button == nullptr) {
    ADD_FAILURE() << "no radio button " << id;
    return;
  }
  button->SetValue(true);
  wxCommandEvent clicked(wxEVT_RADIOBUTTON, id);
  clicked.SetEventObject(button);
  clicked.SetInt(1);
  button->ProcessWindowEvent(clicked);
}

bool HasFocusInWindow(wxWindow& control) {
  GtkWidget* top = gtk_widget_get_toplevel(control.GetHandle());
  return GTK_IS_WINDOW(top) && gtk_window_get_focus(GTK_WINDOW(top)) == control.GetHandle();
}

void SelectTab(wxBookCtrlBase& book, std::size_t index) {
  book.SetSelection(index);  // sends the changing and changed events, as a click does
  Settle(20);
}

wxWindow* FindControl(wxWindow& parent, const char* name) {
  return parent.FindWindow(XRCID(name));
}

// Read back from the X server through GDK: wx's screen context keeps showing the first frame
// it read.
void SaveScreenshot(wxWindow& window, std::string_view name) {
  Settle(300);
  window.Raise();
  Settle(200);
  const wxRect rect = window.GetScreenRect();
  GdkPixbuf* shot = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rect.x, rect.y,
                                               rect.width, rect.height);
  ASSERT_NE(shot, nullptr);
  const char* dpi = std::getenv("BW_SCREEN_DPI");
  const std::filesystem::path dir(BW_SCREENSHOT_DIR);
  std::filesystem::create_directories(dir);
  const std::string file =
      (dir / (std::string(name) + "_" + (dpi ? dpi : "96") + "dpi.png")).string();
  EXPECT_TRUE(gdk_pixbuf_save(shot, file.c_str(), "png", nullptr, nullptr)) << file;
  g_object_unref(shot);
}

}  // namespace bw::test
