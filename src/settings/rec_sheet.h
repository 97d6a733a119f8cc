// The record properties sheet ("Record Properties"): tabs General, File, Device and Advanced
// over the members of RecordSheetData. The record equaliser's band values have no page here:
// they pass through the sheet unchanged.
//
// Called on the user-interface thread only.
#pragma once

#include "settings/property_page.h"
#include "settings/property_sheet.h"

namespace bw {

// "General" (template 145): how a recording stops.
class CPageR1 : public CSheetPage {
 public:
  explicit CPageR1(CPageR1Data& data) : m_data(data) {}
  bool DoDataExchange(DataExchange& dx) override;

 private:
  CPageR1Data& m_data;
};

// "File" (template 146): the record target.
class CPageR2 : public CFilePage {
 public:
  using CFilePage::CFilePage;
};

// "Device" (template 147): the capture devices; the last one listed is selected unless the
// stored device is listed.
class CPageR3 : public CDevicePage {
 public:
  explicit CPageR3(CPageDeviceData& data);
};

// "Advanced" (template 148): voice activation.
class CPageR4 : public CSheetPage {
 public:
  explicit CPageR4(CPageR4Data& data) : m_data(data) {}
  bool DoDataExchange(DataExchange& dx) override;

 protected:
  void OnInitDialog() override;

 private:
  CPageR4Data& m_data;
};

class CRecSheet : public CPropertySheet {
 public:
  CRecSheet(wxWindow* parent, RecordSheetData& data);
  bool IsOk() const { return m_bOk; }

 private:
  bool m_bOk = false;
};

// Runs the sheet modally over `data` (exchanged in place) and returns kIdOk or kIdCancel;
// kIdCancel at once when the templates are missing.
int RunRecordSheet(wxWindow* parent, RecordSheetData& data);

}  // namespace bw
