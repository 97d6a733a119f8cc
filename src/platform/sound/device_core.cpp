// Device cores: the mixer that feeds an output stream from the playing buffers, and the
// distributor that feeds capturing buffers from an input stream. Real devices run one thread
// each, from the first Play or Start until the device object is released.
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sound/sound_internal.h"
#include "platform/thread_name.h"

namespace bw {
namespace {

// Silence at the pace of the system clock, for machines without a sound card.
class ClockStream {
 public:
  explicit ClockStream(StreamFormat format) : format_(format) {}
  void Start() { next_ = std::chrono::steady_clock::now(); }
  void Wait(uint32_t frames) {
    next_ += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(double(frames) / format_.rate));
    std::this_thread::sleep_until(next_);
  }
  StreamFormat format() const { return format_; }

 private:
  StreamFormat format_;
  std::chrono::steady_clock::time_point next_;
};

class ClockOutput final : public OutputStream {
 public:
  explicit ClockOutput(StreamFormat format) : clock_(format) {}
  StreamFormat format() const override { return clock_.format(); }
  bool Start() override {
    clock_.Start();
    return true;
  }
  bool Write(const float*, uint32_t frames) override {
    clock_.Wait(frames);
    return true;
  }

 private:
  ClockStream clock_;
};

class ClockInput final : public ChunkedInput {
 public:
  explicit ClockInput(StreamFormat format) : clock_(format) {}
  StreamFormat format() const override { return clock_.format(); }
  bool Start() override {
    clock_.Start();
    return true;
  }
  bool Read(float* samples, uint32_t frames) override {
    std::fill(samples, samples + static_cast<std::size_t>(frames) * clock_.format().channels, 0.0f);
    clock_.Wait(frames);
    return true;
  }

 private:
  ClockStream clock_;
};

}  // namespace

std::unique_ptr<OutputStream> MakeClockOutput(StreamFormat format) {
  return std::make_unique<ClockOutput>(format);
}

std::unique_ptr<InputStream> MakeClockInput(StreamFormat format) {
  return std::make_unique<ClockInput>(format);
}

bool ChunkedInput::Next(InputPiece* piece) {
  chunk_.resize(std::size_t{kMixFrames} * format().channels);
  if (!Read(chunk_.data(), kMixFrames)) return false;
  *piece = {chunk_.data(), kMixFrames, false};
  return true;
}

// ---- Playback ----------------------------------------------------------------------------

