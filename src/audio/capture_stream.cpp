// The capture steps that run on the user-interface thread: preparing the target and the
// device, starting the thread, and, at Stop, ending the thread and finishing the target.
#include "audio/capture_stream.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "audio/file_facts.h"
#include "audio/playback_stream.h"
#include "audio/stream_state.h"
#include "audio/wave_file.h"
#include "platform/message_box.h"

namespace bw {
namespace {

// Empty END calls needed at most to collect what a codec holds at the end of a stream.
constexpr int kMostFlushRounds = 16;

// Stores `value` at `offset` of an open file; false on failure.
bool PatchLe32(RiffFile& file, uint64_t offset, uint32_t value) {
  uint8_t bytes[4];
  StoreLe32(bytes, value);
  return file.Seek(static_cast<int64_t>(offset), SEEK_SET) >= 0 && file.Write(bytes) == 4;
}

}  // namespace

CaptureStream::CaptureStream(StreamState& state, PlaybackControls& controls)
    : state_(state), controls_(controls) {}

CaptureStream::~CaptureStream() {
  EndThread();
}

std::span<uint8_t> CaptureStream::pcmBlock() {
  return state_.pcmBlock;
}

std::span<uint8_t> CaptureStream::codedBlock() {
  return state_.codedBlock;
}

int CaptureStream::PrepareCapture(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    const int answer = controls_.ShowMessage("File " + path + " not found",
                                             kMbAbortRetryIgnore | kMbIconExclamation);
    return answer == kIdFailed ? kCaptureMessageFailed : kCaptureTargetMissing;
  }
  FileTimeAndSize(path, targetCreated, targetSize);
  stage_ = TargetStage::kNone;
  converted_ = writeFailed_ = targetFull_ = false;
  committedBytes_ = 0;
  bytesRecorded = 0;

  uint32_t expected = kWaveTargetExpectedSize;
  if (CreateWaveTarget(path, targetFile, targetFormat, riffChunk, expected) != 0) {
    controls_.ShowMessage("ERROR_WAVEFILEOPEN", kMbOk);
    return kCaptureTargetOpenFailed;
  }
  stage_ = TargetStage::kHeader;
  const WAVEFORMATEX& f = targetFormat.format();
  const uint32_t basis = CaptureBlockBasis(targetFormat);
  if (basis == 0 || f.nChannels == 0) {
    controls_.ShowMessage("UnSupported Format", kMbOk | kMbIconExclamation);
    return kCaptureUnsupportedFormat;
  }
  captureFormat = FormatBlock(MakePcmFormat(f.nSamplesPerSec, f.nChannels));
  if (BeginWaveData(targetFile, dataChunk, ioInfo, expected) != 0) {
    controls_.ShowMessage("IDS_ERROR_WAVESEEKFAILED", kMbOk);
    FinishWaveTarget(targetFile, dataChunk, riffChunk, ioInfo, 0);
    stage_ = TargetStage::kNone;
    return kCaptureDataChunkFailed;
  }
  stage_ = TargetStage::kData;

  // A block must fit the work buffers; it stays a whole number of frames.
  const uint32_t frame_bytes = 2u * f.nChannels;
  const uint64_t block = uint64_t{basis} * f.nChannels;
  const bool limited = block > kWorkBufferBytes;
  captureBlockBytes =
      limited ? kWorkBufferBytes / frame_bytes * frame_bytes : static_cast<uint32_t>(block);
  captureBlockBasis = limited ? captureBlockBytes / f.nChannels : basis;
  captureBufferBytes = 4 * captureBlockBytes;
  captureBufferDesc =
      CaptureBufferDesc{kCaptureWaveMapped, captureBufferBytes, captureFormat.format()};

  const DeviceId& device = state_.recordSettings.CaptureDevice;
  if (SoundCaptureCreate(device.IsDefault() ? nullptr : &device, &captureObject) != kSoundOk) {
    controls_.ShowMessage("Direct Sound Capture Creation Failed", kMbOk);
    return kCaptureDeviceFailed;
  }
  if (captureObject->CreateCaptureBuffer(captureBufferDesc, &captureBuffer) != kSoundOk) {
    controls_.ShowMessage(" IDS_ERROR_DSBCREATE CAPTURE", kMbOk);
    return kCaptureBufferFailed;
  }
  // A stall longer than the ring must not let the capture overwrite blocks not yet taken.
  captureBuffer->KeepUnread(true);
  stopRequested = 0;
  readCursor = 0;
  CaptureCaps caps;
  if (captureObject->GetCaps(&caps) != kSoundOk) {
    controls_.ShowMessage(" DSCCAPS_ERROR ", kMbOk);
    return kCaptureBufferFailed;
  }
  if (const SoundResult rc = captureBuffer->QueryNotify(&captureNotify); rc != kSoundOk) {
    controls_.ShowMessage("IDS_ERROR_QCINOTIFY_FAILED", kMbOk);
    return rc;
  }
  captureHalted = 0;
  return 0;
}

