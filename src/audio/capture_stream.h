// The capture side of the stream state: a looping capture buffer of four blocks in 16-bit PCM
// and a worker thread that, one block behind the capture, takes each block out of the buffer,
// measures its level, converts it with the codec layer into the record target's format and
// appends it to the target WAVE file.
//
// File New calls PrepareCapture (the target file's header, the device object, the buffer and
// its notify interface). Record opens the codec stream and its header (acmStream, acmHeader),
// calls SetupCaptureNotifications (events, positions, the thread) and starts the buffer. Stop
// calls StopCaptureBuffer and then EndCapture, or AbandonTarget when nothing was recorded.
// The thread posts WM_LEVEL_METER after every block and WM_STREAM_END when the recording must
// end (the stop limit passed, or the file would pass the RIFF size limit; kDeviceLostCode when
// the device went away with none to take over, and Stop then finishes the file as always).
//
// Crash safety: after every block it writes, the thread brings the "RIFF" and "data" sizes in
// the file up to date, so a recording whose process dies keeps every block written before. A
// write that fails (disk full, file too large) ends the writing; EndCapture then leaves the
// file as it was after the last whole block and writeFailed() tells the view.
//
// Threads: every member function runs on the user-interface thread. While the thread runs it
// owns the target file, the codec stream and its header, the work buffers and readCursor; the
// user-interface thread takes them back in EndCapture, only after the thread has ended. The
// words they share (stopRequested, captureHalted, bytesRecorded, totalBytesWritten; in
// StreamState: paused, lastError, the record settings) are atomic and read once per block.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "audio/capture_block_basis.h"
#include "platform/acm/acm.h"
#include "platform/event.h"
#include "platform/message_target.h"
#include "platform/riff/riff_file.h"
#include "platform/sound/sound.h"
#include "platform/wave_format.h"

namespace bw {

struct StreamState;
class PlaybackControls;

// Results of PrepareCapture and codes the capture thread leaves in lastError.
inline constexpr int kCaptureTargetMissing = -1;
inline constexpr int kCaptureDeviceFailed = -1;
inline constexpr int kCaptureMessageFailed = -2;
inline constexpr int kCaptureUnsupportedFormat = -3;
inline constexpr int kCaptureLockFailed = -40;
inline constexpr int kCaptureShortBlock = -42;
inline constexpr int kCaptureUnlockFailed = -50;
inline constexpr int kCaptureTargetOpenFailed = -100;
inline constexpr int kCaptureBufferFailed = -102;
inline constexpr int kCaptureDataChunkFailed = -103;
// A block could not be written to the target (disk full, file too large, I/O error).
inline constexpr int kCaptureWriteFailed = -104;

// Codes File New and Record leave in lastError.
inline constexpr int kRecordChooserFailed = -20;
inline constexpr int kRecordPrepareFailed = -9100;
inline constexpr int kRecordNotificationsFailed = -9300;
inline constexpr int kRecordStartFailed = -10000;

class CaptureStream {
 public:
  CaptureStream(StreamState& state, PlaybackControls& controls);
  ~CaptureStream();
  CaptureStream(const CaptureStream&) = delete;
  CaptureStream& operator=(const CaptureStream&) = delete;

  // Prepares `path` (created empty by File New) as the target in targetFormat: writes its
  // header, begins the data chunk, creates the device object, the buffer and its notify
  // interface. Returns 0, or a kCapture... code (or the notify failure's code) after showing
  // the failure's message.
  int PrepareCapture(const std::string& path);
  // Creates the events, sets the five notification positions and starts the thread (also when
  // setting the positions failed; the thread then ends at once). Returns the result of setting
  // the positions, or kSoundErrOutOfMemory when the thread cannot start.
  SoundResult SetupCaptureNotifications();
  // Record's check: PrepareCapture got as far as the buffer and its notify interface.
  bool IsPrepared() const { return captureBuffer && captureNotify; }

  // Stop, first step: the capture buffer stops (its stop event wakes the thread).
  void StopCaptureBuffer();
  // Stop, the rest of a recording: ends the thread and waits for it; converts and writes what
  // the one-block lag still holds (complete blocks and the partial one up to the capture
  // position; nothing when `keepLag` is false, the writing stopped or the limit passed);
  // flushes the codec; unprepares and closes the codec stream (failures only in lastError);
  // finishes the target file with totalBytesWritten as the fact value and releases the device
  // objects. Returns the result of finishing the file.
  int EndCapture(bool keepLag);
  // Stop without a recording: releases the objects and finishes the target as a WAVE file
  // with an empty data chunk (also when its preparation stopped half-way).
  void AbandonTarget();
  // A block could not be written during the last recording.
  bool writeFailed() const { return writeFailed_; }
  // The last recording ended because its file would have passed targetByteLimit.
  bool targetFull() const { return targetFull_; }
  // Bytes of capture (16-bit PCM) the last recording lost because the machine stalled for
  // longer than the sound layer keeps; what it wrote is in order around the gap.
  uint64_t lostBytes() const { return lostBytes_; }

