#include "view/form_window.h"

#include <wx/dcclient.h>
#include <wx/gauge.h>
#include <wx/settings.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/xrc/xmlres.h>

#include <algorithm>
#include <array>
#include <climits>

#include "frame/data_tip.h"
#include "res/dialog_ids.h"
#include "res/resources.h"
#include "view/dialogs/wx_text.h"
#include "view/position_slider.h"

namespace bw {
namespace {

// The template names its controls by the numbers the view's core uses.
template <typename A, typename B>
constexpr bool Same(A a, B b) {
  return static_cast<int>(a) == static_cast<int>(b);
}
static_assert(Same(res::IDC_VOLUME, IDC_VOLUME) && Same(res::IDC_LBAR, IDC_LBAR) &&
              Same(res::IDC_RBAR, IDC_RBAR) && Same(res::IDC_FREQUENCY_BOX, IDC_FREQUENCY_BOX) &&
              Same(res::IDC_BALANCE, IDC_BALANCE) && Same(res::IDC_FREQUENCY, IDC_FREQUENCY) &&
              Same(res::IDC_VELOCITY, IDC_VELOCITY) && Same(res::IDC_POSITION, IDC_POSITION) &&
              Same(res::IDC_TIME_START, IDC_TIME_START) &&
              Same(res::IDC_CHANNELS_BOX, IDC_CHANNELS_BOX) &&
              Same(res::IDC_TIME_END, IDC_TIME_END) &&
              Same(res::IDC_POSITION_BOX, IDC_POSITION_BOX));

// The controls that have a prompt and a tip, in the order they are looked for.
constexpr std::array<ControlId, 10> kPromptedControls{
    IDC_VOLUME, IDC_BALANCE, IDC_FREQUENCY,     IDC_VELOCITY,     IDC_POSITION,
    IDC_LBAR,   IDC_RBAR,    IDC_FREQUENCY_BOX, IDC_CHANNELS_BOX, IDC_POSITION_BOX};

int ToInt(int64_t value) {
  return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

void RegisterPositionSlider() {
  static const bool registered = [] {
    wxXmlResource::Get()->AddHandler(new PositionSliderXmlHandler);  // wx owns its handlers
    return true;
  }();
  (void)registered;
}

}  // namespace

FormWindow::FormWindow(wxWindow* parent) {
  RegisterPositionSlider();
  if (!res::LoadFormTemplate() ||
      !wxXmlResource::Get()->LoadPanel(this, parent, "IDD_FORMVIEW")) {
    return;
  }
  m_tile = res::BackgroundTile();
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  Bind(wxEVT_PAINT, &FormWindow::OnPaint, this);
  Position()->SetBackgroundTile(m_tile);
  KeepLabelsReadable();
  Bind(wxEVT_SYS_COLOUR_CHANGED, [this](wxSysColourChangedEvent& event) {
    KeepLabelsReadable();
    event.Skip();
  });
  // Smaller than its template, the form scrolls.
  m_templateSize = GetSize();
  SetVirtualSize(m_templateSize);
  SetScrollRate(8, 8);
  Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    CentreControls();
    event.Skip();
  });
  m_pDataTip = new TFXDataTip(this);  // a child: destroyed with the form
  m_pDataTip->m_ptOffset = wxPoint(1, 20);
  m_pDataTip->m_bOn = true;
  m_bOk = true;
}

wxSlider* FormWindow::ValueSlider(ControlId id) const {
  return dynamic_cast<wxSlider*>(FindWindow(id));
}

PositionSlider* FormWindow::Position() const {
  return dynamic_cast<PositionSlider*>(FindWindow(IDC_POSITION));
}

void FormWindow::ShowSlider(ControlId id, const SliderState& state) {
  if (id == IDC_POSITION) {
    Position()->SetState(state);
    return;
  }
  wxSlider* slider = ValueSlider(id);
  if (slider == nullptr) return;
  SliderState& shown = m_shown[id];
  ShowValueSlider(*slider, state, shown);
  shown = state;
}

// A range the native slider cannot hold (its minimum above its maximum, as odd stored settings
// may give) is shown as a disabled slider at its minimum.
void FormWindow::ShowValueSlider(wxSlider& slider, const SliderState& state,
                                 const SliderState& shown) {
  const int min = ToInt(state.min), max = ToInt(state.max);
  const bool usable = max > min;
  if (state.min != shown.min || state.max != shown.max || slider.GetMin() != min) {
    slider.SetRange(min, usable ? max : min + 1);
    const int span = usable ? max - min : 1;
    slider.SetLineSize(std::max(1, span / 100));
    slider.SetPageSize(std::max(1, span / 10));
    slider.Enable(usable);
  }
  if (state.ticks != shown.ticks) {
    slider.ClearTicks();
    for (int64_t tick : state.ticks)
      slider.SetTick(ToInt(tick));
  }
  const int pos = usable ? ToInt(state.pos) : min;
  if (slider.GetValue() != pos) slider.SetValue(pos);
}

void FormWindow::ShowMeter(ControlId id, int value) {
  if (auto* meter = dynamic_cast<wxGauge*>(FindWindow(id)))
    meter->SetValue(std::clamp(value, 0, meter->GetRange()));
}

// The texts come padded for fixed-width fields; centred (or, for the end time, right-aligned)
// they read better without the padding.
void FormWindow::ShowText(ControlId id, std::string_view text) {
  wxWindow* control = FindWindow(id);
  const wxString shown = ToWx(text).Strip(wxString::both);
  if (auto* box = dynamic_cast<wxTextCtrl*>(control)) {
    if (box->GetValue() != shown) box->ChangeValue(shown);
  } else if (auto* label = dynamic_cast<wxStaticText*>(control)) {
    if (label->GetLabel() != shown) label->SetLabel(shown);
  }
}

std::optional<ControlId> FormWindow::ControlAt(const wxPoint& point) const {
  for (ControlId id : kPromptedControls) {
    const wxWindow* control = FindWindow(id);
    if (control && control->IsShown() && control->GetRect().Contains(point)) return id;
  }
  return std::nullopt;
}

void FormWindow::CentreControls() {
  const int centring = std::max(0, (GetClientSize().x - m_templateSize.x) / 2);
  if (centring == m_nCentring) return;
  for (wxWindow* child : GetChildren()) {
    if (child != m_pDataTip)
      child->Move(child->GetPosition().x + centring - m_nCentring, -1, wxSIZE_USE_EXISTING);
  }
  m_nCentring = centring;
  Refresh();
}

// The labels stand on the light tile, not on the theme's own background: a dark theme's light
// text would all but vanish there, so they take the dark text of a light theme instead.
void FormWindow::KeepLabelsReadable() {
  const bool lightText =
      m_tile.IsOk() && wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT).GetLuminance() > 0.5;
  const wxColour colour = lightText ? *wxBLACK : wxNullColour;
  for (wxWindow* child : GetChildren()) {
    if (dynamic_cast<wxStaticText*>(child) || dynamic_cast<wxStaticBox*>(child))
      child->SetForegroundColour(colour);
  }
}

// Bitmap 171, tiled from the top-left corner.
void FormWindow::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxSize size = GetClientSize();
  if (!m_tile.IsOk()) {
    dc.SetBackground(wxBrush(GetBackgroundColour()));
    dc.Clear();
    return;
  }
  for (int y = 0; y < size.y; y += m_tile.GetHeight()) {
    for (int x = 0; x < size.x; x += m_tile.GetWidth())
      dc.DrawBitmap(m_tile, x, y, false);
  }
}

}  // namespace bw
