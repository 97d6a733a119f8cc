#include "frame/tool_bar_ex.h"

#include <wx/app.h>
#include <wx/aui/framemanager.h>
#include <wx/dcclient.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <algorithm>
#include <vector>

#include "frame/bar_accessibility.h"
#include "frame/flat_paint.h"

namespace bw {

namespace {

constexpr int kSeparatorWidth = 8;
constexpr int kBorder = 3;
constexpr int kRowEnd = 4;
// A button is its image plus 7 pixels each way (23 x 22 for the 16 x 15 images).
constexpr int kButtonMargin = 7;

bool SameRgb(const wxColour& c, unsigned char r, unsigned char g, unsigned char b) {
  return c.Red() == r && c.Green() == g && c.Blue() == b;
}

// The image as a disabled button shows it: every pixel of the picture that is neither the face
// nor the highlight colour is drawn in the highlight colour one pixel right and down, and in
// the shadow colour in place.
wxBitmap Embossed(const wxBitmap& image, const BarColours& colours) {
  const wxImage source = image.ConvertToImage();
  const int w = source.GetWidth(), h = source.GetHeight();
  // Which pixels are ink, read once from the image's own arrays.
  std::vector<bool> ink(static_cast<std::size_t>(w) * h);
  const unsigned char* rgb = source.GetData();
  const unsigned char* alpha = source.HasAlpha() ? source.GetAlpha() : nullptr;
  for (std::size_t i = 0; i < ink.size(); ++i) {
    const unsigned char r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
    // A picture with alpha has no use for its mask colour, as wx sees it.
    const bool transparent = alpha ? alpha[i] < 128
                                   : source.HasMask() && r == source.GetMaskRed() &&
                                         g == source.GetMaskGreen() && b == source.GetMaskBlue();
    ink[i] = !transparent && !SameRgb(colours.face, r, g, b) && !SameRgb(colours.hilite, r, g, b);
  }
  wxImage out(w + 1, h + 1);
  out.InitAlpha();
  unsigned char* out_rgb = out.GetData();
  unsigned char* out_alpha = out.GetAlpha();
  std::fill_n(out_alpha, static_cast<std::size_t>(w + 1) * (h + 1), 0);
  auto put = [&](int x, int y, const wxColour& c) {
    const std::size_t at = static_cast<std::size_t>(y) * (w + 1) + x;
    out_rgb[3 * at] = c.Red();
    out_rgb[3 * at + 1] = c.Green();
    out_rgb[3 * at + 2] = c.Blue();
    out_alpha[at] = 255;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (ink[static_cast<std::size_t>(y) * w + x]) put(x + 1, y + 1, colours.hilite);
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (ink[static_cast<std::size_t>(y) * w + x]) put(x, y, colours.shadow);
    }
  }
  return wxBitmap(out);
}

}  // namespace

CToolBarEx::CToolBarEx(wxWindow* parent, wxWindowID id, const wxString& name)
    : wxControl(parent, id, wxDefaultPosition, wxDefaultSize,
                wxBORDER_NONE | wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE, wxDefaultValidator, name),
      m_hwndNotify(parent),
      m_timer(this, kBarHotTimerId),
      m_rewrapTimer(this, kBarRewrapTimerId) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  ReadColours();
  SetAccessibleName(*this, name == "Play" ? "Play toolbar" : "Main toolbar",
                    AccessibleRole::kToolBar);
  Bind(wxEVT_PAINT, &CToolBarEx::OnPaint, this);
  Bind(wxEVT_MOTION, &CToolBarEx::OnMouseMove, this);
  Bind(wxEVT_ENTER_WINDOW, &CToolBarEx::OnMouseMove, this);
  Bind(wxEVT_TIMER, &CToolBarEx::OnTimer, this, kBarHotTimerId);
  Bind(
      wxEVT_TIMER, [this](wxTimerEvent&) { Rewrap(); }, kBarRewrapTimerId);
  Bind(wxEVT_LEFT_DOWN, &CToolBarEx::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &CToolBarEx::OnLeftDown, this);
  Bind(wxEVT_LEFT_UP, &CToolBarEx::OnLeftUp, this);
  Bind(wxEVT_MOUSE_CAPTURE_LOST, &CToolBarEx::OnCaptureLost, this);
  Bind(wxEVT_KEY_DOWN, &CToolBarEx::OnKeyDown, this);
  Bind(wxEVT_SET_FOCUS, &CToolBarEx::OnFocus, this);
  Bind(wxEVT_KILL_FOCUS, &CToolBarEx::OnFocus, this);
  Bind(wxEVT_SYS_COLOUR_CHANGED, &CToolBarEx::OnSysColourChanged, this);
  // Moved to another dock or floated off it, the bar lays itself out for its new place.
  Bind(wxEVT_MOVE, [this](wxMoveEvent& event) {
    FollowDock();
    Refresh(false);
    event.Skip();
  });
  Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
    FollowDock();
    event.Skip();
  });
}