namespace {

// How long a released device's thread may take to finish the write it is in (a server takes a
// chunk each time it has room for one); past that the write is interrupted.
constexpr std::chrono::milliseconds kFinishWriteLimit{500};

// The streams of released devices whose sound still plays, each playing out on a thread of its
// own, so that releasing a device does not wait for its sound; the program's end waits for
// them all.
class PlayingOut {
 public:
  static PlayingOut& Get() {
    static PlayingOut playing_out;
    return playing_out;
  }
  void Add(std::unique_ptr<OutputStream> stream) {
    std::lock_guard lock(mutex_);
    std::erase_if(closing_, [](const std::future<void>& f) {
      return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    closing_.push_back(std::async(std::launch::async, [stream = std::move(stream)]() mutable {
      stream->PlayOut();
      stream.reset();
    }));
  }

 private:
  std::mutex mutex_;
  std::vector<std::future<void>> closing_;  // each waits for its thread as it goes
};

}  // namespace

// The thread finishes the write it is in, and whatever the device still holds plays out
// afterwards (unless a buffer was stopped with StopNow since): the end of a file, handed over
// last, would be cut off otherwise.
PlaybackDeviceCore::~PlaybackDeviceCore() {
  quit_ = true;
  Refilled();  // ends a wait for a writer
  {
    std::unique_lock lock(mutex_);
    run_again_.notify_one();
    if (thread_.joinable()) ended_.wait_for(lock, kFinishWriteLimit, [this] { return run_ended_; });
  }
  StopThread();
  if (stream_ && !TakeDropRequest() && stream_->PlayOutTime().count() > 0)
    PlayingOut::Get().Add(std::move(stream_));
}

uint32_t PlaybackDeviceCore::MixVirtual(int16_t* out, uint32_t frames, uint16_t channels,
                                        bool split, PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  if (split) frames = UpToNextNotificationLocked(frames);
  if (format_.channels == channels) {
    PlaybackCore* only = OnlyRunningLocked();
    if (only && only->CopyUnchanged(out, frames, format_, signals)) return frames;
  }
  virtual_mix_.resize(static_cast<std::size_t>(frames) * format_.channels);
  MixLocked(virtual_mix_.data(), frames, false, signals);
  const float* mix = virtual_mix_.data();
  if (format_.channels != channels) {
    // The caller's layout (only when the card's format changed under it).
    std::vector<float> mapped(static_cast<std::size_t>(frames) * channels);
    MapChannels(mix, format_.channels, mapped.data(), channels, frames, {}, false);
    virtual_mix_.swap(mapped);
    mix = virtual_mix_.data();
  }
  FloatToPcm16(mix, static_cast<std::size_t>(frames) * channels, out);
  return frames;
}

PlaybackCore* PlaybackDeviceCore::OnlyRunningLocked() const {
  PlaybackCore* only = nullptr;
  for (PlaybackCore* b : buffers_) {
    if (!b->running()) continue;
    if (only) return nullptr;
    only = b;
  }
  return only;
}

uint32_t PlaybackDeviceCore::WrittenFramesLocked(uint32_t frames) const {
  for (const PlaybackCore* b : buffers_)
    frames = std::min(frames, b->WrittenFrames(frames, format_));
  return frames;
}

// A buffer whose cursor holds at what is unwritten has its writer only just behind when the
// device runs ahead of the clock, filling a queue: a file of short blocks would otherwise play
// as bursts between stretches of silence. So the step ends there, and the thread waits a
// chunk's time for the writer, which the device's queue has room for. A writer that lets that
// pass has stalled: the chunk is mixed as it stands (with silence where nothing is written),
// and the thread does not wait again until that writer is back.
uint32_t PlaybackDeviceCore::FramesToMix(uint32_t chunk) {
  const uint64_t seen = RefillCount();
  std::chrono::microseconds chunk_time{};
  {
    std::lock_guard lock(mutex_);
    const uint32_t written = WrittenFramesLocked(chunk);
    if (written > 0 || seen == waited_in_vain_at_) return written > 0 ? written : chunk;
    chunk_time = std::chrono::microseconds(uint64_t{chunk} * 1000000 / format_.rate);
  }
  std::unique_lock lock(refill_mutex_);
  if (!refilled_.wait_for(lock, chunk_time, [&] { return quit_ || refills_ != seen; }))
    waited_in_vain_at_ = seen;
  return 0;
}

uint32_t PlaybackDeviceCore::MixLocked(float* out, uint32_t frames, bool split,
                                       PendingSignals* signals) {
  if (split) frames = UpToNextNotificationLocked(frames);
  std::fill(out, out + static_cast<std::size_t>(frames) * format_.channels, 0.0f);
  for (PlaybackCore* b : buffers_)
    b->RenderInto(out, frames, format_, signals);
  return frames;
}

// Mixes and writes until the device object goes; the events of each step are signalled once
// the device has taken its audio. A device that never starts goes on as a silent clock; one
// lost while running stops its buffers; one that has played out all it was given while no
// buffer runs rests until one does.
void PlaybackDeviceCore::Run() {
  NameThisThread("bw sound out");
  if (!stream_->Start()) ReplaceStream(MakeClockOutput(format_));
  std::vector<float> mix;
  PendingSignals signals(false);
  while (!quit_) {
    if (!WaitForARunningBuffer(stream_->PlayOutTime(), [this] { return drop_queued_; })) {
      // Most of it has played by now; the rest, in the sink, is waited for before resting.
      stream_->PlayOut();
      stream_->Rest();
      WaitForARunningBuffer();
    }
    if (quit_) break;
    // Resting drops what the device holds; the next write wakes it.
    if (TakeDropRequest()) {
      stream_->Rest();
      WaitForARunningBuffer();
      continue;
    }
    const uint32_t frames = FramesToMix(stream_->ChunkFrames());
    if (frames == 0) continue;
    mix.resize(static_cast<std::size_t>(frames) * format_.channels);
    {
      std::lock_guard lock(mutex_);
      MixLocked(mix.data(), frames, false, &signals);
    }
    // As the processor's max and min take it, so that the loop runs in vector instructions.
    for (float& s : mix)
      s = std::min(1.0f, std::max(-1.0f, s));
    const bool written = stream_->Write(mix.data(), frames);
    signals.Fire();
    if (!written) LoseDevice();
  }
  std::lock_guard lock(mutex_);
  run_ended_ = true;
  ended_.notify_all();
}

// ---- Capture -----------------------------------------------------------------------------

uint32_t CaptureDeviceCore::DeliverVirtual(const float* in, uint32_t frames, bool split,
                                           PendingSignals* signals) {
  std::lock_guard lock(mutex_);
  if (split) frames = UpToNextNotificationLocked(frames);
  DeliverLocked({in, frames, false}, signals);
  return frames;
}

void CaptureDeviceCore::DeliverLocked(const InputPiece& piece, PendingSignals* signals) {
  for (CaptureCore* b : buffers_)
    b->Deliver(piece, format_, signals);
}

void CaptureDeviceCore::Paced() {
  std::lock_guard lock(mutex_);
  if (virtual_ || !stream_) return;
  uint32_t frames = 0;
  for (const CaptureCore* b : buffers_) {
    const uint32_t spacing = b->running() ? b->NotificationSpacing(format_) : 0;
    if (spacing > 0 && (frames == 0 || spacing < frames)) frames = spacing;
  }
  if (frames > 0) stream_->PreferPieces(frames);
}

void CaptureDeviceCore::CatchUp() {
  std::unique_lock lock(mutex_);
  if (virtual_ || !stream_ || !thread_.joinable()) return;
  if (!stream_->CatchUp()) return;
  const uint64_t ticket = ++catch_ups_asked_;
  caught_up_.wait_for(lock, kCatchUpLimit,
                      [&] { return quit_ || device_lost_ || catch_ups_served_ >= ticket; });
}

void CaptureDeviceCore::EndCatchUps(bool served_or_not) {
  std::lock_guard lock(mutex_);
  if (catch_ups_served_ == catch_ups_asked_ || (!served_or_not && stream_->CatchingUp())) return;
  catch_ups_served_ = catch_ups_asked_;
  caught_up_.notify_all();
}

void CaptureDeviceCore::Run() {
  NameThisThread("bw sound in");
  if (!stream_->Start()) ReplaceStream(MakeClockInput(format_));
  PendingSignals signals(false);
  while (!quit_) {
    InputPiece piece;
    if (!stream_->Next(&piece)) {
      // Nothing more is coming from this device.
      EndCatchUps(true);
      if (!quit_) LoseDevice();
      continue;
    }
    {
      std::lock_guard lock(mutex_);
      DeliverLocked(piece, &signals);
    }
    signals.Fire();
    EndCatchUps(false);
  }
}

}  // namespace bw
