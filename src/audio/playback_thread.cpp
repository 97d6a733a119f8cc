// The playback thread: at every block notification it decodes the block after the next one
// into the sound buffer, runs the equaliser over it and reports the levels and the position.
#include <algorithm>
#include <cstring>
#include <system_error>

#include "audio/block_level.h"
#include "audio/playback_stream.h"
#include "audio/stream_state.h"
#include "platform/memory_pages.h"
#include "platform/thread_name.h"
#include "platform/view_messages.h"

namespace bw {
namespace {

bool AnySound(std::span<const uint8_t> bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
}

void CloseEvents(const std::array<EventHandle, 2>& events) {
  for (const EventHandle& e : events) {
    if (e) e->Close();
  }
}

}  // namespace

int PlaybackStream::PlaybackThreadProc(ThreadObjects objects) {
  NameThisThread("bw playback");
  // Block notifications to let pass once the data has ended, before the buffer stops: 1 while
  // the last block written still has to be heard, as the second primed block is when the data
  // already ended while priming.
  int drain = 1;
  int exit_code = 0;
  for (;;) {
    const int which = WaitForAny(objects.events);
    if (which == kWaitFailed) break;
    if (state_.haltRequested) {
      objects.buffer->Stop();
      break;
    }
    if (which == 1) {  // the buffer stopped
      if (objects.buffer->DeviceLost()) Post(objects, WM_STREAM_END, kDeviceLostCode);
      state_.haltRequested = 1;
      state_.playing = 0;
      objects.buffer->Stop();
      CloseEvents(objects.events);
      continue;
    }
    if (state_.endOfData) {
      if (drain > 0) {
        --drain;
        SilenceNextBlock(*objects.buffer);
        continue;
      }
      objects.buffer->Stop();
      Post(objects, WM_STREAM_END, kStreamEndCode);
      continue;
    }
    // An error left by the priming step or the last block: nothing more can be decoded, so
    // the buffer falls silent rather than looping over what it holds.
    Refill refill = state_.lastError != 0 ? Refill::kLockFailed : Refill::kDone;
    // Notifications that came while the thread was busy or stalled merge into one wake-up:
    // every block the cursor has passed is refilled now, in order.
    for (uint32_t n = BlocksToRefill(*objects.buffer);
         n > 0 && refill == Refill::kDone && !state_.endOfData && state_.lastError == 0; --n)
      refill = RefillBlock(objects, drain);
    if (refill == Refill::kLockFailed) {
      objects.buffer->Stop();
      exit_code = state_.lastError;
      break;
    }
  }
  CloseEvents(objects.events);
  // The block in hand is decoded before the codec stream closes.
  if (ahead_) ahead_->job.Wait();
  ahead_.reset();
  if (acmStream && acmStreamClose(acmStream, 0) != MMSYSERR_NOERROR)
    state_.lastError = kAcmCloseFailed;
  return exit_code;
}

PlaybackStream::Refill PlaybackStream::RefillBlock(const ThreadObjects& objects, int& drain) {
  LockedRegions lock;
  if (objects.buffer->Lock(writeCursor, blockBytes, &lock) != kSoundOk || !lock.ptr1 ||
      lock.bytes1 == 0) {
    state_.lastError = kBufferLockFailed;
    return Refill::kLockFailed;
  }
  const std::span<uint8_t> region(lock.ptr1, lock.bytes1);

  // The block before this one passed the selection's end: this one is the last.
  const bool selection_ended = state_.selectionPlay && position > state_.selectionEnd;
  BlockRead read = TakeBlock(region);
  if (read.DataEnded() || selection_ended) state_.endOfData = 1;
  // A whole block has nothing to top up; and while the helper decodes on, the reader is its.
  if (!state_.endOfData && !read.Whole(blockBytes)) TopUp(region, read);
  if (read.error != 0) state_.lastError = read.error;
  // The reader is free again: the next block decodes while this one is finished and played.
  DecodeNextAhead();
  const Decoded decoded = read.decoded;
  // Whatever was not decoded plays as silence, never as what the buffer held before.
  std::fill(region.begin() + decoded.dstUsed, region.end(), 0);

  const std::span<uint8_t> copy = codedBlock().subspan(blockBytes, decoded.dstUsed);
  std::memcpy(copy.data(), region.data(), decoded.dstUsed);
  writeCursor += static_cast<uint32_t>(region.size());
  const uint32_t levels = BlockPeakLevels(copy);
  if (state_.playSettings.Equaliser != 0) RunEqualiser(region, copy, false);
  position = std::min(position + decoded.srcUsed, dataBytes);
  Post(objects, WM_LEVEL_METER, levels);
  if (writeCursor >= bufferBytes) writeCursor -= bufferBytes;
  if (objects.buffer->Unlock(lock) != kSoundOk) state_.lastError = kBufferLockFailed;

  if (!state_.endOfData && state_.lastError != 0) state_.endOfData = 1;
  // The block that holds the last bytes of the data is heard to its end before the buffer
  // stops; one past the selection is not.
  if (state_.endOfData) drain = !selection_ended && (read.got > 0 || AnySound(copy)) ? 1 : 0;
  return Refill::kDone;
}

PlaybackStream::BlockRead PlaybackStream::DecodeBlock(std::span<uint8_t> into) {
  BlockRead read;
  read.length = SourceLengthFor(blockBytes, read.error);
  int read_result = 0;
  read.got = ReadSource(read.length, read_result);
  if (read_result != 0) {
    read.error = -read_result;
    read.readFailed = true;
  }
  read.decoded =
      ConvertRead(into, read.length, read.got, ACM_STREAMCONVERTF_BLOCKALIGN, read.error);
  return read;
}

PlaybackStream::BlockRead PlaybackStream::TakeBlock(std::span<uint8_t> region) {
  if (!ahead_) return DecodeBlock(region);
  Ahead& ahead = *ahead_;
  BackgroundJob::WaitFor(ahead.mutex, ahead.decoded, [&ahead] {
    return ahead.ready.load(std::memory_order_acquire) > 0 ||
           !ahead.running.load(std::memory_order_acquire);
  });
  // The helper was not set to this block: it is decoded now.
  if (ahead.ready.load(std::memory_order_acquire) == 0) return DecodeBlock(region);
  Ahead::Block& block = ahead.blocks[ahead.take];
  // Every block is locked whole: the ring is four of them.
  std::copy_n(block.bytes.begin(), std::min(block.bytes.size(), region.size()), region.begin());
  const BlockRead read = block.read;
  ahead.take = (ahead.take + 1) % Ahead::kBlocks;
  {
    std::lock_guard lock(ahead.mutex);
    --ahead.ready;
  }
  return read;
}

void PlaybackStream::DecodeNextAhead() {
  if (!ahead_ || state_.endOfData || state_.lastError != 0) return;
  Ahead& ahead = *ahead_;
  {
    std::lock_guard lock(ahead.mutex);
    // Under way already, or the last block decoded waits for its top-up.
    if (ahead.running || (ahead.ready > 0 && !ahead.goesOn)) return;
    ahead.running = true;
  }
  // The job before has stopped decoding; this waits for it to have returned.
  ahead.job.Wait();
  ahead.job.Start([this, &ahead] { DecodeAhead(ahead); });
}

void PlaybackStream::DecodeAhead(Ahead& ahead) {
  for (;;) {
    Ahead::Block& block = ahead.blocks[ahead.fill];
    ResizePopulated(block.bytes, blockBytes);
    block.read = DecodeBlock(block.bytes);
    ahead.fill = (ahead.fill + 1) % Ahead::kBlocks;
    const BlockRead& read = block.read;
    const bool goes_on = read.Whole(blockBytes) && !read.DataEnded() && read.error == 0;
    bool more = false;
    {
      std::lock_guard lock(ahead.mutex);
      ++ahead.ready;
      ahead.goesOn = goes_on;
      more = goes_on && ahead.ready < Ahead::kBlocks && !state_.haltRequested;
      if (!more) ahead.running = false;
    }
    ahead.decoded.notify_one();
    if (!more) return;
  }
}

uint32_t PlaybackStream::BlocksToRefill(const SoundBuffer& buffer) const {
  uint32_t play = 0;
  buffer.GetCurrentPosition(&play, nullptr);
  // The block after the cursor's is the last one written ahead of it. The ring's last
  // notification lies one byte short of its end: a cursor there counts as in the next block.
  const uint32_t cursor_block = (play + 1) / blockBytes % 4;
  const uint32_t next_to_write = writeCursor / blockBytes;
  const uint32_t behind = (cursor_block + 2 + 4 - next_to_write) % 4;
  // The buffer holds the cursor at what is unwritten, so the writer is never three behind.
  return behind == 3 ? 0 : behind;
}

void PlaybackStream::Post(const ThreadObjects& objects, uint32_t message, WPARAM wparam) {
  if (objects.window) objects.window->PostMessage(message, wparam, position);
}

void PlaybackStream::SilenceNextBlock(SoundBuffer& buffer) {
  LockedRegions lock;
  if (buffer.Lock(writeCursor, blockBytes, &lock) != kSoundOk) return;
  std::memset(lock.ptr1, 0, lock.bytes1);
  buffer.Unlock(lock);
  writeCursor += blockBytes;
  if (writeCursor >= bufferBytes) writeCursor -= bufferBytes;
}

}  // namespace bw
