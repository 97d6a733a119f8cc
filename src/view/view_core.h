// The view's core: everything CBrookwaveView does apart from drawing its widgets. It owns the
// stream-state record (playback, capture, the working settings, the selection, the play list
// state, the work buffers), the state of every control of the form, the property sheets' data
// and its own recent-file list, and it runs every command handler, message handler and enable
// rule. It reaches its window only through ViewWindow.
//
// Who calls what:
//  - The desktop shell creates one core with its window and the profile, calls OnInitialUpdate
//    once the window exists, and forwards: commands to OnCommand (EVT_MENU), command-state
//    queries to QueryCommandState (EVT_UPDATE_UI), the private messages and the worker threads'
//    posted messages to WindowProc, timer 1 to OnTimer, slider moves to OnHScroll, the cursor's
//    control to OnSetCursor and the form's close to OnClose. Tests and brookwave-cli do the same
//    through HeadlessWindow.
//  - The playback and capture threads never call the core; they post WM_LEVEL_METER and
//    WM_STREAM_END to the window (ViewWindow::PostMessage), which hands them to WindowProc on
//    the user-interface thread.
//
// Threads: every member runs on the user-interface thread.
//
// The handlers of each area live in their own source file: view_core.cpp (construction, initial
// update, dispatch, enable rules), view_core_controls.cpp (sliders, meters, time texts, timer),
// view_core_transport.cpp (open, Play, Stop, Close, positioning, selection, end of a song),
// view_core_record.cpp (recording), view_core_convert.cpp (Save, Export, Import),
// view_core_playlist.cpp (the play list in use) and view_core_properties.cpp (the two property
// sheets).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/stream_state.h"
#include "convert/import_temp_path.h"
#include "platform/remote/remote_control.h"
#include "playlist/playlist_editor_model.h"
#include "settings/property_sheet_data.h"
#include "view/recent_file_list.h"
#include "view/view_window.h"

namespace bw {

class AudioImportDecoder;
class BlockConverter;
class ProfileStore;
class WaveTarget;

// A command's state for menus, toolbars and the context menu.
struct CommandState {
  bool enabled = false;
  bool checked = false;
  friend bool operator==(const CommandState&, const CommandState&) = default;
};

class CBrookwaveViewCore final : private PlaybackControls {
 public:
  // Construction: the stream-state record, the work buffers, the view's recent-file list read
  // from `profile`. Nothing is shown yet. Both objects outlive the core.
  CBrookwaveViewCore(ViewWindow& window, ProfileStore& profile);
  // Stops and releases whatever stream still runs and closes the source.
  ~CBrookwaveViewCore() override;
  CBrookwaveViewCore(const CBrookwaveViewCore&) = delete;
  CBrookwaveViewCore& operator=(const CBrookwaveViewCore&) = delete;

  // ---- entries for the window --------------------------------------------------------------

  // Working values to their defaults, the settings loaded, the controls sized, "Ready"; then
  // the start-up path: a play list, or (with AutoPlay) a sound file opened and played. Does
  // nothing while a file or a record target is open.
  void OnInitialUpdate();
  // The view's private messages (view_ids.h: WM_PLAYFILE_CHOSEN .. WM_UNUSED_503). Returns the
  // handler's result; messages the view does not know return 0.
  LRESULT WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam);
  // Runs command `id` when its enable rule allows it. True when the core took the command
  // (a recent-file command whose file is gone is not taken: the application's handler runs).
  bool OnCommand(int id);
  // The enable rule and check mark of command `id`; nothing for commands the core has no rule
  // for (the frame's and the application's own).
  std::optional<CommandState> QueryCommandState(int id) const;
  void OnTimer(int id);
  // Whether the next tick of the playback timer would change anything: false while the
  // Velocity slider is at 0 or the Volume slider is already at the end it pushes toward (and
  // the buffer plays at that volume), so that a loop may sleep through such ticks.
  bool TimerMovesVolume() const;
  // A slider of the form moved to `position` (code: the trackbar's scroll code).
  void OnHScroll(int code, int64_t position, ControlId slider);
  // The cursor is over `control` (nothing: over the form itself). Shows the control's prompt
  // (over the form: the idle prompt) in the status line and returns its tip for the data tip
  // (empty when it has none).
  std::string OnSetCursor(std::optional<ControlId> control);
  // The form closes: whatever runs stops and the flags and the position slider are cleared.
  void OnClose();
  // True while a command that handles pending messages runs (Save, Export, Import, opening a
  // chosen file). The core must outlive it: the window's close is refused then and turned into
  // Stop, which ends a conversion or an import early.
  bool IsRunningCommand() const { return m_runningCommands > 0; }

