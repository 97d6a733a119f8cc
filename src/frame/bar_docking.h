// The bars' docking: which side of the frame a bar is docked at (or whether it floats), the
// pane sizes the docking manager is told when a bar lays itself out anew, and the manager the
// frame docks its bars with. A floating bar lives in a wxAuiFloatingFrame of its own, whose
// inner manager knows nothing of the frame's docks, so the side is always asked of the frame's
// manager.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/aui/framemanager.h>

namespace bw {

enum class BarSide { kTop, kBottom, kLeft, kRight, kFloating };

inline bool IsVerticalSide(BarSide side) {
  return side == BarSide::kLeft || side == BarSide::kRight;
}

// The pane of `bar` in the manager of `frame` (the bar's creation parent); null when the bar
// is not managed there.
wxAuiPaneInfo* FramePaneOf(wxWindow* bar, wxWindow* frame);
// Where `bar` is; kTop while no manager holds it.
BarSide SideOf(wxWindow* bar, wxWindow* frame);

// Tells the frame's manager the bar's new sizes (`best` in its dock, `smallest` it may be made)
// and lays the docks out again once the current event is handled. False when nothing changed.
bool FitBarPane(wxWindow* bar, wxWindow* frame, const wxSize& best, const wxSize& smallest);
// Sizes the floating frame around a floating bar to `client` once the current event is handled.
void FitFloatingFrame(wxWindow* bar, const wxSize& client);

// The frame's docking manager: a floating toolbar's frame may be resized by the user (its
// items wrap), a docked one keeps the fixed size of its items.
class CDockManager : public wxAuiManager {
 public:
  CDockManager();
  wxAuiFloatingFrame* CreateFloatingFrame(wxWindow* parent, const wxAuiPaneInfo& pane) override;
  bool ProcessDockResult(wxAuiPaneInfo& target, const wxAuiPaneInfo& newPos) override;
  // Update once the events already queued are handled; what is asked for again before then
  // waits for the same Update, since each repaints the whole frame.
  void UpdateLater();

 private:
  // The dock art is drawn whole at every paint of the frame; a paint that lies wholly inside
  // one docked pane (a control of the form redrawn) is left to that pane, which covers it.
  void OnPaneAreaPaint(wxPaintEvent& event);

  bool m_bUpdatePending = false;
};

}  // namespace bw
