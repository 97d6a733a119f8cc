// A window without widgets for the view's core: tests and brookwave-cli drive the core through
// it. It keeps what a real window would show (sliders, meters, texts, the status line, the
// document title, the recent files), queues posted messages until its owner dispatches them,
// runs timers when told to, and answers message boxes and dialogs from scripts, recording
// every message box it was asked to show.
//
// Threads: PostMessage may be called from any thread (the playback and capture threads post
// their messages through it). Everything else runs on the thread that owns the window and the
// core, which also dispatches the queued messages (DispatchPending, WaitForMessage).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "view/view_window.h"

namespace bw {

class CBrookwaveViewCore;

class HeadlessWindow final : public ViewWindow, public MessageSink {
 public:
  struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned style = 0;
  };

  // The core that handles the messages and timers; set before anything is dispatched.
  void Attach(CBrookwaveViewCore* core) { core_ = core; }

  // ---- the owner's loop ----

  // Hands up to `limit` queued messages to the core, oldest first; returns how many.
  std::size_t DispatchPending(std::size_t limit = SIZE_MAX);
  // Blocks until a message is queued or `timeout` passes; true when one is waiting.
  bool WaitForMessage(std::chrono::milliseconds timeout);
  // Runs the core's OnTimer for timer `id` if it is set; true when it ran.
  bool FireTimer(int id);
  bool IsTimerSet(int id) const { return timers_.count(id) != 0; }
  // How many messages of this kind the core has been handed so far.
  int DispatchedCount(uint32_t message) const;

  // ---- what the window shows ----

  const SliderState& Slider(ControlId id) const;
  int Meter(ControlId id) const;
  std::string Text(ControlId id) const;
  // What the status line shows now.
  const std::string& StatusText() const { return status_; }
  Cursor CurrentCursor() const { return cursor_; }
  const std::string& DocumentTitle() const { return title_; }
  const std::vector<std::string>& RecentFiles() const { return recent_; }
  const std::vector<ShownMessage>& Messages() const { return messages_; }
  std::vector<std::string> MessageTexts() const;
  void ClearMessages() { messages_.clear(); }
  bool CloseRequested() const { return close_requested_; }

  // ---- scripts ----

  // The document path the application was started with.
  void SetDocumentPath(std::string path) { document_path_ = std::move(path); }
  // Answers for the next message boxes, in order; without one a box gets its first button.
  void QueueMessageBoxAnswer(int answer) { answers_.push_back(answer); }
  // Answers for the next file dialogs (nothing: cancelled); without one a dialog is cancelled.
  void QueueFileDialogAnswer(std::optional<std::string> path) {
    file_answers_.push_back(std::move(path));
  }
  void QueueFormatChoice(FormatChoice choice) { format_answers_.push_back(std::move(choice)); }
  // What the property sheets do while they run; without a script a sheet is cancelled.
  std::function<int(PlaySheetData&)> playSheetScript;
  std::function<int(RecordSheetData&)> recordSheetScript;
  // What the play list editor's user does once the list is loaded; the editor then handles
  // what was posted (as its modal loop would) and, unless that closed it, is cancelled.
  // Without a script the editor is cancelled at once.
  std::function<void(PlayListEditorModel&)> playListEditorScript;
  bool PlayListEditorShowing() const { return editor_showing_; }
  int PlayListEditorRuns() const { return editor_runs_; }
  // Called with every message box as it is shown (brookwave-cli prints them).
  std::function<void(const ShownMessage&)> onMessage;
  // Called each time a command handles pending messages, before they are handled: what
  // arrives from outside while the command runs.
  std::function<void()> onPump;

  // ---- ViewWindow ----
  void PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) override;
  void ShowSlider(ControlId id, const SliderState& state) override;
  void ShowMeter(ControlId id, int value) override;
  void ShowText(ControlId id, std::string_view text) override;
  void SetStatusText(std::string_view text) override;
  void ShowStatusPrompt(std::optional<std::string_view> prompt) override;
  int MessageBox(std::string_view text, std::string_view caption, unsigned style) override;
  void SetCursor(Cursor cursor) override { cursor_ = cursor; }
  void SetTimer(int id, int ms) override { timers_[id] = ms; }
  void KillTimer(int id) override { timers_.erase(id); }
  void PumpMessages(int count) override;
  std::string DocumentPath() override { return document_path_; }
  void SetDocumentTitle(std::string_view title) override { title_ = title; }
  void AddToRecentFileList(std::string_view path) override;
  void CloseMainWindow() override { close_requested_ = true; }
  void ApplyMultiMode(int32_t) override {}
  std::optional<std::string> RunFileDialog(const FileDialogSpec& dialog) override;
  FormatChoice ChooseFormat(const FormatChooserSpec& chooser) override;
  int RunPlaySheet(PlaySheetData& data) override;
  int RunRecordSheet(RecordSheetData& data) override;
  void RunPlayListEditor(PlayListEditorModel& editor) override;
  void ClosePlayListEditor() override { editor_showing_ = false; }

  // ---- MessageSink: the platform layers' own message boxes ----
  int Show(std::string_view text, std::string_view caption, unsigned style) override;

 private:
  struct Posted {
    uint32_t message;
    WPARAM wparam;
    LPARAM lparam;
  };

  CBrookwaveViewCore* core_ = nullptr;

  mutable std::mutex queue_mutex_;
  std::condition_variable queued_;
  std::deque<Posted> queue_;

  std::map<int, int> timers_;
  std::map<uint32_t, int> dispatched_;
  std::map<ControlId, SliderState> sliders_;
  std::map<ControlId, int> meters_;
  std::map<ControlId, std::string> texts_;
  std::string status_;
  std::string state_text_;  // the last state text, which the idle prompt shows
  Cursor cursor_ = Cursor::kArrow;
  std::string document_path_;
  std::string title_;
  std::vector<std::string> recent_;
  bool close_requested_ = false;
  std::vector<ShownMessage> messages_;
  std::deque<int> answers_;
  std::deque<std::optional<std::string>> file_answers_;
  std::deque<FormatChoice> format_answers_;
  bool editor_showing_ = false;
  int editor_runs_ = 0;
};

}  // namespace bw
