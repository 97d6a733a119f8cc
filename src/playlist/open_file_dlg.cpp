#include "playlist/open_file_dlg.h"

#include <wx/button.h>
#include <wx/filectrl.h>
#include <wx/utils.h>
#include <wx/xrc/xmlres.h>

#include "platform/user_folders.h"
#include "res/resources.h"
#include "view/dialogs/file_dialog.h"
#include "view/dialogs/wx_text.h"

namespace bw {

COpenFileDlg::COpenFileDlg(wxWindow* parent, const wxString& folder) {
  if (!res::LoadDialogTemplates() ||
      !wxXmlResource::Get()->LoadDialog(this, parent, "IDD_OPENFILE")) {
    return;
  }
  // GTK matches patterns case-sensitively; SONG.WAV is a wave file too.
  auto* browser = new wxFileCtrl(this, wxID_ANY, folder, wxEmptyString,
                                 "Wave Files (*.wav)|*.[Ww][Aa][Vv]", wxFC_OPEN);
  if (!wxXmlResource::Get()->AttachUnknownControl("IDC_BROWSER_PLACE", browser, this)) {
    browser->Destroy();
    return;
  }
  m_pBrowser = browser;
  m_pBrowser->Bind(wxEVT_FILECTRL_SELECTIONCHANGED,
                   [this](wxFileCtrlEvent&) { OnSelectionChanged(); });
  m_pBrowser->Bind(wxEVT_FILECTRL_FILEACTIVATED, [this](wxFileCtrlEvent&) {
    if (!GetPathName().empty()) EndModal(wxID_OK);
  });
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        if (!GetPathName().empty()) EndModal(wxID_OK);
      },
      wxID_OK);
  OnSelectionChanged();
}

std::string COpenFileDlg::GetPathName() const {
  if (m_pBrowser == nullptr) return {};
  const std::string path = PathFromWx(m_pBrowser->GetPath());
  return path.empty() ? path : WithDefaultExtension(path, "wav");
}

void COpenFileDlg::OnSelectionChanged() {
  if (wxWindow* open = FindWindow(wxID_OK)) open->Enable(!GetPathName().empty());
}

std::optional<std::string> RunOpenFileDlg(wxWindow* parent) {
  COpenFileDlg dialog(parent, PathToWx(HomeFolder()));
  if (!dialog.IsOk() || dialog.ShowModal() != wxID_OK) return std::nullopt;
  return dialog.GetPathName();
}

}  // namespace bw
