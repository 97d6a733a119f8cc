// The capture buffer: a ring of 16-bit PCM that the device fills, converted on arrival to the
// buffer's rate and channels, with the capture cursor and the notification positions.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/sound/sound_internal.h"

namespace bw {

CaptureCore::CaptureCore(std::shared_ptr<CaptureDeviceCore> device, const CaptureBufferDesc& desc)
    : BufferCore(desc.format, desc.bytes, device->is_virtual()), device_(std::move(device)) {
  device_->Attach(this);
}

CaptureCore::~CaptureCore() {
  device_->Detach(this);
}

SoundResult CaptureCore::Start(uint32_t flags) {
  device_->WillRun(*this);
  {
    std::lock_guard lock(mutex_);
    if (!running_) {
      resampler_.reset();
      stored_ = taken_ = lost_ = 0;
      backlog_.clear();
    }
    running_ = true;
    device_gone_ = false;
    looping_ = (flags & kCaptureStartLooping) != 0;
  }
  device_->Ran();
  device_->Paced();
  return kSoundOk;
}

SoundResult CaptureCore::Stop() {
  if (running()) device_->CatchUp();
  return BufferCore::Stop();
}

void CaptureCore::GetCurrentPosition(uint32_t* capture, uint32_t* read) const {
  std::lock_guard lock(mutex_);
  if (capture) *capture = cursor_ * align_;
  if (read) *read = cursor_ * align_;
}

uint32_t CaptureCore::status() const {
  std::lock_guard lock(mutex_);
  return StatusLocked(kCaptureStatusCapturing, kCaptureStatusLooping);
}

void CaptureCore::KeepUnread(bool on) {
  std::lock_guard lock(mutex_);
  keep_ = on;
}

void CaptureCore::GetTotals(uint64_t* captured, uint64_t* lost) const {
  std::lock_guard lock(mutex_);
  if (captured) *captured = stored_ * align_;
  if (lost) *lost = lost_ * align_;
}

void CaptureCore::UnlockedLocked(const LockedRegions& regions, PendingSignals* signals) {
  if (!keep_) return;
  // The reader takes the unread part from its start: what it unlocked is taken.
  const auto at = static_cast<uint32_t>(taken_ % frames_);
  const uint64_t start = taken_ + (FrameAt(regions.ptr1) + frames_ - at) % frames_;
  taken_ = std::max(taken_, std::min(start + RegionFrames(regions), stored_));
  PumpBacklog(signals);
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

uint32_t CaptureCore::NotificationSpacing(StreamFormat device) const {
  std::lock_guard lock(mutex_);
  const uint32_t gap = notifications_.SmallestGap(static_cast<uint32_t>(data_.size()));
  return static_cast<uint32_t>(uint64_t{gap} / align_ * device.rate / format_.nSamplesPerSec);
}

void CaptureCore::Deliver(const InputPiece& piece, StreamFormat device, PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  if (!running_) return;
  if (device != last_device_) {
    resampler_.reset();
    last_device_ = device;
  }
  const uint16_t ch = format_.nChannels;
  const bool as_it_is = device.channels == ch && device.rate == format_.nSamplesPerSec;
  // 16-bit frames in the buffer's own layout and rate go in as they came.
  if (as_it_is && piece.s16 && piece.data) {
    Store(static_cast<const int16_t*>(piece.data), piece.frames, signals);
    return;
  }
  const float* in = AsFloats(piece, device.channels);
  if (as_it_is) {
    StoreFloats(in, piece.frames, signals);
    return;
  }
  // The device's own layout needs no mapping, which would only copy it.
  const float* mapped = in;
  if (device.channels != ch) {
    mapped_.resize(static_cast<std::size_t>(piece.frames) * ch);
    MapChannels(in, device.channels, mapped_.data(), ch, piece.frames, {}, false);
    mapped = mapped_.data();
  }
  if (device.rate == format_.nSamplesPerSec) {
    StoreFloats(mapped, piece.frames, signals);
    return;
  }
  if (!resampler_)
    resampler_ = std::make_unique<PushResampler>(ch, format_.nSamplesPerSec, device.rate);
  resampler_->Process(mapped, piece.frames, &converted_);
  StoreFloats(converted_.data(), static_cast<uint32_t>(converted_.size() / ch), signals);
}

const float* CaptureCore::AsFloats(const InputPiece& piece, uint16_t channels) {
  if (piece.data && !piece.s16) return static_cast<const float*>(piece.data);
  const std::size_t count = std::size_t{piece.frames} * channels;
  floats_.assign(count, 0.0f);
  if (piece.data) {
    const auto* s16 = static_cast<const int16_t*>(piece.data);
    for (std::size_t i = 0; i < count; ++i)
      floats_[i] = static_cast<float>(s16[i]) / 32768.0f;
  }
  return floats_.data();
}

void CaptureCore::StoreFloats(const float* samples, uint32_t frames, PendingSignals* signals) {
  pcm_.resize(std::size_t{frames} * format_.nChannels);
  FloatToPcm16(samples, pcm_.size(), pcm_.data());
  Store(pcm_.data(), frames, signals);
}

void CaptureCore::Store(const int16_t* samples, uint32_t frames, PendingSignals* signals) {
  const std::size_t ch = format_.nChannels;
  const uint64_t room = frames_ - (stored_ - taken_);
  if (!keep_ || (backlog_.empty() && room >= frames)) {
    WriteRing(samples, frames, signals);
    return;
  }
  const std::size_t count = std::size_t{frames} * ch;
  const uint64_t capacity = uint64_t{kCaptureBacklogSeconds} * format_.nSamplesPerSec * ch;
  const std::size_t kept = std::min<std::size_t>(count, capacity - backlog_.size());
  backlog_.insert(backlog_.end(), samples, samples + kept);
  lost_ += (count - kept) / ch;
  PumpBacklog(signals);
}

void CaptureCore::PumpBacklog(PendingSignals* signals) {
  const std::size_t ch = format_.nChannels;
  const auto room = static_cast<std::size_t>(frames_ - (stored_ - taken_));
  const std::size_t frames = std::min(room, backlog_.size() / ch);
  if (frames == 0) return;
  std::vector<int16_t> moving(backlog_.begin(), backlog_.begin() + frames * ch);
  backlog_.erase(backlog_.begin(), backlog_.begin() + frames * ch);
  WriteRing(moving.data(), static_cast<uint32_t>(frames), signals);
}

void CaptureCore::WriteRing(const int16_t* samples, uint32_t frames, PendingSignals* signals) {
  const std::size_t ch = format_.nChannels;
  const auto size = static_cast<uint32_t>(data_.size());
  uint32_t done = 0;
  while (done < frames) {
    const uint32_t n = std::min(frames - done, frames_ - cursor_);
    uint8_t* dst = &data_[static_cast<std::size_t>(cursor_) * align_];
    const int16_t* from = samples + std::size_t{done} * ch;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(dst, from, std::size_t{n} * ch * 2);
    } else {
      for (std::size_t i = 0; i < n * ch; ++i)
        StoreLe16(dst + 2 * i, static_cast<uint16_t>(from[i]));
    }
    notifications_.Passed(double(cursor_) * align_, double(cursor_ + n) * align_, size, signals);
    cursor_ += n;
    stored_ += n;
    done += n;
    if (cursor_ < frames_) continue;
    cursor_ = 0;
    if (!looping_) {
      running_ = false;
      signals->Add(notifications_.stop_events());
      return;
    }
  }
}

}  // namespace bw
