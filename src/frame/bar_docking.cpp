#include "frame/bar_docking.h"

#include <wx/aui/floatpane.h>

namespace bw {

wxAuiPaneInfo* FramePaneOf(wxWindow* bar, wxWindow* frame) {
  wxAuiManager* manager = frame ? wxAuiManager::GetManager(frame) : nullptr;
  if (manager == nullptr) return nullptr;
  wxAuiPaneInfo& pane = manager->GetPane(bar);
  return pane.IsOk() ? &pane : nullptr;
}

BarSide SideOf(wxWindow* bar, wxWindow* frame) {
  const wxAuiPaneInfo* pane = FramePaneOf(bar, frame);
  if (pane == nullptr) return BarSide::kTop;
  if (pane->IsFloating()) return BarSide::kFloating;
  switch (pane->dock_direction) {
    case wxAUI_DOCK_BOTTOM:
      return BarSide::kBottom;
    case wxAUI_DOCK_LEFT:
      return BarSide::kLeft;
    case wxAUI_DOCK_RIGHT:
      return BarSide::kRight;
    default:
      return BarSide::kTop;
  }
}

bool FitBarPane(wxWindow* bar, wxWindow* frame, const wxSize& best, const wxSize& smallest) {
  wxAuiPaneInfo* pane = FramePaneOf(bar, frame);
  if (pane == nullptr || (pane->best_size == best && pane->min_size == smallest)) return false;
  pane->BestSize(best).MinSize(smallest);
  wxAuiManager* manager = wxAuiManager::GetManager(frame);
  if (auto* docks = dynamic_cast<CDockManager*>(manager)) {
    docks->UpdateLater();
    return true;
  }
  frame->CallAfter([manager, frame] {
    if (wxAuiManager::GetManager(frame) == manager) manager->Update();
  });
  return true;
}

void FitFloatingFrame(wxWindow* bar, const wxSize& client) {
  auto* floating = wxDynamicCast(bar->GetParent(), wxAuiFloatingFrame);
  if (floating == nullptr ||
      (floating->GetClientSize() == client && floating->GetMinClientSize() == bar->GetMinSize()))
    return;
  wxWeakRef<wxAuiFloatingFrame> frame(floating);
  wxWeakRef<wxWindow> pane(bar);
  floating->CallAfter([frame, pane, client] {
    if (!frame || !pane) return;
    // The frame may be made as small as the bar allows, which is less than the sizer thinks.
    frame->SetMinClientSize(pane->GetMinSize());
    frame->SetClientSize(client);
  });
}

CDockManager::CDockManager() {
  Bind(wxEVT_PAINT, &CDockManager::OnPaneAreaPaint, this);
}

void CDockManager::UpdateLater() {
  wxWindow* frame = GetManagedWindow();
  if (m_bUpdatePending || frame == nullptr) return;
  m_bUpdatePending = true;
  frame->CallAfter([this, frame] {
    m_bUpdatePending = false;
    // A manager let go of its frame meanwhile lays out nothing.
    if (wxAuiManager::GetManager(frame) == this) Update();
  });
}

void CDockManager::OnPaneAreaPaint(wxPaintEvent& event) {
  wxWindow* frame = GetManagedWindow();
  const wxRect dirty = frame ? frame->GetUpdateRegion().GetBox() : wxRect();
  const wxAuiPaneInfoArray& panes = GetAllPanes();
  for (std::size_t i = 0; i < panes.GetCount(); ++i) {
    const wxAuiPaneInfo& pane = panes.Item(i);
    if (pane.IsShown() && pane.IsDocked() && pane.window && pane.window->IsShown() &&
        pane.window->GetParent() == frame && pane.window->GetRect().Contains(dirty))
      return;
  }
  event.Skip();  // to the manager's own painting
}

// A toolbar pane is made fixed-size for its dock; floating, the user may resize it.
wxAuiFloatingFrame* CDockManager::CreateFloatingFrame(wxWindow* parent, const wxAuiPaneInfo& pane) {
  wxAuiPaneInfo& held = GetPane(pane.window);
  if (held.IsOk() && held.IsToolbar()) held.Resizable(true);
  return wxAuiManager::CreateFloatingFrame(parent, held.IsOk() ? held : pane);
}

bool CDockManager::ProcessDockResult(wxAuiPaneInfo& target, const wxAuiPaneInfo& newPos) {
  const bool docked = wxAuiManager::ProcessDockResult(target, newPos);
  if (target.IsToolbar()) target.Resizable(target.IsFloating());
  return docked;
}

}  // namespace bw
