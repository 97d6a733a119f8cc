#include "settings/property_page.h"

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include <cinttypes>
#include <cstdio>
#include <limits>

#include "platform/message_box.h"
#include "res/resources.h"
#include "view/dialogs/wx_text.h"

namespace bw {
namespace {

constexpr std::string_view kProgramName = "Brookwave";
constexpr std::size_t kDeviceBlanks = 53;
constexpr std::size_t kDeviceWordsText = 47;  // "%11u %11u %11u %11u"
constexpr std::size_t kMaxDeviceItem = 511;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The longest prefix of `text` of at most `max` bytes that does not split a UTF-8 character.
std::string_view Utf8Prefix(std::string_view text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t end = max;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
    --end;
  return text.substr(0, end);
}

}  // namespace

std::optional<int64_t> ParseDialogInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const std::size_t digits = i;
  uint64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
    if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return {};
  }
  if (i == digits) return {};
  while (i < text.size() && IsBlank(text[i]))
    ++i;
  if (i != text.size()) return {};
  const auto value = static_cast<int64_t>(magnitude);
  return negative ? -value : value;
}

std::string FormatDeviceItem(std::string_view description, const DeviceId& id) {
  const std::size_t room = kMaxDeviceItem - kDeviceBlanks - kDeviceWordsText;
  std::string item(Utf8Prefix(description, room));
  item.append(kDeviceBlanks, ' ');
  char words[64];
  std::snprintf(words, sizeof words, "%11" PRIu32 " %11" PRIu32 " %11" PRIu32 " %11" PRIu32,
                id.words[0], id.words[1], id.words[2], id.words[3]);
  item += words;
  return item;
}

// ---- DataExchange -----------------------------------------------------------------------

wxWindow* DataExchange::Control(int id) const {
  return m_pPage->FindWindow(id);
}

bool DataExchange::Fail(int id, const std::string& message) {
  ShowMessageBox(message, kProgramName, kMbOk | kMbIconExclamation);
  if (wxWindow* control = Control(id)) {
    control->SetFocus();
    if (auto* edit = dynamic_cast<wxTextCtrl*>(control)) edit->SelectAll();
  }
  return false;
}

bool DataExchange::Integer(int id, int32_t& value) {
  return IntegerInRange(id, value, std::numeric_limits<int32_t>::min(),
                        std::numeric_limits<int32_t>::max());
}

bool DataExchange::IntegerInRange(int id, int32_t& value, int32_t min, int32_t max) {
  auto* edit = dynamic_cast<wxTextCtrl*>(Control(id));
  if (edit == nullptr) return true;
  if (!m_bSave) {
    edit->ChangeValue(wxString::Format("%d", value));
    return true;
  }
  const std::optional<int64_t> number = ParseDialogInteger(FromWx(edit->GetValue()));
  const bool limited =
      min != std::numeric_limits<int32_t>::min() || max != std::numeric_limits<int32_t>::max();
  if (!number || (!limited && (*number < min || *number > max)))
    return Fail(id, "Please enter an integer.");
  if (*number < min || *number > max) {
    return Fail(id, "Please enter an integer between " + std::to_string(min) + " and " +
                        std::to_string(max) + ".");
  }
  value = static_cast<int32_t>(*number);
  return true;
}

void DataExchange::Text(int id, std::string& value) {
  auto* edit = dynamic_cast<wxTextCtrl*>(Control(id));
  if (edit == nullptr) return;
  if (m_bSave)
    value = FromWx(edit->GetValue());
  else
    edit->ChangeValue(ToWx(value));
}

void DataExchange::Check(int id, int32_t& value) {
  auto* box = dynamic_cast<wxCheckBox*>(Control(id));
  if (box == nullptr) return;
  if (m_bSave)
    value = box->GetValue() ? 1 : 0;
  else
    box->SetValue(value != 0);
}

