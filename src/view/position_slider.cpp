#include "view/position_slider.h"

#include <wx/dcbuffer.h>
#include <wx/graphics.h>
#include <wx/settings.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "frame/bar_accessibility.h"

namespace bw {

wxIMPLEMENT_DYNAMIC_CLASS(PositionSlider, wxControl);

namespace {

// At 96 dpi the default font is 17 pixels high; the slider's parts grow with the font.
constexpr double kReferenceCharHeight = 17.0;

wxColour Mix(const wxColour& a, const wxColour& b, double share_of_b) {
  auto channel = [&](unsigned char x, unsigned char y) {
    return static_cast<unsigned char>(std::lround(x + (y - x) * share_of_b));
  };
  return wxColour(channel(a.Red(), b.Red()), channel(a.Green(), b.Green()),
                  channel(a.Blue(), b.Blue()));
}

}  // namespace

PositionSlider::PositionSlider(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                               const wxSize& size) {
  Create(parent, id, pos, size);
}

bool PositionSlider::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos,
                            const wxSize& size) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  if (!wxControl::Create(parent, id, pos, size, wxBORDER_NONE | wxWANTS_CHARS)) return false;
  Init();
  SetAccessibleName(*this, "Position", AccessibleRole::kSlider);
  return true;
}

void PositionSlider::Init() {
  Bind(wxEVT_PAINT, &PositionSlider::OnPaint, this);
  Bind(wxEVT_LEFT_DOWN, &PositionSlider::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &PositionSlider::OnLeftDown, this);
  Bind(wxEVT_MOTION, &PositionSlider::OnMotion, this);
  Bind(wxEVT_LEFT_UP, &PositionSlider::OnLeftUp, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, &PositionSlider::OnCaptureLost, this);
  Bind(wxEVT_KEY_DOWN, &PositionSlider::OnKeyDown, this);
  Bind(wxEVT_KEY_UP, &PositionSlider::OnKeyUp, this);
  Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
    Refresh();
    event.Skip();
  });
  Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
    Refresh();
    event.Skip();
  });
  // A new theme or screen may bring another default font.
  Bind(wxEVT_SYS_COLOUR_CHANGED, [this](wxSysColourChangedEvent& event) {
    m_nCharHeight = 0;
    event.Skip();
  });
  Bind(wxEVT_DPI_CHANGED, [this](wxDPIChangedEvent& event) {
    m_nCharHeight = 0;
    event.Skip();
  });
}

bool PositionSlider::SetFont(const wxFont& font) {
  m_nCharHeight = 0;
  return wxControl::SetFont(font);
}

void PositionSlider::SetState(const SliderState& state) {
  if (state == m_state) return;
  m_state = state;
  Refresh();
}

double PositionSlider::Scale() const {
  if (m_nCharHeight == 0) m_nCharHeight = GetCharHeight();
  return std::max(1.0, m_nCharHeight / kReferenceCharHeight);
}

int PositionSlider::ThumbRadius() const {
  return static_cast<int>(std::lround(8 * Scale()));
}

int PositionSlider::TrackLeft() const {
  return ThumbRadius() + 1;
}

int PositionSlider::TrackRight() const {
  return std::max(TrackLeft(), GetClientSize().x - ThumbRadius() - 2);
}

int PositionSlider::ThumbX(int64_t value) const {
  const int64_t span = m_state.max - m_state.min;
  if (span <= 0) return TrackLeft();
  const double share =
      static_cast<double>(std::clamp(value, m_state.min, m_state.max) - m_state.min) /
      static_cast<double>(span);
  return TrackLeft() + static_cast<int>(std::lround(share * (TrackRight() - TrackLeft())));
}

int64_t PositionSlider::ValueAt(int x) const {
  const int width = TrackRight() - TrackLeft();
  if (width <= 0 || m_state.max <= m_state.min) return m_state.min;
  const double share = std::clamp(static_cast<double>(x - TrackLeft()) / width, 0.0, 1.0);
  return m_state.min + static_cast<int64_t>(std::llround(share * (m_state.max - m_state.min)));
}

// A step of the keys: a hundredth of the range for the arrows, a tenth for the page keys (a
// byte at a time would not move the thumb at all).
int64_t PositionSlider::LineSize() const {
  return std::max<int64_t>(1, (m_state.max - m_state.min) / 100);
}

int64_t PositionSlider::PageSize() const {
  return std::max<int64_t>(1, (m_state.max - m_state.min) / 10);
}

wxSize PositionSlider::DoGetBestSize() const {
  const int height = 2 * ThumbRadius() + static_cast<int>(std::lround(10 * Scale()));
  return wxSize(200, height);
}