CToolBarEx::~CToolBarEx() {
  m_timer.Stop();
  m_rewrapTimer.Stop();
}

void CToolBarEx::ReadColours() {
  const BarColours colours = BarColours::FromSystem();
  m_clrFace = colours.face;
  m_clrHilite = colours.hilite;
  m_clrShadow = colours.shadow;
  m_clrLight = colours.light;
  SetBackgroundColour(m_clrFace);
}

void CToolBarEx::MakeEmbossedImages() {
  const BarColours colours{m_clrFace, m_clrHilite, m_clrShadow, m_clrLight};
  for (Button& button : m_buttons) {
    if (button.id != 0 && button.image.IsOk()) button.embossed = Embossed(button.image, colours);
  }
}

void CToolBarEx::SetToolBitmapSize(const wxSize& size) {
  m_szImage = size;
  const wxSize button = ButtonSize();
  m_ptImageOffset = wxPoint((button.x - size.x) / 2, (button.y - size.y) / 2);
}

wxSize CToolBarEx::ButtonSize() const {
  return m_szImage + wxSize(kButtonMargin, kButtonMargin);
}

void CToolBarEx::AddTool(int wxId, const wxBitmap& image, const wxString& tip,
                         const wxString& prompt, bool checkable) {
  Button button;
  button.id = wxId;
  button.image = image;
  button.tip = tip;
  button.prompt = prompt;
  button.checkable = checkable;
  m_buttons.push_back(std::move(button));
}

void CToolBarEx::AddSeparator() {
  m_buttons.emplace_back();
}

void CToolBarEx::Realize() {
  SetToolBitmapSize(m_szImage);
  MakeEmbossedImages();
  LayOut();
  Refresh();
}

std::vector<BarCell> CToolBarEx::Cells() const {
  const wxSize size = ButtonSize();
  const bool vertical = IsVerticalSide(m_side);
  const int along = vertical ? size.y : size.x, across = vertical ? size.x : size.y;
  std::vector<BarCell> cells;
  for (const Button& button : m_buttons)
    cells.push_back(button.id == 0 ? BarCell{kSeparatorWidth, across, true}
                                   : BarCell{along, across, false});
  return cells;
}

BarMargins CToolBarEx::Margins() const {
  const int start = m_side == BarSide::kFloating ? kBorder : kBarGripperRoom;
  return BarMargins{start, kBorder, kRowEnd, kBorder};
}

// A docked bar is one row (or column); a floating one wraps at the length its frame gives it.
void CToolBarEx::LayOut() {
  const std::vector<BarCell> cells = Cells();
  const bool floating = m_side == BarSide::kFloating;
  m_layout =
      LayOutBar(cells, Margins(), floating ? m_nLength : kBarUnbounded, IsVerticalSide(m_side));
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    const BarPlace& place = m_layout.places[i];
    m_buttons[i].rect = wxRect(place.x, place.y, place.width, place.height);
    m_buttons[i].wrapped = place.wrapped;
  }
  const wxSize size(m_layout.width, m_layout.height);
  // Small enough for any floating frame the bar is floated into: one button.
  const wxSize smallest = ButtonSize() + wxSize(kBorder + kRowEnd, 2 * kBorder);
  InvalidateBestSize();
  SetMinSize(smallest);
  CacheBestSize(size);
  if (!FitBarPane(this, m_hwndNotify, size, floating ? smallest : size) && !floating) SetSize(size);
  Refresh(false);
}

