// The sound layer on the virtual card: notifications, Lock and the audio that reaches the
// device, volume, pan and frequency measured on the output, capture, and rate and channel
// conversion. Also the null backend's clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/sound/sound.h"
#include "platform/sound/virtual_sound.h"
#include "tone_measure.h"

namespace bw {
namespace {

using namespace std::chrono_literals;
using test::Channel;
using test::RmsDb;
using test::ToneHz;
using virtual_sound::Stepping;

// What the playback code asks for: frequency, pan, volume, notifications, focus, cursor.
constexpr uint32_t kPlaybackCaps = 0x000181E0;
// A 16-bit stereo 44,100 Hz buffer of four blocks.
constexpr uint32_t kBlockBytes = 141120;
constexpr uint32_t kBufferBytes = 4 * kBlockBytes;
constexpr uint32_t kBufferFrames = kBufferBytes / 4;
constexpr uint32_t kBlockFrames = kBlockBytes / 4;
const double kHalfScaleSineDb = 20 * std::log10(0.5 / std::sqrt(2.0));

// A 1 kHz tone (or `hz`) of amplitude 0.5 on every channel.
std::vector<int16_t> Tone(uint32_t rate, uint16_t channels, uint32_t frames, double hz = 1000) {
  std::vector<int16_t> out;
  for (uint32_t f = 0; f < frames; ++f) {
    const auto v = static_cast<int16_t>(std::lrint(16384 * std::sin(2 * M_PI * hz * f / rate)));
    out.insert(out.end(), channels, v);
  }
  return out;
}

// Stereo frames that are all different: left counts up by 1, right by 65536.
int16_t PatternSample(uint32_t frame, int channel) {
  return static_cast<int16_t>(channel == 0 ? frame & 0xFFFF : (frame >> 16) & 0xFFFF);
}
std::vector<int16_t> Pattern(uint32_t first_frame, uint32_t frames) {
  std::vector<int16_t> out;
  for (uint32_t f = first_frame; f < first_frame + frames; ++f) {
    out.push_back(PatternSample(f, 0));
    out.push_back(PatternSample(f, 1));
  }
  return out;
}

// Copies `samples` into `regions` (both parts, in order).
void Fill(const LockedRegions& r, std::span<const int16_t> samples) {
  ASSERT_EQ(r.bytes1 + r.bytes2, samples.size() * 2);
  std::memcpy(r.ptr1, samples.data(), r.bytes1);
  if (r.bytes2)
    std::memcpy(r.ptr2, reinterpret_cast<const uint8_t*>(samples.data()) + r.bytes1, r.bytes2);
}

std::vector<int16_t> Read(const LockedRegions& r) {
  std::vector<int16_t> out((r.bytes1 + r.bytes2) / 2);
  std::memcpy(out.data(), r.ptr1, r.bytes1);
  if (r.bytes2) std::memcpy(reinterpret_cast<uint8_t*>(out.data()) + r.bytes1, r.ptr2, r.bytes2);
  return out;
}

std::vector<NotifyPosition> FivePositions(const EventHandle& block, const EventHandle& stop) {
  return {{kBlockBytes, block},
          {2 * kBlockBytes, block},
          {3 * kBlockBytes, block},
          {4 * kBlockBytes - 1, block},
          {kNotifyOffsetStop, stop}};
}

// A worker like the playback and capture threads: waits on the block and stop events, notes
// where the cursor stood at each wake-up, and (playback) refills the block after next with
// the continuing pattern.
class Worker {
 public:
  struct Wake {
    int event;
    uint32_t position;
    friend bool operator==(const Wake&, const Wake&) = default;
  };

