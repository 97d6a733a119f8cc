#include "settings/property_sheet.h"

#include <wx/bookctrl.h>
#include <wx/button.h>

namespace bw {

CPropertySheet::CPropertySheet(wxWindow* parent, const wxString& caption)
    : wxPropertySheetDialog(parent, wxID_ANY, caption) {
  GetBookCtrl()->Bind(wxEVT_BOOKCTRL_PAGE_CHANGING, &CPropertySheet::OnPageChanging, this);
  GetBookCtrl()->Bind(wxEVT_BOOKCTRL_PAGE_CHANGED, &CPropertySheet::OnPageChanged, this);
  Bind(wxEVT_BUTTON, &CPropertySheet::OnOK, this, wxID_OK);
  Bind(wxEVT_BUTTON, &CPropertySheet::OnApplyNow, this, wxID_APPLY);
}

bool CPropertySheet::AddPage(std::unique_ptr<CSheetPage> owned, const char* name,
                             const wxString& title) {
  if (!owned->Create(GetBookCtrl(), name)) return false;
  CSheetPage* page = owned.release();  // a child window now: its parent deletes it
  page->m_onModified = [this] { SetApplyEnabled(true); };
  page->m_bVisited = m_pages.empty();
  m_pages.push_back(page);
  GetBookCtrl()->AddPage(page, title, m_pages.size() == 1);
  return true;
}

void CPropertySheet::Finish() {
  CreateButtons(wxOK | wxCANCEL | wxAPPLY);
  LayoutDialog();
  SetApplyEnabled(false);
}

CSheetPage* CPropertySheet::ActivePage() const {
  const int index = GetBookCtrl()->GetSelection();
  return index == wxNOT_FOUND ? nullptr : m_pages[static_cast<std::size_t>(index)];
}

bool CPropertySheet::SetActivePage(std::size_t index) {
  if (index >= m_pages.size()) return false;
  GetBookCtrl()->SetSelection(index);
  return GetBookCtrl()->GetSelection() == static_cast<int>(index);
}

void CPropertySheet::SetApplyEnabled(bool enabled) {
  if (wxWindow* apply = FindWindow(wxID_APPLY)) apply->Enable(enabled);
}

// The shown page first, so that its failure is the one the user sees; pages left earlier were
// valid when they were left and have not changed since.
bool CPropertySheet::TakeVisitedPages() {
  CSheetPage* active = ActivePage();
  if (active != nullptr && !active->UpdateData(true)) return false;
  for (CSheetPage* page : m_pages) {
    if (page != active && page->m_bVisited && !page->UpdateData(true)) return false;
  }
  return true;
}

void CPropertySheet::OnPageChanging(wxBookCtrlEvent& event) {
  const int old = event.GetOldSelection();
  if (old == wxNOT_FOUND || m_pages[static_cast<std::size_t>(old)]->UpdateData(true)) return;
  event.Veto();
  // wxGTK can switch anyway when the change was asked for by code: go back once it has.
  CallAfter([this, old] {
    if (GetBookCtrl()->GetSelection() != old) GetBookCtrl()->ChangeSelection(old);
  });
}

void CPropertySheet::OnPageChanged(wxBookCtrlEvent& event) {
  if (CSheetPage* page = ActivePage()) page->m_bVisited = true;
  event.Skip();
}

void CPropertySheet::OnOK(wxCommandEvent&) {
  if (!TakeVisitedPages()) return;
  for (CSheetPage* page : m_pages) {
    if (page->m_bVisited) page->OnApply();
  }
  EndModal(wxID_OK);
}

void CPropertySheet::OnApplyNow(wxCommandEvent&) {
  CSheetPage* active = ActivePage();
  if (active != nullptr && !active->UpdateData(true)) return;
  for (CSheetPage* page : m_pages) {
    if (page->m_bVisited) page->OnApply();
  }
  SetApplyEnabled(false);
}

}  // namespace bw