void PositionSlider::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxSize size = GetClientSize();
  if (m_tile.IsOk()) {
    // The parent's tiles, continued behind the slider.
    const wxPoint at = GetPosition();
    const int w = m_tile.GetWidth(), h = m_tile.GetHeight();
    for (int y = -((at.y % h + h) % h); y < size.y; y += h) {
      for (int x = -((at.x % w + w) % w); x < size.x; x += w)
        dc.DrawBitmap(m_tile, x, y, true);
    }
  } else {
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
  }

  const std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
  if (!gc) return;
  const double s = Scale();
  const wxColour text = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOWTEXT);
  const wxColour window = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
  const wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
  const bool enabled = IsEnabled() && m_state.max > m_state.min;

  const int radius = ThumbRadius();
  const double centreY = radius + 1;
  const double trackHeight = 4 * s;
  const int left = TrackLeft(), right = TrackRight();

  gc->SetPen(*wxTRANSPARENT_PEN);
  gc->SetBrush(wxBrush(Mix(window, text, 0.22)));
  gc->DrawRoundedRectangle(left - 2 * s, centreY - trackHeight / 2, right - left + 4 * s,
                           trackHeight, trackHeight / 2);

  // The selection: the part of the track between its two ends, in the highlight colour.
  if (m_state.has_selection && m_state.selection_end > m_state.selection_start) {
    const int from = ThumbX(m_state.selection_start), to = ThumbX(m_state.selection_end);
    gc->SetBrush(wxBrush(enabled ? highlight : Mix(window, highlight, 0.45)));
    gc->DrawRoundedRectangle(from, centreY - trackHeight / 2 - s, std::max(1, to - from),
                             trackHeight + 2 * s, (trackHeight + 2 * s) / 2);
    gc->SetPen(wxPen(highlight, std::max(1, static_cast<int>(s))));
    for (int x : {from, to})
      gc->StrokeLine(x, centreY + radius - 2 * s, x, centreY + radius + 3 * s);
  }

  gc->SetPen(wxPen(Mix(window, text, 0.45), 1));
  for (int64_t tick : m_state.ticks) {
    const int x = ThumbX(tick);
    gc->StrokeLine(x, centreY + radius, x, centreY + radius + 4 * s);
  }

  const double x = ThumbX(m_state.pos);
  const wxColour rim = HasFocus() ? highlight : Mix(window, text, enabled ? 0.35 : 0.2);
  gc->SetPen(wxPen(rim, std::max(1, static_cast<int>(std::lround(s)))));
  gc->SetBrush(wxBrush(enabled ? window : Mix(window, text, 0.06)));
  gc->DrawEllipse(x - radius + 0.5, centreY - radius + 0.5, 2 * radius - 1, 2 * radius - 1);
}

void PositionSlider::Send(wxEventType type) {
  const auto pos = static_cast<int>(std::clamp<int64_t>(m_state.pos, INT_MIN, INT_MAX));
  wxScrollEvent event(type, GetId(), pos, wxHORIZONTAL);
  event.SetEventObject(this);
  ProcessWindowEvent(event);
}

void PositionSlider::MoveTo(int64_t value, wxEventType type) {
  const int64_t before = m_state.pos;
  m_state.SetPos(value);
  if (m_state.pos == before && type == wxEVT_SCROLL_THUMBTRACK) return;
  Refresh();
  Update();
  Send(type);
}

void PositionSlider::EndTrack() {
  m_bTracking = false;
  Send(wxEVT_SCROLL_CHANGED);
}

void PositionSlider::OnLeftDown(wxMouseEvent& event) {
  SetFocus();
  if (m_state.max <= m_state.min) return;
  const int thumb = ThumbX(m_state.pos);
  if (std::abs(event.GetX() - thumb) <= ThumbRadius() + 1) {
    m_bDragging = true;
    m_nDragOffset = event.GetX() - thumb;
    CaptureMouse();
    return;
  }
  // Beside the thumb: a page towards the click.
  m_bTracking = true;
  if (event.GetX() < thumb)
    MoveTo(std::max(m_state.pos - PageSize(), ValueAt(event.GetX())), wxEVT_SCROLL_PAGEUP);
  else
    MoveTo(std::min(m_state.pos + PageSize(), ValueAt(event.GetX())), wxEVT_SCROLL_PAGEDOWN);
}

void PositionSlider::OnMotion(wxMouseEvent& event) {
  event.Skip();  // the view's cursor handling sees it too
  if (!m_bDragging) return;
  MoveTo(ValueAt(event.GetX() - m_nDragOffset), wxEVT_SCROLL_THUMBTRACK);
}

void PositionSlider::OnLeftUp(wxMouseEvent&) {
  if (m_bDragging) {
    m_bDragging = false;
    if (HasCapture()) ReleaseMouse();
    Send(wxEVT_SCROLL_THUMBRELEASE);
    EndTrack();
  } else if (m_bTracking) {
    EndTrack();
  }
}

void PositionSlider::OnCaptureLost(wxMouseCaptureLostEvent&) {
  if (!m_bDragging) return;
  m_bDragging = false;
  Send(wxEVT_SCROLL_THUMBRELEASE);
  EndTrack();
}

void PositionSlider::OnKeyDown(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_LEFT:
    case WXK_UP:
      MoveTo(m_state.pos - LineSize(), wxEVT_SCROLL_LINEUP);
      break;
    case WXK_RIGHT:
    case WXK_DOWN:
      MoveTo(m_state.pos + LineSize(), wxEVT_SCROLL_LINEDOWN);
      break;
    case WXK_PAGEUP:
      MoveTo(m_state.pos - PageSize(), wxEVT_SCROLL_PAGEUP);
      break;
    case WXK_PAGEDOWN:
      MoveTo(m_state.pos + PageSize(), wxEVT_SCROLL_PAGEDOWN);
      break;
    case WXK_HOME:
      MoveTo(m_state.min, wxEVT_SCROLL_TOP);
      break;
    case WXK_END:
      MoveTo(m_state.max, wxEVT_SCROLL_BOTTOM);
      break;
    default:
      event.Skip();
      return;
  }
  m_bTracking = true;
}

void PositionSlider::OnKeyUp(wxKeyEvent& event) {
  if (m_bTracking && !m_bDragging)
    EndTrack();
  else
    event.Skip();
}

wxObject* PositionSliderXmlHandler::DoCreateResource() {
  XRC_MAKE_INSTANCE(slider, PositionSlider)
  slider->Create(m_parentAsWindow, GetID(), GetPosition(), GetSize());
  SetupWindow(slider);
  return slider;
}

bool PositionSliderXmlHandler::CanHandle(wxXmlNode* node) {
  return IsOfClass(node, "PositionSlider");
}

}  // namespace bw
