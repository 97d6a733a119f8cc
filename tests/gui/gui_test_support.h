// Helpers for tests of the desktop program's windows: a wx application for the test process,
// scripted modal dialogs, simulated user input and screenshots.
#pragma once

#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

class wxBookCtrlBase;

namespace bw::test {

// Runs `run` (which shows a modal dialog and returns when it closes) and, once the dialog is
// up, `script` on it. A script that leaves the dialog open fails the test and cancels it.
template <typename Result>
Result RunModal(const std::function<Result()>& run, const std::function<void(wxDialog&)>& script);
void ScheduleModalScript(std::function<void(wxDialog&)> script);

// While it lives, answers every message box that comes up with OK and keeps its text.
class MessageBoxAnswerer : public wxTimer {
 public:
  MessageBoxAnswerer() { Start(20); }
  void Notify() override;
  std::vector<std::string> texts;
};

// Handles events for `ms` milliseconds. Tests wait with the functions below instead: on a
// loaded machine no fixed time is long enough.
void Settle(int ms = 200);
// Handles events until `done` holds, checking every 20 ms; false (after a test failure naming
// the caller) when it still does not after `most_ms`, which only bounds a hang.
// (The builtins rather than std::source_location, which clang 14 lacks with libstdc++ 12.)
bool SettleUntil(const std::function<bool()>& done, int most_ms = 30000,
                 const char* caller_file = __builtin_FILE(), int caller_line = __builtin_LINE());
// Handles what is queued by now: the X server's answers to the requests made so far, and the
// events GTK and wx have pending, until the program is idle.
void HandleQueued();
// Handles events until GTK has painted the top-level window of `window` after everything queued
// by now (what GrabScreen reads then is what it drew); false after a test failure.
bool WaitUntilDrawn(wxWindow& window);
// Moves the pointer to `at` (client coordinates of `window`) and handles events until the window
// has had the motion.
void MovePointer(wxWindow& window, const wxPoint& at);

// Simulated user input: what a click, a typed text, a tab change or a slider move sends.
void Click(wxWindow& dialog, int id);
void Type(wxWindow& dialog, int id, std::string_view text);
void MoveSlider(wxWindow& dialog, int id, int position);
void SetCheck(wxWindow& dialog, int id, bool checked);
void ChooseRadio(wxWindow& dialog, int id);
// True when the control has the keyboard focus within its window (whether or not the window
// is the active one).
bool HasFocusInWindow(wxWindow& control);
void SelectTab(wxBookCtrlBase& book, std::size_t index);

// The control with XRC name `name` in `parent`, of type T; null (after a test failure) when
// there is none.
template <typename T>
T* Control(wxWindow& parent, const char* name);
wxWindow* FindControl(wxWindow& parent, const char* name);

// What the X server shows in `screenRect` now (the pixels a person sees).
wxImage GrabScreen(const wxRect& screenRect);

// Writes the window as it is on the screen to <build>/screenshots/<name>_<dpi>dpi.png
// (<name>_dark_<dpi>dpi.png under a dark theme).
void SaveScreenshot(wxWindow& window, std::string_view name);
// The windows raised in order and pictured together (the smallest rectangle around them all).
void SaveScreenshot(std::initializer_list<wxWindow*> windows, std::string_view name);

// --- implementation of the templates ---

template <typename Result>
Result RunModal(const std::function<Result()>& run, const std::function<void(wxDialog&)>& script) {
  ScheduleModalScript(script);
  return run();
}

template <typename T>
T* Control(wxWindow& parent, const char* name) {
  T* typed = dynamic_cast<T*>(FindControl(parent, name));
  if (typed == nullptr) ADD_FAILURE() << "no control " << name;
  return typed;
}

}  // namespace bw::test
