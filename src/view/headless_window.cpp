#include "view/headless_window.h"

#include <algorithm>

#include "playlist/playlist_editor_model.h"
#include "view/view_core.h"

namespace bw {

void HeadlessWindow::PostMessage(uint32_t message, WPARAM wparam, LPARAM lparam) {
  {
    std::lock_guard lock(queue_mutex_);
    queue_.push_back({message, wparam, lparam});
  }
  queued_.notify_all();
}

std::size_t HeadlessWindow::DispatchPending(std::size_t limit) {
  std::size_t handled = 0;
  while (handled < limit) {
    Posted next;
    {
      std::lock_guard lock(queue_mutex_);
      if (queue_.empty()) break;
      next = queue_.front();
      queue_.pop_front();
    }
    ++dispatched_[next.message];
    if (core_) core_->WindowProc(next.message, next.wparam, next.lparam);
    ++handled;
  }
  return handled;
}

bool HeadlessWindow::WaitForMessage(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queue_mutex_);
  return queued_.wait_for(lock, timeout, [this] { return !queue_.empty(); });
}

bool HeadlessWindow::FireTimer(int id) {
  if (!IsTimerSet(id) || !core_) return false;
  core_->OnTimer(id);
  return true;
}

int HeadlessWindow::DispatchedCount(uint32_t message) const {
  const auto found = dispatched_.find(message);
  return found == dispatched_.end() ? 0 : found->second;
}

void HeadlessWindow::PumpMessages(int count) {
  if (onPump) onPump();
  DispatchPending(static_cast<std::size_t>(std::max(count, 0)));
}

const SliderState& HeadlessWindow::Slider(ControlId id) const {
  static const SliderState kNever;
  const auto found = sliders_.find(id);
  return found == sliders_.end() ? kNever : found->second;
}

int HeadlessWindow::Meter(ControlId id) const {
  const auto found = meters_.find(id);
  return found == meters_.end() ? 0 : found->second;
}

std::string HeadlessWindow::Text(ControlId id) const {
  const auto found = texts_.find(id);
  return found == texts_.end() ? std::string() : found->second;
}

std::vector<std::string> HeadlessWindow::MessageTexts() const {
  std::vector<std::string> texts;
  for (const ShownMessage& m : messages_)
    texts.push_back(m.text);
  return texts;
}

void HeadlessWindow::ShowSlider(ControlId id, const SliderState& state) {
  sliders_[id] = state;
}

void HeadlessWindow::ShowMeter(ControlId id, int value) {
  meters_[id] = value;
}

void HeadlessWindow::ShowText(ControlId id, std::string_view text) {
  texts_[id] = std::string(text);
}

void HeadlessWindow::SetStatusText(std::string_view text) {
  status_ = text;
  state_text_ = text;
}

void HeadlessWindow::ShowStatusPrompt(std::optional<std::string_view> prompt) {
  status_ = prompt ? std::string(*prompt) : state_text_;
}

int HeadlessWindow::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  messages_.push_back({std::string(text), std::string(caption), style});
  if (onMessage) onMessage(messages_.back());
  if (answers_.empty()) return DefaultAnswer(style);
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

int HeadlessWindow::Show(std::string_view text, std::string_view caption, unsigned style) {
  return MessageBox(text, caption, style);
}

void HeadlessWindow::AddToRecentFileList(std::string_view path) {
  std::erase(recent_, std::string(path));
  recent_.insert(recent_.begin(), std::string(path));
}

std::optional<std::string> HeadlessWindow::RunFileDialog(const FileDialogSpec&) {
  if (file_answers_.empty()) return std::nullopt;
  std::optional<std::string> answer = std::move(file_answers_.front());
  file_answers_.pop_front();
  return answer;
}

FormatChoice HeadlessWindow::ChooseFormat(const FormatChooserSpec& chooser) {
  if (format_answers_.empty()) return FormatChoice{kAcmErrCanceled, chooser.initial};
  FormatChoice answer = std::move(format_answers_.front());
  format_answers_.pop_front();
  return answer;
}

int HeadlessWindow::RunPlaySheet(PlaySheetData& data) {
  return playSheetScript ? playSheetScript(data) : kIdCancel;
}

int HeadlessWindow::RunRecordSheet(RecordSheetData& data) {
  return recordSheetScript ? recordSheetScript(data) : kIdCancel;
}

void HeadlessWindow::RunPlayListEditor(PlayListEditorModel& editor) {
  editor_showing_ = true;
  ++editor_runs_;
  editor.OnInitDone();
  if (playListEditorScript) playListEditorScript(editor);
  // The modal loop: what the editor posted is handled while it is up.
  bool handled = true;
  while (editor_showing_ && handled)
    handled = DispatchPending(1) == 1;
  editor_showing_ = false;
}

}  // namespace bw
