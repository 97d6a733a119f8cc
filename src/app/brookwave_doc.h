// CBrookwaveDoc: the program's document, an empty shell. It stores and loads nothing; opening
// a file through it only checks that the file can be opened, and records its path and title.
// All audio state belongs to the view.
#pragma once

#include <wx/docview.h>

namespace bw {

class CBrookwaveDoc : public wxDocument {
 public:
  // A new document is titled "Untitled" and has no path.
  bool OnNewDocument() override;
  // Checks that the file can be opened (nothing is read); the file's name becomes the title.
  bool OnOpenDocument(const wxString& filename) override;

 protected:
  // Refuses what is not a regular file that can be opened for reading.
  bool DoOpenDocument(const wxString& file) override;

 private:
  wxDECLARE_DYNAMIC_CLASS(CBrookwaveDoc);
};

}  // namespace bw