// Follows the docking manager: the side decides rows or a column. Floated off, the rows wrap
// at the width the floating frame was last given (a restored layout's), or stay one row.
void CToolBarEx::FollowDock() {
  const BarSide side = SideOf(this, m_hwndNotify);
  if (side == m_side) {
    if (side == BarSide::kFloating) m_rewrapTimer.StartOnce(kBarRewrapDelayMs);
    return;
  }
  m_side = side;
  m_nLength = kBarUnbounded;
  if (side == BarSide::kFloating) {
    const wxSize stored = FramePaneOf(this, m_hwndNotify)->floating_size;
    if (stored.x > 0 && stored.y > 0) m_nLength = stored.x;
  }
  LayOut();
  if (side == BarSide::kFloating) FitFloatingFrame(this, wxSize(m_layout.width, m_layout.height));
}

// The user resized the floating frame: once the sizes have settled, the rows wrap by its width
// (or, when only its height changed, to fit that height) and the frame is fitted around them.
void CToolBarEx::Rewrap() {
  const wxSize asked = GetClientSize();
  if (m_side != BarSide::kFloating || asked.x <= 0 || asked.y <= 0) return;
  if (asked == wxSize(m_layout.width, m_layout.height)) return;
  const int length = LengthForResize(Cells(), Margins(), asked.x, asked.y, m_layout);
  if (length != m_nLength) {
    m_nLength = length;
    LayOut();
  }
  FitFloatingFrame(this, wxSize(m_layout.width, m_layout.height));
}

wxSize CToolBarEx::DoGetBestSize() const {
  return wxSize(m_layout.width, m_layout.height);
}

int CToolBarEx::IndexOf(int wxId) const {
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    if (m_buttons[i].id != 0 && m_buttons[i].id == wxId) return static_cast<int>(i);
  }
  return -1;
}

bool CToolBarEx::HasTool(int wxId) const {
  return IndexOf(wxId) >= 0;
}

bool CToolBarEx::GetToolEnabled(int wxId) const {
  const int i = IndexOf(wxId);
  return i >= 0 && m_buttons[i].enabled;
}

bool CToolBarEx::GetToolState(int wxId) const {
  const int i = IndexOf(wxId);
  return i >= 0 && m_buttons[i].checked;
}

void CToolBarEx::EnableTool(int wxId, bool enable) {
  const int i = IndexOf(wxId);
  if (i < 0 || m_buttons[i].enabled == enable) return;
  m_buttons[i].enabled = enable;
  RefreshButton(i);
}

void CToolBarEx::ToggleTool(int wxId, bool checked) {
  const int i = IndexOf(wxId);
  if (i < 0 || m_buttons[i].checked == checked) return;
  m_buttons[i].checked = checked;
  RefreshButton(i);
}

int CToolBarEx::GetToolId(std::size_t index) const {
  return index < m_buttons.size() ? m_buttons[index].id : 0;
}

wxRect CToolBarEx::GetToolRect(std::size_t index) const {
  return index < m_buttons.size() ? m_buttons[index].rect : wxRect();
}

// The frame's command-state updates decide enabled and checked; a button whose state they
// leave as it was is not repainted.
void CToolBarEx::UpdateWindowUI(long flags) {
  wxWindowBase::UpdateWindowUI(flags);
  wxEvtHandler* handler = GetEventHandler();
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    Button& button = m_buttons[i];
    if (button.id == 0) continue;
    wxUpdateUIEvent event(button.id);
    event.SetEventObject(this);
    if (!handler->ProcessEvent(event)) continue;
    const bool enabled = event.GetSetEnabled() ? event.GetEnabled() : button.enabled;
    const bool checked = event.GetSetChecked() ? event.GetChecked() : button.checked;
    if (enabled == button.enabled && checked == button.checked) continue;
    button.enabled = enabled;
    button.checked = checked;
    RefreshButton(static_cast<int>(i));
  }
}

void CToolBarEx::RefreshButton(int index) {
  if (index >= 0 && index < static_cast<int>(m_buttons.size()))
    RefreshRect(m_buttons[index].rect, false);
}

int CToolBarEx::ButtonAt(const wxPoint& point) const {
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    if (m_buttons[i].id != 0 && m_buttons[i].rect.Contains(point)) return static_cast<int>(i);
  }
  return -1;
}

bool CToolBarEx::CursorIn(const wxRect& rect) const {
  return rect.Contains(ScreenToClient(wxGetMousePosition()));
}