  // ---- handlers (also called directly by the other areas, tests and brookwave-cli) --------

  void OnFileOpen();
  // wParam 1: playPath is already set; 0: take the path the Open File dialog chose.
  LRESULT OnPlayFileChosen(WPARAM wParam);
  // Recent-file command `index` (0 for 57616): true when the file still exists and was opened.
  bool OnRecentFile(int index);
  int OpenRecentPath(const std::string& path);
  // After PreparePlayback succeeded for playPath.
  void FinishOpen();
  void OnFileClose();
  void OnPlay();
  void OnStop();
  void OnPause();
  void OnFirst();
  void OnLast();
  void OnReverse();
  void OnForward();
  void OnSelectionFrom();
  void OnSelectionTo();
  void OnSelectionClear();
  void OnSelectionUse();
  void OnRepeatSong();
  // File > Exit: both settings records are written, then the main window is asked to close.
  void OnAppExit();
  LRESULT OnLevelMeter(WPARAM wParam, LPARAM lParam);
  LRESULT OnStreamEnd(WPARAM wParam, LPARAM lParam);
  // The Equaliser page pushed its values (WM_APPLY_PLAY_PROPERTIES).
  LRESULT OnApplyPlayProperties();
  // Playlist > Open PlayList (also start-up with a ".plf" path).
  void OnPlayListOpen();
  // Opens the play list at `path` as at start-up: no file dialog; with AutoPlay it plays.
  void OpenStartupPlayList(const std::string& path);
  // Playlist > New PlayList: names a file (created empty when new) and runs the editor on it.
  void OnPlayListNew();
  void OnPlayListClose();
  // Playlist > Edit Playlist: the editor on the play list file, when that file exists.
  void OnPlayListEdit();
  // The toggles: PlayList in Use, Repeat PlayList, Edit > AutoPlay.
  void OnPlayListInUse();
  void OnPlayListRepeat();
  void OnAutoPlay();
  // Use List (WM_PLAYLIST_EDITED): the editor's list is written to the play list file and
  // becomes the open play list; the editor closes once its first entry has loaded. 0, or -1
  // when nothing was taken (the file is gone or cannot be written, the entry does not load).
  LRESULT OnPlayListEdited();
  // File > Save: the open PCM file converted into a new WAVE file in a format the user picks.
  void OnFileSave();
  // File > Export: the open file's sound as a bare coded stream (PCM converted, an MPEG
  // Layer-3 wrapper's data copied out unchanged).
  void OnFileExport();
  // File > Import: an MPEG Layer III file wrapped unchanged into Import's temporary WAVE file,
  // any other compressed sound file decoded into it as 16-bit PCM; the file is then opened and
  // played.
  void OnFileImport();
  // File > New: names the record target, chooses its format and prepares the capture.
  void OnFileNew();
  // Audio > Record: opens the conversion and starts the capture into the prepared target.
  void OnRecord();
  // Record's enable rule and check mark.
  CommandState OnUpdateRecord() const;
  // View > Properties > Playback: the playback sheet runs over the working values and the open
  // file's facts; OK copies the values back and re-ranges the four value sliders.
  void OnPlaybackProperties();
  // View > Properties > Record: the record sheet runs over the record settings and the record
  // target's facts; OK copies the values back.
  void OnRecordProperties();

  // ---- other programs and the desktop (view_core_remote.cpp) ----

  // What other programs are shown: the playback status, the open file, its length and the
  // position, the volume and which transport commands their enable rules allow now.
  RemoteState DescribeForRemote() const;
  // A file handed over by another program (or a second start) or dropped on the window: it
  // replaces the open file as a recent-file entry does, and plays with AutoPlay; a ".plf" path
  // opens that play list, and a compressed sound file is imported as File > Import does. Refused
  // with a message while a recording, a prepared record target or a conversion holds the view, so
  // that none of them is cut short.
  void OpenFromOutside(const std::string& path);
  // Another program set the volume (0 silence .. 1 full): the Volume slider moves there, as if
  // the user had dragged it.
  void SetRemoteVolume(double volume);

