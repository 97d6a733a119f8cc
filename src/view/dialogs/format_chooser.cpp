#include "view/dialogs/format_chooser.h"

#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/xrc/xmlres.h>

#include "platform/acm/acm.h"
#include "res/dialog_ids.h"
#include "res/resources.h"
#include "view/dialogs/wx_text.h"

namespace bw {
namespace {

// How well `candidate` fits the fields that `wanted` sets (a field left 0 fits anything).
bool FitsSetFields(const WAVEFORMATEX& wanted, const WAVEFORMATEX& candidate) {
  auto fits = [](auto want, auto have) { return want == 0 || want == have; };
  return fits(wanted.nChannels, candidate.nChannels) &&
         fits(wanted.nSamplesPerSec, candidate.nSamplesPerSec) &&
         fits(wanted.wBitsPerSample, candidate.wBitsPerSample) &&
         fits(wanted.nAvgBytesPerSec, candidate.nAvgBytesPerSec) &&
         fits(wanted.nBlockAlign, candidate.nBlockAlign);
}

// The MPEG Layer-3 preset of Save and Export leaves the bit rate open; 128 kbit/s is what the
// command line's preset and most users expect rather than the lowest rate listed.
constexpr uint32_t kPresetMp3BytesPerSec = 128000 / 8;

std::size_t ClosestFormat(const std::vector<AcmFormatDetails>& formats, const FormatBlock& wanted) {
  for (std::size_t i = 0; i < formats.size(); ++i) {
    if (formats[i].format == wanted) return i;
  }
  WAVEFORMATEX preferred = wanted.format();
  if (preferred.wFormatTag == kWaveFormatMpegLayer3 && preferred.nAvgBytesPerSec == 0) {
    preferred.nAvgBytesPerSec = kPresetMp3BytesPerSec;
  }
  for (const WAVEFORMATEX& target : {preferred, wanted.format()}) {
    for (std::size_t i = 0; i < formats.size(); ++i) {
      if (FitsSetFields(target, formats[i].format.format())) return i;
    }
  }
  return 0;
}

}  // namespace

FormatChooserLists ListChooserFormats(const FormatChooserSpec& chooser) {
  const AcmFormatFilter filter{chooser.channels, chooser.samples_per_sec};
  FormatChooserLists lists;
  for (const AcmFormatTagDetails& tag : EnumFormatTags()) {
    std::vector<AcmFormatDetails> formats = EnumFormats(tag.dwFormatTag, filter);
    if (formats.empty()) continue;
    lists.tags.push_back(tag);
    lists.formats.push_back(std::move(formats));
  }
  if (!chooser.start_on_initial) return lists;
  for (std::size_t t = 0; t < lists.tags.size(); ++t) {
    if (lists.tags[t].dwFormatTag == chooser.initial.format().wFormatTag) {
      lists.tag = t;
      lists.format = ClosestFormat(lists.formats[t], chooser.initial);
    }
  }
  return lists;
}

CFormatChooser::CFormatChooser(wxWindow* parent, const FormatChooserSpec& chooser)
    : m_lists(ListChooserFormats(chooser)) {
  if (!res::LoadDialogTemplates() ||
      !wxXmlResource::Get()->LoadDialog(this, parent, "IDD_FORMAT_CHOOSER")) {
    return;
  }
  SetTitle(ToWx(chooser.title));
  m_pTagList = XRCCTRL(*this, "IDC_CHOOSER_TAG", wxChoice);
  m_pFormatList = XRCCTRL(*this, "IDC_CHOOSER_FORMAT", wxListBox);
  for (const AcmFormatTagDetails& tag : m_lists.tags)
    m_pTagList->Append(ToWx(tag.szFormatTag));
  if (!m_lists.empty()) {
    m_pTagList->SetSelection(static_cast<int>(m_lists.tag));
    FillFormatList(m_lists.tag, m_lists.format);
  }
  m_pTagList->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { OnTagChanged(); });
  m_pFormatList->Bind(wxEVT_LISTBOX_DCLICK, [this](wxCommandEvent&) { EndModal(wxID_OK); });
  m_pFormatList->SetFocus();
}

void CFormatChooser::FillFormatList(std::size_t tag, std::size_t selection) {
  wxArrayString items;
  for (const AcmFormatDetails& format : m_lists.formats[tag])
    items.Add(ToWx(format.szFormat));
  m_pFormatList->Set(items);
  m_pFormatList->SetSelection(static_cast<int>(selection));
  m_pFormatList->EnsureVisible(static_cast<int>(selection));
}

void CFormatChooser::OnTagChanged() {
  const int tag = m_pTagList->GetSelection();
  if (tag == wxNOT_FOUND) return;
  m_lists.tag = static_cast<std::size_t>(tag);
  FillFormatList(m_lists.tag, 0);
}

const FormatBlock& CFormatChooser::SelectedFormat() const {
  const auto& formats = m_lists.formats[m_lists.tag];
  const int selection = m_pFormatList->GetSelection();
  return formats[selection == wxNOT_FOUND ? 0 : static_cast<std::size_t>(selection)].format;
}

FormatChoice ChooseFormat(wxWindow* parent, const FormatChooserSpec& chooser) {
  FormatChoice choice{static_cast<int>(ACMERR_NOTPOSSIBLE), chooser.initial};
  CFormatChooser dialog(parent, chooser);
  if (!dialog.IsOk() || !dialog.HasFormats()) return choice;
  if (dialog.ShowModal() != wxID_OK) {
    choice.result = static_cast<int>(ACMERR_CANCELED);
    return choice;
  }
  choice.result = 0;
  choice.format = dialog.SelectedFormat();
  return choice;
}

}  // namespace bw
