// Drawing shared by the flat bars (the toolbars and the menu bar): the colours they read from
// the system, one-pixel 3D frames, the dithered face of a checked button, the two-line gripper
// and the etched border. All rectangles are in the window's client coordinates; every line is
// drawn as a filled one-pixel rectangle so that it lands on exact pixels.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/gdicmn.h>

namespace bw {

// Timers every flat bar runs: the hot item's tracking and the rows' re-wrap.
inline constexpr int kBarHotTimerId = 1;
inline constexpr int kBarRewrapTimerId = 2;
// A floating frame being resized reports sizes that lag behind; the rows follow once they have
// settled.
inline constexpr int kBarRewrapDelayMs = 100;
// The first item of a docked bar starts after the gripper.
inline constexpr int kBarGripperRoom = 12;

// The four colours of a flat bar, read again whenever the system colours change.
struct BarColours {
  wxColour face;    // button face
  wxColour hilite;  // button highlight
  wxColour shadow;  // button shadow
  wxColour light;   // 3D light, the face of a checked button under the halftone
  static BarColours FromSystem();
};

void FillSolid(wxDC& dc, const wxRect& r, const wxColour& colour);
// Top and left edges in `topLeft`, bottom and right edges in `bottomRight`.
void Draw3dRect(wxDC& dc, const wxRect& r, const wxColour& topLeft, const wxColour& bottomRight);
// A checkerboard of the two colours, fixed to the window's pixel grid.
void FillHalftone(wxDC& dc, const wxRect& r, const wxColour& even, const wxColour& odd);
// Two raised grip lines, 3 pixels thick, inside `window` shrunk by 4 pixels: down the left side
// of a horizontal bar, along the top of a vertical one.
void DrawGripper(wxDC& dc, const wxSize& window, bool horizontal, const BarColours& colours);

}  // namespace bw
