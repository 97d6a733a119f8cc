// The one interface through which the view's core reaches its window.
//
// The core (every command handler, message handler and enable rule; no widget code) keeps the
// state of its controls itself and pushes every change through this interface. The desktop
// shell implements it with real widgets and dialogs; tests and brookwave-cli implement it
// headless. All calls come from the user-interface thread, except PostMessage (any thread).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/message_target.h"
#include "platform/wave_format.h"
#include "settings/property_sheet_data.h"
#include "view/view_ids.h"

namespace bw {

// What a message handler returns (0 unless a handler says otherwise).
using LRESULT = intptr_t;

// A trackbar's state, with the control's own rules: a position is kept within the range
// (first raised to the minimum, then lowered to the maximum).
struct SliderState {
  int64_t min = 0;
  int64_t max = 0;
  int64_t pos = 0;
  std::vector<int64_t> ticks;
  bool has_selection = false;
  int64_t selection_start = 0;
  int64_t selection_end = 0;

  void SetRange(int64_t new_min, int64_t new_max) {
    min = new_min;
    max = new_max;
    SetPos(pos);
  }
  void SetPos(int64_t new_pos) { pos = Held(new_pos); }
  // Where SetPos(new_pos) would put the slider.
  int64_t Held(int64_t new_pos) const {
    if (new_pos < min) new_pos = min;
    if (new_pos > max) new_pos = max;
    return new_pos;
  }
  friend bool operator==(const SliderState&, const SliderState&) = default;
};

enum class Cursor { kArrow, kWait, kAppStarting };

// A file dialog as the commands describe it.
struct FileDialogSpec {
  enum class Kind { kOpen, kSave };
  Kind kind = Kind::kOpen;
  std::string title;
  std::vector<std::pair<std::string, std::string>> filters;  // label, pattern ("*.wav")
  int filter_index = 1;                                      // 1-based
  std::string default_extension;                             // without the dot
  bool overwrite_prompt = false;
  bool create_prompt = false;
  bool file_must_exist = false;
  // The view's own Open File dialog (template 151) rather than a plain file dialog.
  bool open_file_template = false;
};

// The format chooser ("Format Selection") over the codec layer's registry.
struct FormatChooserSpec {
  std::string title = "Format Selection";
  FormatBlock initial;                      // the format block handed in
  bool start_on_initial = false;            // open on `initial` rather than the first format
  std::optional<uint16_t> channels;         // list only formats with this channel count
  std::optional<uint32_t> samples_per_sec;  // ... and this sample rate
};

struct FormatChoice {
  int result = 0;  // 0 OK, 515 cancelled, anything else a failure
  FormatBlock format;
};

inline constexpr int kAcmErrCanceled = 515;

class PlayListEditorModel;

class ViewWindow : public MessageTarget {
 public:
  // Controls of the form. Meters run 0..65535.
  virtual void ShowSlider(ControlId id, const SliderState& state) = 0;
  virtual void ShowMeter(ControlId id, int value) = 0;
  virtual void ShowText(ControlId id, std::string_view text) = 0;

  // The main frame's status line, as the frame's message-string rule keeps it: the view's state
  // text ("Ready", "Playing", ...), kept by the frame and shown.
  virtual void SetStatusText(std::string_view text) = 0;
  // A prompt shown in the status line without becoming the state text; nothing: the idle
  // prompt, which brings the last state text back.
  virtual void ShowStatusPrompt(std::optional<std::string_view> prompt) = 0;
  // A plain message box owned by the main window; returns the answer (0 if it failed).
  virtual int MessageBox(std::string_view text, std::string_view caption, unsigned style) = 0;
  virtual void SetCursor(Cursor cursor) = 0;

  // Timer 1: OnTimer runs every `ms` milliseconds on the user-interface thread until killed.
  virtual void SetTimer(int id, int ms) = 0;
  virtual void KillTimer(int id) = 0;
  // Handles up to `count` pending messages now (long commands keep the window alive with it).
  virtual void PumpMessages(int count) = 0;

  // The document and the application.
  virtual std::string DocumentPath() = 0;
  virtual void SetDocumentTitle(std::string_view title) = 0;
  virtual void AddToRecentFileList(std::string_view path) = 0;
  virtual void CloseMainWindow() = 0;
  // At most one other instance is acted on: closed (mode 0) or raised (any other mode).
  virtual void ApplyMultiMode(int32_t multi_mode) = 0;

  // Dialogs. A file dialog returns the chosen path, or nothing when cancelled.
  virtual std::optional<std::string> RunFileDialog(const FileDialogSpec& dialog) = 0;
  virtual FormatChoice ChooseFormat(const FormatChooserSpec& chooser) = 0;
  // The property sheets run modally over `data`; they return kIdOk or kIdCancel. While the
  // playback sheet runs, its equaliser page calls the core's OnApplyPlayProperties.
  virtual int RunPlaySheet(PlaySheetData& data) = 0;
  virtual int RunRecordSheet(RecordSheetData& data) = 0;
  // The play list editor runs modally over `editor`, whose play list file is set. Once the
  // dialog is up it calls editor.OnInitDone() (which fills the list from the file); its buttons
  // call the editor's handlers, and Use List posts WM_PLAYLIST_EDITED to this window, which the
  // modal loop hands to the core. Returns when the user cancels or ClosePlayListEditor ends it.
  virtual void RunPlayListEditor(PlayListEditorModel& editor) = 0;
  // Ends the running play list editor as its Cancel button would; nothing when none runs.
  virtual void ClosePlayListEditor() = 0;
};

}  // namespace bw
