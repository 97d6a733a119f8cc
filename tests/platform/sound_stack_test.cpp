// The real audio stack: a private PulseAudio server with a null sink, reached through ALSA's
// "pulse" device by the PortAudio backend. A tone played there is recorded from the sink's
// monitor and must come back at its frequency and level.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sound/sound.h"
#include "support/pulse_server.h"
#include "support/test_support.h"
#include "tone_measure.h"

namespace bw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kCaptureSeconds = 3;

std::optional<DeviceId> PulseDevice(const std::vector<SoundDeviceInfo>& devices) {
  for (const SoundDeviceInfo& d : devices) {
    if (d.description.starts_with("pulse ")) return d.id;
  }
  return std::nullopt;
}

TEST(SoundStackTest, ToneThroughPulseAudioNullSinkComesBackFromItsMonitor) {
  test::TempDir dir;
  test::PulseServer pulse(dir.path());
  std::string error;
  ASSERT_TRUE(pulse.Start(&error)) << error;
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPortAudio), SoundBackend::kPortAudio)
      << "PortAudio did not start";
  const std::optional<DeviceId> output = PulseDevice(EnumeratePlaybackDevices());
  const std::optional<DeviceId> input = PulseDevice(EnumerateCaptureDevices());
  ASSERT_TRUE(output && input) << "ALSA has no \"pulse\" device (libasound2-plugins missing?)";

  std::shared_ptr<SoundDevice> device;
  ASSERT_EQ(SoundCreate(&*output, &device), kSoundOk);
  std::shared_ptr<SoundBuffer> buffer;
  ASSERT_EQ(device->CreateSoundBuffer({0x000181E0, kRate * 4, MakePcmFormat(kRate, 2)}, &buffer),
            kSoundOk);
  LockedRegions r;
  ASSERT_EQ(buffer->Lock(0, kRate * 4, &r), kSoundOk);
  for (uint32_t f = 0; f < kRate; ++f) {
    const auto v =
        static_cast<int16_t>(std::lrint(16384 * std::sin(2 * M_PI * 1000.0 * f / kRate)));
    StoreLe16(r.ptr1 + 4 * f, static_cast<uint16_t>(v));
    StoreLe16(r.ptr1 + 4 * f + 2, static_cast<uint16_t>(v));
  }
  ASSERT_EQ(buffer->Unlock(r), kSoundOk);

  std::shared_ptr<CaptureDevice> capture_device;
  ASSERT_EQ(SoundCaptureCreate(&*input, &capture_device), kSoundOk);
  std::shared_ptr<CaptureBuffer> capture;
  const uint32_t capture_bytes = kRate * 4 * kCaptureSeconds;
  ASSERT_EQ(
      capture_device->CreateCaptureBuffer({0, capture_bytes, MakePcmFormat(kRate, 2)}, &capture),
      kSoundOk);
  std::shared_ptr<SoundNotify> notify;
  ASSERT_EQ(capture->QueryNotify(&notify), kSoundOk);
  const std::vector<EventHandle> full = {Event::Create()};
  ASSERT_EQ(
      notify->SetNotificationPositions(std::vector<NotifyPosition>{{kNotifyOffsetStop, full[0]}}),
      kSoundOk);

  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  ASSERT_EQ(capture->Start(0), kSoundOk);  // not looping: stops when full
  ASSERT_EQ(WaitForAny(full, 20s), 0) << "the capture buffer did not fill within 20 s";
  buffer->Stop();

  ASSERT_EQ(capture->Lock(0, capture_bytes, &r), kSoundOk);
  std::vector<int16_t> samples(capture_bytes / 2);
  std::memcpy(samples.data(), r.ptr1, r.bytes1);
  capture->Unlock(r);
  // The last second: well after the tone reached the sink.
  const std::span<const int16_t> last(samples.end() - kRate * 2, samples.end());
  for (int channel = 0; channel < 2; ++channel) {
    const std::vector<double> x = test::Channel(last, 2, channel);
    EXPECT_NEAR(test::ToneHz(x, kRate), 1000, 2) << "channel " << channel;
    EXPECT_NEAR(test::RmsDb(x), 20 * std::log10(0.5 / std::sqrt(2.0)), 1) << "channel " << channel;
  }
}

}  // namespace
}  // namespace bw
