// The floor for the start-up benchmark: the least a wxWidgets program does to show a window
// (an application object and one empty frame).
#include <wx/app.h>
#include <wx/frame.h>

class BareApp : public wxApp {
 public:
  bool OnInit() override {
    // The frame deletes itself when closed, as every top-level wx window does.
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Bare frame", wxDefaultPosition, wxSize(480, 320));
    frame->Show();
    return true;
  }
};

wxIMPLEMENT_APP(BareApp);
