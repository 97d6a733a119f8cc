#include "frame/menu_bar.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/aui/framemanager.h>
#include <wx/dcclient.h>
#include <wx/frame.h>
#include <wx/settings.h>

#include <algorithm>
#include <cstdlib>

#include "frame/bar_accessibility.h"
#include "frame/flat_paint.h"
#include "res/menus.h"

namespace bw {

namespace {

constexpr int kEdge = 5;        // rows and columns start this far from the bar's edge
constexpr int kTextIndent = 6;  // the text starts this far into its item

wxString WithoutMnemonic(const wxString& text, int* index) {
  wxString plain;
  *index = wxControl::FindAccelIndex(text, &plain);
  return plain;
}

GtkWidget* GtkMenuOf(const wxMenu& menu) {
  return menu.m_menu;
}

}  // namespace

CMenuBar::CMenuBar(wxWindow* frame, wxWindowID id)
    : wxControl(frame, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE, wxDefaultValidator,
                "MenuBar"),
      m_pOwner(frame),
      m_timer(this, kBarHotTimerId),
      m_rewrapTimer(this, kBarRewrapTimerId) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  SetAccessibleName(*this, "Menu bar", AccessibleRole::kMenuBar);
  Bind(wxEVT_PAINT, &CMenuBar::OnPaint, this);
  Bind(wxEVT_MOTION, &CMenuBar::OnMouseMove, this);
  Bind(wxEVT_ENTER_WINDOW, &CMenuBar::OnMouseMove, this);
  Bind(wxEVT_TIMER, &CMenuBar::OnTimer, this, kBarHotTimerId);
  Bind(
      wxEVT_TIMER, [this](wxTimerEvent&) { Rewrap(); }, kBarRewrapTimerId);
  // Docked, the room the bar has changes with the frame's size.
  frame->Bind(wxEVT_SIZE, &CMenuBar::OnFrameSize, this);
  Bind(wxEVT_LEFT_DOWN, &CMenuBar::OnLeftDown, this);
  Bind(wxEVT_LEFT_DCLICK, &CMenuBar::OnLeftDown, this);
  Bind(wxEVT_KILL_FOCUS, &CMenuBar::OnKillFocus, this);
  Bind(wxEVT_SYS_COLOUR_CHANGED, &CMenuBar::OnSystemChange, this);
  Bind(wxEVT_SIZE, &CMenuBar::OnSize, this);
  frame->Bind(wxEVT_CHAR_HOOK, &CMenuBar::OnFrameKey, this);
  m_fontSignal = g_signal_connect(gtk_settings_get_default(), "notify::gtk-font-name",
                                  G_CALLBACK(+[](GObject*, GParamSpec*, CMenuBar* bar) {
                                    bar->CallAfter([bar] { bar->OnSystemSettingChanged(); });
                                  }),
                                  this);
}

CMenuBar::~CMenuBar() {
  m_timer.Stop();
  m_rewrapTimer.Stop();
  m_pOwner->Unbind(wxEVT_SIZE, &CMenuBar::OnFrameSize, this);
  UnhookPopups();
  g_signal_handler_disconnect(gtk_settings_get_default(), m_fontSignal);
  m_pOwner->Unbind(wxEVT_CHAR_HOOK, &CMenuBar::OnFrameKey, this);
}

int CMenuBar::SystemMenuHeight() {
  GtkWidget* bar = gtk_menu_bar_new();
  g_object_ref_sink(bar);
  GtkWidget* item = gtk_menu_item_new_with_mnemonic("_File");
  gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
  gtk_widget_show_all(bar);
  int natural = 0;
  gtk_widget_get_preferred_height(bar, nullptr, &natural);
  gtk_widget_destroy(bar);
  g_object_unref(bar);
  return natural > 0 ? natural : wxSystemSettings::GetMetric(wxSYS_MENU_Y);
}

bool CMenuBar::LoadMenu(int systemMenuHeight) {
  // The frame shows no menu of its own once the bar has one; it goes after the events already
  // queued, so that a menu being handled is not pulled away under its handler.
  if (auto* frame = wxDynamicCast(m_pOwner, wxFrame); frame && frame->GetMenuBar()) {
    CallAfter([frame] {
      wxMenuBar* own = frame->GetMenuBar();
      frame->SetMenuBar(nullptr);
      delete own;
    });
  }
  std::vector<res::TopLevelMenu> menus = res::LoadFrameMenu();
  if (menus.empty()) return false;
  m_arrItems.clear();
  for (res::TopLevelMenu& menu : menus) {
    MenuBarItem item;
    item.text = menu.text;
    item.popup = std::move(menu.popup);
    m_arrItems.push_back(std::move(item));
  }
  MeasureItems(systemMenuHeight);
  return true;
}

