// Inside the sound layer: the buffer cores, the device cores that mix playback buffers into an
// output stream and spread an input stream over capture buffers, and the streams of the
// backends. Not for use outside platform/sound.
//
// Lock order: a device core's mutex, then a buffer core's mutex, then the event hub's. Events
// are signalled with no lock held.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/event.h"
#include "platform/sound/resampler.h"
#include "platform/sound/sound.h"

namespace bw {

// Frames mixed or delivered per step of a device thread (about 23 ms at 44,100 Hz).
inline constexpr uint32_t kMixFrames = 1024;
inline constexpr uint16_t kMaxChannels = 8;

// Frames per second and interleaved channels of a device stream.
struct StreamFormat {
  uint32_t rate = 0;
  uint16_t channels = 0;
  friend bool operator==(const StreamFormat&, const StreamFormat&) = default;
};

// A backend's output: blocking writes of interleaved float samples in -1..1.
class OutputStream {
 public:
  virtual ~OutputStream() = default;
  virtual StreamFormat format() const = 0;
  virtual bool Start() = 0;
  // Returns once the device has taken the frames; false when the device failed and no other
  // device could take over. A later Write tries again.
  virtual bool Write(const float* samples, uint32_t frames) = 0;
  // Frames the device thread mixes per Write: more frames, fewer wake-ups.
  virtual uint32_t ChunkFrames() const { return kMixFrames; }
  // Any thread: makes a Write that waits return at once (the device is being closed).
  virtual void Interrupt() {}
  // How long the device plays on at most, from its queue, after a Write; zero: it never
  // rests.
  virtual std::chrono::milliseconds PlayOutTime() const { return {}; }
  // The device may go idle (a sound server then no longer keeps the sink running) until the
  // next Write; what it still holds is dropped.
  virtual void Rest() {}
  // The device thread, or any thread once it has ended: returns when what was written has
  // been heard (a device that does not answer: a few seconds after PlayOutTime at most).
  virtual void PlayOut() {}
};

// A stretch of input as a stream delivered it: `frames` frames of the stream's format, as
// 16-bit or float samples; no data for a gap, which is silence.
struct InputPiece {
  const void* data = nullptr;
  uint32_t frames = 0;
  bool s16 = false;
};

// A backend's input: blocking reads of what arrives.
class InputStream {
 public:
  virtual ~InputStream() = default;
  virtual StreamFormat format() const = 0;
  virtual bool Start() = 0;
  // Waits for the next stretch, valid until the next call; false when the device failed and no
  // other device could take over, or on Interrupt. A later Next tries again.
  virtual bool Next(InputPiece* piece) = 0;
  // Any thread: makes a Next that waits return at once (the device is being closed).
  virtual void Interrupt() {}
  // Any thread: the reader takes what arrives about every `frames` frames, so pieces that
  // far apart cost it nothing, and each piece costs a wake-up.
  virtual void PreferPieces(uint32_t /*frames*/) {}
  // Any thread: the next Next calls hand over what the device holds of the sound captured
  // until now (a server holds up to a piece), the last of them an empty piece. False when the
  // stream holds nothing back, so there is nothing to wait for.
  virtual bool CatchUp() { return false; }
  // Device thread: whether a CatchUp is still being served.
  virtual bool CatchingUp() const { return false; }
};

// An input read in chunks of float samples.
class ChunkedInput : public InputStream {
 public:
  bool Next(InputPiece* piece) final;

 protected:
  // Returns once `frames` frames have arrived (false as for Next).
  virtual bool Read(float* samples, uint32_t frames) = 0;

