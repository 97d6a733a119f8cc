// A modal property sheet over pages built from dialog templates, with the framework's rules:
// a page cannot be left while a field on it is invalid; OK takes every page that was shown and
// closes only when all of them are valid; Apply takes the shown page, runs the pages' OnApply
// and turns itself off until the next change; Cancel takes nothing.
//
// Called on the user-interface thread only.
#pragma once

#include <wx/bookctrl.h>
#include <wx/propdlg.h>

#include <memory>
#include <vector>

#include "settings/property_page.h"

namespace bw {

class CPropertySheet : public wxPropertySheetDialog {
 public:
  CPropertySheet(wxWindow* parent, const wxString& caption);

  // Builds `page` from template `name` and adds it as the next tab, which then owns the page
  // window; false when the template is missing.
  bool AddPage(std::unique_ptr<CSheetPage> page, const char* name, const wxString& title);
  // Adds the buttons and lays the sheet out; call after the last page.
  void Finish();

  CSheetPage* ActivePage() const;
  // Selects tab `index` as the user would (the page being left is taken first).
  bool SetActivePage(std::size_t index);

 private:
  bool TakeVisitedPages();
  void OnPageChanging(wxBookCtrlEvent& event);
  void OnPageChanged(wxBookCtrlEvent& event);
  void OnOK(wxCommandEvent& event);
  void OnApplyNow(wxCommandEvent& event);
  void SetApplyEnabled(bool enabled);

  std::vector<CSheetPage*> m_pages;
};

}  // namespace bw
