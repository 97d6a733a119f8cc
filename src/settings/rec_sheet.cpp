#include "settings/rec_sheet.h"

#include <wx/statbmp.h>
#include <wx/xrc/xmlres.h>

#include <limits>

#include "platform/message_box.h"
#include "res/resources.h"

namespace bw {

bool CPageR1::DoDataExchange(DataExchange& dx) {
  dx.Radio({XRCID("IDC_STANDARD_STOP"), XRCID("IDC_FORCE_STOP")}, "IDC_STOPMODE_NONE",
           m_data.m_nStopMode);
  return dx.IntegerInRange(XRCID("IDC_STOP_LIMIT"), m_data.m_nStopLimit, 512,
                           std::numeric_limits<int32_t>::max());
}

CPageR3::CPageR3(CPageDeviceData& data)
    : CDevicePage(data, XRCID("IDC_REC_DRIVER"), Selection::kLastEnumerated,
                  &EnumerateCaptureDevices) {}

void CPageR4::OnInitDialog() {
  if (auto* icon = dynamic_cast<wxStaticBitmap*>(FindWindow(XRCID("IDC_ACTIVATION_ICON"))))
    icon->SetBitmap(res::LoadPicture("page_record.png"));
}

bool CPageR4::DoDataExchange(DataExchange& dx) {
  dx.Check(XRCID("IDC_VOICE_ACTIVATED"), m_data.m_bVoiceActivated);
  return dx.IntegerInRange(XRCID("IDC_THRESHOLD"), m_data.m_nThreshold, 1, 32767);
}

CRecSheet::CRecSheet(wxWindow* parent, RecordSheetData& data)
    : CPropertySheet(parent, "Record Properties") {
  m_bOk = AddPage(std::make_unique<CPageR1>(data.general), "IDD_PROPPAGE_R1", "General") &&
          AddPage(std::make_unique<CPageR2>(data.file), "IDD_PROPPAGE_FILE", "File") &&
          AddPage(std::make_unique<CPageR3>(data.device), "IDD_PROPPAGE_R3", "Device") &&
          AddPage(std::make_unique<CPageR4>(data.advanced), "IDD_PROPPAGE_R4", "Advanced");
  Finish();
}

int RunRecordSheet(wxWindow* parent, RecordSheetData& data) {
  CRecSheet sheet(parent, data);
  if (!sheet.IsOk()) return kIdCancel;
  return sheet.ShowModal() == wxID_OK ? kIdOk : kIdCancel;
}

}  // namespace bw