void CMenuBar::MeasureItems(int systemMenuHeight) {
  m_fontHorz = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
  SetFont(m_fontHorz);
  auto width = [this](const wxString& text) {
    int w = 0, h = 0;
    GetTextExtent(text, &w, &h, nullptr, nullptr, &m_fontHorz);
    return w;
  };
  int unused = 0, h = 0;
  GetTextExtent("Ag", &unused, &h, nullptr, nullptr, &m_fontHorz);
  const int m = systemMenuHeight;
  m_cyMargin = m > h + 4 ? (m - h) / 2 : 2;
  for (MenuBarItem& item : m_arrItems) {
    int mnemonic = -1;
    const wxString plain = WithoutMnemonic(item.text, &mnemonic);
    item.cx = width(plain) + 2 * kTextIndent;
    item.cy = h + 2 * m_cyMargin;
    if (mnemonic < 0) {
      item.underlineStart = item.underlineEnd = wxPoint();
    } else {
      item.underlineStart = wxPoint(m_cyMargin, kTextIndent + width(plain.Left(mnemonic)));
      item.underlineEnd = wxPoint(m_cyMargin, kTextIndent + width(plain.Left(mnemonic + 1)));
    }
  }
  LayOutItems();
}

// Rows along the bar (columns when docked at a side), after the gripper of a docked bar,
// wrapping where the next item would pass the length the bar has.
void CMenuBar::LayOutItems() {
  std::vector<BarCell> cells;
  for (const MenuBarItem& item : m_arrItems)
    cells.push_back(BarCell{item.cx, item.cy, false});
  const BarMargins margins{m_side == BarSide::kFloating ? kEdge : kBarGripperRoom, kEdge, kEdge,
                           kEdge};
  m_layout = LayOutBar(cells, margins, m_side == BarSide::kFloating ? m_nLength : DockLength(),
                       m_bVertical);
  for (std::size_t i = 0; i < m_arrItems.size(); ++i) {
    const BarPlace& place = m_layout.places[i];
    m_arrItems[i].horizontal = !m_bVertical;
    m_arrItems[i].state = kFlat;
    m_arrItems[i].rect = wxRect(place.x, place.y, place.width, place.height);
    m_arrItems[i].wrap = i + 1 < m_arrItems.size() &&
                         m_layout.places[i + 1].x == margins.rowStart &&
                         m_layout.places[i + 1].y != place.y;
  }
  m_nCurItem = -1;
  InvalidateBestSize();
  SetMinSize(Smallest());
  CacheBestSize(wxSize(m_layout.width, m_layout.height));
  FitPane();
  Refresh();
}

// The room a docked bar has: the rest of its row along the top or the bottom, the height of
// the frame's middle (between the top and the bottom docks) at a side.
int CMenuBar::DockLength() const {
  wxAuiManager* manager = wxAuiManager::GetManager(m_pOwner);
  if (manager == nullptr || GetParent() != m_pOwner) return kBarUnbounded;
  if (!m_bVertical) {
    const int rest = m_pOwner->GetClientSize().x - GetPosition().x;
    return rest > 0 ? rest : kBarUnbounded;
  }
  const wxAuiPaneInfoArray& panes = manager->GetAllPanes();
  for (std::size_t i = 0; i < panes.GetCount(); ++i) {
    if (panes[i].dock_direction == wxAUI_DOCK_CENTER && panes[i].window &&
        panes[i].window->GetSize().y > 0)
      return panes[i].window->GetSize().y;
  }
  return kBarUnbounded;
}

// One item, the widest, with its margins: what a floating frame may be made as small as.
wxSize CMenuBar::Smallest() const {
  int along = 0, across = 0;
  for (const MenuBarItem& item : m_arrItems) {
    along = std::max(along, item.cx);
    across = std::max(across, item.cy);
  }
  const wxSize size(along + 2 * kEdge, across + 2 * kEdge);
  return m_bVertical ? wxSize(size.y, size.x) : size;
}

wxSize CMenuBar::DoGetBestSize() const {
  return wxSize(m_layout.width, m_layout.height);
}