  // ---- the record's fields ----
  std::string targetPath;
  FormatBlock targetFormat;  // also the stream's current format while recording
  FormatBlock captureFormat;
  uint32_t captureBlockBasis = 0;
  uint32_t captureBlockBytes = 0;
  uint32_t captureBufferBytes = 0;
  uint32_t readCursor = 0;
  uint32_t sourceSpan = 0;  // 2 x captureBlockBytes, set by Record
  std::shared_ptr<CaptureDevice> captureObject;
  CaptureBufferDesc captureBufferDesc;
  std::shared_ptr<CaptureBuffer> captureBuffer;
  std::shared_ptr<SoundNotify> captureNotify;
  std::array<EventHandle, 2> captureEvents;  // [0] block, [1] stop
  std::thread captureThread;
  HACMSTREAM acmStream;
  ACMSTREAMHEADER acmHeader;
  uint32_t convertFlags = ACM_STREAMCONVERTF_BLOCKALIGN;
  RiffFile targetFile;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;
  MMIOINFO ioInfo;
  std::atomic<uint32_t> bytesRecorded{0};
  std::atomic<uint32_t> totalBytesWritten{0};
  std::atomic<int32_t> stopRequested{0};
  std::atomic<int32_t> captureHalted{0};
  std::time_t targetCreated = 0;
  int64_t targetSize = 0;
  // The largest the target file may grow: the RIFF limit (lowered by tests).
  uint64_t targetByteLimit = kMaxWriteEnd;

 private:
  struct ThreadObjects {
    std::shared_ptr<CaptureBuffer> buffer;
    std::array<EventHandle, 2> events;
    MessageTarget* window = nullptr;
  };
  struct Levels {
    int64_t voice = 0;
    uint32_t pair = 0;  // first level in the low 16 bits, second in the high 16 bits
  };
  // How far the target file got: a header, then an open data chunk.
  enum class TargetStage { kNone, kHeader, kData };

  int CaptureThreadProc(ThreadObjects objects);
  // The block at readCursor is due: the capture has completed the block after it.
  bool BlockDue(const CaptureBuffer& buffer) const;
  // Takes the due block and tells the view (levels; the end when the limit passed).
  void TakeDueBlock(const ThreadObjects& objects);
  // Posts `message` with the bytes recorded as lParam to the view.
  void Post(const ThreadObjects& objects, uint32_t message, WPARAM wparam) const;
  // A failure with the recording's own block: lastError says which, and the writing ends.
  void FailBlock(int32_t code);
  // `bytes` at readCursor: taken, measured, and converted and written when the gate is open.
  Levels TakeBlock(CaptureBuffer& buffer, uint32_t bytes);
  // Copies `bytes` of the capture buffer at readCursor into pcmBlock; the bytes copied.
  uint32_t CopyBlock(CaptureBuffer& buffer, uint32_t bytes);
  Levels MeasureLevels(uint32_t bytes) const;
  bool WriteGateOpen(int64_t voice) const;
  // Converts pcmBlock[0, bytes) (or, with ACM_STREAMCONVERTF_END, flushes the codec) and
  // appends the output to the data chunk.
  void ConvertAndWrite(uint32_t bytes, uint32_t flags);
  // Appends `coded` and brings the sizes in the file up to date; `last` for the codec's flush.
  void AppendToTarget(std::span<const uint8_t> coded, bool last);
  // The limit or the file size says the recording ends here.
  bool LimitReached() const;
  // The buffer stops and the thread is told to end and waited for.
  void EndThread();
  // Closes the events, which ends the thread after the block it may be in, and waits for it.
  void JoinThread();
  void DrainLaggedBlocks();
  void FlushConversion();
  void CloseConversion();
  int FinishTarget();
  void ReleaseCaptureObjects();
  std::span<uint8_t> pcmBlock();
  std::span<uint8_t> codedBlock();

  StreamState& state_;
  PlaybackControls& controls_;
  TargetStage stage_ = TargetStage::kNone;
  bool converted_ = false;    // the codec stream was fed since Record opened it
  bool writeFailed_ = false;  // a write failed; committedBytes_ is what the file keeps
  bool targetFull_ = false;   // the next block would have passed targetByteLimit
  uint32_t committedBytes_ = 0;
  bool blockFailed_ = false;  // FailBlock since Record
  uint64_t readTotal_ = 0;    // bytes taken since Record, on GetTotals' scale
  uint64_t lostBytes_ = 0;
};

}  // namespace bw