 private:
  std::vector<float> chunk_;
};

// The null backend's streams: silence paced by the system clock.
std::unique_ptr<OutputStream> MakeClockOutput(StreamFormat format);
std::unique_ptr<InputStream> MakeClockInput(StreamFormat format);

// The virtual cards, one for playback and one for capture, shared by every device object of
// the virtual backend.
std::shared_ptr<PlaybackDeviceCore> VirtualPlaybackCard();
std::shared_ptr<CaptureDeviceCore> VirtualCaptureCard();

// A device's identifier: the name-based (SHA-1) UUID of "host API" and "device name" in this
// program's namespace, read as four little-endian words.
DeviceId NameBasedDeviceId(std::string_view host_api, std::string_view device_name);

// The PortAudio backend. StartPortAudio initialises it once (false when it cannot start); the
// lists give every device with outputs, or with inputs, read afresh (PortAudio starts again)
// while no PortAudio stream is open, so that devices plugged in since are there.
struct PortAudioDevice {
  int index = -1;
  SoundDeviceInfo info;
};
bool StartPortAudio();
std::vector<PortAudioDevice> PortAudioDevices(bool capture);
// The device `id` (the default when null, all zero or not found), or the default device when
// that one will not open; nullptr when none opens. Should the device fail later, the stream is
// opened again in its format, on that device or else on the default device.
std::unique_ptr<OutputStream> OpenPortAudioOutput(const DeviceId* id);
std::unique_ptr<InputStream> OpenPortAudioInput(const DeviceId* id);

// The sound server backend (libpulse). PulseServerAnswers connects once to find out; the
// lists are asked of the server at each call, so they follow devices as they come and go.
bool PulseServerAnswers();
std::vector<SoundDeviceInfo> PulseDevices(bool capture);
// The device `id` (the default when null, all zero or not present); nullptr when no server
// answers or it opens nothing.
std::unique_ptr<OutputStream> OpenPulseOutput(const DeviceId* id);
std::unique_ptr<InputStream> OpenPulseInput(const DeviceId* id);

// Events to signal once the audio that passed them has been handed on.
class PendingSignals {
 public:
  explicit PendingSignals(bool tracked) : tracked_(tracked) { events_.reserve(16); }
  void Add(const EventHandle& e) { events_.push_back(e); }
  void Add(std::span<const EventHandle> es) { events_.insert(events_.end(), es.begin(), es.end()); }
  bool empty() const { return events_.empty(); }
  // Signals them in order and forgets them.
  void Fire();
  // Signals each event once, as the signals of a worker that could not run in between merge,
  // and forgets them.
  void FireOncePerEvent();

 private:
  bool tracked_;
  std::vector<EventHandle> events_;
};

// The notification positions of a buffer: the offsets in ascending order and the stop events.
class NotificationPlan {
 public:
  // Validates and takes `positions` for a buffer of `buffer_bytes`.
  SoundResult Assign(std::span<const NotifyPosition> positions, uint32_t buffer_bytes);
  // Events whose offsets lie in (from, to] (bytes, `to` may run past the end of the buffer
  // several times), in the order the cursor meets them.
  void Passed(double from, double to, uint32_t buffer_bytes, PendingSignals* out) const;
  // Bytes from `cursor` to the next offset, strictly ahead (0 when there is none).
  double BytesToNext(double cursor, uint32_t buffer_bytes) const;
  // The least distance in bytes from one offset to the next (0 with fewer than two).
  uint32_t SmallestGap(uint32_t buffer_bytes) const;
  std::span<const EventHandle> stop_events() const { return stop_events_; }

 private:
  std::vector<NotifyPosition> positions_;
  std::vector<EventHandle> stop_events_;
};

// The regions a Lock handed out, so that Unlock can check them.
class LockTable {
 public:
  SoundResult Lock(std::span<uint8_t> data, uint32_t offset, uint32_t bytes, LockedRegions* out);
  SoundResult Unlock(const LockedRegions& regions);
  std::size_t outstanding() const { return locks_.size(); }

 private:
  std::vector<uint8_t*> locks_;
};

// What playback and capture buffers share: the ring of 16-bit frames, the regions locked in
// it, the notification positions and whether it runs. Everything under mutex_. Buffers of
// the virtual card count their signals and Locks for its stepping.
class BufferCore : public SoundNotify::Target {
 public:
  SoundResult Lock(uint32_t offset, uint32_t bytes, LockedRegions* regions, uint32_t flags);
  SoundResult Unlock(const LockedRegions& regions);
  // Stops; the stop events fire if it ran.
  SoundResult Stop();
  SoundResult SetNotificationPositions(std::span<const NotifyPosition> positions) override;
  bool running() const;
  // Device side, with the device's mutex held: the device went away and none took over, so a
  // running buffer stops as lost (its stop events go to `signals`).
  void StopAsLost(PendingSignals* signals);
  bool device_lost() const;
  const WAVEFORMATEX& format() const { return format_; }