  // ---- state -------------------------------------------------------------------------------

  StreamState& stream() { return m_stream; }
  const StreamState& stream() const { return m_stream; }
  // The current state of one of the five sliders (IDC_VOLUME, IDC_BALANCE, IDC_FREQUENCY,
  // IDC_VELOCITY, IDC_POSITION).
  const SliderState& Slider(ControlId id) const;
  // The property sheets' members: the sheets edit them while they run.
  PlaySheetData& playSheet() { return m_playSheet; }
  RecordSheetData& recordSheet() { return m_recordSheet; }
  const RecentFileList& recentFiles() const { return m_recentFiles; }

 private:
  // PlaybackControls: what the playback steps change on the form.
  void ShowSourceFormat(uint32_t samplesPerSec, uint16_t channels) override;
  void ShowDataLength(uint32_t dataBytes, uint32_t avgBytesPerSec) override;
  uint32_t PositionSliderValue() const override;
  void SetPositionSliderValue(uint32_t value) override;
  void ShowSeekTime(uint32_t value) override;
  int ShowMessage(std::string_view text, unsigned style) override;

  // ---- controls (view_core_controls.cpp) ----
  SliderState& SliderRef(ControlId id);
  void MoveSlider(ControlId id, int64_t position);
  void PushSlider(ControlId id);
  // Ranges and ticks of Volume, Balance, Frequency and Velocity from the working values, and
  // their positions (Frequency at `frequency`).
  void RangeValueSliders(int64_t frequency);
  void ShowFrequencyBox();
  // Time texts: `bytes` of the open file or of the record target as minutes and seconds.
  uint32_t PlaybackAvgBytes() const;
  uint32_t RecordAvgBytes() const;
  void ShowPositionTime(uint64_t seconds);
  void ShowPositionOf(uint32_t bytes, bool playbackSide, bool recordSide, bool divideByAvgPlusOne);
  // Volume and balance to the playing buffer, and its rate only when the Frequency slider moved:
  // a source rate beyond the slider's range stays until the user picks another.
  void ApplySlidersToBuffer(bool frequencyMoved);
  void ResetMeters();
  void ApplyFades(uint32_t position);
  int Message(std::string_view text, unsigned style = 0);

  // ---- transport (view_core_transport.cpp) ----
  // Opens playPath for playback (and plays it with AutoPlay): steps 3 to 5 of OnPlayFileChosen.
  int OpenPlayPath();
  // File Close; a song that is about to be repeated keeps Import's temporary file.
  void CloseFile(bool deleteImportTemp);
  void ShowSelection(int64_t start, int64_t end);
  void ShowSliderPositionTime();
  LRESULT RepeatSong();

  // ---- recording (view_core_record.cpp) ----
  // Stop's recording branch: the recording ends, its file is finished and opened for playback.
  void EndRecording();
  // Stop's branch for a target prepared by File New and never recorded into.
  void AbandonRecordTarget();
  // File Close (and the view's end) with a recording or a prepared target: the recording is
  // finished (its file kept, without a message) or the target given up.
  void CloseCapture();
  // Record's steps from the codec stream to the running capture; false after a failure's
  // message.
  bool StartCapture();
  // The capture ends and the target file is finished (both branches that end a recording).
  // Returns the result of finishing the file.
  int FinishRecording();
  // The file just recorded becomes the open file.
  void OpenRecordedFile();

  // Held for the whole run of a command that handles pending messages. Meanwhile only Stop,
  // Exit and the plain toggles are taken, and messages that would open or play a file are
  // dropped, so nothing that arrives changes what the command works on.
  class RunningCommand {
   public:
    explicit RunningCommand(CBrookwaveViewCore& core);
    // A conversion that ends without Stop having run leaves the view Ready.
    ~RunningCommand();
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;
    // From here the view is "Converting" and a Stop ends the command.
    void MarkConverting();

   private:
    CBrookwaveViewCore& m_core;
    bool m_converting = false;
  };
  std::optional<CommandState> CommandRule(int id) const;
  static bool TakenWhileRunning(int id);