  template <typename Buffer>
  Worker(std::shared_ptr<Buffer> buffer, bool refill, uint32_t next_frame = 0)
      : events_{Event::Create(), Event::Create()} {
    thread_ = std::thread([this, buffer, refill, next_frame]() mutable {
      uint32_t write_cursor = 2 * kBlockBytes;
      for (;;) {
        const int e = WaitForAny(events_);
        if (e == kWaitFailed) return;
        uint32_t position = 0;
        buffer->GetCurrentPosition(&position, nullptr);
        wakes_.push_back({e, position});
        if (e == 1) return;
        if (!refill) continue;
        std::this_thread::sleep_for(2ms);  // a slow refill: the stepping must wait for it
        LockedRegions r;
        ASSERT_EQ(buffer->Lock(write_cursor, kBlockBytes, &r), kSoundOk);
        Fill(r, Pattern(next_frame, kBlockFrames));
        ASSERT_EQ(buffer->Unlock(r), kSoundOk);
        next_frame += kBlockFrames;
        write_cursor = (write_cursor + kBlockBytes) % kBufferBytes;
      }
    });
  }
  ~Worker() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }
  const EventHandle& block() const { return events_[0]; }
  const EventHandle& stop() const { return events_[1]; }
  // Valid after Join.
  const std::vector<Wake>& wakes() const { return wakes_; }

 private:
  std::vector<EventHandle> events_;
  std::vector<Wake> wakes_;
  std::thread thread_;
};

class VirtualSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SelectSoundBackend(SoundBackend::kVirtual), SoundBackend::kVirtual);
    virtual_sound::SetPlaybackFormat({});
    virtual_sound::SetCaptureFormat({});
    ASSERT_EQ(SoundCreate(nullptr, &device_), kSoundOk);
    ASSERT_EQ(SoundCaptureCreate(nullptr, &capture_device_), kSoundOk);
  }

  std::shared_ptr<SoundBuffer> MakeBuffer(uint32_t rate, uint16_t channels, uint32_t bytes,
                                          uint32_t caps = kPlaybackCaps) {
    std::shared_ptr<SoundBuffer> buffer;
    EXPECT_EQ(device_->CreateSoundBuffer({caps, bytes, MakePcmFormat(rate, channels)}, &buffer),
              kSoundOk);
    return buffer;
  }
  std::shared_ptr<CaptureBuffer> MakeCapture(uint32_t rate, uint16_t channels, uint32_t bytes) {
    std::shared_ptr<CaptureBuffer> buffer;
    EXPECT_EQ(capture_device_->CreateCaptureBuffer(
                  {kCaptureWaveMapped, bytes, MakePcmFormat(rate, channels)}, &buffer),
              kSoundOk);
    return buffer;
  }
  template <typename Buffer>
  void Notify(Buffer& buffer, std::span<const NotifyPosition> positions) {
    std::shared_ptr<SoundNotify> notify;
    ASSERT_EQ(buffer.QueryNotify(&notify), kSoundOk);
    ASSERT_EQ(notify->SetNotificationPositions(positions), kSoundOk);
  }
  // Writes `samples` from `offset` through one Lock.
  void Write(SoundBuffer& buffer, uint32_t offset, std::span<const int16_t> samples) {
    LockedRegions r;
    ASSERT_EQ(buffer.Lock(offset, static_cast<uint32_t>(samples.size() * 2), &r), kSoundOk);
    Fill(r, samples);
    ASSERT_EQ(buffer.Unlock(r), kSoundOk);
  }

  std::shared_ptr<SoundDevice> device_;
  std::shared_ptr<CaptureDevice> capture_device_;
};

TEST_F(VirtualSoundTest, BlockEventsArriveAtTheirPositionsInOrderThenTheStopEvent) {
  auto buffer = MakeBuffer(44100, 2, kBufferBytes);
  Worker worker(buffer, false);
  Notify(*buffer, FivePositions(worker.block(), worker.stop()));
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  EXPECT_TRUE(virtual_sound::AdvancePlayback(kBufferFrames + 100).workers_kept_up);
  ASSERT_EQ(buffer->Stop(), kSoundOk);
  worker.Join();
  const std::vector<Worker::Wake> expected = {
      {0, 141120}, {0, 282240}, {0, 423360}, {0, 0}, {1, 400}};
  EXPECT_EQ(worker.wakes(), expected);
}

