// The real audio stack: a private PulseAudio server with a null sink, reached through ALSA's
// "pulse" device by the PortAudio backend. A tone played there is recorded from the sink's
// monitor and must come back at its frequency and level.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/sound/sound.h"
#include "support/test_support.h"
#include "tone_measure.h"

extern char** environ;

namespace bw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kCaptureSeconds = 3;

// A PulseAudio daemon of our own in a scratch folder, stopped with the object. Should the test
// be killed instead, the daemon ends itself once it has been without clients for 30 s.
class PulseServer {
 public:
  explicit PulseServer(const fs::path& dir) : dir_(dir) {}
  ~PulseServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

  // Starts the daemon and waits for its socket; on failure `error` says why.
  bool Start(std::string* error) {
    const std::string socket = (dir_ / "native").string();
    std::vector<std::string> args = {
        "pulseaudio",
        "-n",
        "--daemonize=no",
        "--exit-idle-time=30",
        "--use-pid-file=no",
        "--disable-shm=yes",
        "--log-target=stderr",
        "-L",
        "module-null-sink sink_name=bwtest rate=44100 channels=2",
        "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + socket};
    std::vector<std::string> env = {"HOME=" + dir_.string(), "XDG_RUNTIME_DIR=" + dir_.string(),
                                    "XDG_CONFIG_HOME=" + (dir_ / "config").string(),
                                    "PATH=/usr/bin:/bin"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = (dir_ / "pulse.log").string();
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int spawned = posix_spawnp(&pid_, "pulseaudio", &actions, nullptr, Pointers(args).data(),
                                     Pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      pid_ = -1;
      *error = "could not start pulseaudio: " + std::string(std::strerror(spawned));
      return false;
    }
    for (auto waited = 0ms; waited < 10s; waited += 50ms) {
      if (fs::exists(socket)) {
        setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
        setenv("PULSE_SINK", "bwtest", 1);
        setenv("PULSE_SOURCE", "bwtest.monitor", 1);
        setenv("XDG_RUNTIME_DIR", dir_.string().c_str(), 1);
        return true;
      }
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(50ms);
    }
    *error = "pulseaudio did not come up; its log:\n" + ReadLog();
    return false;
  }

 private:
  static std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings)
      out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  }
  std::string ReadLog() const {
    std::ifstream in(dir_ / "pulse.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  pid_t pid_ = -1;
};

std::optional<DeviceId> PulseDevice(const std::vector<SoundDeviceInfo>& devices) {
  for (const SoundDeviceInfo& d : devices) {
    if (d.description.starts_with("pulse ")) return d.id;
  }
  return std::nullopt;
}

TEST(SoundStackTest, ToneThroughPulseAudioNullSinkComesBackFromItsMonitor) {
  test::TempDir dir;
  PulseServer pulse(dir.path());
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