  // ---- conversion, export, import (view_core_convert.cpp) ----
  struct ConversionTarget;
  enum class ConversionEnd;
  void DeleteImportTempFile();
  // Save and Export: the target's name, the overwrite question and a check that it can be
  // written; then the format chooser, opened on the MPEG Layer-3 preset.
  bool ChooseConversionTarget(RunningCommand& running, const FileDialogSpec& dialog,
                              int createFailure, ConversionTarget& target);
  bool ChooseTargetFormat();
  bool OpenConverter(BlockConverter& converter);
  void CloseConverter(BlockConverter& converter);
  // The source's data from its first byte, then `converting` and the progress display.
  void BeginConverting();
  bool ReadSourceBlock(std::span<uint8_t> into, uint32_t& got);
  // Moves the progress display to `bytesRead` and handles one pending message; false when a
  // command run from it (Stop) has ended the conversion.
  bool ShowProgress(uint64_t bytesRead);
  ConversionEnd ConvertSource(BlockConverter& converter, ConversionTarget& target);
  ConversionEnd DrainConverter(BlockConverter& converter, ConversionTarget& target);
  ConversionEnd CopySourceData(ConversionTarget& target);
  void EndConversion(ConversionEnd end, ConversionTarget& target, std::string_view complete);
  // From the start of the source: converted through `converter`, or copied without one.
  void RunConversion(BlockConverter* converter, ConversionTarget& target,
                     std::string_view complete);
  // Import's steps before and after its dialog; a file handed in from outside takes them too.
  void ClearForImport();
  void ImportChosenFile(const std::string& path, RunningCommand& running);
  // A sound file handed in from outside (start-up, a drop, another program) imported at once.
  void ImportOutsideFile(const std::string& path);
  // The temporary file for `path`: an MPEG Layer III file wrapped unchanged, any other sound
  // decoded into 16-bit PCM (view_core_import.cpp). False after a message.
  bool WriteImportFile(const std::string& path);
  bool CreateImportTempFile();
  // Import's formats become `format`, and the temporary file's header is written for it.
  bool BeginImportFile(WaveTarget& file, const FormatBlock& format);
  bool DecodeIntoImportFile(AudioImportDecoder& decoder);
  bool WriteImportBlock(WaveTarget& file, std::span<const uint8_t> bytes);
  bool WriteImportWrapper(const std::string& mpegPath);
  bool CopyIntoWrapper(const std::string& mpegPath, WaveTarget& wrapper, uint32_t blockBytes);
  void OpenImportWrapper(const std::string& mpegPath);

  // ---- play list in use (view_core_playlist.cpp) ----
  // `entries` become the open play list, at its first entry; true when that entry loaded.
  bool TakePlayList(std::vector<std::string> entries, std::string_view failure);
  // With AutoPlay a list just taken comes into use and plays.
  void AutoPlayPlayList();
  // The play list file dialog: playListPath is what it chose; on Cancel the user is asked to
  // choose a file and the result is false (playListPath is then empty).
  bool ChoosePlayListPath(std::string title, std::string filterLabel);
  // Runs the editor modally on playListPath, unless it is already showing.
  void ShowPlayListEditor();
  void PutPlayListInUse();
  void TakePlayListOutOfUse();
  // Stop without touching the play list: playback, the ramp, a recording and the meters end.
  void StopTransport();
  void PlayNextListEntry();
  void LoadPreviousListEntry();
  void LoadNextListEntry();
  bool LoadListEntry(uint32_t index, std::string_view failure);

  ViewWindow& m_window;
  ProfileStore& m_profile;
  ImportTempFolder m_importTempFolder;  // outlives the stream state, whose file it holds
  StreamState m_stream;
  PlaySheetData m_playSheet;
  RecordSheetData m_recordSheet;
  RecentFileList m_recentFiles;
  std::vector<std::string> m_playListEntries;
  std::string m_playListFile;  // the list the entries came from
  PlayListEditorModel m_playListEditor{m_window};
  bool m_playListEditorShowing = false;
  std::string m_chosenPath;    // what the Open File dialog chose, until WM_PLAYFILE_CHOSEN
  std::string m_importedPath;  // the MPEG file the last Import wrapped
  bool m_timerRunning = false;
  int m_runningCommands = 0;

  SliderState m_volume;
  SliderState m_balance;
  SliderState m_frequency;
  SliderState m_velocity;
  SliderState m_position;
};

}  // namespace bw