TEST_F(VirtualSoundTest, DeviceGetsExactlyWhatWasLockedAndWrittenLooped) {
  auto buffer = MakeBuffer(44100, 2, kBufferBytes);
  const std::vector<int16_t> pattern = Pattern(0, kBufferFrames);
  // One Lock that wraps: it hands out the end of the buffer, then its start.
  LockedRegions r;
  ASSERT_EQ(buffer->Lock(400000, kBufferBytes, &r), kSoundOk);
  EXPECT_EQ(r.bytes1, kBufferBytes - 400000);
  EXPECT_EQ(r.bytes2, 400000u);
  std::vector<int16_t> rotated(pattern.begin() + 200000, pattern.end());
  rotated.insert(rotated.end(), pattern.begin(), pattern.begin() + 200000);
  Fill(r, rotated);
  ASSERT_EQ(buffer->Unlock(r), kSoundOk);

  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  const auto played = virtual_sound::AdvancePlayback(kBufferFrames * 3 / 2, Stepping::kFreeRunning);
  EXPECT_EQ(played.format.rate, 44100u);
  EXPECT_EQ(played.format.channels, 2);
  std::vector<int16_t> expected = pattern;
  expected.insert(expected.end(), pattern.begin(), pattern.begin() + pattern.size() / 2);
  EXPECT_TRUE(played.samples == expected);
}

// The playback thread's way of working: two blocks primed, then at each block event the block
// after next. Stepping with the workers must give one unbroken stream, nothing lost or twice:
// in one call, or a block a call, each handed over at its end (a call returns as soon as its
// block has played, and the next one waits for the refill before it mixes anything).
class RefillStepping : public VirtualSoundTest, public ::testing::WithParamInterface<bool> {};

TEST_P(RefillStepping, RefillsAtEachNotificationComeOutAsOneUnbrokenStream) {
  const bool handed_over = GetParam();
  auto buffer = MakeBuffer(44100, 2, kBufferBytes);
  Write(*buffer, 0, Pattern(0, 2 * kBlockFrames));
  Worker worker(buffer, true, 2 * kBlockFrames);
  Notify(*buffer, FivePositions(worker.block(), worker.stop()));
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  std::vector<int16_t> played;
  if (handed_over) {
    for (int block = 0; block < 10; ++block) {
      const auto step = virtual_sound::AdvancePlayback(kBlockFrames, Stepping::kHandOverAtEnd);
      EXPECT_TRUE(step.workers_kept_up);
      played.insert(played.end(), step.samples.begin(), step.samples.end());
    }
    EXPECT_TRUE(virtual_sound::WaitForWorkers());
  } else {
    const auto step = virtual_sound::AdvancePlayback(10 * kBlockFrames + 7);
    EXPECT_TRUE(step.workers_kept_up);
    played = step.samples;
  }
  EXPECT_TRUE(played == Pattern(0, 10 * kBlockFrames + (handed_over ? 0 : 7)));
  buffer->Stop();
  worker.Join();
  EXPECT_EQ(worker.wakes().size(), 11u);  // ten block events and the stop
}

INSTANTIATE_TEST_SUITE_P(InOneCallOrHandedOverAtEachBlock, RefillStepping, ::testing::Bool());

// Two buffers playing at once are summed and held to the 16-bit range; once one stops, the
// other goes on alone from where it stood, sample for sample.
TEST_F(VirtualSoundTest, BuffersPlayingTogetherAreSummedAndTheOneLeftPlaysOnUnchanged) {
  constexpr uint32_t kFrames = 4096;
  const std::vector<int16_t> a = Pattern(0, kFrames);
  std::vector<int16_t> b(a.size());
  for (std::size_t i = 0; i < b.size(); ++i)
    b[i] = static_cast<int16_t>(i % 3 == 0 ? 32000 : i % 3 == 1 ? -32000 : -7);
  auto first = MakeBuffer(44100, 2, kFrames * 4);
  auto second = MakeBuffer(44100, 2, kFrames * 4);
  Write(*first, 0, a);
  Write(*second, 0, b);
  ASSERT_EQ(first->Play(kPlayLooping), kSoundOk);
  ASSERT_EQ(second->Play(kPlayLooping), kSoundOk);
  const auto together = virtual_sound::AdvancePlayback(kFrames / 2, Stepping::kFreeRunning);
  ASSERT_EQ(second->Stop(), kSoundOk);
  const auto alone = virtual_sound::AdvancePlayback(kFrames, Stepping::kFreeRunning);
  first->Stop();

  std::vector<int16_t> expected;
  for (std::size_t i = 0; i < a.size() / 2; ++i)
    expected.push_back(static_cast<int16_t>(std::clamp(a[i] + b[i], -32768, 32767)));
  EXPECT_TRUE(together.samples == expected);
  expected.assign(a.begin() + a.size() / 2, a.end());
  expected.insert(expected.end(), a.begin(), a.begin() + a.size() / 2);
  EXPECT_TRUE(alone.samples == expected);
}