 protected:
  BufferCore(const WAVEFORMATEX& format, uint32_t bytes, bool tracked);
  // The owner detaches from its device first; then a running buffer stops here.
  ~BufferCore() override;
  // Where kLockFromWriteCursor locks (bytes), with mutex_ held.
  virtual uint32_t WriteCursorLocked() const = 0;
  // After a successful Unlock, with mutex_ held; `signals` fire once it is released.
  virtual void UnlockedLocked(const LockedRegions& regions, PendingSignals* signals) = 0;
  // Frames from the start of the ring to `ptr`, and the frames of both regions.
  uint32_t FrameAt(const uint8_t* ptr) const {
    return static_cast<uint32_t>((ptr - data_.data()) / align_);
  }
  uint32_t RegionFrames(const LockedRegions& r) const { return (r.bytes1 + r.bytes2) / align_; }
  // Status bits for a running buffer, with mutex_ held.
  uint32_t StatusLocked(uint32_t running_bit, uint32_t looping_bit) const;

  mutable std::mutex mutex_;
  const bool tracked_;
  const WAVEFORMATEX format_;
  const uint32_t align_;
  std::vector<uint8_t> data_;
  const uint32_t frames_;
  bool running_ = false;
  bool looping_ = false;
  bool device_gone_ = false;  // stopped by StopAsLost; cleared when it runs again
  NotificationPlan notifications_;
  LockTable locks_;
};

// A device object's core: its buffers and the stream behind them. A real device owns a
// stream and, from the first Play or Start until the device is released, a thread that runs
// it; the virtual card has no thread (virtual_sound advances it) and a format that is fixed or
// follows the first buffer to run.
template <typename Buffer, typename Stream>
class DeviceCore {
 public:
  explicit DeviceCore(std::unique_ptr<Stream> stream)
      : virtual_(false), stream_(std::move(stream)), format_(stream_->format()) {}
  explicit DeviceCore(StreamFormat fixed_format)
      : virtual_(true),
        format_(fixed_format.rate ? fixed_format : kCardDefault),
        fixed_(fixed_format) {}
  virtual ~DeviceCore() = default;
  DeviceCore(const DeviceCore&) = delete;
  DeviceCore& operator=(const DeviceCore&) = delete;

  bool is_virtual() const { return virtual_; }
  void Attach(Buffer* buffer) {
    std::lock_guard lock(mutex_);
    buffers_.push_back(buffer);
  }
  void Detach(Buffer* buffer) {
    std::lock_guard lock(mutex_);
    std::erase(buffers_, buffer);
  }
  // Called by a buffer about to run.
  void WillRun(const Buffer& buffer) {
    std::lock_guard lock(mutex_);
    if (!virtual_) {
      if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
      return;
    }
    const bool alone = std::none_of(buffers_.begin(), buffers_.end(),
                                    [&](Buffer* b) { return b != &buffer && b->running(); });
    if (fixed_.rate == 0 && alone)
      format_ = {buffer.format().nSamplesPerSec, buffer.format().nChannels};
  }
  // Called by a buffer once it runs: a device thread that lost its device tries again.
  // After the buffer set itself running, so that LoseDevice either stops it or is woken.
  void Ran() {
    std::lock_guard lock(mutex_);
    device_lost_ = false;
    run_again_.notify_one();
  }
  StreamFormat format() const {
    std::lock_guard lock(mutex_);
    return format_;
  }
  void SetVirtualFormat(StreamFormat fixed_format) {
    std::lock_guard lock(mutex_);
    fixed_ = fixed_format;
    if (fixed_format.rate != 0) format_ = fixed_format;
  }