// Hot tracking only while the program is the one the user works in and the frame takes input
// (no modal dialog over it).
bool CToolBarEx::OwnerIsActive() const {
  const wxWindow* top = wxGetTopLevelParent(const_cast<CToolBarEx*>(this));
  return wxTheApp->IsActive() && top != nullptr && top->IsEnabled();
}

void CToolBarEx::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const wxSize size = GetClientSize();
  FillSolid(dc, wxRect(size), m_clrFace);
  PaintBorder(dc, size);
  const wxRegion update = GetUpdateRegion();
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    const Button& button = m_buttons[i];
    if (button.wrapped || update.Contains(button.rect) == wxOutRegion) continue;
    if (button.id == 0)
      PaintSeparator(dc, button.rect);
    else
      PaintButton(dc, static_cast<int>(i));
  }
}

// A docked bar: an etched line on the side that faces the form, and the gripper at the start.
// A floating bar has neither (its frame is what the user drags).
void CToolBarEx::PaintBorder(wxDC& dc, const wxSize& size) const {
  if (m_side == BarSide::kFloating) return;
  const bool vertical = IsVerticalSide(m_side);
  const int line = m_side == BarSide::kTop ? size.y - 2 : m_side == BarSide::kLeft ? size.x - 2 : 0;
  if (vertical) {
    FillSolid(dc, wxRect(line, 0, 1, size.y), m_clrShadow);
    FillSolid(dc, wxRect(line + 1, 0, 1, size.y), m_clrHilite);
  } else {
    FillSolid(dc, wxRect(0, line, size.x, 1), m_clrShadow);
    FillSolid(dc, wxRect(0, line + 1, size.x, 1), m_clrHilite);
  }
  DrawGripper(dc, size, !vertical, BarColours{m_clrFace, m_clrHilite, m_clrShadow, m_clrLight});
}

// An etched line across the middle of a separator: upright in a row, lying in a column.
void CToolBarEx::PaintSeparator(wxDC& dc, const wxRect& r) const {
  if (IsVerticalSide(m_side)) {
    const int centre = r.y + r.height / 2;
    Draw3dRect(dc, wxRect(r.x, centre - 1, r.width, 2), m_clrShadow, m_clrHilite);
    return;
  }
  const int centre = r.x + r.width / 2;
  Draw3dRect(dc, wxRect(centre - 1, r.y, 2, r.height), m_clrShadow, m_clrHilite);
}

void CToolBarEx::PaintButton(wxDC& dc, int index) {
  const Button& button = m_buttons[index];
  wxRect r = button.rect;
  const bool pressed = index == m_iPressed && CursorIn(r);
  // Raised only while the bar tracks this button and the pointer is still on it, so a button
  // the mouse has left paints flat as soon as it is repainted.
  const bool hot = index == m_iHot && CursorIn(r);
  const bool up = !button.checked && !pressed;
  FillSolid(dc, r, up || hot ? m_clrFace : m_clrLight);
  if (up && button.enabled) {
    if (hot)
      Draw3dRect(dc, r, m_clrHilite, m_clrShadow);
    else
      Draw3dRect(dc, r, m_clrFace, m_clrFace);
  } else if (!up) {
    Draw3dRect(dc, r, m_clrShadow, m_clrHilite);
    if (!hot) {
      r.Deflate(1);
      Draw3dRect(dc, r, m_clrFace, m_clrFace);
      FillHalftone(dc, r.Deflate(1), m_clrHilite, m_clrFace);
    }
  }
  const int shift = up ? 0 : 1;
  const wxPoint at = button.rect.GetTopLeft() + m_ptImageOffset + wxPoint(shift, shift);
  const wxBitmap& image = button.enabled ? button.image : button.embossed;
  if (image.IsOk()) dc.DrawBitmap(image, at, true);
  if (index == m_iFocus && HasFocus()) {
    dc.SetPen(wxPen(m_clrShadow, 1, wxPENSTYLE_DOT));
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    dc.DrawRectangle(wxRect(button.rect).Deflate(3));
  }
}

void CToolBarEx::SetHot(int index) {
  if (index == m_iHot) return;
  RefreshButton(m_iHot);
  m_iHot = index;
  RefreshButton(m_iHot);
}

// A disabled button still tells what it is for, as only an enabled one raises.
void CToolBarEx::SetHovered(int index) {
  if (index == m_iHovered) return;
  m_iHovered = index;
  ShowPrompt(index);
  if (index >= 0)
    SetToolTip(m_buttons[index].tip);
  else
    UnsetToolTip();
}

