// The recording side of the view's commands: File New (the record target), Record, and the
// branches of Stop and File Close that end a recording or give up a prepared target.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/message_box.h"
#include "view/view_core.h"

namespace bw {
namespace {

// Opens (creating it when missing) `path` for writing and closes it again; with `truncate` the
// file is emptied. False when the file cannot be written.
bool TouchFile(const std::string& path, bool truncate) {
  const int fd =
      ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0666);
  if (fd < 0) return false;
  return ::close(fd) == 0;
}

std::string CannotCreateText(const std::string& path) {
  return "File " + path + " could not be created";
}

std::string TargetFullText(const std::string& path) {
  return "File " + path +
         " has reached the largest size a WAVE file can have; the recording stopped there.";
}

std::string FinishFailedText(const std::string& path) {
  return "Could not finish " + path +
         "\nThe disk may be full. The file keeps what was recorded up to its last complete "
         "block.";
}

std::string LostText(const std::string& path, double seconds) {
  char amount[32];
  std::snprintf(amount, sizeof amount, "%.1f", seconds);
  return std::string("The recording lost ") + amount + " seconds of sound while the machine " +
         "could not keep up; " + path + " holds what came before and after, in order.";
}

std::string WriteFailedText(const std::string& path) {
  return "Could not write to " + path +
         "\nThe disk may be full or the file too large. The recording stopped there; the "
         "file keeps everything recorded before it.";
}

}  // namespace

void CBrookwaveViewCore::OnFileNew() {
  CaptureStream& capture = m_stream.capture;
  capture.targetPath.clear();
  FileDialogSpec dialog;
  dialog.title = "File New";
  dialog.filters = {{"Wave Files", "*.wav"}, {"All Files", "*.*"}};
  dialog.default_extension = "wav";
  dialog.create_prompt = true;
  dialog.overwrite_prompt = true;
  const std::optional<std::string> chosen = m_window.RunFileDialog(dialog);
  if (!chosen || chosen->empty()) {
    Message("Please choose a file\r\nOr Type a New FileName");
    return;
  }
  capture.targetPath = *chosen;
  const std::string& path = capture.targetPath;
  std::error_code ec;
  if (std::filesystem::exists(path, ec) &&
      Message("File " + path + " exists,Overwrite File", kMbYesNo | kMbIconExclamation) != kIdYes)
    return;
  // An existing file is emptied only once a format is chosen, so that cancelling keeps it.
  if (!TouchFile(path, false)) {
    Message(CannotCreateText(path));
    return;
  }

  capture.targetFormat = FormatBlock(MakePcmFormat(44100, 2));
  FormatChooserSpec chooser;
  chooser.initial = capture.targetFormat;
  const FormatChoice choice = m_window.ChooseFormat(chooser);
  if (choice.result == kAcmErrCanceled) return;
  if (choice.result != 0) {
    Message("There was a fatal error in bringing up the list");
    m_stream.lastError = kRecordChooserFailed;
    return;
  }
  capture.targetFormat = choice.format;
  if (!TouchFile(path, true)) {
    Message(CannotCreateText(path));
    return;
  }

  m_window.SetCursor(Cursor::kAppStarting);
  m_stream.recordTargetReady = 1;
  const int prepared = capture.PrepareCapture(path);
  m_window.SetCursor(Cursor::kArrow);
  if (prepared != 0) {
    Message("StreamBufferSetupC");
    m_stream.lastError = kRecordPrepareFailed;
    return;
  }
  m_window.SetDocumentTitle(path);
  MoveSlider(IDC_POSITION, 0);
}

CommandState CBrookwaveViewCore::OnUpdateRecord() const {
  const StreamState& s = m_stream;
  return CommandState{s.recordTargetReady && !s.playing && !s.converting && !s.recording,
                      s.recording != 0};
}

void CBrookwaveViewCore::OnRecord() {
  m_stream.lastError = 0;
  if (m_stream.recording) return;
  m_window.SetStatusText("Recording");
  CaptureStream& capture = m_stream.capture;
  capture.readCursor = 0;
  capture.captureHalted = 0;
  capture.stopRequested = 0;
  // A Record that fails from here on leaves `recording` set; Stop then releases everything.
  m_stream.recording = 1;
  if (!capture.IsPrepared()) {
    Message("The record target " + capture.targetPath +
            " is not ready: press Stop and prepare it again with File New");
    m_stream.lastError = kRecordPrepareFailed;
    return;
  }
  if (!StartCapture()) return;
  if (capture.captureBuffer->Start(kCaptureStartLooping) != kSoundOk) {
    Message("In Record command, start record failed");
    m_stream.lastError = kRecordStartFailed;
  }
}

