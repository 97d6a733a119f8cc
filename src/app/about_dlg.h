// The about box (dialog 100): the program's picture, name and version.
//
// Called on the user-interface thread only.
#pragma once

#include <wx/dialog.h>

namespace bw {

class CAboutDlg : public wxDialog {
 public:
  // Builds the dialog from its template; IsOk() is false when the template is missing.
  explicit CAboutDlg(wxWindow* parent);
  bool IsOk() const { return m_bOk; }

 private:
  bool m_bOk = false;
};

// Runs the about box modally; what it returns is of no interest.
void RunAboutDlg(wxWindow* parent);

}  // namespace bw
