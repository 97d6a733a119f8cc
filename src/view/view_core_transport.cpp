// Opening a file, the transport commands, positioning, the selection and the end of a song.
#include <algorithm>
#include <filesystem>

#include "platform/message_box.h"
#include "view/view_core.h"

namespace bw {

void CBrookwaveViewCore::OnFileOpen() {
  if (m_stream.fileOpen) OnFileClose();
  m_stream.playback.playPath.clear();
  FileDialogSpec dialog;
  dialog.title = "Open File";
  dialog.filters = {{"Wave Files (*.wav)", "*.wav"}};
  dialog.default_extension = "wav";
  dialog.file_must_exist = true;
  dialog.open_file_template = true;
  const std::optional<std::string> chosen = m_window.RunFileDialog(dialog);
  if (!chosen) return;
  m_chosenPath = *chosen;
  m_window.PostMessage(WM_PLAYFILE_CHOSEN, 0, 1);
}

LRESULT CBrookwaveViewCore::OnPlayFileChosen(WPARAM wParam) {
  RunningCommand running(*this);
  // Let the screen repaint where the dialog was before the file is opened.
  m_window.PumpMessages(200);
  m_window.SetCursor(Cursor::kWait);
  if (wParam == 0) m_stream.playback.playPath = m_chosenPath;
  return OpenPlayPath();
}

int CBrookwaveViewCore::OpenPlayPath() {
  PlaybackStream& playback = m_stream.playback;
  if (playback.playPath.empty()) {
    m_window.SetCursor(Cursor::kArrow);
    return -1;
  }
  m_stream.fileOpen = 1;
  m_stream.lastError = playback.PreparePlayback(playback.playPath);
  m_window.SetCursor(Cursor::kArrow);
  if (m_stream.lastError != 0) {
    Message("StreamBufferSetupPlay Failed");
    m_stream.fileOpen = 0;
    return -1;
  }
  FinishOpen();
  if (m_stream.playSettings.AutoPlay == 1) OnPlay();
  return 0;
}

bool CBrookwaveViewCore::OnRecentFile(int index) {
  const std::string path = m_recentFiles.Entry(index);
  std::error_code ec;
  if (path.empty() || !std::filesystem::exists(path, ec)) {
    m_recentFiles.Remove(index);
    return false;
  }
  OpenRecentPath(path);
  return true;
}

int CBrookwaveViewCore::OpenRecentPath(const std::string& path) {
  // Stop would end the recording for a file that could not play anyway.
  if (m_stream.recordTargetReady) return -2;
  if (m_stream.fileOpen) OnStop();
  m_stream.playback.playPath = path;
  return OpenPlayPath();
}

void CBrookwaveViewCore::FinishOpen() {
  PlaybackStream& playback = m_stream.playback;
  m_window.AddToRecentFileList(playback.playPath);
  m_recentFiles.Add(playback.playPath);
  playback.position = 0;
  if (playback.soundBuffer) playback.soundBuffer->SetCurrentPosition(0);
  m_window.SetDocumentTitle(playback.playPath);
  MoveSlider(IDC_POSITION, 0);
}

void CBrookwaveViewCore::OnPlay() {
  StreamState& s = m_stream;
  PlaybackStream& playback = s.playback;
  // Every path to Play (AutoPlay after an open, a recent or dropped file, a remote Play, a
  // play list) keeps its rule: a conversion reads the source itself, and a recording owns the
  // work buffers. The running-command clause is left out: a command that opens a file (Import,
  // a start-up path) plays it itself, and outside requests are held off in WindowProc.
  if (!CommandRule(ID_PLAY)->enabled) return;
  PutPlayListInUse();
  if (s.playListInUse) {
    s.playSettings.RepeatSong = 0;
    s.selectionPlay = 0;
    OnSelectionClear();
  }
  // After a song ran to its end, Play starts it over.
  if (s.endOfData == 1) {
    MoveSlider(IDC_POSITION, s.selectionPlay ? s.selectionStart.load() : 0);
    s.endOfData = 0;
  }
  if (s.selectionPlay) {
    const int64_t start = s.selectionStart, end = s.selectionEnd;
    MoveSlider(IDC_POSITION, std::clamp(m_position.pos, start, std::max(start, end)));
  }
  const uint16_t align = playback.sourceFormat.format().nBlockAlign;
  if (align > 0) MoveSlider(IDC_POSITION, m_position.pos / align * align);

  s.playing = 0;
  playback.SeekToSliderPosition();
  if (playback.SetupPlaybackNotifications() != 0) {
    Message("Error:In Play command, SetupNotifications failed");
    return;
  }
  if (s.playSettings.FadeIn == 1) {
    MoveSlider(IDC_VOLUME, m_volume.min);
    MoveSlider(IDC_VELOCITY, s.playSettings.VelocityMax / 2);
  }
  // A fresh buffer plays at the source's rate; a replayed one where the slider last put it.
  SoundBuffer& buffer = *playback.soundBuffer;
  uint32_t frequency = 0;
  buffer.GetFrequency(&frequency);
  MoveSlider(IDC_FREQUENCY, frequency);
  ShowFrequencyBox();
  buffer.SetVolume(static_cast<int32_t>(m_volume.pos));
  buffer.SetPan(static_cast<int32_t>(m_balance.pos));
  buffer.SetFrequency(frequency);
  buffer.SetCurrentPosition(0);
  m_window.SetStatusText("Playing");

  playback.PrimePlayback();
  s.playing = 1;
  s.haltRequested = 0;
  m_window.SetTimer(kPlaybackTimerId, kPlaybackTimerMs);
  m_timerRunning = true;
  buffer.Play(kPlayLooping);
}

void CBrookwaveViewCore::OnStop() {
  TakePlayListOutOfUse();
  StopTransport();
}

void CBrookwaveViewCore::StopTransport() {
  if (m_stream.playing) {
    m_stream.playing = 0;
    m_stream.haltRequested = 1;
    m_stream.playback.StopBuffer();
  }
  // The thread may have seen the buffer stop first; the ramp ends with the playback anyway.
  if (m_timerRunning) {
    m_window.KillTimer(kPlaybackTimerId);
    m_timerRunning = false;
  }
  if (m_stream.recording) EndRecording();
  if (m_stream.recordTargetReady) AbandonRecordTarget();
  m_stream.converting = 0;
  ResetMeters();
  m_window.SetStatusText("Ready");
}

void CBrookwaveViewCore::OnPause() {
  std::string_view text = "Paused";
  if (m_stream.recording) {
    const bool resume = m_stream.paused == 1;
    m_stream.paused = resume ? 0 : 1;
    text = resume ? "Recording" : "Paused Recording";
  }
  m_window.SetStatusText(text);
}

void CBrookwaveViewCore::OnFileClose() {
  CloseFile(true);
}

void CBrookwaveViewCore::CloseFile(bool deleteImportTemp) {
  PlaybackStream& playback = m_stream.playback;
  if (m_stream.playing) {
    m_stream.playing = 0;
    m_stream.haltRequested = 1;
    playback.ReleaseSoundObjects();
  }
  if (m_timerRunning) {
    m_window.KillTimer(kPlaybackTimerId);
    m_timerRunning = false;
  }
  m_stream.converting = 0;
  if (m_stream.fileOpen) {
    m_stream.fileOpen = 0;
    playback.CloseSource();
    m_stream.haltRequested = 1;
  }
  if (m_stream.recording || m_stream.recordTargetReady) CloseCapture();
  if (deleteImportTemp) DeleteImportTempFile();
  m_window.SetStatusText("Ready");
  m_stream.selectionPlay = 0;
  OnSelectionClear();
}

// ---- positioning ----

void CBrookwaveViewCore::ShowSliderPositionTime() {
  ShowPositionOf(static_cast<uint32_t>(m_position.pos), m_stream.fileOpen,
                 m_stream.recordTargetReady, false);
}

void CBrookwaveViewCore::OnFirst() {
  if (m_stream.playing) return;
  MoveSlider(IDC_POSITION, m_stream.selectionPlay ? m_stream.selectionStart.load() : 0);
  if (m_stream.playListOpen) LoadPreviousListEntry();
  ShowSliderPositionTime();
}

void CBrookwaveViewCore::OnLast() {
  if (m_stream.playing) return;
  MoveSlider(IDC_POSITION,
             m_stream.selectionPlay ? m_stream.selectionEnd.load() : m_stream.playback.dataBytes);
  if (m_stream.playListOpen) LoadNextListEntry();
  ShowSliderPositionTime();
}

void CBrookwaveViewCore::OnReverse() {
  if (m_stream.playing) return;
  MoveSlider(IDC_POSITION, std::max<int64_t>(0, m_position.pos - m_stream.playback.blockBasis));
  ShowSliderPositionTime();
}

void CBrookwaveViewCore::OnForward() {
  if (m_stream.playing) return;
  MoveSlider(IDC_POSITION, std::min<int64_t>(m_stream.playback.dataBytes,
                                             m_position.pos + m_stream.playback.blockBasis));
  ShowSliderPositionTime();
}

// ---- selection ----

void CBrookwaveViewCore::ShowSelection(int64_t start, int64_t end) {
  m_stream.selectionStart = static_cast<uint32_t>(start);
  m_stream.selectionEnd = static_cast<uint32_t>(end);
  m_stream.selectionSet = start != end ? 1 : 0;
  m_position.ticks.clear();
  m_position.has_selection = true;
  m_position.selection_start = start;
  m_position.selection_end = end;
  PushSlider(IDC_POSITION);
}

void CBrookwaveViewCore::OnSelectionFrom() {
  const int64_t at = m_position.pos;
  ShowSelection(at, std::max(m_position.selection_end, at));
}

void CBrookwaveViewCore::OnSelectionTo() {
  const int64_t at = m_position.pos;
  ShowSelection(std::min(m_position.selection_start, at), at);
}

void CBrookwaveViewCore::OnSelectionClear() {
  m_stream.selectionStart = 0;
  m_stream.selectionEnd = 0;
  m_stream.selectionSet = 0;
  m_position.ticks.clear();
  m_position.has_selection = false;
  m_position.selection_start = 0;
  m_position.selection_end = 0;
  MoveSlider(IDC_POSITION, 0);
}

void CBrookwaveViewCore::OnSelectionUse() {
  ToggleFlag(m_stream.selectionPlay);
}

void CBrookwaveViewCore::OnRepeatSong() {
  ToggleFlag(m_stream.playSettings.RepeatSong);
}

// ---- the end of a song ----

LRESULT CBrookwaveViewCore::OnStreamEnd(WPARAM wParam, LPARAM lParam) {
  // With no device left nothing can go on, not even the next song: it ends where it was, as
  // the user's Stop would end it.
  if (wParam == kDeviceLostCode) {
    OnStop();
    return 0;
  }
  ResetMeters();
  const auto bytes = static_cast<uint32_t>(lParam);
  MoveSlider(IDC_POSITION, bytes);
  ShowPositionOf(bytes, m_stream.playing, m_stream.recording, false);
  // A recording that reached its limit ends here too; only a song moves the play list on.
  if (m_stream.playListInUse && !m_stream.recording) {
    PlayNextListEntry();
    return 0;
  }
  if (m_stream.playSettings.RepeatSong == 1) return RepeatSong();
  OnStop();
  return 0;
}

LRESULT CBrookwaveViewCore::RepeatSong() {
  PlaybackStream& playback = m_stream.playback;
  // The file plays again, so an imported file's temporary copy stays.
  CloseFile(false);
  m_stream.fileOpen = 1;
  m_stream.lastError = playback.PreparePlayback(playback.playPath);
  if (m_stream.lastError != 0) {
    Message("StreamBufferSetupPlay");
    m_stream.fileOpen = 0;
    return -1;
  }
  playback.position = 0;
  playback.soundBuffer->SetCurrentPosition(0);
  MoveSlider(IDC_POSITION, 0);
  m_stream.haltRequested = 1;
  m_stream.playing = 0;
  OnPlay();
  return 0;
}

}  // namespace bw
