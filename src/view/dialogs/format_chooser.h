// The format chooser ("Format Selection"): a list of format tags and a list of the chosen tag's
// formats over the codec layer's registry, restricted and initialised as the caller asks. The
// desktop program's answer to the window interface's ChooseFormat.
//
// Called on the user-interface thread only.
#pragma once

#include <wx/dialog.h>

#include <cstddef>
#include <vector>

#include "platform/acm/acm_formats.h"
#include "view/view_window.h"

class wxChoice;
class wxListBox;

namespace bw {

// What a chooser offers and where it opens.
struct FormatChooserLists {
  // Tags that have at least one format within the restriction, ascending, each with its formats.
  std::vector<AcmFormatTagDetails> tags;
  std::vector<std::vector<AcmFormatDetails>> formats;
  // The selection it opens on: the given format when asked and offered (else the closest one
  // of its tag, else its tag's first), otherwise the first format of the first tag.
  std::size_t tag = 0;
  std::size_t format = 0;

  bool empty() const { return tags.empty(); }
};

FormatChooserLists ListChooserFormats(const FormatChooserSpec& chooser);

// Runs the chooser modally over `parent`. OK returns 0 with the chosen format block; Cancel
// returns 515 (ACMERR_CANCELED) with the given block unchanged. When no format passes the
// restriction, or the dialog template is missing, nothing is shown and the result is
// ACMERR_NOTPOSSIBLE (512), which the callers treat as a failure of the chooser.
FormatChoice ChooseFormat(wxWindow* parent, const FormatChooserSpec& chooser);

class CFormatChooser : public wxDialog {
 public:
  // Builds the dialog from its template; IsOk() is false when the template is missing.
  CFormatChooser(wxWindow* parent, const FormatChooserSpec& chooser);

  bool IsOk() const { return m_pTagList != nullptr; }
  bool HasFormats() const { return !m_lists.empty(); }
  // The format selected now.
  const FormatBlock& SelectedFormat() const;

 private:
  void FillFormatList(std::size_t tag, std::size_t selection);
  void OnTagChanged();

  FormatChooserLists m_lists;
  wxChoice* m_pTagList = nullptr;
  wxListBox* m_pFormatList = nullptr;
};

}  // namespace bw