struct GainCase {
  int32_t volume;
  int32_t pan;
  double left_db;  // relative to the tone as written
  double right_db;
};

void PrintTo(const GainCase& c, std::ostream* os) {
  *os << "volume " << c.volume << " pan " << c.pan;
}

class GainTest : public VirtualSoundTest, public ::testing::WithParamInterface<GainCase> {};

TEST_P(GainTest, VolumeAndPanAttenuateByTheirHundredthsOfADecibel) {
  const GainCase c = GetParam();
  auto buffer = MakeBuffer(44100, 2, 44100 * 4);
  Write(*buffer, 0, Tone(44100, 2, 44100));
  ASSERT_EQ(buffer->SetVolume(c.volume), kSoundOk);
  ASSERT_EQ(buffer->SetPan(c.pan), kSoundOk);
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  const auto played = virtual_sound::AdvancePlayback(44100, Stepping::kFreeRunning);
  EXPECT_NEAR(RmsDb(Channel(played.samples, 2, 0)) - kHalfScaleSineDb, c.left_db, 0.05);
  EXPECT_NEAR(RmsDb(Channel(played.samples, 2, 1)) - kHalfScaleSineDb, c.right_db, 0.05);
}

INSTANTIATE_TEST_SUITE_P(Levels, GainTest,
                         ::testing::Values(GainCase{0, 0, 0, 0}, GainCase{-600, 0, -6, -6},
                                           GainCase{0, 2000, -20, 0}, GainCase{0, -1500, 0, -15},
                                           GainCase{-1000, -500, -10, -15}));

TEST_F(VirtualSoundTest, MinimumVolumeAndFullPanAreSilent) {
  auto buffer = MakeBuffer(44100, 2, 44100 * 4);
  Write(*buffer, 0, Tone(44100, 2, 44100));
  ASSERT_EQ(buffer->SetPan(kPanLeft), kSoundOk);
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  auto played = virtual_sound::AdvancePlayback(4410, Stepping::kFreeRunning);
  EXPECT_LT(RmsDb(Channel(played.samples, 2, 1)), -90);
  EXPECT_NEAR(RmsDb(Channel(played.samples, 2, 0)), kHalfScaleSineDb, 0.05);
  ASSERT_EQ(buffer->SetVolume(kVolumeMin), kSoundOk);
  played = virtual_sound::AdvancePlayback(4410, Stepping::kFreeRunning);
  EXPECT_LT(RmsDb(Channel(played.samples, 2, 0)), -90);
}

TEST_F(VirtualSoundTest, FrequencyPlaysFasterOrSlowerAndCanChangeWhilePlaying) {
  auto buffer = MakeBuffer(44100, 2, 44100 * 4 * 4);
  Write(*buffer, 0, Tone(44100, 2, 44100 * 4));
  ASSERT_EQ(buffer->SetFrequency(88200), kSoundOk);
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  auto played = virtual_sound::AdvancePlayback(22050, Stepping::kFreeRunning);
  std::vector<double> left = Channel(played.samples, 2, 0);
  left.erase(left.begin(), left.begin() + 2000);  // the converter's start
  EXPECT_NEAR(ToneHz(left, 44100), 2000, 1);
  EXPECT_NEAR(RmsDb(left), kHalfScaleSineDb, 0.2);
  uint32_t position = 0;
  buffer->GetCurrentPosition(&position, nullptr);
  EXPECT_NEAR(position, 2 * 22050 * 4, 8);  // the cursor ran at twice the rate

  ASSERT_EQ(buffer->SetFrequency(22050), kSoundOk);
  played = virtual_sound::AdvancePlayback(44100, Stepping::kFreeRunning);
  left = Channel(played.samples, 2, 0);
  left.erase(left.begin(), left.begin() + 4000);
  EXPECT_NEAR(ToneHz(left, 44100), 500, 0.5);
  EXPECT_NEAR(RmsDb(left), kHalfScaleSineDb, 0.2);

  ASSERT_EQ(buffer->SetFrequency(kFrequencyOriginal), kSoundOk);
  uint32_t frequency = 0;
  ASSERT_EQ(buffer->GetFrequency(&frequency), kSoundOk);
  EXPECT_EQ(frequency, 44100u);
}

