// The position slider (control 1039): a horizontal trackbar over the open file's data bytes
// that also shows the selection, drawn by the program because the native slider has no
// selection range.
//
// It reports what the user does as the trackbar's scroll events (wxScrollEvent, so that the
// view handles it like the native sliders): THUMBTRACK while the thumb is dragged and
// THUMBRELEASE when it is let go; PAGEUP / PAGEDOWN for a click beside the thumb; LINEUP,
// LINEDOWN, PAGEUP, PAGEDOWN, TOP and BOTTOM from the arrow, page, Home and End keys; and
// CHANGED (the end of the track) when the mouse button or the key is released. The position
// itself, which may pass what an int holds, is read with GetValue.
//
// Threads: user-interface thread only.
#pragma once

#include <wx/bitmap.h>
#include <wx/control.h>
#include <wx/xrc/xmlres.h>

#include <cstdint>

#include "frame/theme_attributes.h"
#include "view/view_window.h"

namespace bw {

class PositionSlider : public wxControl {
 public:
  PositionSlider() = default;
  PositionSlider(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
                 const wxSize& size = wxDefaultSize);
  bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos = wxDefaultPosition,
              const wxSize& size = wxDefaultSize);

  // Range, position, ticks and selection as the view's core keeps them.
  void SetState(const SliderState& state);
  const SliderState& State() const { return m_state; }
  int64_t GetValue() const { return m_state.pos; }

  // The picture the parent tiles its background with, from the parent's top-left corner; the
  // slider continues it behind itself.
  void SetBackgroundTile(const wxBitmap& tile) { m_tile = tile; }

  // Where the thumb's centre is drawn for `value`, and the value a point stands for.
  int ThumbX(int64_t value) const;
  int64_t ValueAt(int x) const;

  bool AcceptsFocus() const override { return true; }
  bool SetFont(const wxFont& font) override;
  wxVisualAttributes GetDefaultAttributes() const override {
    return m_theme.Get([this] { return wxControl::GetDefaultAttributes(); });
  }

 protected:
  wxSize DoGetBestSize() const override;

 private:
  void Init();
  double Scale() const;
  int TrackLeft() const;
  int TrackRight() const;
  int ThumbRadius() const;
  int64_t LineSize() const;
  int64_t PageSize() const;

  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnMotion(wxMouseEvent& event);
  void OnLeftUp(wxMouseEvent& event);
  void OnCaptureLost(wxMouseCaptureLostEvent& event);
  void OnKeyDown(wxKeyEvent& event);
  void OnKeyUp(wxKeyEvent& event);

  // Moves the thumb to `value` (kept within the range) and sends `type` when it moved (the
  // ends of a track are sent whether it moved or not).
  void MoveTo(int64_t value, wxEventType type);
  void Send(wxEventType type);
  void EndTrack();

  SliderState m_state;
  wxBitmap m_tile;
  bool m_bDragging = false;
  int m_nDragOffset = 0;     // pointer x minus thumb centre when the drag began
  bool m_bTracking = false;  // a key or a click is moving the thumb; CHANGED ends it
  // The font's height, which the parts grow with: measured once per font, since measuring lays
  // text out, and every paint and every point asks for it several times.
  mutable int m_nCharHeight = 0;
  ThemeAttributes m_theme{*this};

  wxDECLARE_DYNAMIC_CLASS(PositionSlider);
};

// Lets the form's template name the control: <object class="PositionSlider" name="...">.
class PositionSliderXmlHandler : public wxXmlResourceHandler {
 public:
  wxObject* DoCreateResource() override;
  bool CanHandle(wxXmlNode* node) override;
};

}  // namespace bw