// Docked along the top or the bottom the bar fills what its row leaves, at a side what its
// column leaves; floating, the frame around it takes its size.
void CMenuBar::FitPane() {
  wxSize want(m_layout.width, m_layout.height);
  if (m_side == BarSide::kFloating) {
    FitBarPane(this, m_pOwner, want, Smallest());
    FitFloatingFrame(this, want);
    return;
  }
  const int room = DockLength();
  if (room != kBarUnbounded) {
    if (m_bVertical)
      want.y = std::max(want.y, room);
    else
      want.x = std::max(want.x, room);
  }
  FitBarPane(this, m_pOwner, want, wxSize(m_layout.width, m_layout.height));
}

// Follows the docking manager: a new side lays the items out for it; a floating frame resized
// by the user rewraps them once its sizes have settled.
void CMenuBar::OnSize(wxSizeEvent& event) {
  event.Skip();
  const BarSide side = SideOf(this, m_pOwner);
  if (side == m_side && side == BarSide::kFloating) {
    m_rewrapTimer.StartOnce(kBarRewrapDelayMs);
    return;
  }
  if (side != m_side) {
    const wxSize stored =
        side == BarSide::kFloating ? FramePaneOf(this, m_pOwner)->floating_size : wxDefaultSize;
    m_side = side;
    m_bVertical = IsVerticalSide(side);
    m_nLength = stored.x > 0 && stored.y > 0 ? stored.x : kBarUnbounded;
  }
  LayOutItems();
}

void CMenuBar::Rewrap() {
  const wxSize asked = GetClientSize();
  if (m_side != BarSide::kFloating || asked.x <= 0 || asked.y <= 0) return;
  if (asked == wxSize(m_layout.width, m_layout.height)) return;
  std::vector<BarCell> cells;
  for (const MenuBarItem& item : m_arrItems)
    cells.push_back(BarCell{item.cx, item.cy, false});
  m_nLength =
      LengthForResize(cells, BarMargins{kEdge, kEdge, kEdge, kEdge}, asked.x, asked.y, m_layout);
  LayOutItems();
}

wxMenuItem* CMenuBar::FindItem(int wxId) const {
  for (const MenuBarItem& item : m_arrItems) {
    if (wxMenuItem* found = item.popup ? item.popup->FindItem(wxId) : nullptr) return found;
  }
  return nullptr;
}

void CMenuBar::UpdateMenus() {
  for (MenuBarItem& item : m_arrItems) {
    if (item.popup) item.popup->UpdateUI(m_pOwner->GetEventHandler());
  }
}

int CMenuBar::HitTest(const wxPoint& point) const {
  for (std::size_t i = 0; i < m_arrItems.size(); ++i) {
    if (m_arrItems[i].rect.Contains(point)) return static_cast<int>(i);
  }
  return -1;
}

bool CMenuBar::OwnerIsActive() const {
  return wxTheApp->IsActive() && m_pOwner->IsEnabled();
}

// Items are redrawn at once, not at the next paint, so that a pop-up never opens over a bar
// that still shows the previous item highlighted.
void CMenuBar::SetState(int state, int index) {
  m_nTrackState = state;
  if (m_nCurItem >= 0 && m_nCurItem < static_cast<int>(m_arrItems.size())) {
    m_arrItems[m_nCurItem].state = kFlat;
    RefreshRect(m_arrItems[m_nCurItem].rect, false);
    m_nCurItem = -1;
  }
  if (state != kIdle && index >= 0 && index < static_cast<int>(m_arrItems.size())) {
    m_nCurItem = index;
    m_arrItems[index].state = state == kPopupOpen ? kSunken : kRaised;
    RefreshRect(m_arrItems[index].rect, false);
  }
  Update();
  m_bCanMoveRight = true;
  m_bCanMoveLeft = true;
}

void CMenuBar::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  const BarColours colours = BarColours::FromSystem();
  const wxSize size = GetClientSize();
  FillSolid(dc, wxRect(size), colours.face);
  for (const MenuBarItem& item : m_arrItems)
    PaintItem(dc, item, colours);
  if (m_side == BarSide::kFloating) return;
  DrawGripper(dc, size, !m_bVertical, colours);
  Draw3dRect(dc, wxRect(size), colours.hilite, colours.shadow);
}