 protected:
  static constexpr StreamFormat kCardDefault{44100, 2};
  // The device thread's loop; it ends when quit_ is set.
  virtual void Run() = 0;
  // With mutex_ held: `frames`, cut so that no running buffer goes past its next notification.
  uint32_t UpToNextNotificationLocked(uint32_t frames) const {
    for (Buffer* b : buffers_) {
      if (b->running()) frames = std::min(frames, b->FramesToNextNotification(format_));
    }
    return frames;
  }
  // Ends the thread; every derived destructor calls it first.
  void StopThread() {
    quit_ = true;
    {
      std::lock_guard lock(mutex_);
      if (stream_) stream_->Interrupt();
      run_again_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
  }
  // Device thread: goes on with `replacement` (after a failure), started.
  void ReplaceStream(std::unique_ptr<Stream> replacement) {
    replacement->Start();
    std::lock_guard lock(mutex_);
    stream_ = std::move(replacement);
  }
  // Device thread, after the stream failed with no device left to go on with: every running
  // buffer stops as lost, so that the engine ends its playback or recording as Stop would,
  // rather than going on into nothing. The thread then sleeps until a buffer runs again and
  // the stream is tried once more (a device may have come back).
  void LoseDevice() {
    PendingSignals signals(false);
    {
      std::lock_guard lock(mutex_);
      for (Buffer* b : buffers_)
        b->StopAsLost(&signals);
      device_lost_ = true;
    }
    signals.Fire();
    std::unique_lock lock(mutex_);
    run_again_.wait(lock, [this] { return quit_ || !device_lost_; });
  }

  // Device thread: sleeps while no buffer runs (until Ran or the end), rather than feeding
  // the device silence, so that a program with a file open but stopped does not wake. The
  // device plays out what it holds meanwhile. False when `limit` (if not zero) passed first.
  // `also`, checked with mutex_ held, ends the wait too.
  template <typename Also = bool (*)()>
  bool WaitForARunningBuffer(
      std::chrono::milliseconds limit = {}, Also also = [] { return false; }) {
    std::unique_lock lock(mutex_);
    const auto woken = [this, &also] {
      return quit_ || also() || std::any_of(buffers_.begin(), buffers_.end(), [](const Buffer* b) {
               return b->running();
             });
    };
    if (limit.count() > 0) return run_again_.wait_for(lock, limit, woken);
    run_again_.wait(lock, woken);
    return true;
  }

  mutable std::mutex mutex_;
  const bool virtual_;
  std::unique_ptr<Stream> stream_;  // used by the device thread; replaced under mutex_
  StreamFormat format_;
  StreamFormat fixed_;  // virtual card: a zero rate follows the first buffer
  std::vector<Buffer*> buffers_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
  bool device_lost_ = false;  // under mutex_: LoseDevice waits for a buffer to run
  std::condition_variable run_again_;
};

class PlaybackCore;
class CaptureCore;

// Mixes the playing buffers into the output.
class PlaybackDeviceCore final : public DeviceCore<PlaybackCore, OutputStream> {
 public:
  using DeviceCore::DeviceCore;
  ~PlaybackDeviceCore() override;
  // Virtual card: mixes up to `frames` frames as 16-bit samples of `channels` channels into
  // `out` (stopping just past the next notification when `split`), returns how many. A lone
  // buffer that plays unchanged is copied, not mixed.
  uint32_t MixVirtual(int16_t* out, uint32_t frames, uint16_t channels, bool split,
                      PendingSignals* signals);
  // Any thread, holding no buffer's lock: what the device has queued goes, once the write in
  // hand is done (a buffer was stopped by the user).
  void DropQueued() {
    std::lock_guard lock(mutex_);
    drop_queued_ = true;
    run_again_.notify_one();
  }
  // Any thread, holding no buffer's lock: a buffer's writer unlocked what it wrote.
  void Refilled() {
    {
      std::lock_guard lock(refill_mutex_);
      ++refills_;
    }
    refilled_.notify_one();
  }

 private:
  uint32_t MixLocked(float* out, uint32_t frames, bool split, PendingSignals* signals);
  PlaybackCore* OnlyRunningLocked() const;
  void Run() override;
  // Device thread: the frames to mix next, `chunk` or fewer; 0 after waiting for a writer,
  // when it is to be asked again.
  uint32_t FramesToMix(uint32_t chunk);
  // With mutex_ held: `frames`, cut where a running buffer meets what its writer has yet to
  // write.
  uint32_t WrittenFramesLocked(uint32_t frames) const;
  // Device thread: whether DropQueued was called since it last asked.
  bool TakeDropRequest() {
    std::lock_guard lock(mutex_);
    return std::exchange(drop_queued_, false);
  }
  uint64_t RefillCount() {
    std::lock_guard lock(refill_mutex_);
    return refills_;
  }

