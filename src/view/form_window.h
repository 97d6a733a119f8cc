// The form of template 101, the client area of the main window: the four value sliders, the
// position slider, the two level meters, the three read-only boxes and the time labels on a
// background tiled from bitmap 171, with the data tip that names the control under the mouse.
// It only shows what it is told; CBrookwaveView owns it and handles its events.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/bitmap.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>

#include <map>
#include <optional>
#include <string_view>

#include "view/view_window.h"

class wxSlider;

namespace bw {

class PositionSlider;
class TFXDataTip;

class FormWindow : public wxScrolled<wxPanel> {
 public:
  // Loads the template into a new child of `parent`; IsOk() is false, after a message, when the
  // template cannot be loaded.
  explicit FormWindow(wxWindow* parent);
  bool IsOk() const { return m_bOk; }

  void ShowSlider(ControlId id, const SliderState& state);
  void ShowMeter(ControlId id, int value);
  void ShowText(ControlId id, std::string_view text);

  wxSlider* ValueSlider(ControlId id) const;
  PositionSlider* Position() const;
  TFXDataTip& DataTip() const { return *m_pDataTip; }

  // The control under `point` (client coordinates) that has a prompt; nothing over the form
  // itself, its labels and the time labels.
  std::optional<ControlId> ControlAt(const wxPoint& point) const;

 private:
  void ShowValueSlider(wxSlider& slider, const SliderState& state, const SliderState& shown);
  void OnPaint(wxPaintEvent& event);
  // Wider than its template, the form shows the controls in the middle.
  void CentreControls();
  void KeepLabelsReadable();

  bool m_bOk = false;
  wxBitmap m_tile;
  TFXDataTip* m_pDataTip = nullptr;
  wxSize m_templateSize;
  int m_nCentring = 0;  // how far the controls stand right of their place in the template
  // What each native slider shows, so that only what changed is handed to it.
  std::map<ControlId, SliderState> m_shown;
};

}  // namespace bw
