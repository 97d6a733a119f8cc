// The pieces both property sheets are built from: the data exchange between a page's members
// and its controls (with the framework's validation messages), the page base, and the File and
// Device pages that both sheets have.
//
// Called on the user-interface thread only.
#pragma once

#include <wx/panel.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sound/sound.h"
#include "settings/property_sheet_data.h"

namespace bw {

// The integer a dialog field holds: blanks around an optionally signed decimal number. Nothing
// for anything else, and for a number too large for 64 bits.
std::optional<int64_t> ParseDialogInteger(std::string_view text);

// The item a Device page lists for a device: its description, 53 blanks and the identifier's
// four words as "%11u %11u %11u %11u". The description is shortened (at a character boundary)
// so that the item stays within 511 bytes and always ends with the identifier.
std::string FormatDeviceItem(std::string_view description, const DeviceId& id);

// One pass of data exchange over a page, in one direction: to the controls (filling the page)
// or from them (taking and validating the user's input). From the controls, the first field
// that fails shows the framework's message, gets the focus and stops the pass; the members
// before it have already been taken, as the framework does it.
class DataExchange {
 public:
  DataExchange(wxWindow* page, bool from_controls) : m_pPage(page), m_bSave(from_controls) {}
  bool from_controls() const { return m_bSave; }

  bool Integer(int id, int32_t& value);
  bool IntegerInRange(int id, int32_t& value, int32_t min, int32_t max);
  void Text(int id, std::string& value);
  void Check(int id, int32_t& value);
  // A radio group: the index of the checked button, -1 when none is (any value outside the
  // group shows none checked, through the group's hidden last button `none_name`).
  void Radio(std::initializer_list<int> ids, const char* none_name, int32_t& value);
  bool MaxChars(int id, const std::string& value, std::size_t max);

 private:
  bool Fail(int id, const std::string& message);
  wxWindow* Control(int id) const;

  wxWindow* m_pPage;
  bool m_bSave;
};

// A page of a property sheet, built from its dialog template.
class CSheetPage : public wxPanel {
 public:
  // Loads template `name` as a page of `book`; false when the template is missing.
  bool Create(wxWindow* book, const char* name);

  // The page's exchange, in both directions; false when a field failed (from the controls).
  virtual bool DoDataExchange(DataExchange& dx) = 0;
  bool UpdateData(bool from_controls);
  // What the sheet's Apply and OK run on the page after a successful exchange.
  virtual void OnApply() {}

  bool m_bVisited = false;
  // Called whenever the user changes something on the page (the sheet enables Apply).
  std::function<void()> m_onModified;

 protected:
  void SetModified();
  // Called once the template is loaded, before the first exchange.
  virtual void OnInitDialog() {}
};

// The File page of either sheet: facts about the open file or the record target, read-only.
class CFilePage : public CSheetPage {
 public:
  explicit CFilePage(CPageFileData& data) : m_data(data) {}
  bool DoDataExchange(DataExchange& dx) override;

 private:
  CPageFileData& m_data;
};

// The Device page of either sheet: the default driver and the devices of the sound layer.
// The list shows each device's description; the exchanged text is the whole item, whose last
// 48 characters carry the identifier.
class CDevicePage : public CSheetPage {
 public:
  enum class Selection {
    kMatchOnly,      // playback: the default driver unless an item matches
    kLastEnumerated  // capture: each device is selected as it is added, then the match
  };
  CDevicePage(CPageDeviceData& data, int combo_id, Selection rule,
              std::function<std::vector<SoundDeviceInfo>()> enumerate)
      : m_data(data), m_nComboId(combo_id), m_rule(rule), m_enumerate(std::move(enumerate)) {}
  bool DoDataExchange(DataExchange& dx) override;

  // The full texts of the items, in list order.
  const std::vector<std::string>& Items() const { return m_items; }

 protected:
  void OnInitDialog() override;

 private:
  CPageDeviceData& m_data;
  int m_nComboId;
  Selection m_rule;
  std::function<std::vector<SoundDeviceInfo>()> m_enumerate;
  std::vector<std::string> m_items;
};

}  // namespace bw