  std::vector<float> virtual_mix_;  // the virtual card's float mix, under mutex_
  // Held for nothing but the count, so that a writer can signal from anywhere.
  std::mutex refill_mutex_;
  std::condition_variable refilled_;
  uint64_t refills_ = 0;  // under refill_mutex_
  // Device thread: the refill count at the last wait that ran out; no wait until it moves.
  uint64_t waited_in_vain_at_ = UINT64_MAX;
  bool run_ended_ = false;    // under mutex_
  bool drop_queued_ = false;  // under mutex_
  std::condition_variable ended_;
};

// Hands the input to the capturing buffers.
class CaptureDeviceCore final : public DeviceCore<CaptureCore, InputStream> {
 public:
  using DeviceCore::DeviceCore;
  ~CaptureDeviceCore() override { StopThread(); }
  // Virtual card: delivers up to `frames` frames of `in` (stopping just past the next
  // notification when `split`), returns how many were taken.
  uint32_t DeliverVirtual(const float* in, uint32_t frames, bool split, PendingSignals* signals);
  // Any thread, holding no buffer's lock: a buffer started. The stream is asked for pieces as
  // far apart as the nearest notifications of the running buffers.
  void Paced();
  // Any thread, holding no buffer's lock: returns once the device has delivered the sound it
  // captured until now, or after kCatchUpLimit.
  void CatchUp();

 private:
  static constexpr std::chrono::milliseconds kCatchUpLimit{1500};
  void DeliverLocked(const InputPiece& piece, PendingSignals* signals);
  void Run() override;
  // Device thread: CatchUp's waiters go once the stream has served them (or at once).
  void EndCatchUps(bool served_or_not);

  uint64_t catch_ups_asked_ = 0;   // under mutex_
  uint64_t catch_ups_served_ = 0;  // under mutex_
  std::condition_variable caught_up_;
};

// A playback buffer; SoundBuffer and SoundNotify share it.
class PlaybackCore final : public BufferCore, private PullResampler::Source {
 public:
  PlaybackCore(std::shared_ptr<PlaybackDeviceCore> device, const SoundBufferDesc& desc);
  ~PlaybackCore() override;

  SoundResult Play(uint32_t flags);
  // Stop, and the device drops what it has queued if the buffer was playing.
  SoundResult StopNow();
  // The device thread may be waiting for what was written.
  SoundResult Unlock(const LockedRegions& regions);
  void GetCurrentPosition(uint32_t* play, uint32_t* write) const;
  SoundResult SetCurrentPosition(uint32_t offset);
  void HoldAtUnwritten(bool on);
  SoundResult SetVolume(int32_t volume);
  SoundResult GetVolume(int32_t* volume) const;
  SoundResult SetPan(int32_t pan);
  SoundResult GetPan(int32_t* pan) const;
  SoundResult SetFrequency(uint32_t frequency);
  SoundResult GetFrequency(uint32_t* frequency) const;
  uint32_t status() const;
  uint32_t flags() const { return flags_; }

  // Device side, with the device's mutex held.
  // Device frames until the cursor reaches the next notification (at least 1).
  uint32_t FramesToNextNotification(StreamFormat device) const;
  // Of `frames` device frames, those that play before the cursor meets what is unwritten
  // (all of them unless the buffer runs and holds there).
  uint32_t WrittenFrames(uint32_t frames, StreamFormat device) const;
  // Adds `frames` device frames of this buffer, after frequency, volume and pan, into `mix`.
  void RenderInto(float* mix, uint32_t frames, StreamFormat device, PendingSignals* signals);
  // When the buffer runs at the device's rate and channels with full volume and no pan, copies
  // `frames` frames of it straight to `out` (what mixing it alone would give) and returns true;
  // else does nothing and returns false.
  bool CopyUnchanged(int16_t* out, uint32_t frames, StreamFormat device, PendingSignals* signals);

 private:
  uint32_t WriteCursorLocked() const override;
  void UnlockedLocked(const LockedRegions& regions, PendingSignals* signals) override;
  // Of `frames` device frames, those that play before the cursor meets what is unwritten.
  uint32_t PlayableFrames(uint32_t frames, StreamFormat device) const;
  // Buffer frames the cursor moves for `frames` device frames played.
  double CursorStep(uint32_t frames, StreamFormat device) const;
  uint32_t ReadFrames(float* out, uint32_t max_frames) override;
  // Frames from pull_ on, wrapping when looping (silence past the end otherwise), as floats
  // or as the ring's own 16-bit samples.
  template <typename Sample>
  void TakeFrames(Sample* out, uint32_t frames);
  void FollowDevice(StreamFormat device);
  void StartNativeRun();
  void ProduceFrames(float* out, uint32_t frames, StreamFormat device);
  void AdvanceCursor(double frames, PendingSignals* signals);
  double Step(StreamFormat device) const { return double(frequency_) / device.rate; }
  std::array<float, kMaxChannels> Gains(uint16_t channels) const;

