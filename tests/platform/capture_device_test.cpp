// The capture device's thread with an input of the test's own: the pieces it asks the input
// for, and Stop taking in what the input still held.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/sound/sound_internal.h"

namespace bw {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kMonoRate = 8000;
constexpr uint32_t kMonoBlockFrames = 800;  // mono 16-bit: 1,600 bytes a block

// Pieces the test hands in; at a CatchUp, the tail it set, as a device that holds some of what
// it captured would.
class ScriptedInput final : public InputStream {
 public:
  StreamFormat format() const override { return {kMonoRate, 1}; }
  bool Start() override { return true; }
  bool Next(InputPiece* piece) override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return interrupted_ || !queue_.empty() || catch_up_asked_; });
    if (interrupted_) return false;
    if (!queue_.empty()) {
      current_ = std::move(queue_.front());
      queue_.pop_front();
    } else {
      current_ = std::move(tail_);
      catch_up_asked_ = false;
    }
    *piece = {current_.data(), static_cast<uint32_t>(current_.size()), true};
    return true;
  }
  void Interrupt() override {
    Change([&] { interrupted_ = true; });
  }
  void PreferPieces(uint32_t frames) override {
    Change([&] { preferred_ = frames; });
  }
  bool CatchUp() override {
    Change([&] { catch_up_asked_ = true; });
    return true;
  }
  bool CatchingUp() const override {
    std::lock_guard lock(mutex_);
    return catch_up_asked_;
  }

  void Push(uint32_t frames) {
    Change([&] { queue_.emplace_back(frames, int16_t{100}); });
  }
  void HoldTail(uint32_t frames) {
    Change([&] { tail_.assign(frames, int16_t{-100}); });
  }
  uint32_t preferred() const {
    std::lock_guard lock(mutex_);
    return preferred_;
  }

 private:
  template <typename F>
  void Change(F f) {
    {
      std::lock_guard lock(mutex_);
      f();
    }
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<int16_t>> queue_;
  std::vector<int16_t> tail_;
  std::vector<int16_t> current_;
  uint32_t preferred_ = 0;
  bool catch_up_asked_ = false;
  bool interrupted_ = false;
};

class CaptureDeviceTest : public ::testing::Test {
 protected:
  CaptureDeviceTest() {
    auto input = std::make_unique<ScriptedInput>();
    input_ = input.get();
    device_ = std::make_shared<CaptureDeviceCore>(std::move(input));
    CaptureBufferDesc desc;
    desc.bytes = 4 * kMonoBlockFrames * 2;
    desc.format = WAVEFORMATEX{kWaveFormatPcm, 1, kMonoRate, kMonoRate * 2, 2, 16, 0};
    buffer_ = std::make_shared<CaptureCore>(device_, desc);
  }
  ~CaptureDeviceTest() override {
    buffer_.reset();
    device_.reset();
  }

  // Block events as the recorder sets them: at each block's end, the last one byte short.
  void NotifyAtBlocks() {
    std::vector<NotifyPosition> positions;
    for (uint32_t block = 1; block <= 4; ++block) {
      blocks_.push_back(Event::Create());
      positions.push_back({block * kMonoBlockFrames * 2 - (block == 4 ? 1 : 0), blocks_.back()});
    }
    ASSERT_EQ(buffer_->SetNotificationPositions(positions), kSoundOk);
  }
  uint64_t CapturedFrames() const {
    uint64_t bytes = 0;
    buffer_->GetTotals(&bytes, nullptr);
    return bytes / 2;
  }

  std::vector<EventHandle> blocks_;
  ScriptedInput* input_ = nullptr;
  std::shared_ptr<CaptureDeviceCore> device_;
  std::shared_ptr<CaptureCore> buffer_;
};

TEST_F(CaptureDeviceTest, TheInputIsAskedForPiecesAsFarApartAsTheBlocks) {
  NotifyAtBlocks();
  ASSERT_EQ(buffer_->Start(kCaptureStartLooping), kSoundOk);
  EXPECT_EQ(input_->preferred(), kMonoBlockFrames - 1)
      << "the nearest two events, in device frames";
  EXPECT_EQ(buffer_->Stop(), kSoundOk);
}

TEST_F(CaptureDeviceTest, StopTakesInWhatTheInputStillHeld) {
  NotifyAtBlocks();
  ASSERT_EQ(buffer_->Start(kCaptureStartLooping), kSoundOk);
  input_->Push(1000);
  // The first block's event fires once the whole piece is in.
  ASSERT_EQ(WaitForAny(std::span(blocks_).first(1), 10s), 0);
  ASSERT_EQ(CapturedFrames(), 1000u);
  input_->HoldTail(300);
  ASSERT_EQ(buffer_->Stop(), kSoundOk);
  EXPECT_EQ(CapturedFrames(), 1300u) << "the tail is in the buffer once Stop returns";
  LockedRegions r;
  ASSERT_EQ(buffer_->Lock(1000 * 2, 300 * 2, &r, 0), kSoundOk);
  const auto* tail = reinterpret_cast<const int16_t*>(r.ptr1);
  EXPECT_EQ(tail[0], -100);
  EXPECT_EQ(tail[299], -100);
  EXPECT_EQ(buffer_->Unlock(r), kSoundOk);
}

}  // namespace
}  // namespace bw
