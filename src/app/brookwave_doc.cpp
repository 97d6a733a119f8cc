#include "app/brookwave_doc.h"

#include <wx/filename.h>

namespace bw {

wxIMPLEMENT_DYNAMIC_CLASS(CBrookwaveDoc, wxDocument);

bool CBrookwaveDoc::OnNewDocument() {
  if (!wxDocument::OnNewDocument()) return false;
  // The base takes the title for a file name too; the view must not take it for a path.
  SetFilename(wxString(), false);
  return true;
}

bool CBrookwaveDoc::OnOpenDocument(const wxString& filename) {
  if (!wxDocument::OnOpenDocument(filename)) return false;
  SetTitle(wxFileName(filename).GetFullName());
  return true;
}

}  // namespace bw