void CMenuBar::PaintItem(wxDC& dc, const MenuBarItem& item, const BarColours& colours) const {
  const wxRect& r = item.rect;
  FillSolid(dc, r, colours.face);
  if (item.state == kRaised) Draw3dRect(dc, r, colours.hilite, colours.shadow);
  if (item.state == kSunken) Draw3dRect(dc, r, colours.shadow, colours.hilite);
  const int press = item.state == kSunken ? 1 : 0;
  const wxColour ink = wxSystemSettings::GetColour(wxSYS_COLOUR_MENUTEXT);
  dc.SetFont(m_fontHorz);
  dc.SetTextForeground(ink);
  dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
  int mnemonic = -1;
  const wxString plain = WithoutMnemonic(item.text, &mnemonic);
  if (item.horizontal) {
    wxRect text = r;
    text.Deflate(kTextIndent, m_cyMargin - 1);
    text.Offset(press, press);
    dc.DrawLabel(plain, text, wxALIGN_LEFT | wxALIGN_CENTER_VERTICAL, mnemonic);
    return;
  }
  // A quarter turn clockwise: the text runs down from the top of the item, its top towards
  // the item's right edge, and the mnemonic underline is a line along its left edge.
  dc.DrawRotatedText(plain, r.GetRight() + 1 - m_cyMargin + press, r.y + kTextIndent + press, -90);
  if (mnemonic >= 0) {
    const wxPoint from = r.GetTopLeft() + item.underlineStart + wxPoint(press, press);
    const wxPoint to = r.GetTopLeft() + item.underlineEnd + wxPoint(press, press);
    FillSolid(dc, wxRect(from.x, from.y, 1, to.y - from.y), ink);
  }
}

void CMenuBar::OnMouseMove(wxMouseEvent& event) {
  event.Skip();
  if (!OwnerIsActive() || m_nTrackState == kPopupOpen) return;
  const int over = HitTest(event.GetPosition());
  if (over < 0) {
    if (m_nCurItem >= 0) SetState(kIdle, -1);
    return;
  }
  if (over != m_nCurItem) {
    SetState(kHot, over);
    m_timer.Start(kHotTimerMs);
  }
}

void CMenuBar::OnTimer(wxTimerEvent&) {
  if (m_nTrackState != kHot) return;
  if (!GetScreenRect().Contains(wxGetMousePosition())) {
    SetState(kIdle, -1);
    m_timer.Stop();
  }
}

void CMenuBar::OnLeftDown(wxMouseEvent& event) {
  const int over = HitTest(event.GetPosition());
  if (over < 0) {
    // Beside the items (the gripper): the user drags the bar to another side.
    if (m_side != BarSide::kFloating && FramePaneOf(this, m_pOwner))
      wxAuiManager::GetManager(m_pOwner)->StartPaneDrag(this, event.GetPosition());
    return;
  }
  TrackPopup(over);
}

void CMenuBar::OnKillFocus(wxFocusEvent& event) {
  event.Skip();
  if (m_nTrackState != kPopupOpen) SetState(kIdle, -1);
}

void CMenuBar::OnSystemChange(wxSysColourChangedEvent& event) {
  event.Skip();
  OnSystemSettingChanged();
}

void CMenuBar::OnFrameSize(wxSizeEvent& event) {
  event.Skip();
  if (m_side != BarSide::kFloating) CallAfter([this] { LayOutItems(); });
}

void CMenuBar::OnSystemSettingChanged() {
  MeasureItems(SystemMenuHeight());
  if (wxAuiManager* manager = wxAuiManager::GetManager(this)) manager->Update();
}

// F10 opens the first pop-up; Alt with an item's mnemonic letter opens that item's.
void CMenuBar::OnFrameKey(wxKeyEvent& event) {
  event.Skip();
  if (m_nTrackState == kPopupOpen || !IsShownOnScreen()) return;
  int open = -1;
  if (event.GetKeyCode() == WXK_F10 && event.GetModifiers() == wxMOD_NONE) {
    open = 0;
  } else if (event.GetModifiers() == wxMOD_ALT && event.GetKeyCode() < 128) {
    const wxChar letter = wxToupper(static_cast<wxChar>(event.GetKeyCode()));
    for (std::size_t i = 0; i < m_arrItems.size() && open < 0; ++i) {
      int mnemonic = -1;
      const wxString plain = WithoutMnemonic(m_arrItems[i].text, &mnemonic);
      if (mnemonic >= 0 && wxToupper(plain[mnemonic]) == letter) open = static_cast<int>(i);
    }
  }
  if (open < 0) return;
  event.Skip(false);
  m_bSelectFirst = true;
  CallAfter([this, open] { TrackPopup(open); });
}

