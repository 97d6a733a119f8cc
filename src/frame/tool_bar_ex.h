// CToolBarEx: the frame's two toolbars, painted flat by the program. A button shows no edge
// until the mouse is over it, is raised while hot, sunken while pressed or checked (with a
// dithered face when checked and not under the mouse), and shows its image embossed in the
// highlight and shadow colours when disabled. Separators are etched lines; a docked bar shows a
// two-line gripper. Docked at the top or the bottom the buttons stand in a row, at the left or
// the right in a column (separators become horizontal strips, the gripper goes to the top);
// floating, they wrap into rows by the width the user gives the floating frame, and a separator
// where a row breaks is not drawn. A 250 ms timer notices the mouse leaving the bar, because
// nothing else tells a bar that the pointer went straight to another window.
//
// Commands: a click sends the button's command (wxEVT_MENU with the button's wx id) to the
// frame. The frame's command-state updates (EVT_UPDATE_UI) enable and check the buttons at
// idle time; only the buttons whose state changed are repainted.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/timer.h>

#include <vector>

#include "frame/bar_docking.h"
#include "frame/bar_layout.h"

namespace bw {

class CToolBarEx : public wxControl {
 public:
  static constexpr int kHotTimerMs = 250;

  CToolBarEx(wxWindow* parent, wxWindowID id, const wxString& name);
  ~CToolBarEx() override;

  // Building the bar: the images' size first, then the buttons in order, then Realize.
  void SetToolBitmapSize(const wxSize& size);
  wxSize GetToolBitmapSize() const { return m_szImage; }
  void AddTool(int wxId, const wxBitmap& image, const wxString& tip, const wxString& prompt,
               bool checkable);
  void AddSeparator();
  void Realize();

  // Button states as the command-state updates left them (wx ids).
  bool HasTool(int wxId) const;
  bool GetToolEnabled(int wxId) const;
  bool GetToolState(int wxId) const;
  void EnableTool(int wxId, bool enable);
  void ToggleTool(int wxId, bool checked);

  // Buttons and separators in order; a separator's id is 0.
  std::size_t GetToolsCount() const { return m_buttons.size(); }
  int GetToolId(std::size_t index) const;
  wxRect GetToolRect(std::size_t index) const;
  // Index of the button under the mouse, −1 for none.
  int HotButton() const { return m_iHot; }
  // Where the bar is docked (or that it floats) as its layout follows it, and its rows (columns
  // when vertical).
  BarSide Side() const { return m_side; }
  int Rows() const { return m_layout.rows; }

  void UpdateWindowUI(long flags = wxUPDATE_UI_NONE) override;
  bool AcceptsFocus() const override { return true; }
  bool AcceptsFocusFromKeyboard() const override { return true; }

 protected:
  wxSize DoGetBestSize() const override;

 private:
  struct Button {
    int id = 0;  // 0: separator
    wxBitmap image;
    wxBitmap embossed;
    wxString tip;
    wxString prompt;
    bool checkable = false;
    bool enabled = true;
    bool checked = false;
    bool wrapped = false;  // a separator where a floating bar's row breaks: not drawn
    wxRect rect;
  };

  std::vector<BarCell> Cells() const;
  BarMargins Margins() const;
  void LayOut();
  void FollowDock();
  void Rewrap();
  void ReadColours();
  void MakeEmbossedImages();
  wxSize ButtonSize() const;
  int IndexOf(int wxId) const;
  int ButtonAt(const wxPoint& point) const;
  bool CursorIn(const wxRect& rect) const;
  bool OwnerIsActive() const;
  void RefreshButton(int index);
  void SetHot(int index);
  void SetHovered(int index);
  void ShowPrompt(int index);

  void OnPaint(wxPaintEvent& event);
  void PaintButton(wxDC& dc, int index);
  void PaintSeparator(wxDC& dc, const wxRect& r) const;
  void PaintBorder(wxDC& dc, const wxSize& size) const;
  void OnMouseMove(wxMouseEvent& event);
  void OnTimer(wxTimerEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnCaptureLost(wxMouseCaptureLostEvent& event);
  void OnKeyDown(wxKeyEvent& event);
  void OnFocus(wxFocusEvent& event);
  void OnSysColourChanged(wxSysColourChangedEvent& event);
  void SendCommand(int index);

  wxWindow* m_hwndNotify;  // the frame the bar was made for: its docks hold the bar
  BarSide m_side = BarSide::kTop;
  int m_nLength = kBarUnbounded;  // the length a floating bar's rows wrap at
  BarLayout m_layout;
  wxSize m_szImage{16, 15};
  wxPoint m_ptImageOffset;
  wxColour m_clrFace, m_clrHilite, m_clrShadow, m_clrLight;
  int m_iHot = -1;
  int m_iHovered = -1;  // the button under the mouse, enabled or not: its tip and prompt show
  int m_iPressed = -1;  // the button the left button went down on
  int m_iFocus = -1;    // the button the keys act on while the bar has the focus
  wxTimer m_timer;
  wxTimer m_rewrapTimer;
  std::vector<Button> m_buttons;
};

}  // namespace bw
