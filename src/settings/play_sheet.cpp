#include "settings/play_sheet.h"

#include <wx/slider.h>
#include <wx/statbmp.h>
#include <wx/xrc/xmlres.h>

#include "platform/message_box.h"
#include "res/resources.h"

#ifdef __WXGTK3__
#include <gtk/gtk.h>
#endif

namespace bw {
namespace {

constexpr int kBandMin = -128;
constexpr int kBandMax = 128;
constexpr int kBandTickFrequency = 32;

void ShowPicture(wxWindow* page, const char* control, std::string_view picture) {
  if (auto* holder = dynamic_cast<wxStaticBitmap*>(page->FindWindow(XRCID(control))))
    holder->SetBitmap(res::LoadPicture(picture));
}

// The equaliser centres on 0, so the trough is not filled from one end.
void DrawWithoutOrigin([[maybe_unused]] wxSlider* slider) {
#ifdef __WXGTK3__
  if (GTK_IS_SCALE(slider->GetHandle()))
    gtk_scale_set_has_origin(GTK_SCALE(slider->GetHandle()), FALSE);
#endif
}

}  // namespace

// ---- CPageP1 ----------------------------------------------------------------------------

void CPageP1::OnInitDialog() {
  ShowPicture(this, "IDC_GENERAL_ICON1", "brookwave_32.png");
  ShowPicture(this, "IDC_GENERAL_ICON2", "page_repeat.png");
}

bool CPageP1::DoDataExchange(DataExchange& dx) {
  dx.Check(XRCID("IDC_AUTOPLAY"), m_data.m_bAutoPlay);
  dx.Check(XRCID("IDC_SYNCPLAY"), m_data.m_bSyncPlay);
  dx.Radio({XRCID("IDC_AUTOSTOP"), XRCID("IDC_AUTOREPEAT")}, "IDC_REPEAT_NONE", m_data.m_nRepeat);
  dx.Check(XRCID("IDC_FADEIN"), m_data.m_bFadeIn);
  dx.Check(XRCID("IDC_FADEOUT"), m_data.m_bFadeOut);
  dx.Radio({XRCID("IDC_MODE_SINGLE"), XRCID("IDC_MODE_MULTI")}, "IDC_MODE_NONE", m_data.m_nMode);
  return dx.Integer(XRCID("IDC_SEL_START"), m_data.m_nStart) &&
         dx.Integer(XRCID("IDC_SEL_STOP"), m_data.m_nStop);
}

// ---- CPageP3 ----------------------------------------------------------------------------

CPageP3::CPageP3(CPageDeviceData& data)
    : CDevicePage(data, XRCID("IDC_PLAY_DRIVER"), Selection::kMatchOnly,
                  &EnumeratePlaybackDevices) {}

// ---- CPageP4 ----------------------------------------------------------------------------

bool CPageP4::DoDataExchange(DataExchange& dx) {
  return dx.IntegerInRange(XRCID("IDC_VOLUME_MIN"), m_data.m_nVolumeMin, -10000, 0) &&
         dx.IntegerInRange(XRCID("IDC_VOLUME_MAX"), m_data.m_nVolumeMax, -10000, 0) &&
         dx.IntegerInRange(XRCID("IDC_FREQUENCY_MIN"), m_data.m_nFrequencyMin, 100, 100000) &&
         dx.IntegerInRange(XRCID("IDC_FREQUENCY_MAX"), m_data.m_nFrequencyMax, 100, 100000) &&
         dx.IntegerInRange(XRCID("IDC_BALANCE_MIN"), m_data.m_nBalanceMin, -10000, 10000) &&
         dx.IntegerInRange(XRCID("IDC_BALANCE_MAX"), m_data.m_nBalanceMax, -10000, 10000) &&
         dx.IntegerInRange(XRCID("IDC_VELOCITY_MIN"), m_data.m_nVelocityMin, -6, 0) &&
         dx.IntegerInRange(XRCID("IDC_VELOCITY_MAX"), m_data.m_nVelocityMax, 0, 6);
}

// ---- CPageP5 ----------------------------------------------------------------------------

wxSlider* CPageP5::Slider(std::size_t band) const {
  return dynamic_cast<wxSlider*>(FindWindow(XRCID(kBandSliders[band])));
}

void CPageP5::OnInitDialog() {
  for (std::size_t band = 0; band < kBandSliders.size(); ++band) {
    wxSlider* slider = Slider(band);
    if (slider == nullptr) continue;
    slider->SetRange(kBandMin, kBandMax);
    slider->SetTickFreq(kBandTickFrequency);
    slider->SetPageSize(kBandTickFrequency);
    DrawWithoutOrigin(slider);
    slider->Bind(wxEVT_SLIDER, [this, band](wxCommandEvent&) { OnVScroll(band); });
  }
  if (wxWindow* reset = FindWindow(XRCID("IDC_EQ_RESET")))
    reset->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnReset(); });
}

bool CPageP5::DoDataExchange(DataExchange& dx) {
  for (std::size_t band = 0; band < kBandSliders.size(); ++band) {
    wxSlider* slider = Slider(band);
    if (slider == nullptr) continue;
    if (dx.from_controls())
      m_data.m_nBand[band] = slider->GetValue();
    else
      slider->SetValue(m_data.m_nBand[band]);
  }
  return true;
}

void CPageP5::OnApply() {
  UpdateData(true);
}

void CPageP5::Apply() {
  if (m_applyLive) m_applyLive();
}

void CPageP5::OnVScroll(std::size_t band) {
  SetModified();
  if (wxSlider* slider = Slider(band)) m_data.m_nBand[band] = slider->GetValue();
  Apply();
}

void CPageP5::OnReset() {
  m_data.m_nBand.fill(0);
  UpdateData(false);
  SetModified();
  Apply();
}

// ---- CPlaySheet -------------------------------------------------------------------------

CPlaySheet::CPlaySheet(wxWindow* parent, PlaySheetData& data, std::function<void()> apply_live)
    : CPropertySheet(parent, "Playback Properties") {
  m_bOk = AddPage(std::make_unique<CPageP5>(data.equaliser, std::move(apply_live)),
                  "IDD_PROPPAGE_P5", "Equaliser") &&
          AddPage(std::make_unique<CPageP1>(data.general), "IDD_PROPPAGE_P1", "General") &&
          AddPage(std::make_unique<CPageP2>(data.file), "IDD_PROPPAGE_FILE", "File") &&
          AddPage(std::make_unique<CPageP3>(data.device), "IDD_PROPPAGE_P3", "Device") &&
          AddPage(std::make_unique<CPageP4>(data.advanced), "IDD_PROPPAGE_P4", "Advanced");
  Finish();
}

int RunPlaySheet(wxWindow* parent, PlaySheetData& data, std::function<void()> apply_live) {
  CPlaySheet sheet(parent, data, std::move(apply_live));
  if (!sheet.IsOk()) return kIdCancel;
  return sheet.ShowModal() == wxID_OK ? kIdOk : kIdCancel;
}

}  // namespace bw
