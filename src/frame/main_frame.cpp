#include "frame/main_frame.h"

#include <wx/filehistory.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/statusbr.h>

#include <algorithm>
#include <filesystem>

#include "frame/bar_state.h"
#include "frame/menu_bar.h"
#include "frame/tool_bar_ex.h"
#include "platform/message_box.h"
#include "platform/profile_store.h"
#include "res/menus.h"
#include "res/resources.h"
#include "view/brookwave_view.h"
#include "view/dialogs/wx_text.h"

namespace bw {

wxIMPLEMENT_DYNAMIC_CLASS(CMainFrame, wxDocParentFrame);

namespace {

constexpr std::string_view kReady = "Ready";  // the idle prompt
constexpr std::size_t kRecentFileDisplayLength = 30;

constexpr int kMenuBarId = 59396;  // the menu bar's control id

bool IsRecentFileId(int id) {
  return id >= ID_FILE_MRU_FIRST && id <= ID_FILE_MRU_LAST;
}

// A long path as "/.../folder/name" with as many trailing folders as fit, or the bare name.
wxString AbbreviatedPath(const std::string& path) {
  if (path.size() <= kRecentFileDisplayLength) return ToWx(path);
  const std::filesystem::path full(path);
  std::string tail = full.filename().string();
  for (std::filesystem::path rest = full.parent_path(); rest.has_relative_path();
       rest = rest.parent_path()) {
    const std::string longer = rest.filename().string() + "/" + tail;
    if (longer.size() + 5 > kRecentFileDisplayLength) break;
    tail = longer;
  }
  const std::string shown = "/.../" + tail;
  return ToWx(shown.size() <= kRecentFileDisplayLength ? shown : full.filename().string());
}

wxString RecentFileLabel(std::size_t index, const wxString& path) {
  wxString shown = AbbreviatedPath(PathFromWx(path));
  shown.Replace("&", "&&");
  return wxString::Format("&%zu %s", index + 1, shown);
}

}  // namespace

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() {
  m_dockManager.UnInit();
}

bool CMainFrame::LoadFrame(wxDocManager* manager, ProfileStore& profile, bool largeFonts) {
  m_pProfile = &profile;
  if (!Create(manager, nullptr, wxID_ANY, "Brookwave")) return false;
  // Once the window is up: decoding the sizes would hold it back, and the window
  // manager takes a later icon as well.
  CallAfter([this] { SetIcons(res::ProgramIcons()); });
  SetAcceleratorTable(res::LoadAccelerators());
  m_cyMenu = CMenuBar::SystemMenuHeight();
  m_cySize = wxSystemSettings::GetMetric(wxSYS_CAPTION_Y, this);
  if (m_cySize <= 0) m_cySize = m_cyMenu;  // GTK does not report its caption buttons
  OnGetMinMaxInfo();

  if (const std::optional<WindowPlacement> placement = ReadWindowPlacement(profile))
    ApplyPlacement(*placement);
  m_bColor = profile.GetInt("General", "Color", 1) != 0;
  m_bToolTips = profile.GetInt("General", "ToolTips", 1) != 0;

  if (!CreateToolBars(largeFonts)) return false;
  m_wndMenuBar = new CMenuBar(this, res::WxCommandId(kMenuBarId));
  if (!m_wndMenuBar->LoadMenu(m_cyMenu)) {
    ShowMessageBox("The menu could not be loaded.", kProgramCaption, kMbOk | kMbIconError);
    return false;
  }
  m_wndStatusBar = CreateStatusBar(1, wxSTB_DEFAULT_STYLE, res::WxCommandId(ID_VIEW_STATUS_BAR));
  const int stretching[] = {-1};
  m_wndStatusBar->SetStatusWidths(1, stretching);

  m_dockManager.SetManagedWindow(this);
  DockToolBar(m_wndToolBar, wxAUI_DOCK_TOP);
  // Beside the main toolbar, in the same row, filling the rest of it.
  m_dockManager.AddPane(m_wndMenuBar, wxAuiPaneInfo()
                                          .Name(m_wndMenuBar->GetName())
                                          .Caption(m_wndMenuBar->GetName())
                                          .ToolbarPane()
                                          .Gripper(false)
                                          .CloseButton(false)
                                          .Top()
                                          .Row(0)
                                          .Position(1));
  DockToolBar(m_wndPlayBar, wxAUI_DOCK_BOTTOM);

  // The base class's close handler is bound already; this one runs first.
  Bind(wxEVT_CLOSE_WINDOW, &CMainFrame::OnClose, this);
  Bind(wxEVT_SIZE, &CMainFrame::OnSize, this);
  Bind(wxEVT_MOVE, &CMainFrame::OnMove, this);
  Bind(wxEVT_MENU_HIGHLIGHT, &CMainFrame::OnMenuHighlight, this);
  for (int id : {ID_VIEW_TOOLBAR, ID_VIEW_PLAYBAR, ID_VIEW_STATUS_BAR}) {
    Bind(wxEVT_MENU, &CMainFrame::OnBarCheck, this, res::WxCommandId(id));
    Bind(wxEVT_UPDATE_UI, &CMainFrame::OnUpdateControlBarMenu, this, res::WxCommandId(id));
  }
  // A right click on any bar (or on the docks around them) opens the bars' menu; the click
  // itself goes on.
  for (wxWindow* bar : {static_cast<wxWindow*>(this), static_cast<wxWindow*>(m_wndMenuBar),
                        static_cast<wxWindow*>(m_wndToolBar), static_cast<wxWindow*>(m_wndPlayBar),
                        static_cast<wxWindow*>(m_wndStatusBar)}) {
    bar->Bind(wxEVT_RIGHT_DOWN, [this](wxMouseEvent& event) {
      OnBarContextMenu();
      event.Skip();
    });
  }
  // The framework's first idle prompt: the pane shows the view's state text, which is empty
  // until the view reports one.
  CallAfter([this] { ShowIdlePrompt(); });
  UpdateRecentFileMenu();
  return true;
}

bool CMainFrame::CreateToolBars(bool largeFonts) {
  m_wndPlayBar = MakeToolBar(ID_VIEW_PLAYBAR, "Play",
                             largeFonts ? res::IDR_PLAYBAR_LARGE : res::IDR_PLAYBAR, largeFonts);
  m_wndToolBar =
      MakeToolBar(ID_VIEW_TOOLBAR, "Tool",
                  largeFonts ? res::IDR_MAINFRAME_LARGE : res::IDR_MAINFRAME, largeFonts);
  if (m_wndPlayBar && m_wndToolBar) return true;
  const std::filesystem::path dir = res::ResourceDir();
  ShowMessageBox(
      "The toolbar pictures could not be loaded from " +
          (dir.empty() ? std::string("the program's folder") : (dir / "pictures").string()) + ".",
      kProgramCaption, kMbOk | kMbIconError);
  return false;
}

CToolBarEx* CMainFrame::MakeToolBar(int id, const wxString& name, int toolbar, bool largeFonts) {
  auto* bar = new CToolBarEx(this, res::WxCommandId(id), name);
  bar->SetToolBitmapSize(largeFonts ? wxSize(24, 24) : wxSize(16, 15));
  for (int command : res::ToolbarButtons(static_cast<res::ToolbarId>(toolbar))) {
    if (command == 0) {
      bar->AddSeparator();
      continue;
    }
    const wxBitmap picture = res::ToolbarBitmap(command, largeFonts);
    if (!picture.IsOk()) {
      bar->Destroy();
      return nullptr;
    }
    bar->AddTool(res::WxCommandId(command), picture, ToWx(res::CommandTip(command)),
                 ToWx(res::CommandPrompt(command)), res::IsCheckCommand(command));
  }
  bar->Realize();
  return bar;
}

// Docked on `side` at first, named after its window text; the user may move it to any side or
// float it. The bar draws its own gripper.
void CMainFrame::DockToolBar(CToolBarEx* bar, int side) {
  m_dockManager.AddPane(bar, wxAuiPaneInfo()
                                 .Name(bar->GetName())
                                 .Caption(bar->GetName())
                                 .ToolbarPane()
                                 .Gripper(false)
                                 .Direction(side)
                                 .Row(0)
                                 .Position(0));
}

// The width is fixed by the menu's height; the height may shrink to the caption's and grow to
// 18 (or, with a small menu font, 19) menu heights.
void CMainFrame::OnGetMinMaxInfo() {
  const int c = m_cyMenu;
  const int width = c >= 18 ? 33 * c - 180 : 33 * c - 80;
  const int maxHeight = c >= 18 ? 18 * c : 19 * c;
  if (width <= 0 || maxHeight <= m_cySize) return;  // a menu too small to measure by
  SetSizeHints(wxSize(width, m_cySize), wxSize(width, maxHeight));
}

void CMainFrame::AttachView(wxWindow* view) {
  m_dockManager.AddPane(view, wxAuiPaneInfo().Name("View").CenterPane());
  LoadBarState();
  if (!ReadWindowPlacement(*m_pProfile)) {
    // No stored placement: as high as the form needs, within the limits.
    const int spare = view->GetSize().y - view->GetBestSize().y;
    SetSize(GetSize().x, std::clamp(GetSize().y - spare, GetMinSize().y, GetMaxSize().y));
  }
  RememberNormalRect();
}

void CMainFrame::DetachView(wxWindow* view) {
  m_dockManager.DetachPane(view);
}

// Applied as stored; only sizes no window can have are left out.
void CMainFrame::ApplyPlacement(const WindowPlacement& p) {
  constexpr int64_t kLargest = 16384;  // X11 limits a window to 32767 pixels
  const int64_t width = int64_t{p.right} - p.left, height = int64_t{p.bottom} - p.top;
  if (width > 0 && height > 0)
    SetSize(p.left, p.top, static_cast<int>(std::min(width, kLargest)),
            static_cast<int>(std::min(height, kLargest)), wxSIZE_ALLOW_MINUS_ONE);
  else
    SetSize(p.left, p.top, -1, -1, wxSIZE_ALLOW_MINUS_ONE | wxSIZE_USE_EXISTING);
  RememberNormalRect();
  // Minimised from a maximised state, the window is maximised first, so that it restores to
  // that state rather than to the normal rectangle.
  const bool restoreToMaximized = p.IsMinimized() && (p.flags & kWpfRestoreToMaximized) != 0;
  if (p.showCmd == kSwShowMaximized || restoreToMaximized) Maximize(true);
  if (p.IsMinimized()) Iconize(true);
}

WindowPlacement CMainFrame::CurrentPlacement() const {
  WindowPlacement p;
  p.flags = IsMaximized() ? kWpfRestoreToMaximized : 0;
  p.showCmd = IsIconized() ? kSwShowMinimized : IsMaximized() ? kSwShowMaximized : kSwShowNormal;
  p.left = m_rcNormal.GetLeft();
  p.top = m_rcNormal.GetTop();
  p.right = m_rcNormal.GetLeft() + m_rcNormal.GetWidth();
  p.bottom = m_rcNormal.GetTop() + m_rcNormal.GetHeight();
  return p;
}

// The stored layout gives only where each toolbar is and whether it shows; what a pane may do
// (and the form's place in the middle) stays as the frame made it.
void CMainFrame::LoadBarState() {
  const std::string perspective = m_pProfile->GetString("General", "BarState", "");
  if (IsWellFormedBarState(perspective)) {
    const wxAuiPaneInfo view = m_dockManager.GetPane("View");
    const wxAuiPaneInfo tool = m_dockManager.GetPane(m_wndToolBar);
    const wxAuiPaneInfo play = m_dockManager.GetPane(m_wndPlayBar);
    const wxAuiPaneInfo menu = m_dockManager.GetPane(m_wndMenuBar);
    m_dockManager.LoadPerspective(ToWx(perspective), false);
    m_dockManager.GetPane("View") = view;
    KeepBarPlace(tool);
    KeepBarPlace(play);
    KeepBarPlace(menu);
  }
  m_wndStatusBar->Show(m_pProfile->GetInt("General", "StatusBar", 1) != 0);
  m_dockManager.Update();
  SendSizeEvent();
}

void CMainFrame::KeepBarPlace(const wxAuiPaneInfo& made) {
  wxAuiPaneInfo& pane = m_dockManager.GetPane(made.window);
  const wxAuiPaneInfo stored = pane;
  pane = made;
  // Any of the four sides; the centre is the form's.
  if (stored.dock_direction >= wxAUI_DOCK_TOP && stored.dock_direction <= wxAUI_DOCK_LEFT)
    pane.Direction(stored.dock_direction);
  pane.Layer(std::clamp(stored.dock_layer, 0, 20))
      .Row(std::clamp(stored.dock_row, 0, 20))
      .Position(std::clamp(stored.dock_pos, 0, 20))
      .Show(stored.IsShown());
  if (!stored.IsFloating()) return;
  pane.Float().FloatingPosition(stored.floating_pos);
  // The size its rows were wrapped to, when it is one a window can have.
  const wxSize size = stored.floating_size;
  if (size.x > 0 && size.y > 0 && size.x <= 4096 && size.y <= 4096) pane.FloatingSize(size);
}

void CMainFrame::SaveBarState() {
  m_pProfile->WriteString("General", "BarState", FromWx(m_dockManager.SavePerspective()));
  m_pProfile->WriteInt("General", "StatusBar", m_wndStatusBar->IsShown() ? 1 : 0);
}

void CMainFrame::OnClose(wxCloseEvent& event) {
  if (event.CanVeto() && ViewIsBusy()) {
    SendToView(WM_REMOTE_STOP, 0, 0);
    event.Veto();
    return;
  }
  SaveBarState();
  m_pProfile->WriteInt("General", "Color", m_bColor ? 1 : 0);
  m_pProfile->WriteInt("General", "ToolTips", m_bToolTips ? 1 : 0);
  WriteWindowPlacement(*m_pProfile, CurrentPlacement());
  event.Skip();  // the documents close, then the window
}

// Busy is what the view last reported, whatever prompt the pane shows at the moment (before
// the view has reported anything it is idle), and any command still running: closed under it,
// the view would be gone when the command returns.
bool CMainFrame::ViewIsBusy() const {
  const CBrookwaveView* view = ActiveView();
  if (view && view->IsRunningCommand()) return true;
  return !m_strStatusText.empty() && m_strStatusText != kReady;
}

CBrookwaveView* CMainFrame::ActiveView() const {
  wxDocManager* manager = GetDocumentManager();
  wxView* active = manager ? manager->GetCurrentView() : nullptr;
  if (active == nullptr && manager && manager->GetCurrentDocument())
    active = manager->GetCurrentDocument()->GetFirstView();
  return dynamic_cast<CBrookwaveView*>(active);
}

LRESULT CMainFrame::SendToView(uint32_t message, WPARAM wParam, LPARAM lParam) {
  CBrookwaveView* view = ActiveView();
  return view ? view->WindowProc(message, wParam, lParam) : 0;
}

LRESULT CMainFrame::OnRemoteCommand(WPARAM code) {
  switch (code) {
    case 100:
      SendToView(WM_REMOTE_PLAY, 0, 1);
      break;
    case 200:
      SendToView(WM_REMOTE_CODE_200, 0, 1);
      break;
    case 300:
      SendToView(WM_REMOTE_CODE_300, 0, 1);
      break;
    case 400:
      SendToView(WM_REMOTE_STOP, 0, 1);
      break;
    default:
      break;
  }
  return 0;
}

bool CMainFrame::OnQueryEndSession() {
  if (wxDocManager* manager = GetDocumentManager()) {
    for (wxDocument* doc : manager->GetDocumentsVector())
      if (!doc->OnSaveModified()) return false;
  }
  ShowMessageBox("ShutDownWindows", kProgramCaption, kMbOk);
  return true;
}

void CMainFrame::OnEndSession() {
  if (wxDocManager* manager = GetDocumentManager()) manager->Clear(true);
  Destroy();
}

void CMainFrame::OnSetMessageString(std::string_view stateText) {
  m_strStatusText = stateText;
  if (m_wndStatusBar) m_wndStatusBar->SetStatusText(ToWx(stateText), 0);
}

void CMainFrame::ShowPrompt(const wxString& prompt) {
  if (m_wndStatusBar) m_wndStatusBar->SetStatusText(prompt, 0);
}

void CMainFrame::ShowIdlePrompt() {
  ShowPrompt(ToWx(m_strStatusText));
}

// Menu items and toolbar buttons show their prompt while highlighted; when the menu closes or
// the mouse leaves the button, the idle prompt returns.
void CMainFrame::DoGiveHelp(const wxString& help, bool show) {
  if (show)
    ShowPrompt(help);
  else
    ShowIdlePrompt();
}

// The prompt of an item of the menu bar's pop-ups (the frame has no wx menu bar to look in).
void CMainFrame::OnMenuHighlight(wxMenuEvent& event) {
  const wxMenuItem* item = m_wndMenuBar ? m_wndMenuBar->FindItem(event.GetMenuId()) : nullptr;
  if (item == nullptr && event.GetMenu()) item = event.GetMenu()->FindItem(event.GetMenuId());
  DoGiveHelp(item && !item->IsSeparator() ? item->GetHelp() : wxString(), true);
}

void CMainFrame::OnSize(wxSizeEvent& event) {
  Refresh();
  RememberNormalRect();
  event.Skip();
}

void CMainFrame::OnMove(wxMoveEvent& event) {
  RememberNormalRect();
  event.Skip();
}

// Only the normal placement is stored, so a maximised or minimised window keeps the last one.
void CMainFrame::RememberNormalRect() {
  if (!IsMaximized() && !IsIconized()) m_rcNormal = GetRect();
}

void CMainFrame::OnBarCheck(wxCommandEvent& event) {
  const int command = res::CommandOf(event.GetId());
  if (command == ID_VIEW_STATUS_BAR) {
    m_wndStatusBar->Show(!m_wndStatusBar->IsShown());
    SendSizeEvent();
    return;
  }
  wxAuiPaneInfo& pane =
      m_dockManager.GetPane(command == ID_VIEW_TOOLBAR ? m_wndToolBar : m_wndPlayBar);
  pane.Show(!pane.IsShown());
  m_dockManager.Update();
}

void CMainFrame::OnUpdateControlBarMenu(wxUpdateUIEvent& event) {
  const int command = res::CommandOf(event.GetId());
  if (command == ID_VIEW_STATUS_BAR) {
    event.Check(m_wndStatusBar->IsShown());
    return;
  }
  event.Check(
      m_dockManager.GetPane(command == ID_VIEW_TOOLBAR ? m_wndToolBar : m_wndPlayBar).IsShown());
}

void CMainFrame::OnBarContextMenu() {
  const std::unique_ptr<wxMenu> menu = res::LoadPopupMenu(res::IDR_BARS_MENU);
  PopupMenu(menu.get(), ScreenToClient(wxGetMousePosition()));
}

void CMainFrame::UpdateRecentFileMenu() {
  wxDocManager* manager = GetDocumentManager();
  if (m_wndMenuBar == nullptr || manager == nullptr || m_wndMenuBar->GetItemCount() == 0) return;
  wxMenu* file = m_wndMenuBar->GetMenu(0);
  int position = -1;
  for (std::size_t i = 0; i < file->GetMenuItemCount();) {
    const int id = file->FindItemByPosition(i)->GetId();
    if (!IsRecentFileId(res::CommandOf(id))) {
      ++i;
      continue;
    }
    if (position < 0) position = static_cast<int>(i);
    file->Destroy(id);
  }
  if (position < 0) return;
  const wxString prompt = ToWx(res::CommandPrompt(ID_FILE_MRU_FIRST));
  const std::size_t count = manager->GetHistoryFilesCount();
  if (count == 0) {
    // The placeholder stands in for the list until a file is opened.
    file->Insert(position, res::WxCommandId(ID_FILE_MRU_FIRST), "Recent File", prompt);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    file->Insert(position + i, res::WxCommandId(ID_FILE_MRU_FIRST) + static_cast<int>(i),
                 RecentFileLabel(i, manager->GetHistoryFile(i)), prompt);
  }
}

}  // namespace bw