// At the ends of the range the ratio to the card's rate leaves the converter's own range.
TEST_F(VirtualSoundTest, ExtremeFrequenciesStillMoveTheCursorAtTheirRate) {
  struct Case {
    uint32_t buffer_rate;
    uint32_t frequency;
    uint32_t card_frames;
  } const cases[] = {{44100, kFrequencyMin, 44100}, {100, kFrequencyMax, 10}};
  for (const Case& c : cases) {
    auto buffer = MakeBuffer(c.buffer_rate, 1, 200000 * 2);
    Write(*buffer, 0, Tone(c.buffer_rate, 1, 200000, c.buffer_rate / 8.0));
    ASSERT_EQ(buffer->SetFrequency(c.frequency), kSoundOk);
    ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
    const auto played = virtual_sound::AdvancePlayback(c.card_frames, Stepping::kFreeRunning);
    ASSERT_EQ(played.samples.size(), c.card_frames);
    uint32_t position = 0;
    buffer->GetCurrentPosition(&position, nullptr);
    const double expected_frames = double(c.frequency) * c.card_frames / c.buffer_rate;
    EXPECT_NEAR(position / 2, expected_frames, 1) << "frequency " << c.frequency;
    buffer->Stop();
  }
}

TEST_F(VirtualSoundTest, OtherDeviceRateAndChannelsAreConverted) {
  virtual_sound::SetPlaybackFormat({48000, 2});
  auto buffer = MakeBuffer(22050, 1, 22050 * 2 * 2);
  Write(*buffer, 0, Tone(22050, 1, 22050 * 2));
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  const auto played = virtual_sound::AdvancePlayback(48000, Stepping::kFreeRunning);
  ASSERT_EQ(played.format.rate, 48000u);
  std::vector<double> left = Channel(played.samples, 2, 0);
  const std::vector<double> right = Channel(played.samples, 2, 1);
  EXPECT_EQ(left, right);
  left.erase(left.begin(), left.begin() + 2000);
  EXPECT_NEAR(ToneHz(left, 48000), 1000, 0.5);
  EXPECT_NEAR(RmsDb(left), kHalfScaleSineDb, 0.2);

  virtual_sound::SetCaptureFormat({48000, 2});
  auto capture = MakeCapture(22050, 1, 22050 * 2);
  ASSERT_EQ(capture->Start(kCaptureStartLooping), kSoundOk);
  EXPECT_TRUE(virtual_sound::FeedCapture(Tone(48000, 2, 72000), Stepping::kFreeRunning));
  uint32_t cursor = 0;
  capture->GetCurrentPosition(&cursor, nullptr);
  LockedRegions r;  // the ring from the cursor on: oldest first
  ASSERT_EQ(capture->Lock(cursor, 22050 * 2, &r), kSoundOk);
  std::vector<double> captured = Channel(Read(r), 1, 0);
  capture->Unlock(r);
  captured.erase(captured.begin(), captured.begin() + 2000);
  EXPECT_NEAR(ToneHz(captured, 22050), 1000, 0.5);
  EXPECT_NEAR(RmsDb(captured), kHalfScaleSineDb, 0.2);
}

TEST_F(VirtualSoundTest, CaptureDeliversWhatWasFedLoopedWithEventsAtItsPositions) {
  auto capture = MakeCapture(44100, 2, kBufferBytes);
  Worker worker(capture, false);
  Notify(*capture, FivePositions(worker.block(), worker.stop()));
  ASSERT_EQ(capture->Start(kCaptureStartLooping), kSoundOk);
  const uint32_t fed = kBufferFrames + kBlockFrames;
  EXPECT_TRUE(virtual_sound::FeedCapture(Pattern(0, fed)));
  uint32_t status = 0;
  capture->GetStatus(&status);
  EXPECT_EQ(status, kCaptureStatusCapturing | kCaptureStatusLooping);
  ASSERT_EQ(capture->Stop(), kSoundOk);
  worker.Join();
  const std::vector<Worker::Wake> expected = {{0, 141120}, {0, 282240}, {0, 423360},
                                              {0, 0},      {0, 141120}, {1, 141120}};
  EXPECT_EQ(worker.wakes(), expected);

  LockedRegions r;
  ASSERT_EQ(capture->Lock(0, 0, &r, kLockEntireBuffer), kSoundOk);
  std::vector<int16_t> expected_ring = Pattern(kBufferFrames, kBlockFrames);
  const std::vector<int16_t> rest = Pattern(kBlockFrames, kBufferFrames - kBlockFrames);
  expected_ring.insert(expected_ring.end(), rest.begin(), rest.end());
  EXPECT_TRUE(Read(r) == expected_ring);
  EXPECT_EQ(capture->Unlock(r), kSoundOk);
}