void DataExchange::Radio(std::initializer_list<int> ids, const char* none_name, int32_t& value) {
  auto* none = dynamic_cast<wxRadioButton*>(m_pPage->FindWindow(XRCID(none_name)));
  int32_t index = 0;
  if (m_bSave) value = -1;
  for (int id : ids) {
    if (auto* button = dynamic_cast<wxRadioButton*>(Control(id))) {
      if (m_bSave && button->GetValue()) value = index;
      if (!m_bSave && index == value) button->SetValue(true);
    }
    ++index;
  }
  if (!m_bSave && (value < 0 || value >= index) && none != nullptr) none->SetValue(true);
}

bool DataExchange::MaxChars(int id, const std::string& value, std::size_t max) {
  if (!m_bSave || ToWx(value).length() <= max) return true;
  return Fail(id, "Please enter no more than " + std::to_string(max) + " characters.");
}

// ---- CSheetPage -------------------------------------------------------------------------

bool CSheetPage::Create(wxWindow* book, const char* name) {
  if (!res::LoadDialogTemplates() || !wxXmlResource::Get()->LoadPanel(this, book, name))
    return false;
  SetMinSize(GetSize());
  const auto modified = [this](wxCommandEvent& event) {
    SetModified();
    event.Skip();
  };
  Bind(wxEVT_TEXT, modified);
  Bind(wxEVT_CHECKBOX, modified);
  Bind(wxEVT_RADIOBUTTON, modified);
  Bind(wxEVT_CHOICE, modified);
  OnInitDialog();
  UpdateData(false);
  return true;
}

bool CSheetPage::UpdateData(bool from_controls) {
  DataExchange dx(this, from_controls);
  return DoDataExchange(dx);
}

void CSheetPage::SetModified() {
  if (m_onModified) m_onModified();
}

// ---- CFilePage --------------------------------------------------------------------------

bool CFilePage::DoDataExchange(DataExchange& dx) {
  dx.Text(XRCID("IDC_FILE_NAME"), m_data.m_strFile);
  dx.Text(XRCID("IDC_FILE_FORMAT"), m_data.m_strFormat);
  dx.Text(XRCID("IDC_FILE_DATE"), m_data.m_strDate);
  return dx.Integer(XRCID("IDC_FILE_CHANNELS"), m_data.m_nChannels) &&
         dx.Integer(XRCID("IDC_FILE_SAMPLES"), m_data.m_nSamplesPerSec) &&
         dx.Integer(XRCID("IDC_FILE_AVGBYTES"), m_data.m_nAvgBytesPerSec) &&
         dx.Integer(XRCID("IDC_FILE_SIZE"), m_data.m_nSize);
}

// ---- CDevicePage ------------------------------------------------------------------------

void CDevicePage::OnInitDialog() {
  auto* combo = dynamic_cast<wxChoice*>(FindWindow(m_nComboId));
  if (combo == nullptr) return;
  auto add = [&](std::string_view description, const DeviceId& id) {
    m_items.push_back(FormatDeviceItem(description, id));
    combo->Append(ToWx(description));
  };
  add("Windows Sound Driver", DeviceId{});
  combo->SetSelection(0);
  for (const SoundDeviceInfo& device : m_enumerate()) {
    add(device.description, device.id);
    if (m_rule == Selection::kLastEnumerated) combo->SetSelection(combo->GetCount() - 1);
  }
  for (std::size_t i = 0; i < m_items.size(); ++i) {
    if (m_items[i].find(m_data.m_strDevice) != std::string::npos)
      combo->SetSelection(static_cast<int>(i));
  }
}

bool CDevicePage::DoDataExchange(DataExchange& dx) {
  auto* combo = dynamic_cast<wxChoice*>(FindWindow(m_nComboId));
  if (combo == nullptr || !dx.from_controls()) return true;
  const int selection = combo->GetSelection();
  std::string text = selection == wxNOT_FOUND ? std::string() : m_items[selection];
  if (!dx.MaxChars(m_nComboId, text, 512)) return false;
  m_data.m_strDevice = std::move(text);
  return true;
}

}  // namespace bw
