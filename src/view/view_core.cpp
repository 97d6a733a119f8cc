// The view's core: construction, the initial update, message and command dispatch and the
// enable rules.
#include "view/view_core.h"

#include "convert/audio_import.h"
#include "convert/import_temp_path.h"
#include "platform/message_box.h"
#include "platform/profile_store.h"
#include "platform/sample_layout.h"
#include "playlist/playlist_file.h"
#include "settings/settings_records.h"

namespace bw {
namespace {

// Prompt and tip of each control, separated by a line break.
std::string_view ControlHelp(ControlId id) {
  switch (id) {
    case IDC_VOLUME:
      return "Volume\nVolume";
    case IDC_LBAR:
    case IDC_RBAR:
      return "VolumeMeter\nVolumeMeter";
    case IDC_FREQUENCY_BOX:
    case IDC_FREQUENCY:
      return "Frequency\nFrequency";
    case IDC_BALANCE:
      return "Pan\nPan";
    case IDC_VELOCITY:
      return "Velocity\nVelocity";
    case IDC_POSITION:
    case IDC_POSITION_BOX:
      return "Position\nPosition";
    case IDC_CHANNELS_BOX:
      return "Channels\nChannels";
    default:
      return {};
  }
}

bool IsRecentFileCommand(int id) {
  return id >= ID_FILE_MRU_FIRST && id <= ID_FILE_MRU_LAST;
}

}  // namespace

CBrookwaveViewCore::CBrookwaveViewCore(ViewWindow& window, ProfileStore& profile)
    : m_window(window), m_profile(profile), m_stream(*this) {
  m_recentFiles.Read(m_profile);
}

CBrookwaveViewCore::~CBrookwaveViewCore() {
  if (m_timerRunning) m_window.KillTimer(kPlaybackTimerId);
  PlaybackStream& playback = m_stream.playback;
  if (m_stream.playing) playback.ReleaseSoundObjects();
  if (m_stream.fileOpen) {
    playback.CloseSource();
    m_stream.haltRequested = 1;
  }
  if (m_stream.recording || m_stream.recordTargetReady) CloseCapture();
  // Import's copy of an MPEG file is of no use once the program ends.
  DeleteImportTempFile();
}

void CBrookwaveViewCore::OnInitialUpdate() {
  if (m_stream.fileOpen || m_stream.recordTargetReady) return;
  const std::string documentPath = m_window.DocumentPath();

  m_stream.viewWindow = &m_window;
  m_stream.playSettings.Load(PlaySettings{});
  m_stream.recordSettings.Load(RecordSettings{});
  m_stream.ClearFlags();
  RecordSettings record;
  if (ReadRecordSet(m_profile, record)) m_stream.recordSettings.Load(record);
  PlaySettings play;
  if (ReadPlaySet(m_profile, play)) m_stream.playSettings.Load(play);
  m_window.ApplyMultiMode(m_stream.playSettings.MultiMode);

  m_playListEntries.assign(100, {});
  m_stream.playback.sourceFormat = FormatBlock();
  m_stream.playback.pcmFormat = FormatBlock();
  m_stream.capture.targetFormat = FormatBlock();
  m_stream.importTempPath = m_importTempFolder.MakeImportTempPath();

  ResetMeters();
  m_position = SliderState{};
  PushSlider(IDC_POSITION);
  RangeValueSliders(44100);
  m_window.ShowText(IDC_CHANNELS_BOX, " Stereo ");
  // Shown, not kept: until the view reports a state, the idle prompt leaves the line empty.
  m_window.ShowStatusPrompt("Ready");

  m_stream.playback.playPath.clear();
  if (documentPath.empty()) return;
  if (NamesPlayList(documentPath)) {
    OpenStartupPlayList(documentPath);
    return;
  }
  m_stream.playback.playPath = documentPath;
  if (m_stream.playSettings.AutoPlay != 1) return;
  if (IsImportableSoundFile(documentPath)) {
    ImportOutsideFile(documentPath);
    return;
  }
  OnPlayFileChosen(1);
}

CBrookwaveViewCore::RunningCommand::RunningCommand(CBrookwaveViewCore& core) : m_core(core) {
  ++m_core.m_runningCommands;
}

CBrookwaveViewCore::RunningCommand::~RunningCommand() {
  --m_core.m_runningCommands;
  if (!m_converting || m_core.m_stream.converting == 0) return;
  m_core.m_stream.converting = 0;
  m_core.m_window.SetStatusText("Ready");
}

void CBrookwaveViewCore::RunningCommand::MarkConverting() {
  m_converting = true;
  m_core.m_stream.converting = 1;
  m_core.m_window.SetStatusText("Converting");
}

bool CBrookwaveViewCore::TakenWhileRunning(int id) {
  return id == ID_STOP || id == ID_APP_EXIT || id == ID_AUTOPLAY || id == ID_REPEAT_SONG;
}

LRESULT CBrookwaveViewCore::WindowProc(uint32_t message, WPARAM wParam, LPARAM lParam) {
  // A file opened or played from a running command's pump would change its source under it;
  // a late stream end would stop it. A lost device is Stop, which a running command takes.
  const bool song_end = message == WM_STREAM_END && wParam != kDeviceLostCode;
  if (IsRunningCommand() && (message == WM_PLAYFILE_CHOSEN || message == WM_PLAYLIST_EDITED ||
                             message == WM_REMOTE_PLAY || song_end))
    return 0;
  switch (message) {
    case WM_PLAYFILE_CHOSEN:
      return OnPlayFileChosen(wParam);
    case WM_PLAYLIST_EDITED:
      return OnPlayListEdited();
    case WM_APPLY_PLAY_PROPERTIES:
      return OnApplyPlayProperties();
    case WM_REMOTE_STOP:
      OnStop();
      return 0;
    case WM_REMOTE_PLAY:
      OnPlay();
      return 0;
    case WM_STREAM_END:
      return OnStreamEnd(wParam, lParam);
    case WM_LEVEL_METER:
      return OnLevelMeter(wParam, lParam);
    default:  // WM_RECORD_PAGE_NOTICE, WM_UNUSED_503 and anything else: accepted, ignored
      return 0;
  }
}

bool CBrookwaveViewCore::OnCommand(int id) {
  // A command whose rule disables it is refused, however it was chosen.
  if (const std::optional<CommandState> state = QueryCommandState(id); state && !state->enabled)
    return true;
  if (IsRecentFileCommand(id)) return OnRecentFile(id - ID_FILE_MRU_FIRST);
  switch (id) {
    case ID_FILE_OPEN:
      OnFileOpen();
      return true;
    case ID_FILE_CLOSE:
      OnFileClose();
      return true;
    case ID_APP_EXIT:
      OnAppExit();
      return true;
    case ID_PLAY:
      OnPlay();
      return true;
    case ID_STOP:
      OnStop();
      return true;
    case ID_PAUSE:
      OnPause();
      return true;
    case ID_FIRST:
      OnFirst();
      return true;
    case ID_LAST:
      OnLast();
      return true;
    case ID_REVERSE:
      OnReverse();
      return true;
    case ID_FORWARD:
      OnForward();
      return true;
    case ID_SELECTION_FROM:
      OnSelectionFrom();
      return true;
    case ID_SELECTION_TO:
      OnSelectionTo();
      return true;
    case ID_SELECTION_CLEAR:
      OnSelectionClear();
      return true;
    case ID_SELECTION_USE:
      OnSelectionUse();
      return true;
    case ID_REPEAT_SONG:
      OnRepeatSong();
      return true;
    case ID_PLAYLIST_OPEN:
      OnPlayListOpen();
      return true;
    case ID_PLAYLIST_NEW:
      OnPlayListNew();
      return true;
    case ID_PLAYLIST_CLOSE:
      OnPlayListClose();
      return true;
    case ID_PLAYLIST_EDIT:
      OnPlayListEdit();
      return true;
    case ID_PLAYLIST_IN_USE:
      OnPlayListInUse();
      return true;
    case ID_PLAYLIST_REPEAT:
      OnPlayListRepeat();
      return true;
    case ID_AUTOPLAY:
      OnAutoPlay();
      return true;
    case ID_FILE_SAVE:
      OnFileSave();
      return true;
    case ID_FILE_SAVE_AS:
      OnFileExport();
      return true;
    case ID_FILE_IMPORT:
      OnFileImport();
      return true;
    case ID_FILE_NEW:
      OnFileNew();
      return true;
    case ID_RECORD:
      OnRecord();
      return true;
    case ID_PROPERTIES_PLAYBACK:
      OnPlaybackProperties();
      return true;
    case ID_PROPERTIES_RECORD:
      OnRecordProperties();
      return true;
    default:
      return false;
  }
}

std::optional<CommandState> CBrookwaveViewCore::QueryCommandState(int id) const {
  std::optional<CommandState> state = CommandRule(id);
  if (state && IsRunningCommand() && !TakenWhileRunning(id)) state->enabled = false;
  return state;
}

std::optional<CommandState> CBrookwaveViewCore::CommandRule(int id) const {
  const StreamState& s = m_stream;
  const bool fileOpen = s.fileOpen, playing = s.playing, paused = s.paused;
  const bool converting = s.converting, recording = s.recording;
  const bool targetReady = s.recordTargetReady;
  const bool positioning = fileOpen && !playing && !converting && !recording && !paused;
  const bool idle = !playing && !converting && !recording;
  const uint16_t tag = s.playback.sourceFormat.format().wFormatTag;
  // Integer PCM of any width and IEEE float, EXTENSIBLE ones too, convert as PCM does.
  const bool uncoded = IsUncodedFormat(s.playback.sourceFormat);
  switch (id) {
    // A recording, or a target waiting for one, owns the work buffers that playback decodes
    // into.
    case ID_PLAY:
      return CommandState{
          fileOpen && !playing && !paused && !converting && !recording && !targetReady, playing};
    case ID_PAUSE:
      return CommandState{(recording || paused) && !converting && !playing, paused};
    case ID_STOP:  // also what ends an import, which has no file open yet
      return CommandState{fileOpen || targetReady || converting, false};
    case ID_RECORD:
      return OnUpdateRecord();
    case ID_FIRST:
    case ID_LAST:
    case ID_REVERSE:
    case ID_FORWARD:
    case ID_SELECTION_FROM:
    case ID_SELECTION_TO:
      return CommandState{positioning, false};
    case ID_SELECTION_CLEAR:
      return CommandState{s.selectionSet != 0, false};
    case ID_SELECTION_USE:
      return CommandState{s.selectionSet != 0 && fileOpen, s.selectionPlay != 0};
    case ID_REPEAT_SONG:
      return CommandState{true, s.playSettings.RepeatSong != 0};
    case ID_FILE_NEW:
      return CommandState{!targetReady && !playing && !fileOpen, false};
    case ID_FILE_OPEN:
      return CommandState{!fileOpen && !playing, false};
    case ID_FILE_CLOSE:
      return CommandState{(fileOpen || targetReady) && !recording && !playing && !converting,
                          false};
    case ID_EDIT_COPY:
    case ID_EDIT_CUT:
    case ID_EDIT_PASTE:
      return CommandState{false, false};
    case ID_APP_EXIT:
      return CommandState{true, false};
    case ID_PLAYLIST_NEW:
    case ID_PLAYLIST_OPEN:
      return CommandState{!fileOpen && !playing && !paused, false};
    case ID_PLAYLIST_CLOSE:
    case ID_PLAYLIST_EDIT:
      return CommandState{s.playListOpen == 1 && !playing, false};
    case ID_PLAYLIST_IN_USE:
      return CommandState{s.playListOpen == 1, s.playListInUse != 0};
    case ID_PLAYLIST_REPEAT:
      return CommandState{s.playListOpen == 1, s.playSettings.RepeatPlayList != 0};
    case ID_AUTOPLAY:
      return CommandState{true, s.playSettings.AutoPlay != 0};
    // Save, Export and Import write through the record target's fields, so they wait while
    // File New has prepared a target.
    case ID_FILE_SAVE:
      return CommandState{fileOpen && uncoded && idle && !paused && !targetReady, false};
    case ID_FILE_SAVE_AS:
      return CommandState{
          fileOpen && (uncoded || tag == kWaveFormatMpegLayer3) && idle && !paused && !targetReady,
          false};
    case ID_FILE_IMPORT:
      return CommandState{!fileOpen && !targetReady && !recording, false};
    case ID_PROPERTIES_PLAYBACK:
      return CommandState{true, false};
    case ID_PROPERTIES_RECORD:
      return CommandState{!fileOpen, false};
    default:
      if (IsRecentFileCommand(id)) return CommandState{true, false};
      return std::nullopt;
  }
}

void CBrookwaveViewCore::OnAppExit() {
  WriteRecordSet(m_profile, m_stream.recordSettings.Record());
  WritePlaySet(m_profile, m_stream.playSettings.Record());
  m_window.CloseMainWindow();
}

LRESULT CBrookwaveViewCore::OnApplyPlayProperties() {
  const CPageP1Data& general = m_playSheet.general;
  PlaySettingsValues& settings = m_stream.playSettings;
  settings.AutoPlay = general.m_bAutoPlay;
  settings.SyncPlay = general.m_bSyncPlay;
  settings.FadeIn = general.m_bFadeIn;
  settings.FadeOut = general.m_bFadeOut;
  if (general.m_nRepeat == -1 || general.m_nRepeat == 0) settings.RepeatSong = 0;
  if (general.m_nRepeat == 1) settings.RepeatSong = 1;
  for (int band = 0; band < kEqualiserBands; ++band)
    settings.EqBand[band] = m_playSheet.equaliser.m_nBand[band];
  return 0;
}

std::string CBrookwaveViewCore::OnSetCursor(std::optional<ControlId> control) {
  if (!control) {
    m_window.ShowStatusPrompt(std::nullopt);
    return {};
  }
  const std::string_view help = ControlHelp(*control);
  if (help.empty()) return {};
  const std::size_t newline = help.rfind('\n');
  m_window.ShowStatusPrompt(help.substr(0, help.find('\n')));
  return std::string(help.substr(newline + 1));
}

void CBrookwaveViewCore::OnClose() {
  if (m_stream.fileOpen) OnStop();
  if (m_stream.recordTargetReady) OnStop();
  for (std::atomic<int32_t>* flag :
       {&m_stream.fileOpen, &m_stream.recordTargetReady, &m_stream.paused, &m_stream.converting,
        &m_stream.playing, &m_stream.recording, &m_stream.haltRequested, &m_stream.endOfData,
        &m_stream.selectionSet, &m_stream.selectionPlay})
    *flag = 0;
  m_stream.selectionStart = 0;
  m_stream.selectionEnd = 0;
  m_position = SliderState{};
  PushSlider(IDC_POSITION);
}

}  // namespace bw
