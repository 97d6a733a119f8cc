// CMainFrame: the program's one top-level window. It holds the menu bar, the main and the Play
// toolbar (docked by a wxAuiManager, which also keeps their layout), the one-pane status line
// and, as its client, the view's form. It restores and saves its placement, its two flags and
// the bars' layout in the profile, keeps the view's last state text for the status line, turns
// a close request into Stop while the view is busy, fixes its width from the menu's height and
// passes the remote Play and Stop codes on to the view.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/aui/framemanager.h>
#include <wx/docview.h>

#include <optional>
#include <string>
#include <string_view>

#include "frame/bar_docking.h"
#include "frame/theme_attributes.h"
#include "frame/window_placement.h"
#include "view/view_window.h"

namespace bw {

class CBrookwaveView;
class CMenuBar;
class CToolBarEx;

class ProfileStore;

class CMainFrame : public wxDocParentFrame {
 public:
  // Made by the document template from its run-time class; LoadFrame creates the window.
  CMainFrame();
  ~CMainFrame() override;

  // Creates the window with menu 128, accelerator table 128, both toolbars (the large images
  // when `largeFonts`) and the status bar, applies the stored placement and reads "Color" and
  // "ToolTips". False, after a message, when a bar cannot be made.
  bool LoadFrame(wxDocManager* manager, ProfileStore& profile, bool largeFonts);

  // The view's window becomes the client area; the bars' stored layout is restored then.
  void AttachView(wxWindow* view);
  void DetachView(wxWindow* view);

  // The status line. The view's state text is kept and shown; a prompt (a menu item's, a
  // button's, a control's) is shown until the idle prompt brings the kept text back.
  void OnSetMessageString(std::string_view stateText);
  void ShowPrompt(const wxString& prompt);
  void ShowIdlePrompt();
  const std::string& StateText() const { return m_strStatusText; }

  // A remote transport code from another program: 100 plays, 400 stops (200 and 300 reach the
  // view as messages it ignores, other codes nothing). Returns 0.
  LRESULT OnRemoteCommand(WPARAM code);

  // The desktop session is ending (log-off or shutdown): unless a document refuses, the user is
  // told in the program's message box and the session may go on (true). Nothing is saved.
  bool OnQueryEndSession();
  // The session manager ends the program: the documents and the window close without the
  // close box's saving (the placement stays as stored), and the program exits.
  void OnEndSession();

  // Rebuilds the File menu's recent-file entries from the document manager's history.
  void UpdateRecentFileMenu();

  CMenuBar* MenuBar() const { return m_wndMenuBar; }
  CToolBarEx* ToolBar() const { return m_wndToolBar; }
  CToolBarEx* PlayBar() const { return m_wndPlayBar; }
  wxAuiManager& DockManager() { return m_dockManager; }
  wxVisualAttributes GetDefaultAttributes() const override {
    return m_theme.Get([this] { return wxDocParentFrame::GetDefaultAttributes(); });
  }
  // The width rule: the frame's width is fixed by the menu's height.
  int MenuHeight() const { return m_cyMenu; }

  // A menu item or toolbar button is highlighted (show) or no longer (!show).
  void DoGiveHelp(const wxString& help, bool show) override;

 private:
  bool CreateToolBars(bool largeFonts);
  CToolBarEx* MakeToolBar(int id, const wxString& name, int toolbar, bool largeFonts);
  void DockToolBar(CToolBarEx* bar, int side);
  void OnGetMinMaxInfo();
  void ApplyPlacement(const WindowPlacement& placement);
  WindowPlacement CurrentPlacement() const;
  void LoadBarState();
  void KeepBarPlace(const wxAuiPaneInfo& made);
  void SaveBarState();
  // True while the view reports a state other than idle or runs a command.
  bool ViewIsBusy() const;
  CBrookwaveView* ActiveView() const;
  LRESULT SendToView(uint32_t message, WPARAM wParam, LPARAM lParam);

  void OnClose(wxCloseEvent& event);
  void OnSize(wxSizeEvent& event);
  void OnMenuHighlight(wxMenuEvent& event);
  void OnMove(wxMoveEvent& event);
  void RememberNormalRect();
  void OnBarCheck(wxCommandEvent& event);
  void OnUpdateControlBarMenu(wxUpdateUIEvent& event);
  void OnBarContextMenu();

  ProfileStore* m_pProfile = nullptr;
  bool m_bColor = true;
  bool m_bToolTips = true;
  int m_cySize = 0;
  int m_cyMenu = 0;
  CMenuBar* m_wndMenuBar = nullptr;
  CToolBarEx* m_wndPlayBar = nullptr;
  CToolBarEx* m_wndToolBar = nullptr;
  wxStatusBar* m_wndStatusBar = nullptr;
  std::string m_strStatusText;
  CDockManager m_dockManager;
  ThemeAttributes m_theme{*this};
  wxRect m_rcNormal;

  wxDECLARE_DYNAMIC_CLASS_NO_COPY(CMainFrame);
};

}  // namespace bw
