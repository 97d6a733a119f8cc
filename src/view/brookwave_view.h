// CBrookwaveView: the program's one view, the wx shell over the view's core. It owns the core
// and the form window, implements the core's window interface with the form's widgets, the
// frame's status line, wx timers, events and dialogs, and hands the core every command, command
// state query, slider move, timer tick, cursor move and posted message.
//
// Threads: user-interface thread, except PostMessage (any thread: the playback and capture
// threads post their messages through it; they reach the core later on the user-interface
// thread).
#pragma once

#include <wx/arrstr.h>
#include <wx/docview.h>
#include <wx/timer.h>

#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "view/view_window.h"

class wxScrollEvent;

namespace bw {

class CBrookwaveViewCore;
class CMainFrame;
class FormWindow;

class CBrookwaveView : public wxView, public ViewWindow {
 public:
  CBrookwaveView();
  ~CBrookwaveView() override;

  // The document template made the view: the form becomes the frame's client area.
  bool OnCreate(wxDocument* doc, long flags) override;
  // The document closes: whatever runs stops. Refused (the running command is stopped
  // instead) while a command of the core runs.
  bool OnClose(bool deleteWindow) override;
  void OnDraw(wxDC*) override {}
  // The document's path or title changed: the caption follows.
  void OnChangeFilename() override;

  // Called by the document manager once the document is open (or reopened).
  void OnInitialUpdate();
  // Files dropped on the window: the first opens as File Open would (a play list opens the
  // list); true when there was one to open. The open itself follows once the drop has ended.
  bool OnDropFiles(const wxArrayString& files);
  // A private message sent to the view (the frame's remote messages): handled at once.
  LRESULT WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam);

  CBrookwaveViewCore& core() { return *m_core; }
  // A command of the core runs (and handles pending events): the view must not go.
  bool IsRunningCommand() const;
  FormWindow* Form() const { return m_pForm; }
  CMainFrame* Frame() const;

  // ---- ViewWindow ----
  void PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) override;
  void ShowSlider(ControlId id, const SliderState& state) override;
  void ShowMeter(ControlId id, int value) override;
  void ShowText(ControlId id, std::string_view text) override;
  void SetStatusText(std::string_view text) override;
  void ShowStatusPrompt(std::optional<std::string_view> prompt) override;
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void SetCursor(Cursor cursor) override;
  void SetTimer(int id, int ms) override;
  void KillTimer(int id) override;
  void PumpMessages(int count) override;
  std::string DocumentPath() override;
  void SetDocumentTitle(std::string_view title) override;
  void AddToRecentFileList(std::string_view path) override;
  void CloseMainWindow() override;
  // Meets an instance already running over the session bus, then starts the remote control.
  void ApplyMultiMode(int32_t multi_mode) override;
  std::optional<std::string> RunFileDialog(const FileDialogSpec& dialog) override;
  FormatChoice ChooseFormat(const FormatChooserSpec& chooser) override;
  int RunPlaySheet(PlaySheetData& data) override;
  int RunRecordSheet(RecordSheetData& data) override;
  void RunPlayListEditor(PlayListEditorModel& editor) override;
  void ClosePlayListEditor() override;

 private:
  void BindFormEvents();
  void OnCommand(wxCommandEvent& event);
  void OnUpdateCommand(wxUpdateUIEvent& event);
  void OnPosted(wxThreadEvent& event);
  void OnTimerTick(wxTimerEvent& event);
  void OnIdle(wxIdleEvent& event);
  // Starts or stops the wx timer as TimerMovesVolume says.
  void FollowTimerNeed();
  void OnScroll(wxScrollEvent& event);
  void OnMouseMove(wxMouseEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  wxWindow* DialogParent() const;
  // Tells other programs what changed after an event was handled.
  void PublishState();
  // Hands the oldest posted message to the core; false when none is waiting.
  bool DispatchPosted();
  void DispatchAllPosted();
  void QueuePostedEvent();
  // Starts or stops the wx timer, and with it the ticks' taking of the level meters.
  void TickTimer(bool run);

  struct PostedMessage {
    uint32_t message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };

  std::unique_ptr<CBrookwaveViewCore> m_core;
  FormWindow* m_pForm = nullptr;  // owned by its parent window; destroyed by the view
  wxTimer m_timer;
  // Timer 1 between the core's SetTimer and KillTimer. The wx timer only runs while a tick
  // would change something, so that a steady playback does not wake the loop ten times a second.
  bool m_bTimerWanted = false;
  int m_nTimerMs = 0;
  bool m_bWaitCursor = false;
  std::mutex m_postedMutex;  // guards m_posted and m_bTickTakesMeters: any thread posts
  std::deque<PostedMessage> m_posted;
  // The wx timer runs: posted level meters are dispatched by its next tick.
  bool m_bTickTakesMeters = false;

  wxDECLARE_DYNAMIC_CLASS_NO_COPY(CBrookwaveView);
};

}  // namespace bw
