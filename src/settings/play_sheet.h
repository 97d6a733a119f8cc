// The playback properties sheet ("Playback Properties"): tabs Equaliser, General, File, Device
// and Advanced over the members of PlaySheetData.
//
// Called on the user-interface thread only.
#pragma once

#include <array>
#include <functional>

#include "settings/property_page.h"
#include "settings/property_sheet.h"

class wxSlider;

namespace bw {

// "General" (template 141).
class CPageP1 : public CSheetPage {
 public:
  explicit CPageP1(CPageP1Data& data) : m_data(data) {}
  bool DoDataExchange(DataExchange& dx) override;

 protected:
  void OnInitDialog() override;

 private:
  CPageP1Data& m_data;
};

// "File" (template 142).
class CPageP2 : public CFilePage {
 public:
  using CFilePage::CFilePage;
};

// "Device" (template 143): the playback devices; the default driver stays selected unless the
// stored device is listed.
class CPageP3 : public CDevicePage {
 public:
  explicit CPageP3(CPageDeviceData& data);
};

// "Advanced" (template 144): the ranges of the view's sliders.
class CPageP4 : public CSheetPage {
 public:
  explicit CPageP4(CPageP4Data& data) : m_data(data) {}
  bool DoDataExchange(DataExchange& dx) override;

 private:
  CPageP4Data& m_data;
};

// "Equaliser" (template 175): eight vertical sliders -128..128 with a tick every 32, band 0 the
// rightmost. It works
// live: every move stores the band and calls `apply_live` at once, and Reset sets every band to
// 0. Up is negative, and raises the band.
class CPageP5 : public CSheetPage {
 public:
  static constexpr std::array<const char*, 8> kBandSliders{"IDC_BAND0", "IDC_BAND1", "IDC_BAND2",
                                                           "IDC_BAND3", "IDC_BAND4", "IDC_BAND5",
                                                           "IDC_BAND6", "IDC_BAND7"};

  CPageP5(CPageEqualiserData& data, std::function<void()> apply_live)
      : m_data(data), m_applyLive(std::move(apply_live)) {}
  bool DoDataExchange(DataExchange& dx) override;
  void OnApply() override;

 protected:
  void OnInitDialog() override;

 private:
  wxSlider* Slider(std::size_t band) const;
  void OnVScroll(std::size_t band);
  void OnReset();
  void Apply();

  CPageEqualiserData& m_data;
  std::function<void()> m_applyLive;
};

class CPlaySheet : public CPropertySheet {
 public:
  CPlaySheet(wxWindow* parent, PlaySheetData& data, std::function<void()> apply_live);
  bool IsOk() const { return m_bOk; }

 private:
  bool m_bOk = false;
};

// Runs the sheet modally over `data` (the pages' members, exchanged in place) and returns kIdOk
// or kIdCancel. `apply_live` runs on every equaliser move, after the band values in `data` are
// updated; the view binds it to its WM_APPLY_PLAY_PROPERTIES handler. Returns kIdCancel at once
// when the templates are missing.
int RunPlaySheet(wxWindow* parent, PlaySheetData& data, std::function<void()> apply_live);

}  // namespace bw
