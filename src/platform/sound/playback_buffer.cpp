// The playback buffer: a ring of 16-bit PCM that the device reads at the buffer's frequency,
// with the play cursor, the notification positions and the volume and pan gains.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "platform/sound/sound_internal.h"

namespace bw {

PlaybackCore::PlaybackCore(std::shared_ptr<PlaybackDeviceCore> device, const SoundBufferDesc& desc)
    : BufferCore(desc.format, desc.bytes, device->is_virtual()),
      device_(std::move(device)),
      flags_(desc.flags),
      frequency_(desc.format.nSamplesPerSec),
      resampler_(desc.format.nChannels, this),
      produced_(static_cast<std::size_t>(kMixFrames) * desc.format.nChannels) {
  device_->Attach(this);
}

PlaybackCore::~PlaybackCore() {
  device_->Detach(this);
}

SoundResult PlaybackCore::Play(uint32_t flags) {
  device_->WillRun(*this);
  const uint32_t device_rate = device_->format().rate;
  {
    std::lock_guard lock(mutex_);
    if (frequency_ != device_rate) resampler_.Prepare();
    if (!running_) converting_ = false;
    running_ = true;
    device_gone_ = false;
    looping_ = (flags & kPlayLooping) != 0;
  }
  device_->Ran();
  return kSoundOk;
}

SoundResult PlaybackCore::StopNow() {
  const bool was_running = running();
  const SoundResult result = Stop();
  if (was_running) device_->DropQueued();
  return result;
}

SoundResult PlaybackCore::Unlock(const LockedRegions& regions) {
  const SoundResult result = BufferCore::Unlock(regions);
  if (result == kSoundOk) device_->Refilled();
  return result;
}

uint32_t PlaybackCore::WriteCursorLocked() const {
  return (running_ ? pull_ % frames_ : static_cast<uint32_t>(cursor_)) * align_;
}

void PlaybackCore::GetCurrentPosition(uint32_t* play, uint32_t* write) const {
  std::lock_guard lock(mutex_);
  const uint32_t play_frame = static_cast<uint32_t>(cursor_) % frames_;
  if (play) *play = play_frame * align_;
  if (write) *write = WriteCursorLocked();
}

SoundResult PlaybackCore::SetCurrentPosition(uint32_t offset) {
  std::lock_guard lock(mutex_);
  if (offset >= data_.size()) return kSoundErrInvalidParam;
  cursor_ = offset / align_;
  pull_ = offset / align_;
  converting_ = false;
  played_ = 0;
  written_ = 0;
  return kSoundOk;
}

void PlaybackCore::HoldAtUnwritten(bool on) {
  std::lock_guard lock(mutex_);
  hold_ = on;
}

void PlaybackCore::UnlockedLocked(const LockedRegions& regions, PendingSignals*) {
  if (!hold_) return;
  // The region lies ahead of the cursor: the writer fills what the cursor has yet to reach.
  // The cursor's whole frame is taken on played_'s count: the two round apart by a hair in a
  // resampled run, and a floor on each could put them a frame apart.
  const double base = std::floor(played_);
  const double whole = std::round(cursor_ - (played_ - base));
  const auto at = static_cast<uint32_t>(std::fmod(whole + frames_, frames_));
  const uint32_t ahead = (FrameAt(regions.ptr1) + frames_ - at) % frames_;
  written_ = base + ahead + RegionFrames(regions);
}

uint32_t PlaybackCore::WrittenFrames(uint32_t frames, StreamFormat device) const {
  std::lock_guard lock(mutex_);
  return running_ ? PlayableFrames(frames, device) : frames;
}

uint32_t PlaybackCore::PlayableFrames(uint32_t frames, StreamFormat device) const {
  if (!hold_) return frames;
  const double room = written_ - played_;
  if (room <= 0) return 0;
  return static_cast<uint32_t>(std::min<double>(frames, std::ceil(room / Step(device))));
}

double PlaybackCore::CursorStep(uint32_t frames, StreamFormat device) const {
  const double step = frames * Step(device);
  // Right up to what is unwritten, so that the notification there fires.
  return hold_ ? std::min(step, written_ - played_) : step;
}

SoundResult PlaybackCore::SetVolume(int32_t volume) {
  if (!(flags_ & kBufferCtrlVolume)) return kSoundErrControlUnavailable;
  if (volume < kVolumeMin || volume > kVolumeMax) return kSoundErrInvalidParam;
  std::lock_guard lock(mutex_);
  volume_ = volume;
  return kSoundOk;
}

SoundResult PlaybackCore::GetVolume(int32_t* volume) const {
  if (!(flags_ & kBufferCtrlVolume)) return kSoundErrControlUnavailable;
  if (!volume) return kSoundErrInvalidParam;
  std::lock_guard lock(mutex_);
  *volume = volume_;
  return kSoundOk;
}

SoundResult PlaybackCore::SetPan(int32_t pan) {
  if (!(flags_ & kBufferCtrlPan)) return kSoundErrControlUnavailable;
  if (pan < kPanLeft || pan > kPanRight) return kSoundErrInvalidParam;
  std::lock_guard lock(mutex_);
  pan_ = pan;
  return kSoundOk;
}

SoundResult PlaybackCore::GetPan(int32_t* pan) const {
  if (!(flags_ & kBufferCtrlPan)) return kSoundErrControlUnavailable;
  if (!pan) return kSoundErrInvalidParam;
  std::lock_guard lock(mutex_);
  *pan = pan_;
  return kSoundOk;
}

SoundResult PlaybackCore::SetFrequency(uint32_t frequency) {
  if (!(flags_ & kBufferCtrlFrequency)) return kSoundErrControlUnavailable;
  if (frequency == kFrequencyOriginal) frequency = format_.nSamplesPerSec;
  if (frequency < kFrequencyMin || frequency > kFrequencyMax) return kSoundErrInvalidParam;
  const uint32_t device_rate = device_->format().rate;
  std::lock_guard lock(mutex_);
  frequency_ = frequency;
  if (frequency_ != device_rate) resampler_.Prepare();
  return kSoundOk;
}

SoundResult PlaybackCore::GetFrequency(uint32_t* frequency) const {
  if (!(flags_ & kBufferCtrlFrequency)) return kSoundErrControlUnavailable;
  if (!frequency) return kSoundErrInvalidParam;
  std::lock_guard lock(mutex_);
  *frequency = frequency_;
  return kSoundOk;
}

uint32_t PlaybackCore::status() const {
  std::lock_guard lock(mutex_);
  return StatusLocked(kBufferStatusPlaying, kBufferStatusLooping);
}

uint32_t PlaybackCore::FramesToNextNotification(StreamFormat device) const {
  std::lock_guard lock(mutex_);
  const double bytes =
      notifications_.BytesToNext(cursor_ * align_, static_cast<uint32_t>(data_.size()));
  if (bytes <= 0) return UINT32_MAX;
  const double device_frames = std::ceil(bytes / align_ / Step(device));
  return static_cast<uint32_t>(std::clamp(device_frames, 1.0, double(UINT32_MAX)));
}

void PlaybackCore::RenderInto(float* mix, uint32_t frames, StreamFormat device,
                              PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  if (!running_) return;
  FollowDevice(device);
  const uint32_t playable = PlayableFrames(frames, device);
  if (playable == 0) return;
  // Streams may mix more than kMixFrames per step; the first such step grows the scratch.
  const std::size_t samples = static_cast<std::size_t>(playable) * format_.nChannels;
  if (produced_.size() < samples) produced_.resize(samples);
  ProduceFrames(produced_.data(), playable, device);
  const std::array<float, kMaxChannels> gains = Gains(device.channels);
  MapChannels(produced_.data(), format_.nChannels, mix, device.channels, playable,
              std::span(gains.data(), device.channels), true);
  AdvanceCursor(CursorStep(playable, device), signals);
}

bool PlaybackCore::CopyUnchanged(int16_t* out, uint32_t frames, StreamFormat device,
                                 PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  const bool unchanged = frequency_ == device.rate && format_.nChannels == device.channels &&
                         volume_ == 0 && (pan_ == 0 || device.channels < 2);
  if (!running_ || !unchanged) return false;
  FollowDevice(device);
  StartNativeRun();
  const uint32_t playable = PlayableFrames(frames, device);
  TakeFrames(out, playable);
  std::fill(out + std::size_t{playable} * format_.nChannels,
            out + std::size_t{frames} * format_.nChannels, int16_t{0});
  if (playable > 0) AdvanceCursor(CursorStep(playable, device), signals);
  return true;
}

void PlaybackCore::FollowDevice(StreamFormat device) {
  if (device == last_device_) return;
  converting_ = false;
  last_device_ = device;
}

// At the device's rate the frames come from the play cursor on, whole frames only.
void PlaybackCore::StartNativeRun() {
  if (converting_) {
    cursor_ = std::floor(cursor_);
    played_ = std::floor(played_);
    converting_ = false;
  }
  pull_ = static_cast<uint32_t>(cursor_);
}

// Frames at the device's rate: copied straight from the ring when the buffer plays at that
// rate, so that nothing but volume and pan touches the samples; else through the resampler,
// which reads ahead of the cursor by its filter length.
void PlaybackCore::ProduceFrames(float* out, uint32_t frames, StreamFormat device) {
  if (frequency_ == device.rate) {
    StartNativeRun();
    TakeFrames(out, frames);
    return;
  }
  if (!converting_) {
    resampler_.Reset();
    pull_ = static_cast<uint32_t>(cursor_);
    converting_ = true;
  }
  resampler_.Read(device.rate, frequency_, out, frames);
}

uint32_t PlaybackCore::ReadFrames(float* out, uint32_t max_frames) {
  TakeFrames(out, max_frames);
  return max_frames;
}

template <typename Sample>
void PlaybackCore::TakeFrames(Sample* out, uint32_t frames) {
  static_assert(std::endian::native == std::endian::little, "the ring holds little-endian PCM");
  const std::size_t ch = format_.nChannels;
  uint32_t done = 0;
  while (done < frames) {
    if (pull_ >= frames_) {
      if (!looping_) {
        std::fill(out + done * ch, out + frames * ch, Sample{0});
        return;
      }
      pull_ = 0;
    }
    const uint32_t n = std::min(frames - done, frames_ - pull_);
    const uint8_t* from = &data_[static_cast<std::size_t>(pull_) * align_];
    if constexpr (std::is_same_v<Sample, float>) {
      Pcm16ToFloat(from, n * ch, out + done * ch);
    } else {
      std::memcpy(out + done * ch, from, std::size_t{n} * align_);
    }
    pull_ += n;
    done += n;
  }
}

void PlaybackCore::AdvanceCursor(double frames, PendingSignals* signals) {
  const auto size = static_cast<uint32_t>(data_.size());
  // A cursor brought up to what is written lands on the whole frame where the writing ended:
  // the cursor and played_ take a resampled run's fractional steps at different magnitudes and
  // round apart, and a cursor held a hair short of a notification would wait there for ever.
  const bool to_written_end = hold_ && frames >= written_ - played_;
  const double next = to_written_end ? std::round(cursor_ + frames) : cursor_ + frames;
  const double from = cursor_ * align_;
  double to = next * align_;
  if (!looping_ && to >= size) {
    notifications_.Passed(from, size, size, signals);
    signals->Add(notifications_.stop_events());
    running_ = false;
    cursor_ = 0;
    pull_ = 0;
    return;
  }
  notifications_.Passed(from, to, size, signals);
  cursor_ = std::fmod(next, static_cast<double>(frames_));
  played_ = to_written_end ? written_ : played_ + frames;
  if (frequency_ == last_device_.rate) pull_ = static_cast<uint32_t>(cursor_);
}

// Volume on every channel; pan attenuates the side it leans away from, on stereo output.
std::array<float, kMaxChannels> PlaybackCore::Gains(uint16_t channels) const {
  std::array<float, kMaxChannels> gains;
  gains.fill(CentibelsToGain(volume_));
  if (channels >= 2) {
    if (pan_ > 0) gains[0] *= CentibelsToGain(-pan_);
    if (pan_ < 0) gains[1] *= CentibelsToGain(pan_);
  }
  return gains;
}

}  // namespace bw
