// The capture buffer: a ring of 16-bit PCM that the device fills, converted on arrival to the
// buffer's rate and channels, with the capture cursor and the notification positions.
#include <algorithm>
#include <cmath>

#include "platform/sound/sound_internal.h"

namespace bw {

CaptureCore::CaptureCore(std::shared_ptr<CaptureDeviceCore> device, const CaptureBufferDesc& desc)
    : device_(std::move(device)),
      format_(desc.format),
      align_(desc.format.nBlockAlign),
      data_(desc.bytes, 0),
      frames_(desc.bytes / desc.format.nBlockAlign) {
  device_->Attach(this);
}

CaptureCore::~CaptureCore() {
  device_->Detach(this);
  PendingSignals signals(device_->is_virtual());
  {
    std::lock_guard lock(mutex_);
    if (capturing_) signals.Add(notifications_.stop_events());
    capturing_ = false;
    if (device_->is_virtual()) {
      for (std::size_t i = 0; i < locks_.outstanding(); ++i)
        EndTrackedWork();
    }
  }
  signals.Fire();
}

SoundResult CaptureCore::Start(uint32_t flags) {
  device_->WillStart(*this);
  std::lock_guard lock(mutex_);
  if (!capturing_) resampler_.reset();
  capturing_ = true;
  looping_ = (flags & kCaptureStartLooping) != 0;
  return kSoundOk;
}

SoundResult CaptureCore::Stop() {
  PendingSignals signals(device_->is_virtual());
  {
    std::lock_guard lock(mutex_);
    if (capturing_) signals.Add(notifications_.stop_events());
    capturing_ = false;
  }
  signals.Fire();
  return kSoundOk;
}

SoundResult CaptureCore::Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions,
                              uint32_t flags) {
  std::lock_guard lock(mutex_);
  if (flags & kLockEntireBuffer) bytes = static_cast<uint32_t>(data_.size());
  const SoundResult result = locks_.Lock(data_, offset, bytes, regions);
  if (result == kSoundOk && device_->is_virtual()) BeginTrackedWork();
  return result;
}

SoundResult CaptureCore::Unlock(const LockedRegions& regions) {
  std::lock_guard lock(mutex_);
  const SoundResult result = locks_.Unlock(regions);
  if (result == kSoundOk && device_->is_virtual()) EndTrackedWork();
  return result;
}

void CaptureCore::GetCurrentPosition(uint32_t* capture, uint32_t* read) const {
  std::lock_guard lock(mutex_);
  if (capture) *capture = cursor_ * align_;
  if (read) *read = cursor_ * align_;
}

uint32_t CaptureCore::status() const {
  std::lock_guard lock(mutex_);
  if (!capturing_) return 0;
  return kCaptureStatusCapturing | (looping_ ? kCaptureStatusLooping : 0);
}

SoundResult CaptureCore::SetNotificationPositions(std::span<const NotifyPosition> positions) {
  std::lock_guard lock(mutex_);
  if (capturing_) return kSoundErrInvalidCall;
  return notifications_.Assign(positions, static_cast<uint32_t>(data_.size()));
}

bool CaptureCore::capturing() const {
  std::lock_guard lock(mutex_);
  return capturing_;
}

uint32_t CaptureCore::FramesToNextNotification(StreamFormat device) const {
  std::lock_guard lock(mutex_);
  const double bytes =
      notifications_.BytesToNext(double(cursor_) * align_, static_cast<uint32_t>(data_.size()));
  if (bytes <= 0) return UINT32_MAX;
  const double buffer_frames = std::ceil(bytes / align_);
  const double device_frames = std::ceil(buffer_frames * device.rate / format_.nSamplesPerSec);
  return static_cast<uint32_t>(std::clamp(device_frames, 1.0, double(UINT32_MAX)));
}

void CaptureCore::Deliver(const float* in, uint32_t frames, StreamFormat device,
                          PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  if (!capturing_) return;
  if (device != last_device_) {
    resampler_.reset();
    last_device_ = device;
  }
  const uint16_t ch = format_.nChannels;
  mapped_.resize(static_cast<std::size_t>(frames) * ch);
  MapChannels(in, device.channels, mapped_.data(), ch, frames, {}, false);
  if (device.rate == format_.nSamplesPerSec) {
    Store(mapped_.data(), frames, signals);
    return;
  }
  if (!resampler_)
    resampler_ = std::make_unique<PushResampler>(ch, format_.nSamplesPerSec, device.rate);
  resampler_->Process(mapped_.data(), frames, &converted_);
  Store(converted_.data(), static_cast<uint32_t>(converted_.size() / ch), signals);
}

void CaptureCore::Store(const float* samples, uint32_t frames, PendingSignals* signals) {
  const std::size_t ch = format_.nChannels;
  const auto size = static_cast<uint32_t>(data_.size());
  uint32_t done = 0;
  while (done < frames && capturing_) {
    const uint32_t n = std::min(frames - done, frames_ - cursor_);
    uint8_t* dst = &data_[static_cast<std::size_t>(cursor_) * align_];
    for (std::size_t i = 0; i < n * ch; ++i)
      StoreLe16(dst + 2 * i, static_cast<uint16_t>(FloatToPcm16(samples[done * ch + i])));
    notifications_.Passed(double(cursor_) * align_, double(cursor_ + n) * align_, size, signals);
    cursor_ += n;
    done += n;
    if (cursor_ < frames_) continue;
    cursor_ = 0;
    if (!looping_) {
      capturing_ = false;
      signals->Add(notifications_.stop_events());
    }
  }
}

}  // namespace bw
