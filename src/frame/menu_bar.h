// CMenuBar: the frame's menu as a dockable bar of flat text items ("&File" to "&Help"). The
// item under the mouse is raised; a click opens its pop-up under the item (or above it, or
// beside it when the bar is docked at a side), and while a pop-up is open the mouse moving onto
// another item, or Left and Right, close it and open the neighbour's (wrapping at the ends).
// Docked left or right, the items stand in a column with their text turned a quarter turn
// clockwise. Rows (columns) wrap when the dock leaves too little room, and a floating bar's
// rows wrap by the width of its floating frame, which has no close button. F10 opens the first
// pop-up and Alt with an item's mnemonic letter opens that item's, so the menus stay reachable from
// the keyboard.
//
// GTK runs an open pop-up in a grab of its own, so wx never sees the keys and mouse moves meant
// for the bar while one is open: the bar listens to the pop-up's own GTK signals (key press,
// motion, button press) instead, for every pop-up and sub-menu of the open item.
//
// Commands chosen in a pop-up go to the frame (its command map and the view's, as from any
// menu); command-state updates run on a pop-up just before it opens.
//
// Threads: user-interface thread only. TrackPopup returns when the last pop-up has closed.
#pragma once

#include <wx/control.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include <memory>
#include <vector>

#include "frame/bar_docking.h"
#include "frame/bar_layout.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GdkEventKey GdkEventKey;
typedef struct _GdkEventMotion GdkEventMotion;
typedef struct _GdkEventButton GdkEventButton;

namespace bw {

struct BarColours;

class CMenuBar : public wxControl {
 public:
  static constexpr int kHotTimerMs = 250;
  // m_nTrackState
  enum TrackState { kIdle = 0, kClosedByClick = 1, kPopupOpen = 2, kHot = 3 };
  // MenuBarItem::state
  enum ItemState { kRaised = 0, kSunken = 1, kFlat = 2 };

  CMenuBar(wxWindow* frame, wxWindowID id);
  ~CMenuBar() override;

  // Loads menu 128 and lays its items out at the height of the system's menu bar
  // (SystemMenuHeight, which the frame has measured already); the frame's own wx menu bar, if
  // it has one, is removed once the events already queued are handled.
  bool LoadMenu(int systemMenuHeight);

  // Laid out in columns (docked left or right) or in rows; the rows wrap by the room the bar
  // has in its dock, or, floating, by the width of its floating frame.
  bool IsVertical() const { return m_bVertical; }
  BarSide Side() const { return m_side; }
  int Rows() const { return m_layout.rows; }

  std::size_t GetItemCount() const { return m_arrItems.size(); }
  const wxString& GetItemText(std::size_t index) const { return m_arrItems[index].text; }
  wxRect GetItemRect(std::size_t index) const { return m_arrItems[index].rect; }
  // The mnemonic underline of a column's item, from start to end, relative to the item's
  // top-left corner; both (0, 0) when the text has no mnemonic.
  wxPoint UnderlineStart(std::size_t index) const { return m_arrItems[index].underlineStart; }
  wxPoint UnderlineEnd(std::size_t index) const { return m_arrItems[index].underlineEnd; }
  wxMenu* GetMenu(std::size_t index) const { return m_arrItems[index].popup.get(); }
  // The command item `wxId` in any pop-up (null when there is none).
  wxMenuItem* FindItem(int wxId) const;
  // Runs the command-state updates of every pop-up now.
  void UpdateMenus();

  // Where the last pop-up opened, relative to its item.
  enum class Placement { kBelow, kAbove, kRight, kLeft };
  Placement LastPlacement() const { return m_lastPlacement; }

  int CurrentItem() const { return m_nCurItem; }
  int TrackState() const { return m_nTrackState; }
  int ItemStateOf(std::size_t index) const { return m_arrItems[index].state; }

  // The pop-up loop for item `index`: opens its pop-up, then whichever the user moves to.
  void TrackPopup(int index);
  // The height of the system's menu bar (what the frame's width rule is measured in).
  static int SystemMenuHeight();

  bool AcceptsFocus() const override { return false; }

 protected:
  wxSize DoGetBestSize() const override;

 private:
  struct MenuBarItem {
    int state = kFlat;
    bool horizontal = true;
    wxRect rect;
    wxString text;
    int cx = 0, cy = 0;
    wxPoint underlineStart, underlineEnd;
    bool wrap = false;
    std::unique_ptr<wxMenu> popup;
  };
  struct SignalHook {
    GtkWidget* widget;
    unsigned long id;
  };

  void MeasureItems(int systemMenuHeight);
  void LayOutItems();
  int DockLength() const;
  wxSize Smallest() const;
  void FitPane();
  void Rewrap();
  void OnFrameSize(wxSizeEvent& event);
  void OnSystemSettingChanged();
  Placement PlacementFor(const wxMenu& menu, const wxRect& itemOnScreen) const;
  void UpdateMoveFlags();
  void SetState(int state, int index);
  int HitTest(const wxPoint& point) const;
  bool OwnerIsActive() const;
  void OpenPopup(wxMenu& menu);
  void HookPopup(wxMenu& menu);
  void UnhookPopups();
  void CancelPopup();
  void SwitchTo(int index);
  int PopupItemCount(const wxMenu& menu) const;
  int PopupWidth(const wxMenu& menu) const;

  static int OnPopupKey(GtkWidget* widget, GdkEventKey* event, CMenuBar* bar);
  static int OnPopupMotion(GtkWidget* widget, GdkEventMotion* event, CMenuBar* bar);
  static int OnPopupButton(GtkWidget* widget, GdkEventButton* event, CMenuBar* bar);
  static void OnPopupHidden(GtkWidget* widget, CMenuBar* bar);

  void OnPaint(wxPaintEvent& event);
  void PaintItem(wxDC& dc, const MenuBarItem& item, const BarColours& colours) const;
  void OnMouseMove(wxMouseEvent& event);
  void OnTimer(wxTimerEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnKillFocus(wxFocusEvent& event);
  void OnSystemChange(wxSysColourChangedEvent& event);
  void OnSize(wxSizeEvent& event);
  void OnFrameKey(wxKeyEvent& event);

  wxWindow* m_pOwner;  // the frame: commands and command-state updates go there
  int m_nTrackState = kIdle;
  std::vector<MenuBarItem> m_arrItems;
  bool m_bLoop = false;
  int m_nCurItem = -1;
  wxPoint m_ptLastMouse{-1, -1};
  wxTimer m_timer;
  bool m_bCanMoveRight = true;
  bool m_bCanMoveLeft = true;
  bool m_bVertical = false;
  bool m_bPopupShown = false;
  bool m_bSelectFirst = false;  // the next pop-up opens with its first entry selected
  Placement m_lastPlacement = Placement::kBelow;
  BarSide m_side = BarSide::kTop;
  int m_nLength = kBarUnbounded;  // the length a floating bar's rows wrap at
  BarLayout m_layout;
  wxTimer m_rewrapTimer;
  unsigned long m_fontSignal = 0;
  GtkWidget* m_pOpenMenu = nullptr;
  std::vector<SignalHook> m_hooks;

  wxFont m_fontHorz;
  int m_cyMargin = 2;
};

}  // namespace bw
