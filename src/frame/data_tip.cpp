#include "frame/data_tip.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include "frame/bar_accessibility.h"

namespace bw {

namespace {
constexpr int kCaptureTimerId = 1011;
constexpr int kCapturePollMs = 50;
}  // namespace

TFXDataTip* TFXDataTip::s_pShown = nullptr;

TFXDataTip::TFXDataTip(wxWindow* parent)
    : wxPopupWindow(parent, wxBORDER_SIMPLE),
      m_pParentWnd(parent),
      m_timer(this, kTimerId),
      m_captureTimer(this, kCaptureTimerId) {
  SetFont(wxSystemSettings::GetFont(wxSYS_ANSI_VAR_FONT));
  SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_INFOBK));
  SetForegroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_INFOTEXT));
  Bind(wxEVT_TIMER, &TFXDataTip::OnTimer, this, kTimerId);
  Bind(wxEVT_TIMER, &TFXDataTip::OnCaptureTimer, this, kCaptureTimerId);
  Bind(wxEVT_PAINT, &TFXDataTip::OnPaint, this);
}

TFXDataTip::~TFXDataTip() {
  m_timer.Stop();
  m_captureTimer.Stop();
  if (s_pShown == this) s_pShown = nullptr;
}

void TFXDataTip::SetTip(const wxPoint& point, const wxString& text) {
  if (!m_bOn || !wxRect(m_pParentWnd->GetClientSize()).Contains(point)) return;
  const wxPoint screen = m_pParentWnd->ClientToScreen(point);
  if (screen == m_ptLast) return;
  m_strText = text;
  m_ptLast = screen;
  m_timer.StartOnce(kDelayMs);
}

void TFXDataTip::Hide() {
  m_timer.Stop();
  m_captureTimer.Stop();
  if (IsShown()) wxPopupWindow::Hide();
  if (s_pShown == this) s_pShown = nullptr;
}

// Shown only if the mouse has not moved at all since the tip was asked for.
void TFXDataTip::OnTimer(wxTimerEvent&) {
  if (wxGetMousePosition() == m_ptLast) Display();
}

void TFXDataTip::Display() {
  if (s_pShown) s_pShown->Hide();
  wxClientDC measure(this);
  measure.SetFont(GetFont());
  const wxSize text = measure.GetTextExtent(m_strText);
  wxRect rect(m_ptLast, text);
  rect.Inflate(4, 2);
  rect.Offset(m_ptOffset);
  SetSize(rect);
  m_rcCapture = wxRect(m_ptLast - wxPoint(2, 2), m_ptLast + wxPoint(2, 2));
  Show();
  Refresh();
  SetAccessibleName(*this, m_strText, AccessibleRole::kToolTip);
  s_pShown = this;
  m_captureTimer.Start(kCapturePollMs);
}

void TFXDataTip::OnCaptureTimer(wxTimerEvent&) {
  if (!m_rcCapture.Contains(wxGetMousePosition())) Hide();
}

void TFXDataTip::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  dc.SetFont(GetFont());
  dc.SetTextForeground(GetForegroundColour());
  const wxSize text = dc.GetTextExtent(m_strText);
  dc.DrawText(m_strText, (GetClientSize().x - text.x) / 2, 1);
}

void TFXDataTip::FilterInput(const wxEvent& event) {
  if (s_pShown == nullptr) return;
  const wxEventType type = event.GetEventType();
  const bool deactivated =
      type == wxEVT_ACTIVATE_APP && !static_cast<const wxActivateEvent&>(event).GetActive();
  if (type == wxEVT_KEY_DOWN || type == wxEVT_LEFT_DOWN || type == wxEVT_RIGHT_DOWN ||
      type == wxEVT_MIDDLE_DOWN || type == wxEVT_MENU_OPEN || deactivated) {
    s_pShown->Hide();
  } else if (type == wxEVT_MOTION && !s_pShown->m_rcCapture.Contains(wxGetMousePosition())) {
    s_pShown->Hide();
  }
}

}  // namespace bw
