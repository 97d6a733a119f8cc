// TFXDataTip: a one-line tip that appears next to the mouse once it has rested for half a
// second over a point of its parent window, and goes away at any key, any mouse click, or as
// soon as the mouse moves more than 2 pixels away. The form owns one and feeds it the short
// name of the control under the mouse.
//
// Threads: user-interface thread only. The application hands every key and mouse event to
// FilterInput (the process-wide hook through which any input hides the tip that is shown).
#pragma once

#include <wx/popupwin.h>
#include <wx/timer.h>

namespace bw {

class TFXDataTip : public wxPopupWindow {
 public:
  static constexpr int kDelayMs = 500;
  static constexpr int kTimerId = 1010;

  explicit TFXDataTip(wxWindow* parent);
  ~TFXDataTip() override;

  // Asks for `text` at `point` (parent client coordinates). Outside the parent's client area,
  // while tips are off, or at the point asked for last, nothing changes; otherwise the wait
  // for the mouse to rest starts again.
  void SetTip(const wxPoint& point, const wxString& text);
  void Hide();

  // Any event of the program: a key, a click, a menu opening or the program losing the focus
  // hides the tip that is shown; so does a move more than 2 pixels away from the point it was
  // shown for (also outside the program's windows, which a poll of the pointer notices).
  static void FilterInput(const wxEvent& event);
  // The tip on screen now, if any.
  static TFXDataTip* Shown() { return s_pShown; }

  const wxString& Text() const { return m_strText; }

  wxPoint m_ptOffset{10, 5};  // where the tip goes relative to the mouse point
  bool m_bOn = false;         // tips are enabled

 private:
  void OnTimer(wxTimerEvent& event);
  void OnCaptureTimer(wxTimerEvent& event);
  void Display();
  void OnPaint(wxPaintEvent& event);

  wxWindow* m_pParentWnd;
  wxString m_strText;
  wxRect m_rcCapture;  // screen rectangle the mouse may move in without hiding the tip
  wxPoint m_ptLast{-1, -1};
  wxTimer m_timer;
  wxTimer m_captureTimer;  // while shown: the pointer is watched wherever it goes

  static TFXDataTip* s_pShown;
};

}  // namespace bw