TEST_F(VirtualSoundTest, StopEventFiresWheneverTheBufferStops) {
  auto buffer = MakeBuffer(8000, 1, 1600);
  const EventHandle stop = Event::Create();
  Notify(*buffer, std::vector<NotifyPosition>{{kNotifyOffsetStop, stop}});
  const std::vector<EventHandle> wait = {stop};
  EXPECT_EQ(buffer->Stop(), kSoundOk);
  EXPECT_EQ(WaitForAny(wait, 0ms), kWaitTimeout);  // it was not playing

  buffer->Play(kPlayLooping);
  buffer->Stop();
  EXPECT_EQ(WaitForAny(wait, 0ms), 0);

  buffer->Play(0);  // not looping: stops by itself at the end
  virtual_sound::AdvancePlayback(799, Stepping::kFreeRunning);
  EXPECT_EQ(WaitForAny(wait, 0ms), kWaitTimeout);
  virtual_sound::AdvancePlayback(1, Stepping::kFreeRunning);
  EXPECT_EQ(WaitForAny(wait, 0ms), 0);
  uint32_t status = 1;
  buffer->GetStatus(&status);
  EXPECT_EQ(status, 0u);

  buffer->Play(kPlayLooping);
  buffer.reset();  // released while playing
  EXPECT_EQ(WaitForAny(wait, 0ms), 0);
}

// File Close stops and releases the objects while the playback thread may still hold them.
TEST_F(VirtualSoundTest, ThreadKeepsUsableObjectsAfterTheCommandReleasedThem) {
  auto buffer = MakeBuffer(44100, 2, kBufferBytes);
  std::shared_ptr<SoundNotify> notify;
  ASSERT_EQ(buffer->QueryNotify(&notify), kSoundOk);
  std::vector<EventHandle> events = {Event::Create(), Event::Create()};
  ASSERT_EQ(notify->SetNotificationPositions(FivePositions(events[0], events[1])), kSoundOk);
  std::vector<int> wakes;
  std::thread worker([held = buffer, copies = events, &wakes] {
    for (int e; (e = WaitForAny(copies)) != kWaitFailed;) {
      wakes.push_back(e);
      LockedRegions r;
      EXPECT_EQ(held->Stop(), kSoundOk);
      EXPECT_EQ(held->Lock(0, kBlockBytes, &r), kSoundOk);
      EXPECT_EQ(held->Unlock(r), kSoundOk);
      if (e == 1) copies[0]->Close();
    }
  });
  buffer->Play(kPlayLooping);
  buffer->Stop();
  notify.reset();
  buffer.reset();
  device_.reset();
  worker.join();
  EXPECT_EQ(wakes, std::vector<int>{1});
}