void CMenuBar::TrackPopup(int index) {
  if (index < 0 || index >= static_cast<int>(m_arrItems.size())) return;
  m_timer.Stop();
  m_nCurItem = index;
  m_bLoop = true;
  while (m_bLoop) {
    Update();
    SetState(kPopupOpen, m_nCurItem);
    wxMenu* popup = m_arrItems[m_nCurItem].popup.get();
    if (popup == nullptr) break;
    m_bLoop = false;
    m_nTrackState = kPopupOpen;
    OpenPopup(*popup);
  }
  m_bSelectFirst = false;
  SetState(kIdle, -1);
}

int CMenuBar::PopupItemCount(const wxMenu& menu) const {
  return static_cast<int>(menu.GetMenuItemCount());
}

// The widest item of the pop-up with room for its check mark and its sub-menu arrow.
int CMenuBar::PopupWidth(const wxMenu& menu) const {
  const int check = std::max(13, wxSystemSettings::GetMetric(wxSYS_SMALLICON_X) - 3);
  int widest = 0;
  for (const wxMenuItem* item : menu.GetMenuItems()) {
    int w = 0, h = 0;
    GetTextExtent(item->GetItemLabelText(), &w, &h, nullptr, nullptr, &m_fontHorz);
    widest = std::max(widest, w + 2 * check + 18);
  }
  return widest;
}

CMenuBar::Placement CMenuBar::PlacementFor(const wxMenu& menu, const wxRect& b) const {
  const wxRect screen(wxPoint(0, 0), wxGetDisplaySize());
  if (!m_bVertical && m_side != BarSide::kFloating) {
    if (b.GetBottom() + 1 + PopupItemCount(menu) * b.height > screen.GetBottom() + 1)
      return Placement::kAbove;
    return Placement::kBelow;
  }
  if (b.GetRight() + 1 + PopupWidth(menu) > screen.GetRight() + 1) return Placement::kLeft;
  return Placement::kRight;
}

void CMenuBar::OpenPopup(wxMenu& menu) {
  const MenuBarItem& item = m_arrItems[m_nCurItem];
  const wxRect b(ClientToScreen(item.rect.GetTopLeft()), item.rect.GetSize());
  m_lastPlacement = PlacementFor(menu, b);
  GdkGravity itemCorner = GDK_GRAVITY_SOUTH_WEST, menuCorner = GDK_GRAVITY_NORTH_WEST;
  switch (m_lastPlacement) {
    case Placement::kBelow:
      break;
    case Placement::kAbove:
      itemCorner = GDK_GRAVITY_NORTH_WEST;
      menuCorner = GDK_GRAVITY_SOUTH_WEST;
      break;
    case Placement::kRight:
      itemCorner = GDK_GRAVITY_NORTH_EAST;
      menuCorner = GDK_GRAVITY_NORTH_WEST;
      break;
    case Placement::kLeft:
      itemCorner = GDK_GRAVITY_NORTH_WEST;
      menuCorner = GDK_GRAVITY_NORTH_EAST;
      break;
  }
  GdkWindow* top = gtk_widget_get_window(gtk_widget_get_toplevel(GetHandle()));
  int originX = 0, originY = 0;
  gdk_window_get_origin(top, &originX, &originY);
  const GdkRectangle anchor{b.x - originX, b.y - originY, b.width, b.height};

  GtkWidget* gtkMenu = GtkMenuOf(menu);
  menu.SetInvokingWindow(m_pOwner);
  menu.UpdateUI(m_pOwner->GetEventHandler());
  HookPopup(menu);
  m_pOpenMenu = gtkMenu;
  m_bPopupShown = true;
  m_ptLastMouse = ScreenToClient(wxGetMousePosition());
  // The side was chosen above; GTK only keeps the pop-up on the screen.
  g_object_set(gtkMenu, "anchor-hints", GDK_ANCHOR_SLIDE | GDK_ANCHOR_RESIZE, nullptr);
  gtk_menu_popup_at_rect(GTK_MENU(gtkMenu), top, &anchor, itemCorner, menuCorner, nullptr);
  if (!gtk_widget_get_visible(gtkMenu)) m_bPopupShown = false;  // GTK could not show it
  if (m_bPopupShown && m_bSelectFirst) gtk_menu_shell_select_first(GTK_MENU_SHELL(gtkMenu), TRUE);
  while (m_bPopupShown)
    gtk_main_iteration();
  UnhookPopups();
  m_pOpenMenu = nullptr;
  menu.SetInvokingWindow(nullptr);
}

