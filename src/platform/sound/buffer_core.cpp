// The ring, Lock table, notifications and run state that playback and capture buffers share.
#include "platform/memory_pages.h"
#include "platform/sound/sound_internal.h"

namespace bw {

BufferCore::BufferCore(const WAVEFORMATEX& format, uint32_t bytes, bool tracked)
    : tracked_(tracked),
      format_(format),
      align_(format.nBlockAlign),
      frames_(bytes / format.nBlockAlign) {
  ResizePopulated(data_, bytes);
}

BufferCore::~BufferCore() {
  PendingSignals signals(tracked_);
  {
    std::lock_guard lock(mutex_);
    if (running_) signals.Add(notifications_.stop_events());
    running_ = false;
    // A Lock never unlocked must not hold the virtual card's stepping forever.
    if (tracked_) {
      for (std::size_t i = 0; i < locks_.outstanding(); ++i)
        EndTrackedWork();
    }
  }
  signals.Fire();
}

SoundResult BufferCore::Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions,
                             uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (flags & kLockFromWriteCursor) offset = WriteCursorLocked();
  if (flags & kLockEntireBuffer) bytes = static_cast<uint32_t>(data_.size());
  const SoundResult result = locks_.Lock(data_, offset, bytes, regions);
  if (result == kSoundOk && tracked_) BeginTrackedWork();
  return result;
}

SoundResult BufferCore::Unlock(const LockedRegions& regions) {
  PendingSignals signals(tracked_);
  SoundResult result = kSoundOk;
  {
    std::lock_guard lock(mutex_);
    result = locks_.Unlock(regions);
    if (result == kSoundOk) UnlockedLocked(regions, &signals);
  }
  signals.Fire();
  // Only now: the virtual card must see the signals before the work ends.
  if (result == kSoundOk && tracked_) EndTrackedWork();
  return result;
}

SoundResult BufferCore::Stop() {
  PendingSignals signals(tracked_);
  {
    std::lock_guard lock(mutex_);
    if (running_) signals.Add(notifications_.stop_events());
    running_ = false;
  }
  signals.Fire();
  return kSoundOk;
}

SoundResult BufferCore::SetNotificationPositions(std::span<const NotifyPosition> positions) {
  std::lock_guard lock(mutex_);
  if (running_) return kSoundErrInvalidCall;
  return notifications_.Assign(positions, static_cast<uint32_t>(data_.size()));
}

void BufferCore::StopAsLost(PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  if (!running_) return;
  signals->Add(notifications_.stop_events());
  running_ = false;
  device_gone_ = true;
}

bool BufferCore::device_lost() const {
  std::lock_guard lock(mutex_);
  return device_gone_;
}

bool BufferCore::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

uint32_t BufferCore::StatusLocked(uint32_t running_bit, uint32_t looping_bit) const {
  if (!running_) return 0;
  return running_bit | (looping_ ? looping_bit : 0);
}

}  // namespace bw