// The status line shows the button's prompt and the idle prompt again when there is none. It is
// the main frame's, also while the bar floats in a frame of its own.
void CToolBarEx::ShowPrompt(int index) {
  auto* frame = wxDynamicCast(m_hwndNotify, wxFrame);
  if (frame == nullptr) return;
  if (index >= 0)
    frame->DoGiveHelp(m_buttons[index].prompt, true);
  else
    frame->DoGiveHelp(wxString(), false);
}

void CToolBarEx::OnMouseMove(wxMouseEvent& event) {
  event.Skip();
  if (!OwnerIsActive()) return;
  const int over = ButtonAt(event.GetPosition());
  SetHot(over >= 0 && m_buttons[over].enabled ? over : -1);
  SetHovered(over);
  if (m_iPressed >= 0) RefreshButton(m_iPressed);
  m_timer.Start(kHotTimerMs);
}

void CToolBarEx::OnTimer(wxTimerEvent&) {
  if (!GetScreenRect().Contains(wxGetMousePosition())) {
    SetHot(-1);
    SetHovered(-1);
  }
  if (m_iHot < 0 && m_iHovered < 0) m_timer.Stop();
}

void CToolBarEx::OnLeftDown(wxMouseEvent& event) {
  const int index = ButtonAt(event.GetPosition());
  if (index < 0) {
    // Beside the buttons (the gripper): the user drags the bar to another dock or off it.
    wxAuiManager* manager = wxAuiManager::GetManager(m_hwndNotify);
    if (m_side != BarSide::kFloating && FramePaneOf(this, m_hwndNotify))
      manager->StartPaneDrag(this, event.GetPosition());
    return;
  }
  if (!m_buttons[index].enabled) return;
  m_iPressed = index;
  if (!HasCapture()) CaptureMouse();
  RefreshButton(index);
  Update();
}

// The command goes when the button is released over the button it went down on.
void CToolBarEx::OnLeftUp(wxMouseEvent& event) {
  const int pressed = m_iPressed;
  m_iPressed = -1;
  if (HasCapture()) ReleaseMouse();
  if (pressed < 0) {
    event.Skip();
    return;
  }
  RefreshButton(pressed);
  if (ButtonAt(event.GetPosition()) == pressed) SendCommand(pressed);
}

void CToolBarEx::OnCaptureLost(wxMouseCaptureLostEvent&) {
  RefreshButton(m_iPressed);
  m_iPressed = -1;
}

void CToolBarEx::SendCommand(int index) {
  Button& button = m_buttons[index];
  if (!button.enabled) return;
  wxCommandEvent command(wxEVT_MENU, button.id);
  command.SetEventObject(this);
  if (button.checkable) command.SetInt(button.checked ? 0 : 1);
  ProcessWindowEvent(command);
}

// From the keyboard: Left and Right (Up and Down) choose a button, Space or Enter presses it.
void CToolBarEx::OnKeyDown(wxKeyEvent& event) {
  const int count = static_cast<int>(m_buttons.size());
  auto step = [&](int direction) {
    for (int i = m_iFocus + direction; i >= 0 && i < count; i += direction) {
      if (m_buttons[i].id != 0) {
        RefreshButton(m_iFocus);
        m_iFocus = i;
        RefreshButton(m_iFocus);
        ShowPrompt(i);
        return;
      }
    }
  };
  switch (event.GetKeyCode()) {
    case WXK_LEFT:
    case WXK_UP:
      step(-1);
      break;
    case WXK_RIGHT:
    case WXK_DOWN:
      step(1);
      break;
    case WXK_SPACE:
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
      if (m_iFocus >= 0) SendCommand(m_iFocus);
      break;
    default:
      event.Skip();
  }
}

void CToolBarEx::OnFocus(wxFocusEvent& event) {
  if (m_iFocus < 0)
    m_iFocus = ButtonAt(m_buttons.empty() ? wxPoint() : m_buttons[0].rect.GetTopLeft());
  RefreshButton(m_iFocus);
  event.Skip();
}

void CToolBarEx::OnSysColourChanged(wxSysColourChangedEvent& event) {
  ReadColours();
  MakeEmbossedImages();
  Refresh();
  event.Skip();
}

}  // namespace bw