bool CBrookwaveViewCore::StartCapture() {
  CaptureStream& capture = m_stream.capture;
  const uint16_t tag = capture.targetFormat.format().wFormatTag;
  const uint32_t open_flags = tag == kWaveFormatTrueSpeech ? ACM_STREAMOPENF_NONREALTIME : 0;
  if (acmStreamOpen(capture.acmStream, capture.captureFormat, capture.targetFormat, open_flags) !=
      MMSYSERR_NOERROR) {
    Message("Failed acmStreamOpenCapture");
    m_stream.lastError = kAcmOpenFailed;
    return false;
  }
  capture.sourceSpan = 2 * capture.captureBlockBytes;
  uint32_t coded_bytes = 0;
  if (acmStreamSize(capture.acmStream, capture.captureBlockBytes, coded_bytes,
                    ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) {
    Message("Failed acmStreamSize");
    m_stream.lastError = kAcmSizeFailed;
    return false;
  }
  std::fill_n(m_stream.pcmBlock.begin(), capture.captureBlockBytes, 0);
  std::fill_n(m_stream.codedBlock.begin(), capture.captureBlockBytes, 0);
  ACMSTREAMHEADER& header = capture.acmHeader;
  header = ACMSTREAMHEADER{};
  header.pbSrc = m_stream.pcmBlock.data();
  header.cbSrcLength = capture.captureBlockBytes;
  header.pbDst = m_stream.codedBlock.data();
  // Twice what the codec asks for, within the work buffer (what does not fit waits in the
  // stream for the next block).
  header.cbDstLength =
      static_cast<uint32_t>(std::min<uint64_t>(2ull * coded_bytes, kWorkBufferBytes));
  if (acmStreamPrepareHeader(capture.acmStream, header, 0) != MMSYSERR_NOERROR) {
    Message("Failed acmStreamPrepareHeader");
    m_stream.lastError = kAcmPrepareFailed;
    return false;
  }
  header.cbSrcLengthUsed = 0;
  capture.convertFlags = ACM_STREAMCONVERTF_BLOCKALIGN;
  if (capture.SetupCaptureNotifications() != kSoundOk) {
    Message("In Record command, setupnotifications failed");
    m_stream.lastError = kRecordNotificationsFailed;
    return false;
  }
  m_position.SetRange(0, 2147483647);
  MoveSlider(IDC_POSITION, 0);
  capture.bytesRecorded = 0;
  return true;
}

int CBrookwaveViewCore::FinishRecording() {
  CaptureStream& capture = m_stream.capture;
  // What the lag still holds was captured while paused: it is not written either.
  const bool was_paused = m_stream.paused != 0;
  m_stream.paused = 0;
  capture.StopCaptureBuffer();
  m_stream.recording = 0;
  const int finished = capture.EndCapture(!was_paused);
  m_stream.recordTargetReady = 0;
  return finished;
}

void CBrookwaveViewCore::EndRecording() {
  const int finished = FinishRecording();
  const CaptureStream& capture = m_stream.capture;
  const std::string& path = capture.targetPath;
  if (capture.targetFull()) Message(TargetFullText(path));
  const uint32_t avg = capture.captureFormat.format().nAvgBytesPerSec;
  if (capture.lostBytes() > 0 && avg > 0)
    Message(LostText(path, static_cast<double>(capture.lostBytes()) / avg));
  if (capture.writeFailed()) {
    Message(WriteFailedText(path));
  } else if (finished != 0) {
    Message(FinishFailedText(path));
  } else {
    Message("Record Completed");
  }
  OpenRecordedFile();
}

void CBrookwaveViewCore::OpenRecordedFile() {
  PlaybackStream& playback = m_stream.playback;
  playback.playPath = m_stream.capture.targetPath;
  m_stream.fileOpen = 1;
  if (playback.PreparePlayback(playback.playPath) != 0) {
    Message("StreamBufferSetupPlay");
    m_stream.fileOpen = 0;
    return;
  }
  FinishOpen();
}

void CBrookwaveViewCore::AbandonRecordTarget() {
  m_stream.capture.AbandonTarget();
  m_stream.recordTargetReady = 0;
  m_stream.recording = 0;
}

void CBrookwaveViewCore::CloseCapture() {
  if (m_stream.recording) {
    FinishRecording();
  } else if (m_stream.recordTargetReady) {
    m_stream.capture.AbandonTarget();
  }
  m_stream.recordTargetReady = 0;
  m_stream.recording = 0;
}

}  // namespace bw