  const std::shared_ptr<PlaybackDeviceCore> device_;
  const uint32_t flags_;
  double cursor_ = 0;   // frames handed to the device, 0 .. frames_
  uint32_t pull_ = 0;   // next frame the converter takes
  bool hold_ = false;   // HoldAtUnwritten
  double played_ = 0;   // frames handed to the device since the last SetCurrentPosition
  double written_ = 0;  // with hold_: where the region unlocked last ends, on played_'s scale
  int32_t volume_ = 0;
  int32_t pan_ = 0;
  uint32_t frequency_;
  PullResampler resampler_;
  bool converting_ = false;  // the resampler holds history from pull_
  StreamFormat last_device_;
  std::vector<float> produced_;
};

class CaptureCore final : public BufferCore {
 public:
  CaptureCore(std::shared_ptr<CaptureDeviceCore> device, const CaptureBufferDesc& desc);
  ~CaptureCore() override;

  SoundResult Start(uint32_t flags);
  // Takes in first what the device captured until now and still holds.
  SoundResult Stop();
  void GetCurrentPosition(uint32_t* capture, uint32_t* read) const;
  uint32_t status() const;
  void KeepUnread(bool on);
  void GetTotals(uint64_t* captured, uint64_t* lost) const;

  // Device side, with the device's mutex held.
  // Device frames until the capture cursor reaches the next notification (at least 1).
  uint32_t FramesToNextNotification(StreamFormat device) const;
  // Device frames between the two nearest notifications (0 with fewer than two).
  uint32_t NotificationSpacing(StreamFormat device) const;
  // Converts what the device delivered into the buffer.
  void Deliver(const InputPiece& piece, StreamFormat device, PendingSignals* signals);

 private:
  uint32_t WriteCursorLocked() const override { return cursor_ * align_; }
  void UnlockedLocked(const LockedRegions& regions, PendingSignals* signals) override;
  // The device's frames as floats in its own layout (converted into floats_ when they are not).
  const float* AsFloats(const InputPiece& piece, uint16_t channels);
  void StoreFloats(const float* samples, uint32_t frames, PendingSignals* signals);
  void Store(const int16_t* samples, uint32_t frames, PendingSignals* signals);
  // Stores `frames` frames into the ring at the cursor.
  void WriteRing(const int16_t* samples, uint32_t frames, PendingSignals* signals);
  // With keep_: moves what the backlog holds into the room the reader left.
  void PumpBacklog(PendingSignals* signals);

  const std::shared_ptr<CaptureDeviceCore> device_;
  uint32_t cursor_ = 0;  // frames written
  bool keep_ = false;    // KeepUnread
  uint64_t stored_ = 0;  // frames stored into the ring since Start
  uint64_t taken_ = 0;   // with keep_: frames the reader has unlocked, on stored_'s scale
  uint64_t lost_ = 0;    // frames dropped with the backlog full
  std::deque<int16_t> backlog_;
  std::vector<int16_t> pcm_;
  std::unique_ptr<PushResampler> resampler_;
  StreamFormat last_device_;
  std::vector<float> floats_;
  std::vector<float> mapped_;
  std::vector<float> converted_;
};

// Sample helpers.
void Pcm16ToFloat(const uint8_t* pcm, std::size_t samples, float* out);
// Rounded to the nearest (ties to even) and held to the 16-bit range.
void FloatToPcm16(const float* samples, std::size_t count, int16_t* out);
// Maps `frames` frames from `in_channels` to `out_channels` (mono spreads to all, anything to
// mono averages, otherwise channel c goes to c modulo the output's count, averaged), scales
// output channel c by gains[c] (when given) and adds to `out` (or overwrites it).
void MapChannels(const float* in, uint16_t in_channels, float* out, uint16_t out_channels,
                 uint32_t frames, std::span<const float> gains, bool add);
// Hundredths of a dB to a linear factor.
float CentibelsToGain(int32_t centibels);

}  // namespace bw