TEST_F(VirtualSoundTest, RefusesRequestsOutsideTheBuffer) {
  std::shared_ptr<SoundBuffer> out;
  const auto desc = [](uint32_t bytes, WAVEFORMATEX f) {
    return SoundBufferDesc{kPlaybackCaps, bytes, f};
  };
  WAVEFORMATEX eight_bit = MakePcmFormat(44100, 2, 8);
  WAVEFORMATEX adpcm = MakePcmFormat(44100, 2);
  adpcm.wFormatTag = kWaveFormatMsAdpcm;
  EXPECT_EQ(device_->CreateSoundBuffer(desc(4096, eight_bit), &out), kSoundErrBadFormat);
  EXPECT_EQ(device_->CreateSoundBuffer(desc(4096, adpcm), &out), kSoundErrBadFormat);
  EXPECT_EQ(device_->CreateSoundBuffer(desc(4096, MakePcmFormat(99, 2)), &out), kSoundErrBadFormat);
  EXPECT_EQ(device_->CreateSoundBuffer(desc(4098, MakePcmFormat(44100, 2)), &out),
            kSoundErrInvalidParam);
  EXPECT_EQ(device_->CreateSoundBuffer(desc(0x10000000, MakePcmFormat(44100, 2)), &out),
            kSoundErrInvalidParam);

  auto buffer = MakeBuffer(44100, 2, 4096);
  LockedRegions r;
  EXPECT_EQ(buffer->Lock(4096, 4, &r), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->Lock(0, 4100, &r), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->Lock(0, 0, &r), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->Unlock(LockedRegions{}), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->SetVolume(1), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->SetPan(10001), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->SetFrequency(99), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->SetFrequency(100001), kSoundErrInvalidParam);
  EXPECT_EQ(buffer->SetCurrentPosition(4096), kSoundErrInvalidParam);

  std::shared_ptr<SoundNotify> notify;
  ASSERT_EQ(buffer->QueryNotify(&notify), kSoundOk);
  const EventHandle e = Event::Create();
  EXPECT_EQ(notify->SetNotificationPositions(std::vector<NotifyPosition>{{4096, e}}),
            kSoundErrInvalidParam);
  EXPECT_EQ(notify->SetNotificationPositions(std::vector<NotifyPosition>{{0, nullptr}}),
            kSoundErrInvalidParam);
  buffer->Play(kPlayLooping);
  EXPECT_EQ(notify->SetNotificationPositions(std::vector<NotifyPosition>{{0, e}}),
            kSoundErrInvalidCall);

  auto plain = MakeBuffer(44100, 2, 4096, 0);
  EXPECT_EQ(plain->SetVolume(0), kSoundErrControlUnavailable);
  EXPECT_EQ(plain->SetPan(0), kSoundErrControlUnavailable);
  EXPECT_EQ(plain->SetFrequency(44100), kSoundErrControlUnavailable);
  EXPECT_EQ(plain->QueryNotify(&notify), kSoundErrInvalidParam);
}

TEST(NullSoundTest, PlaysAndRecordsOnTheClockWithoutASoundCard) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kNull), SoundBackend::kNull);
  std::shared_ptr<SoundDevice> device;
  ASSERT_EQ(SoundCreate(nullptr, &device), kSoundOk);
  std::shared_ptr<SoundBuffer> buffer;
  ASSERT_EQ(device->CreateSoundBuffer({kPlaybackCaps, 800, MakePcmFormat(8000, 1)}, &buffer),
            kSoundOk);
  const std::vector<EventHandle> events = {Event::Create(), Event::Create()};
  std::shared_ptr<SoundNotify> notify;
  ASSERT_EQ(buffer->QueryNotify(&notify), kSoundOk);
  ASSERT_EQ(notify->SetNotificationPositions(
                std::vector<NotifyPosition>{{400, events[0]}, {kNotifyOffsetStop, events[1]}}),
            kSoundOk);
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(WaitForAny(events, 5s), 0);
  buffer->Stop();
  EXPECT_EQ(WaitForAny(events, 5s), 1);

  std::shared_ptr<CaptureDevice> capture_device;
  ASSERT_EQ(SoundCaptureCreate(nullptr, &capture_device), kSoundOk);
  std::shared_ptr<CaptureBuffer> capture;
  ASSERT_EQ(capture_device->CreateCaptureBuffer({0, 800, MakePcmFormat(8000, 1)}, &capture),
            kSoundOk);
  ASSERT_EQ(capture->QueryNotify(&notify), kSoundOk);
  ASSERT_EQ(notify->SetNotificationPositions(std::vector<NotifyPosition>{{799, events[0]}}),
            kSoundOk);
  LockedRegions r;
  ASSERT_EQ(capture->Lock(0, 800, &r), kSoundOk);
  std::memset(r.ptr1, 0x55, r.bytes1);
  capture->Unlock(r);
  ASSERT_EQ(capture->Start(kCaptureStartLooping), kSoundOk);
  EXPECT_EQ(WaitForAny(events, 5s), 0);
  capture->Stop();
  ASSERT_EQ(capture->Lock(0, 800, &r), kSoundOk);
  EXPECT_EQ(std::count(r.ptr1, r.ptr1 + r.bytes1, 0), 800);  // silence overwrote the fill
  capture->Unlock(r);
}

}  // namespace
}  // namespace bw
