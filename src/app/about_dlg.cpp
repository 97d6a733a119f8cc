#include "app/about_dlg.h"

#include <wx/statbmp.h>
#include <wx/xrc/xmlres.h>

#include "res/resources.h"

namespace bw {

CAboutDlg::CAboutDlg(wxWindow* parent) {
  if (!res::LoadDialogTemplates() ||
      !wxXmlResource::Get()->LoadDialog(this, parent, "IDD_ABOUTBOX")) {
    return;
  }
  if (auto* picture = XRCCTRL(*this, "IDC_ABOUT_PICTURE", wxStaticBitmap)) {
    // The picture is drawn for the font size: 96 dpi fonts take the small one.
    const double scale = GetCharHeight() / static_cast<double>(FromDIP(17));
    picture->SetBitmap(res::AboutPicture(scale));
  }
  m_bOk = true;
}

void RunAboutDlg(wxWindow* parent) {
  CAboutDlg dialog(parent);
  if (dialog.IsOk()) dialog.ShowModal();
}

}  // namespace bw