// The pop-up and each of its sub-menus: whichever holds the grab gets the keys and the moves.
void CMenuBar::HookPopup(wxMenu& menu) {
  GtkWidget* widget = GtkMenuOf(menu);
  auto hook = [&](const char* signal, GCallback callback) {
    m_hooks.push_back({widget, g_signal_connect(widget, signal, callback, this)});
  };
  hook("key-press-event", G_CALLBACK(&CMenuBar::OnPopupKey));
  hook("motion-notify-event", G_CALLBACK(&CMenuBar::OnPopupMotion));
  hook("button-press-event", G_CALLBACK(&CMenuBar::OnPopupButton));
  if (m_hooks.size() == 3) hook("hide", G_CALLBACK(&CMenuBar::OnPopupHidden));
  for (wxMenuItem* item : menu.GetMenuItems()) {
    if (wxMenu* sub = item->GetSubMenu()) HookPopup(*sub);
  }
}

void CMenuBar::UnhookPopups() {
  for (const SignalHook& hook : m_hooks)
    g_signal_handler_disconnect(hook.widget, hook.id);
  m_hooks.clear();
}

void CMenuBar::CancelPopup() {
  if (m_pOpenMenu) gtk_menu_shell_cancel(GTK_MENU_SHELL(m_pOpenMenu));
}

void CMenuBar::SwitchTo(int index) {
  CancelPopup();
  SetState(kIdle, -1);
  m_nCurItem = index;
  m_bLoop = true;
}

// Right moves on only when the selected entry opens no sub-menu, Left only from the pop-up
// itself (in a sub-menu the keys open and close the sub-menu, as in any menu).
void CMenuBar::UpdateMoveFlags() {
  // The shell the keys act on: the deepest open one that has an entry selected.
  GtkWidget* shell = m_pOpenMenu;
  GtkWidget* selected = gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(shell));
  while (selected != nullptr) {
    GtkWidget* sub = gtk_menu_item_get_submenu(GTK_MENU_ITEM(selected));
    if (sub == nullptr || !gtk_widget_get_visible(sub)) break;
    GtkWidget* inner = gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(sub));
    if (inner == nullptr) break;
    shell = sub;
    selected = inner;
  }
  m_bCanMoveRight =
      selected == nullptr || gtk_menu_item_get_submenu(GTK_MENU_ITEM(selected)) == nullptr;
  m_bCanMoveLeft = shell == m_pOpenMenu;
}

int CMenuBar::OnPopupKey(GtkWidget*, GdkEventKey* event, CMenuBar* bar) {
  if (bar->m_bVertical || bar->m_nCurItem < 0) return FALSE;
  const int count = static_cast<int>(bar->m_arrItems.size());
  bar->UpdateMoveFlags();
  bar->m_bSelectFirst = true;  // a pop-up opened from the keyboard starts at its first entry
  if ((event->keyval == GDK_KEY_Left || event->keyval == GDK_KEY_KP_Left) && bar->m_bCanMoveLeft) {
    bar->SwitchTo((bar->m_nCurItem + count - 1) % count);
    return TRUE;
  }
  if ((event->keyval == GDK_KEY_Right || event->keyval == GDK_KEY_KP_Right) &&
      bar->m_bCanMoveRight) {
    bar->SwitchTo((bar->m_nCurItem + 1) % count);
    return TRUE;
  }
  return FALSE;
}

int CMenuBar::OnPopupMotion(GtkWidget*, GdkEventMotion* event, CMenuBar* bar) {
  const wxPoint point = bar->ScreenToClient(
      wxPoint(static_cast<int>(event->x_root), static_cast<int>(event->y_root)));
  if (point == bar->m_ptLastMouse) return FALSE;
  bar->m_ptLastMouse = point;
  const int over = bar->HitTest(point);
  if (over >= 0 && over != bar->m_nCurItem) {
    bar->m_bSelectFirst = false;
    bar->SwitchTo(over);
  }
  return FALSE;
}

int CMenuBar::OnPopupButton(GtkWidget*, GdkEventButton* event, CMenuBar* bar) {
  if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
  const wxPoint point = bar->ScreenToClient(
      wxPoint(static_cast<int>(event->x_root), static_cast<int>(event->y_root)));
  if (bar->m_nCurItem < 0 || bar->HitTest(point) != bar->m_nCurItem) return FALSE;
  // A click on the open item closes its pop-up and opens none.
  bar->CancelPopup();
  bar->SetState(kClosedByClick, bar->m_nCurItem);
  return TRUE;
}

void CMenuBar::OnPopupHidden(GtkWidget*, CMenuBar* bar) {
  bar->m_bPopupShown = false;
}

}  // namespace bw
