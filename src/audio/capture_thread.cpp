// The capture thread: one block behind the capture, it takes each completed block out of the
// buffer, measures its level, converts it into the target's format and appends it to the
// target file. Stop's drain takes the blocks it left behind the same way.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#include "audio/capture_stream.h"
#include "audio/playback_stream.h"
#include "audio/stream_state.h"
#include "audio/wave_file.h"
#include "platform/thread_name.h"
#include "platform/view_messages.h"

namespace bw {
namespace {

// Runs between buffer advances while appending a block.
constexpr std::size_t kCaptureWriteRunBytes = 256;
// Room kept below the size limit for what the codec still holds at Stop, and the pad byte.
constexpr uint64_t kFinishReserve = 64 * 1024;

// Blocks of 16-bit samples are read as host integers.
static_assert(std::endian::native == std::endian::little);
using HostSample = int16_t __attribute__((may_alias));

// Adds, over pairs 1 to `pairs` - 1, the change of each pair's first and second sample from the
// pair before. In runs short enough for 32-bit sums (a step adds at most 65,535), and without a
// value carried from step to step, so that the loop runs in vector instructions.
void AddPairChanges(const HostSample* x, std::size_t pairs, int64_t& first, int64_t& second) {
  constexpr std::size_t kRun = std::size_t{1} << 14;
  for (std::size_t start = 1; start < pairs; start += kRun) {
    const std::size_t end = std::min(pairs, start + kRun);
    int32_t a = 0;
    int32_t b = 0;
    for (std::size_t i = start; i < end; ++i) {
      a += std::abs(x[2 * i] - x[2 * i - 2]);
      b += std::abs(x[2 * i + 1] - x[2 * i - 1]);
    }
    first += a;
    second += b;
  }
}

}  // namespace

int CaptureStream::CaptureThreadProc(ThreadObjects objects) {
  NameThisThread("bw capture");
  for (;;) {
    const int which = WaitForAny(objects.events);
    if (which == kWaitFailed) break;
    if (which != 0) {  // the stop event
      // Also after a failed write: the view must hear that the recording cannot go on.
      if (captureHalted == 0 && objects.buffer->DeviceLost())
        Post(objects, WM_STREAM_END, kDeviceLostCode);
      continue;
    }
    if (stopRequested) {
      if (captureHalted == 1) objects.buffer->Stop();
      continue;
    }
    // Notifications that came while the thread was busy or stalled merge into one wake-up:
    // every block that is due is taken now, in order.
    while (!stopRequested && BlockDue(*objects.buffer))
      TakeDueBlock(objects);
  }
  return 0;
}

bool CaptureStream::BlockDue(const CaptureBuffer& buffer) const {
  uint64_t captured = 0;
  buffer.GetTotals(&captured, nullptr);
  // One block behind the capture: a block is taken once the next one is complete too (the
  // last notification of the ring lies one byte short of its end).
  return captured + 1 >= readTotal_ + 2 * uint64_t{captureBlockBytes};
}

void CaptureStream::TakeDueBlock(const ThreadObjects& objects) {
  const Levels levels = TakeBlock(*objects.buffer, captureBlockBytes);
  Post(objects, WM_LEVEL_METER, levels.pair);
  // Only a failure with this recording's own block ends its writing; the view hears of it at
  // Stop. Another command's error in lastError is none of its business.
  if (blockFailed_) stopRequested = 1;
  if (LimitReached()) {
    Post(objects, WM_STREAM_END, kStreamEndCode);
    stopRequested = 1;
    captureHalted = 1;
  }
}

void CaptureStream::Post(const ThreadObjects& objects, uint32_t message, WPARAM wparam) const {
  if (objects.window) objects.window->PostMessage(message, wparam, bytesRecorded);
}

void CaptureStream::FailBlock(int32_t code) {
  state_.lastError = code;
  blockFailed_ = true;
}

CaptureStream::Levels CaptureStream::TakeBlock(CaptureBuffer& buffer, uint32_t bytes) {
  const uint32_t got = CopyBlock(buffer, bytes);
  const uint32_t frame_bytes = 2u * captureFormat.format().nChannels;
  const uint32_t whole = got - got % frame_bytes;
  const Levels levels = MeasureLevels(whole);
  state_.recordSettings.RecReserved1 = 0;
  readCursor += bytes;
  if (readCursor >= captureBufferBytes) readCursor = 0;
  readTotal_ += bytes;
  // A block with no frames is silence and writes nothing. Only blocks that are written go
  // through the codec, so that what it holds of one written block comes out with the next.
  if (whole > 0 && WriteGateOpen(levels.voice)) ConvertAndWrite(whole, convertFlags);
  return levels;
}

uint32_t CaptureStream::CopyBlock(CaptureBuffer& buffer, uint32_t bytes) {
  LockedRegions regions;
  if (buffer.Lock(readCursor, bytes, &regions, 0) != kSoundOk || regions.ptr1 == nullptr) {
    FailBlock(kCaptureLockFailed);
    return 0;
  }
  if (regions.bytes1 < bytes) FailBlock(kCaptureShortBlock);
  // A block never wraps: the second region is never used.
  const uint32_t length = std::min({regions.bytes1, bytes, kWorkBufferBytes});
  std::memcpy(pcmBlock().data(), regions.ptr1, length);
  if (buffer.Unlock(regions) != kSoundOk) FailBlock(kCaptureUnlockFailed);
  return length;
}

// Sums of the sample-to-sample changes of the two samples of each pair (left and right, or
// two successive mono samples), scaled to the sample rate in kHz and the block's frames.
CaptureStream::Levels CaptureStream::MeasureLevels(uint32_t bytes) const {
  const WAVEFORMATEX& f = captureFormat.format();
  const uint32_t frames = bytes / (2u * f.nChannels);
  if (frames == 0) return {};
  const auto* x = reinterpret_cast<const HostSample*>(state_.pcmBlock.data());
  // Each pair against the one before (the first against silence).
  const uint32_t pairs = bytes / 4;
  int64_t sum_first = std::abs(x[0]);
  int64_t sum_second = pairs > 0 ? std::abs(x[1]) : 0;
  AddPairChanges(x, pairs, sum_first, sum_second);
  // A mono block of an odd sample count ends in half a pair.
  if (pairs > 0 && bytes % 4 != 0) sum_first += std::abs(x[2 * pairs] - x[2 * pairs - 2]);
  const int64_t ms_rate = f.nSamplesPerSec / 1000;
  const auto level = [&](int64_t sum) {
    return static_cast<uint32_t>(std::min<int64_t>(ms_rate * sum / frames, 0xFFFE));
  };
  Levels levels;
  levels.voice = ms_rate * (sum_first + sum_second) / frames;
  levels.pair = level(sum_first) | (level(sum_second) << 16);
  return levels;
}

bool CaptureStream::WriteGateOpen(int64_t voice) const {
  const RecordSettingsValues& settings = state_.recordSettings;
  if (settings.VoiceActivated == 1 && voice < settings.ActiveThreshold) return false;
  return state_.paused == 0;
}

void CaptureStream::ConvertAndWrite(uint32_t bytes, uint32_t flags) {
  acmHeader.cbSrcLength = bytes;
  acmHeader.cbDstLengthUsed = 0;
  if (acmStreamConvert(acmStream, acmHeader, flags) != MMSYSERR_NOERROR) {
    // What the header holds is the previous block's: nothing is written.
    FailBlock(kAcmConvertFailed);
    acmHeader.cbDstLengthUsed = 0;
    return;
  }
  converted_ = true;
  AppendToTarget(codedBlock().first(acmHeader.cbDstLengthUsed),
                 (flags & ACM_STREAMCONVERTF_END) != 0);
}

void CaptureStream::AppendToTarget(std::span<const uint8_t> coded, bool last) {
  if (coded.empty() || writeFailed_ || targetFull_) return;
  // The file never passes the RIFF limit: the recording ends at the block that would.
  const uint64_t end = dataChunk.dwDataOffset + bytesRecorded + coded.size();
  if (end + (last ? 1 : kFinishReserve) > targetByteLimit) {
    targetFull_ = true;
    return;
  }
  uint32_t written = 0;
  int rc = WriteWaveData(targetFile, coded, written, ioInfo, kCaptureWriteRunBytes);
  totalBytesWritten += written;
  bytesRecorded += written;
  // The sizes and the count in the file follow every block, so that a crash keeps what was
  // written.
  if (rc == 0) rc = UpdateWaveTargetSizes(targetFile, dataChunk, riffChunk, ioInfo, bytesRecorded);
  if (rc != 0) {
    writeFailed_ = true;
    FailBlock(kCaptureWriteFailed);
    return;
  }
  committedBytes_ = bytesRecorded;
}

bool CaptureStream::LimitReached() const {
  const RecordSettingsValues& settings = state_.recordSettings;
  // The limit is compared as the unsigned count it limits.
  return targetFull_ || (settings.StopAtLimit == 1 &&
                         bytesRecorded > static_cast<uint32_t>(settings.StopLimitBytes.load()));
}

}  // namespace bw
