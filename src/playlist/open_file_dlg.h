// The Open File dialog of File > Open (template 151): a file browser of wave files with an
// "Open" button and the program's version under it.
//
// Called on the user-interface thread only.
#pragma once

#include <wx/dialog.h>
#include <wx/filectrl.h>

#include <optional>
#include <string>

namespace bw {

class COpenFileDlg : public wxDialog {
 public:
  // Builds the dialog from its template, browsing `folder`; IsOk() is false when the template
  // is missing.
  COpenFileDlg(wxWindow* parent, const wxString& folder);

  bool IsOk() const { return m_pBrowser != nullptr; }
  wxFileCtrl* Browser() const { return m_pBrowser; }
  // The file the user chose (valid after OK), with "wav" added to a name typed without an
  // extension.
  std::string GetPathName() const;

 private:
  void OnSelectionChanged();

  wxFileCtrl* m_pBrowser = nullptr;
};

// Runs the dialog modally, starting in the user's home folder; the chosen path, or nothing when
// cancelled (or when the template is missing). Every file is accepted.
std::optional<std::string> RunOpenFileDlg(wxWindow* parent);

}  // namespace bw