SoundResult CaptureStream::SetupCaptureNotifications() {
  JoinThread();
  blockFailed_ = false;
  readTotal_ = 0;
  lostBytes_ = 0;
  captureEvents = {Event::Create(), Event::Create()};
  // The last position is one byte short of the end, so that it lies inside the buffer.
  const NotifyPosition positions[] = {{captureBlockBytes, captureEvents[0]},
                                      {2 * captureBlockBytes, captureEvents[0]},
                                      {3 * captureBlockBytes, captureEvents[0]},
                                      {4 * captureBlockBytes - 1, captureEvents[0]},
                                      {kNotifyOffsetStop, captureEvents[1]}};
  const SoundResult rc =
      captureNotify ? captureNotify->SetNotificationPositions(positions) : kSoundErrInvalidCall;
  if (rc != kSoundOk) {
    if (rc == kSoundErrInvalidParam)
      controls_.ShowMessage("SetupNotificationPosC failed. Invalid Param", kMbOk);
    if (rc == kSoundErrOutOfMemory)
      controls_.ShowMessage("SetupNotificationPosC failed. OutOfMemory", kMbOk);
    for (EventHandle& e : captureEvents) {
      e->Close();
      e.reset();
    }
  }
  try {
    captureThread = std::thread(&CaptureStream::CaptureThreadProc, this,
                                ThreadObjects{captureBuffer, captureEvents, state_.viewWindow});
  } catch (const std::system_error&) {
    controls_.ShowMessage("Notifications CreateThread failed", kMbOk);
    return kSoundErrOutOfMemory;
  }
  return rc;
}

void CaptureStream::StopCaptureBuffer() {
  if (captureBuffer) captureBuffer->Stop();
}

void CaptureStream::EndThread() {
  captureHalted = 1;
  StopCaptureBuffer();
  JoinThread();
}

void CaptureStream::JoinThread() {
  // A closed event fails the thread's wait at once, wherever it stands; a block in progress
  // is finished first, since the thread looks at the events only between blocks.
  for (EventHandle& e : captureEvents) {
    if (e) e->Close();
    e.reset();
  }
  if (captureThread.joinable()) captureThread.join();
}

int CaptureStream::EndCapture(bool keepLag) {
  EndThread();
  if (keepLag) DrainLaggedBlocks();
  if (captureBuffer) captureBuffer->GetTotals(nullptr, &lostBytes_);
  FlushConversion();
  CloseConversion();
  const int rc = FinishTarget();
  ReleaseCaptureObjects();
  return rc;
}

void CaptureStream::AbandonTarget() {
  EndThread();
  FinishTarget();
  ReleaseCaptureObjects();
}

void CaptureStream::DrainLaggedBlocks() {
  const bool prepared = (acmHeader.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) != 0;
  if (!captureBuffer || captureBufferBytes == 0 || !prepared || stopRequested) return;
  // Each block taken lets more of what waited behind the ring move in.
  for (;;) {
    uint64_t captured = 0;
    captureBuffer->GetTotals(&captured, nullptr);
    if (captured <= readTotal_) break;
    TakeBlock(*captureBuffer,
              static_cast<uint32_t>(std::min<uint64_t>(captured - readTotal_, captureBlockBytes)));
    if (blockFailed_ || LimitReached()) break;
  }
}

void CaptureStream::FlushConversion() {
  if (!converted_ || writeFailed_ || !(acmHeader.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
    return;
  for (int round = 0; round < kMostFlushRounds; ++round) {
    const int32_t before = state_.lastError;
    ConvertAndWrite(0, ACM_STREAMCONVERTF_END);
    if (acmHeader.cbDstLengthUsed == 0 || state_.lastError != before || writeFailed_) break;
  }
}

void CaptureStream::CloseConversion() {
  // The header is unprepared with the lengths it was prepared with.
  acmHeader.cbSrcLength = sourceSpan / 2;
  if ((acmHeader.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) &&
      acmStreamUnprepareHeader(acmStream, acmHeader, 0) != MMSYSERR_NOERROR)
    state_.lastError = kAcmUnprepareFailed;
  if (acmStream && acmStreamClose(acmStream, 0) != MMSYSERR_NOERROR)
    state_.lastError = kAcmCloseFailed;
}

int CaptureStream::FinishTarget() {
  const TargetStage stage = std::exchange(stage_, TargetStage::kNone);
  if (writeFailed_ && stage == TargetStage::kData) {
    // What could not be written is dropped: the file is cut back to the last whole block
    // written and its sizes say so, whatever part of a later block reached the disk.
    targetFile.Close();
    const uint64_t end = dataChunk.dwDataOffset + committedBytes_;
    std::error_code ec;
    std::filesystem::resize_file(targetPath, end, ec);
    RiffFile file;
    const bool patched = !ec && file.Open(targetPath, kMmioReadWrite) == 0 &&
                         PatchLe32(file, dataChunk.dwDataOffset - 4, committedBytes_) &&
                         PatchLe32(file, 4, static_cast<uint32_t>(end - 8)) &&
                         PatchLe32(file, FactCountOffset(dataChunk), committedBytes_);
    return file.Close() == 0 && patched ? 0 : kCaptureWriteFailed;
  }
  // A target whose preparation stopped after its header still ends as a valid WAVE file.
  if (stage == TargetStage::kHeader &&
      BeginWaveData(targetFile, dataChunk, ioInfo, kWaveTargetExpectedSize) != 0) {
    targetFile.Close();
    return kCaptureDataChunkFailed;
  }
  // The count is this file's own: earlier recordings are in other files.
  return FinishWaveTarget(targetFile, dataChunk, riffChunk, ioInfo, bytesRecorded);
}

void CaptureStream::ReleaseCaptureObjects() {
  captureNotify.reset();
  captureBuffer.reset();
  captureObject.reset();
}

}  // namespace bw
