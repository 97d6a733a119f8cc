#include "frame/flat_paint.h"

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/settings.h>

namespace bw {

BarColours BarColours::FromSystem() {
  return {wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE),
          wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT),
          wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW),
          wxSystemSettings::GetColour(wxSYS_COLOUR_3DLIGHT)};
}

void FillSolid(wxDC& dc, const wxRect& r, const wxColour& colour) {
  if (r.width <= 0 || r.height <= 0) return;
  dc.SetPen(*wxTRANSPARENT_PEN);
  dc.SetBrush(wxBrush(colour));
  dc.DrawRectangle(r);
}

void Draw3dRect(wxDC& dc, const wxRect& r, const wxColour& topLeft, const wxColour& bottomRight) {
  FillSolid(dc, wxRect(r.x, r.y, r.width - 1, 1), topLeft);
  FillSolid(dc, wxRect(r.x, r.y, 1, r.height - 1), topLeft);
  FillSolid(dc, wxRect(r.x + r.width - 1, r.y, 1, r.height), bottomRight);
  FillSolid(dc, wxRect(r.x, r.y + r.height - 1, r.width, 1), bottomRight);
}

void FillHalftone(wxDC& dc, const wxRect& r, const wxColour& even, const wxColour& odd) {
  if (r.width <= 0 || r.height <= 0) return;
  wxImage board(r.width, r.height);
  for (int y = 0; y < r.height; ++y) {
    for (int x = 0; x < r.width; ++x) {
      const wxColour& c = ((r.x + x + r.y + y) & 1) == 0 ? even : odd;
      board.SetRGB(x, y, c.Red(), c.Green(), c.Blue());
    }
  }
  dc.DrawBitmap(wxBitmap(board), r.x, r.y);
}

void DrawGripper(wxDC& dc, const wxSize& window, bool horizontal, const BarColours& colours) {
  wxRect strip(4, 4, window.x - 8, window.y - 8);
  if (horizontal)
    strip.width = 3;
  else
    strip.height = 3;
  Draw3dRect(dc, strip, colours.hilite, colours.shadow);
  strip.Offset(horizontal ? 3 : 0, horizontal ? 0 : 3);
  Draw3dRect(dc, strip, colours.hilite, colours.shadow);
}

}  // namespace bw
