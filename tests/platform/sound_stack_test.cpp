// The real audio stack: a private PulseAudio server with a null sink, reached by the server
// backend (libpulse) and by the PortAudio backend through ALSA's "pulse" device. A tone played
// there is recorded from the sink's monitor and must come back at its frequency and level;
// sinks plugged in and pulled out while the program runs are followed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/acm/libav.h"
#include "platform/sound/sound.h"
#include "support/pulse_server.h"
#include "support/test_support.h"
#include "support/wave_image.h"
#include "tone_measure.h"

namespace bw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kCaptureSeconds = 3;
const double kToneDb = 20 * std::log10(0.5 / std::sqrt(2.0));

// Polls `done` until it holds; false after `timeout`. The server's state changes by itself,
// so there is no event to wait on.
bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

std::optional<DeviceId> Described(const std::vector<SoundDeviceInfo>& devices,
                                  const std::function<bool(const std::string&)>& match) {
  for (const SoundDeviceInfo& d : devices) {
    if (match(d.description)) return d.id;
  }
  return std::nullopt;
}

std::optional<DeviceId> Named(const std::vector<SoundDeviceInfo>& devices,
                              const std::string& description) {
  return Described(devices, [&](const std::string& d) { return d == description; });
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// How a recording is laid out.
struct Layout {
  uint32_t rate = kRate;
  uint16_t channels = 2;
};

void ExpectTone(std::span<const int16_t> interleaved, const std::string& where,
                Layout layout = {}) {
  ASSERT_GE(interleaved.size(), layout.rate) << where;
  for (int channel = 0; channel < layout.channels; ++channel) {
    const std::vector<double> x = test::Channel(interleaved, layout.channels, channel);
    EXPECT_NEAR(test::ToneHzByPeriod(x, layout.rate), 1000, 2) << where << ", channel " << channel;
    EXPECT_NEAR(test::RmsDb(x), kToneDb, 1) << where << ", channel " << channel;
  }
}

// A monitor that has just been opened may take a while to deliver (a null sink renders in
// blocks of up to two seconds until a client asks for less).
void ExpectLastSecondIsTone(std::span<const int16_t> interleaved, const std::string& where,
                            Layout layout = {}) {
  const std::size_t second = std::size_t{layout.rate} * layout.channels;
  ASSERT_GE(interleaved.size(), second) << where;
  ExpectTone(interleaved.subspan(interleaved.size() - second), where, layout);
}

// `frames` frames of a 1 kHz stereo tone at half scale, as 16-bit samples at `out`.
void WriteTone(uint8_t* out, uint32_t frames) {
  for (uint32_t f = 0; f < frames; ++f) {
    const auto v =
        static_cast<int16_t>(std::lrint(16384 * std::sin(2 * M_PI * 1000.0 * f / kRate)));
    StoreLe16(out + 4 * f, static_cast<uint16_t>(v));
    StoreLe16(out + 4 * f + 2, static_cast<uint16_t>(v));
  }
}

// A looping second of a 1 kHz stereo tone at half scale, playing on `output`; `stopped`, when
// given, fires whenever it stops.
std::shared_ptr<SoundBuffer> PlayTone(const DeviceId* output, EventHandle stopped = nullptr) {
  std::shared_ptr<SoundDevice> device;
  EXPECT_EQ(SoundCreate(output, &device), kSoundOk);
  std::shared_ptr<SoundBuffer> buffer;
  EXPECT_EQ(device->CreateSoundBuffer({0x000181E0, kRate * 4, MakePcmFormat(kRate, 2)}, &buffer),
            kSoundOk);
  if (!buffer) return nullptr;
  if (stopped) {
    std::shared_ptr<SoundNotify> notify;
    EXPECT_EQ(buffer->QueryNotify(&notify), kSoundOk);
    EXPECT_EQ(notify->SetNotificationPositions(
                  std::vector<NotifyPosition>{{kNotifyOffsetStop, std::move(stopped)}}),
              kSoundOk);
  }
  LockedRegions r;
  EXPECT_EQ(buffer->Lock(0, kRate * 4, &r), kSoundOk);
  WriteTone(r.ptr1, kRate);
  EXPECT_EQ(buffer->Unlock(r), kSoundOk);
  EXPECT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  return buffer;
}

class SoundStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // ALSA's a52 and lavrate plugins load FFmpeg's libraries as PortAudio lists the devices,
    // and unload them again, which leaves what those allocated as they loaded out of
    // LeakSanitizer's sight. Held open here, as the program holds them once it needs them.
    ASSERT_TRUE(acm::LoadLibavCodec());
    std::string error;
    ASSERT_TRUE(pulse_.Start(&error)) << error;
  }

  // Plays the tone on `output` while `input` records kCaptureSeconds into a buffer of `layout`;
  // the last second of the recording must be the tone.
  void ExpectRoundTrip(const DeviceId* output, const DeviceId* input, Layout layout = {}) {
    std::shared_ptr<CaptureDevice> capture_device;
    ASSERT_EQ(SoundCaptureCreate(input, &capture_device), kSoundOk);
    std::shared_ptr<CaptureBuffer> capture;
    const uint32_t capture_bytes = layout.rate * 2 * layout.channels * kCaptureSeconds;
    ASSERT_EQ(capture_device->CreateCaptureBuffer(
                  {0, capture_bytes, MakePcmFormat(layout.rate, layout.channels)}, &capture),
              kSoundOk);
    std::shared_ptr<SoundNotify> notify;
    ASSERT_EQ(capture->QueryNotify(&notify), kSoundOk);
    const std::vector<EventHandle> full = {Event::Create()};
    ASSERT_EQ(
        notify->SetNotificationPositions(std::vector<NotifyPosition>{{kNotifyOffsetStop, full[0]}}),
        kSoundOk);

    const std::shared_ptr<SoundBuffer> buffer = PlayTone(output);
    ASSERT_TRUE(buffer);
    ASSERT_EQ(capture->Start(0), kSoundOk);  // not looping: stops when full
    ASSERT_EQ(WaitForAny(full, 20s), 0) << "the capture buffer did not fill within 20 s";
    buffer->Stop();

    LockedRegions r;
    ASSERT_EQ(capture->Lock(0, capture_bytes, &r), kSoundOk);
    std::vector<int16_t> samples(capture_bytes / 2);
    std::memcpy(samples.data(), r.ptr1, r.bytes1);
    capture->Unlock(r);
    // The last second: well after the tone reached the sink.
    ExpectLastSecondIsTone(samples, "recorded", layout);
  }

  test::TempDir dir_;
  test::PulseServer pulse_{dir_.path()};
};

TEST_F(SoundStackTest, ToneThroughPortAudioComesBackFromTheMonitor) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPortAudio), SoundBackend::kPortAudio)
      << "PortAudio did not start";
  const auto alsa_pulse = [](const std::string& d) { return d.starts_with("pulse "); };
  const std::optional<DeviceId> output = Described(EnumeratePlaybackDevices(), alsa_pulse);
  const std::optional<DeviceId> input = Described(EnumerateCaptureDevices(), alsa_pulse);
  ASSERT_TRUE(output && input) << "ALSA has no \"pulse\" device (libasound2-plugins missing?)";
  ExpectRoundTrip(&*output, &*input);
}

TEST_F(SoundStackTest, ToneThroughTheServerBackendComesBackFromTheMonitor) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kAuto), SoundBackend::kPulse)
      << "the server answers, so auto picks it";
  const std::optional<DeviceId> output = Named(EnumeratePlaybackDevices(), "Null Output");
  const std::optional<DeviceId> input = Named(EnumerateCaptureDevices(), "Monitor of Null Output");
  ASSERT_TRUE(output && input) << "the server's sink and its monitor are listed";
  ExpectRoundTrip(&*output, &*input);
  ExpectRoundTrip(nullptr, nullptr);  // the default devices
  // The server's 16-bit stereo frames, mapped to mono and resampled on arrival.
  ExpectRoundTrip(nullptr, nullptr, {22050, 1});
}

// A recorder takes its blocks 0.8 s apart, so the server is asked to send what it captures in
// pieces that long (the source runs with that latency) rather than every 150 ms, and the
// device thread wakes once a block. Stop asks for what the server still holds.
TEST_F(SoundStackTest, ARecordingIsSentInPiecesAsLongAsItsBlocks) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  std::shared_ptr<CaptureDevice> device;
  ASSERT_EQ(SoundCaptureCreate(nullptr, &device), kSoundOk);
  constexpr uint32_t kBlockBytes = kRate * 4 * 4 / 5;
  std::shared_ptr<CaptureBuffer> capture;
  ASSERT_EQ(device->CreateCaptureBuffer({0, 4 * kBlockBytes, MakePcmFormat(kRate, 2)}, &capture),
            kSoundOk);
  std::shared_ptr<SoundNotify> notify;
  ASSERT_EQ(capture->QueryNotify(&notify), kSoundOk);
  std::vector<NotifyPosition> blocks;
  for (uint32_t b = 1; b <= 4; ++b)
    blocks.push_back({b * kBlockBytes - (b == 4 ? 1 : 0), Event::Create()});
  ASSERT_EQ(notify->SetNotificationPositions(blocks), kSoundOk);
  ASSERT_EQ(capture->Start(kCaptureStartLooping), kSoundOk);
  std::optional<double> latency;
  EXPECT_TRUE(WaitUntil(
      [&] {
        latency = test::PulseServer::ConfiguredLatencyMs("bwtest.monitor");
        return latency && *latency > 700 && *latency < 900;
      },
      30s))
      << "the monitor runs with " << latency.value_or(0) << " ms";
  EXPECT_EQ(capture->Stop(), kSoundOk);
}

TEST_F(SoundStackTest, SinksPluggedInAndPulledOutShowInTheNextListing) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  EXPECT_FALSE(Named(EnumeratePlaybackDevices(), "Headset"));
  const std::string module = test::PulseServer::LoadNullSink("headset", "Headset");
  ASSERT_FALSE(module.empty());
  const std::optional<DeviceId> plugged = Named(EnumeratePlaybackDevices(), "Headset");
  ASSERT_TRUE(plugged) << "a sink loaded while the program runs is listed";
  EXPECT_TRUE(Named(EnumerateCaptureDevices(), "Monitor of Headset"));
  EXPECT_NE(*plugged, *Named(EnumeratePlaybackDevices(), "Null Output"));
  ASSERT_TRUE(test::PulseServer::UnloadModule(module));
  EXPECT_FALSE(Named(EnumeratePlaybackDevices(), "Headset"));
  EXPECT_FALSE(Named(EnumerateCaptureDevices(), "Monitor of Headset"));
}

TEST_F(SoundStackTest, PlaybackOnASinkPulledOutGoesOnOnTheDefaultSink) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  const std::string module = test::PulseServer::LoadNullSink("speaker", "Speaker");
  ASSERT_FALSE(module.empty());
  const std::optional<DeviceId> speaker = Named(EnumeratePlaybackDevices(), "Speaker");
  ASSERT_TRUE(speaker);
  const std::shared_ptr<SoundBuffer> buffer = PlayTone(&*speaker);
  ASSERT_TRUE(buffer);
  ASSERT_TRUE(WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "speaker"); }))
      << "the stream plays on the sink it was opened for";
  ExpectLastSecondIsTone(pulse_.RecordSink(3000, "speaker"), "on the sink chosen");

  ASSERT_TRUE(test::PulseServer::UnloadModule(module));
  ASSERT_TRUE(WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "bwtest"); }))
      << "the stream goes on on the default sink";
  ExpectLastSecondIsTone(pulse_.RecordSink(3000), "on the default sink");
  uint32_t status = 0;
  ASSERT_EQ(buffer->GetStatus(&status), kSoundOk);
  EXPECT_EQ(status & kBufferStatusPlaying, kBufferStatusPlaying);
}

TEST_F(SoundStackTest, PlaybackOnTheLastSinkPulledOutStopsAsLostAndPlaysOnceASinkIsBack) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  const std::vector<EventHandle> stopped = {Event::Create()};
  const std::shared_ptr<SoundBuffer> buffer = PlayTone(nullptr, stopped[0]);
  ASSERT_TRUE(buffer);
  ASSERT_TRUE(WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "bwtest"); }));
  EXPECT_FALSE(buffer->DeviceLost());

  ASSERT_TRUE(test::PulseServer::UnloadSink("bwtest"));
  ASSERT_EQ(WaitForAny(stopped, 20s), 0) << "the buffer stops once no sink is left";
  EXPECT_TRUE(buffer->DeviceLost());
  uint32_t status = kBufferStatusPlaying;
  ASSERT_EQ(buffer->GetStatus(&status), kSoundOk);
  EXPECT_EQ(status & kBufferStatusPlaying, 0u);

  // A sink plugged in again: the next Play of the same buffer plays there.
  ASSERT_FALSE(test::PulseServer::LoadNullSink("bwtest", "Back").empty());
  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  EXPECT_FALSE(buffer->DeviceLost());
  ASSERT_TRUE(WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "bwtest"); }))
      << "the device tries again when a buffer plays";
  ExpectLastSecondIsTone(pulse_.RecordSink(3000), "on the sink plugged in again");
}

// A program with a file open but stopped must not keep the sound card running: once what its
// stream queued has been heard, the stream rests, so that the sink goes idle (and a desktop's
// server suspends it) until the program plays again.
TEST_F(SoundStackTest, AStoppedPlaybackLetsTheSinkGoIdleUntilItPlaysAgain) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  const auto sink_is = [](const char* state) {
    return [state] { return test::PulseServer::SinkState("bwtest") == state; };
  };
  const std::shared_ptr<SoundBuffer> buffer = PlayTone(nullptr);
  ASSERT_TRUE(buffer);
  ASSERT_TRUE(WaitUntil(sink_is("RUNNING"))) << "the sink plays the stream";
  ASSERT_EQ(buffer->Stop(), kSoundOk);
  EXPECT_TRUE(WaitUntil(sink_is("IDLE"))) << "the stopped stream still holds the sink";

  ASSERT_EQ(buffer->Play(kPlayLooping), kSoundOk);
  EXPECT_TRUE(WaitUntil(sink_is("RUNNING"))) << "the stream plays again";
  ExpectLastSecondIsTone(pulse_.RecordSink(3000), "played again");
}

// Of 16-bit stereo `interleaved`: the frames from the first to the last that carry sound.
std::size_t SoundingFrames(std::span<const int16_t> interleaved) {
  const auto loud = [](int16_t v) { return std::abs(v) > 1000; };
  std::optional<std::size_t> first, last;
  for (std::size_t f = 0; f < interleaved.size() / 2; ++f) {
    if (!loud(interleaved[2 * f])) continue;
    if (!first) first = f;
    last = f;
  }
  return first ? *last - *first + 1 : 0;
}

// A pipe sink writes out everything it plays, in order, with no rewinds: what it wrote of a
// tone is exactly what was heard of it.
TEST_F(SoundStackTest, StopLetsWhatTheServerHoldsPlayOutAndStopNowDropsIt) {
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  const fs::path fifo = dir_ / "played.fifo";
  ASSERT_FALSE(test::PulseServer::LoadPipeSink("bwpipe", fifo).empty());
  const fs::path raw = dir_ / "played.raw";
  test::BackgroundProcess drain({"cat", fifo.string()}, raw.string());
  const std::optional<DeviceId> pipe = Described(
      EnumeratePlaybackDevices(), [](const std::string& d) { return d.find("FIFO") != d.npos; });
  ASSERT_TRUE(pipe);
  // Read from where a take started only: the file grows by the sink's silence all the while.
  const auto frames_played = [&] {
    std::error_code ec;
    const std::uintmax_t bytes = fs::file_size(raw, ec);
    return ec ? std::size_t{0} : static_cast<std::size_t>(bytes / 4);
  };
  // The sounding frames the sink played from frame `from` on.
  const auto heard_since = [&](std::size_t from) {
    return SoundingFrames(test::Pcm16Samples(test::ReadFileBytes(raw, std::uintmax_t{from} * 4)));
  };
  constexpr uint32_t kToneFrames = kRate * 10;
  for (const bool now : {false, true}) {
    const std::string how = now ? "StopNow" : "Stop";
    std::shared_ptr<SoundDevice> device;
    ASSERT_EQ(SoundCreate(&*pipe, &device), kSoundOk);
    std::shared_ptr<SoundBuffer> buffer;
    ASSERT_EQ(
        device->CreateSoundBuffer({0x000181E0, kToneFrames * 4, MakePcmFormat(kRate, 2)}, &buffer),
        kSoundOk);
    LockedRegions r;
    ASSERT_EQ(buffer->Lock(0, kToneFrames * 4, &r), kSoundOk);
    WriteTone(r.ptr1, kToneFrames);
    ASSERT_EQ(buffer->Unlock(r), kSoundOk);
    const std::size_t before = frames_played();
    ASSERT_EQ(buffer->Play(0), kSoundOk);
    // A second of it heard: the server's queue has filled.
    ASSERT_TRUE(WaitUntil([&] { return heard_since(before) > kRate; })) << how;
    ASSERT_EQ(now ? buffer->StopNow() : buffer->Stop(), kSoundOk);
    uint32_t cursor = 0;
    ASSERT_EQ(buffer->GetCurrentPosition(&cursor, nullptr), kSoundOk);
    const uint32_t mixed = cursor / 4;
    // Whatever the server held has played (or gone) once the sink has run on past it.
    ASSERT_TRUE(WaitUntil([&] { return frames_played() > before + mixed + kRate; }, 20s)) << how;
    buffer.reset();
    device.reset();
    const std::size_t heard = heard_since(before);
    if (now) {
      EXPECT_LT(heard + kRate / 20, mixed) << "what the server held played on after StopNow";
    } else {
      EXPECT_GE(heard + kRate / 100, mixed) << "what the server held was cut off by Stop";
    }
  }
}

// The position `brookwave-cli play` showed last ("00:03" of "00:03 / 01:30").
std::string LastPlayPosition(const std::string& progress) {
  const std::size_t slash = progress.rfind(" / ");
  if (slash == std::string::npos) return "";
  const std::size_t start = progress.find_last_of("\r ", slash - 1);
  return progress.substr(start + 1, slash - start - 1);
}

// `brookwave-cli ARGS`, ended by `timeout` should it still run after a minute (a hang).
test::CommandResult RunCliBounded(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"timeout", "60", BW_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::RunCommand(argv);
}

// 90 s of a 1 kHz tone written by sox, for playbacks that must end before their file does.
bool WriteLongTone(const fs::path& path) {
  return test::RunCommand({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path.string(),
                           "synth", "90", "sine", "1000", "vol", "0.5"})
             .exit_code == 0;
}

TEST_F(SoundStackTest, PlaybackThroughTheEngineStopsWhenTheLastSinkIsPulledOut) {
  BW_REQUIRE_PROGRAM("sox");
  const fs::path song = dir_ / "long.wav";
  ASSERT_TRUE(WriteLongTone(song));
  std::optional<test::CommandResult> played;
  std::thread player([&] { played = RunCliBounded({"play", song.string(), "--no-fade-in"}); });
  const bool started =
      WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "bwtest"); }, 30s);
  const bool unloaded = started && test::PulseServer::UnloadSink("bwtest");
  player.join();  // the event: the program ends
  ASSERT_TRUE(started && played) << (played ? played->err : "");
  ASSERT_TRUE(unloaded);
  EXPECT_EQ(played->exit_code, 0) << "it stops as Stop does, not by the timeout\n" << played->err;
  const std::string at = LastPlayPosition(played->out);
  EXPECT_FALSE(at.empty()) << played->out;
  EXPECT_LT(at, "00:30") << "it stopped where the sink went, not at the end of the file";
}

// Of `interleaved` (44,100 Hz stereo): the seconds whose 10 ms stretches carry sound, and
// the left channel's last 50 ms of sound.
struct Heard {
  double seconds = 0;
  std::vector<double> last;
};
Heard WhatWasHeard(std::span<const int16_t> interleaved) {
  constexpr std::size_t kStretch = 441 * 2;
  Heard heard;
  std::size_t end = 0;
  for (std::size_t at = 0; at + kStretch <= interleaved.size(); at += kStretch) {
    const auto stretch = interleaved.subspan(at, kStretch);
    const auto loud = [](int16_t s) { return s > 4000; };
    if (std::none_of(stretch.begin(), stretch.end(), loud)) continue;
    heard.seconds += 0.01;
    end = at + static_cast<std::size_t>(
                   std::find_if(stretch.rbegin(), stretch.rend(), loud).base() - stretch.begin());
  }
  const std::size_t tail = std::min<std::size_t>(end, 2205 * 2);
  heard.last = test::Channel(interleaved.subspan(end - tail, tail), 2, 0);
  return heard;
}

// IMA ADPCM refills its ring in blocks of 46 ms, shorter than what the server stream takes at
// one write: the device must not mix past what the engine has refilled, or the file plays as
// bursts between stretches of silence, taking several times its length. And the program ends
// once the last block is handed over, with the server's queue still to be heard: a sweep from
// 300 Hz to 3300 Hz must be heard to its top.
TEST_F(SoundStackTest, AFileOfShortBlocksPlaysWholeInItsOwnTime) {
  BW_REQUIRE_PROGRAM("sox");
  const fs::path song = dir_ / "ima.wav";
  ASSERT_EQ(test::RunCommand({"sox", "-n", "-r", "44100", "-c", "2", "-e", "ima-adpcm",
                              song.string(), "synth", "3", "sine", "300-3300", "vol", "0.5"})
                .exit_code,
            0);
  // The recording runs before the program starts, so that it hears the sweep from its start.
  std::vector<int16_t> recorded;
  std::thread recorder([&] { recorded = pulse_.RecordSink(6000); });
  const bool recording =
      WaitUntil([] { return Contains(test::PulseServer::RecordingSources(), "bwtest.monitor"); });
  const test::CommandResult played =
      RunCliBounded({"play", song.string(), "--no-fade-in", "--no-fade-out"});
  recorder.join();
  ASSERT_TRUE(recording);
  ASSERT_EQ(played.exit_code, 0) << played.err;
  const Heard heard = WhatWasHeard(recorded);
  EXPECT_GT(heard.seconds, 2.5) << "of the 3 s sweep, within the 6 s recorded";
  EXPECT_GT(test::ToneHzByPeriod(heard.last, kRate), 3150) << "where the sound ends";
}

// With neither fade the loop sleeps between the playback thread's messages; Ctrl+C must still
// stop it (not end the process by the signal, as it would in a thread that does not block it).
TEST_F(SoundStackTest, CtrlCStopsAPlaybackThatSleepsBetweenMessages) {
  BW_REQUIRE_PROGRAM("sox");
  const fs::path song = dir_ / "long.wav";
  ASSERT_TRUE(WriteLongTone(song));
  const fs::path progress = dir_ / "progress.txt";
  test::BackgroundProcess player(
      {BW_CLI_PATH, "play", song.string(), "--no-fade-in", "--no-fade-out"}, progress.string());
  ASSERT_TRUE(
      WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "bwtest"); }, 30s));
  player.Signal(SIGINT);
  ASSERT_TRUE(WaitUntil([&] { return !player.Running(); }, 30s)) << "Ctrl+C left it playing";
  EXPECT_EQ(player.Wait(), 0) << "it stops as Stop does, not by the signal";
  const std::vector<uint8_t> shown = test::ReadFileBytes(progress);
  const std::string at = LastPlayPosition(std::string(shown.begin(), shown.end()));
  EXPECT_FALSE(at.empty());
  EXPECT_LT(at, "00:30");
}

TEST_F(SoundStackTest, RecordingFromTheLastSourcePulledOutIsFinishedAsAValidFile) {
  BW_REQUIRE_PROGRAM("sox");
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  // The null sink's monitor delivers in real time only while something plays on the sink.
  const std::shared_ptr<SoundBuffer> tone = PlayTone(nullptr);
  ASSERT_TRUE(tone);
  const fs::path out = dir_ / "lost.wav";
  std::optional<test::CommandResult> recorded;
  std::thread recorder([&] {
    recorded = RunCliBounded({"record", out.string(), "--format", "pcm:44100:2:16", "--seconds",
                              "40", "--backend", "pulse"});
  });
  // Half a second recorded before the source goes (the file's sizes follow every block): the
  // file must keep it.
  constexpr uintmax_t kBefore = kRate * 2;
  const bool started = WaitUntil(
      [&] {
        std::error_code ec;
        return fs::file_size(out, ec) > kBefore && !ec;
      },
      30s);
  const bool unloaded = started && test::PulseServer::UnloadSink("bwtest");
  recorder.join();
  ASSERT_TRUE(started && recorded) << (recorded ? recorded->err : "");
  ASSERT_TRUE(unloaded);
  EXPECT_EQ(recorded->exit_code, 0) << recorded->err;

  const std::optional<test::ParsedWave> wave = test::ParseWave(test::ReadFileBytes(out));
  ASSERT_TRUE(wave) << "the RIFF and data sizes agree with the bytes in the file";
  EXPECT_EQ(wave->format.format().nSamplesPerSec, kRate);
  EXPECT_EQ(wave->data.size() % 4, 0u);
  const double seconds = double(wave->data.size()) / (kRate * 4);
  EXPECT_GE(wave->data.size(), kBefore - 44) << "what was recorded is kept";
  EXPECT_LT(seconds, 20) << "the recording ended when the source went, not after 40 s";
  const test::CommandResult info = test::RunCommand({"soxi", "-D", out.string()});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_NEAR(std::stod(info.out), seconds, 0.001) << "sox reads the same length";
}

// An ALSA configuration of null PCMs named `names`, which PortAudio lists as devices.
void WriteNullPcms(const fs::path& path, const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += "pcm." + name + " { type null }\n";
  test::WriteFileBytes(path, {text.begin(), text.end()});
}

std::function<bool(const std::string&)> AlsaDevice(const std::string& name) {
  return [name](const std::string& d) { return d == name + " (ALSA)"; };
}

TEST_F(SoundStackTest, PortAudioListsDevicesPluggedInSinceWhileNoneOfItsStreamsIsOpen) {
  // ALSA reads this file after its own, and again when it changes.
  const fs::path conf = dir_ / "asound.conf";
  WriteNullPcms(conf, {"bwfirst"});
  setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf.string()).c_str(), 1);
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPortAudio), SoundBackend::kPortAudio);
  const std::optional<DeviceId> first =
      Described(EnumeratePlaybackDevices(), AlsaDevice("bwfirst"));
  ASSERT_TRUE(first) << "ALSA's null PCM is listed";
  EXPECT_FALSE(Described(EnumeratePlaybackDevices(), AlsaDevice("bwsecond")));

  WriteNullPcms(conf, {"bwfirst", "bwsecond"});
  const std::vector<SoundDeviceInfo> plugged = EnumeratePlaybackDevices();
  EXPECT_EQ(Described(plugged, AlsaDevice("bwfirst")), first) << "the same id as before";
  EXPECT_TRUE(Described(plugged, AlsaDevice("bwsecond"))) << "a device added since is listed";

  // While a stream plays, PortAudio cannot start again under it: the list stays as it was
  // and the stream plays on.
  std::shared_ptr<SoundBuffer> playing = PlayTone(&*first);
  ASSERT_TRUE(playing);
  WriteNullPcms(conf, {"bwfirst", "bwsecond", "bwthird"});
  EXPECT_FALSE(Described(EnumeratePlaybackDevices(), AlsaDevice("bwthird")));
  uint32_t status = 0;
  ASSERT_EQ(playing->GetStatus(&status), kSoundOk);
  EXPECT_EQ(status & kBufferStatusPlaying, kBufferStatusPlaying);
  EXPECT_FALSE(playing->DeviceLost());

  WriteNullPcms(conf, {"bwthird"});
  playing.reset();  // the last reference: its device closes
  const std::vector<SoundDeviceInfo> after = EnumeratePlaybackDevices();
  EXPECT_TRUE(Described(after, AlsaDevice("bwthird")));
  EXPECT_FALSE(Described(after, AlsaDevice("bwfirst"))) << "a device pulled out is gone";
}

// An ALSA device of the server's through PortAudio, with ALSA's default device a null PCM: when
// the server behind the device goes, playback and recording go on on the default device.
TEST_F(SoundStackTest, PortAudioStreamsOnADeviceThatGoesAwayGoOnOnTheDefaultDevice) {
  const std::string server = std::getenv("PULSE_SERVER");
  const fs::path conf = dir_ / "asound.conf";
  const std::string text =
      "pcm.!default { type null }\npcm.bwserver { type pulse server \"" + server + "\" }\n";
  test::WriteFileBytes(conf, {text.begin(), text.end()});
  setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + conf.string()).c_str(), 1);
  // ALSA makes its "pulse" device the default when it finds a server as it reads its
  // configuration; here it must not.
  setenv("PULSE_SERVER", (dir_ / "none").c_str(), 1);
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPortAudio), SoundBackend::kPortAudio);
  const std::optional<DeviceId> output =
      Described(EnumeratePlaybackDevices(), AlsaDevice("bwserver"));
  const std::optional<DeviceId> input =
      Described(EnumerateCaptureDevices(), AlsaDevice("bwserver"));
  setenv("PULSE_SERVER", server.c_str(), 1);
  ASSERT_TRUE(output && input);

  const std::shared_ptr<SoundBuffer> buffer = PlayTone(&*output);
  ASSERT_TRUE(buffer);
  std::shared_ptr<CaptureDevice> capture_device;
  ASSERT_EQ(SoundCaptureCreate(&*input, &capture_device), kSoundOk);
  std::shared_ptr<CaptureBuffer> capture;
  ASSERT_EQ(capture_device->CreateCaptureBuffer({0, kRate * 4, MakePcmFormat(kRate, 2)}, &capture),
            kSoundOk);
  ASSERT_EQ(capture->Start(kCaptureStartLooping), kSoundOk);
  ASSERT_TRUE(WaitUntil(
      [] {
        return !test::PulseServer::PlaybackSinks().empty() &&
               !test::PulseServer::RecordingSources().empty();
      },
      30s))
      << "both streams run through the server";

  pulse_.Stop();
  // Played on: the position keeps moving, lap after lap of the looping second.
  const auto played_on = [&] {
    uint32_t first = 0, again = 0, write = 0;
    buffer->GetCurrentPosition(&first, &write);
    return WaitUntil([&] {
      buffer->GetCurrentPosition(&again, &write);
      return again != first;
    });
  };
  EXPECT_TRUE(played_on() && played_on() && played_on());
  EXPECT_FALSE(buffer->DeviceLost());
  uint32_t status = 0;
  ASSERT_EQ(buffer->GetStatus(&status), kSoundOk);
  EXPECT_EQ(status & kBufferStatusPlaying, kBufferStatusPlaying);
  // Recorded on: more than the buffer holds arrives after the server went.
  uint64_t captured = 0, lost = 0, later = 0;
  ASSERT_EQ(capture->GetTotals(&captured, &lost), kSoundOk);
  EXPECT_TRUE(WaitUntil([&] {
    capture->GetTotals(&later, &lost);
    return later > captured + kRate * 8;
  }));
  EXPECT_FALSE(capture->DeviceLost());
  ASSERT_EQ(capture->GetStatus(&status), kSoundOk);
  EXPECT_EQ(status & kCaptureStatusCapturing, kCaptureStatusCapturing);
}

// The four words that `brookwave-cli devices --backend pulse` lists for `description`.
std::string CliDeviceWords(const std::string& description) {
  const test::CommandResult listed = test::RunCli({"devices", "--backend", "pulse"});
  std::istringstream lines(listed.out);
  for (std::string line; std::getline(lines, line);) {
    const std::string prefix = "  " + description + "  ";
    if (!line.starts_with(prefix)) continue;
    std::istringstream words(line.substr(prefix.size()));
    std::string w[4];
    words >> w[0] >> w[1] >> w[2] >> w[3];
    return w[0] + "," + w[1] + "," + w[2] + "," + w[3];
  }
  return "";
}

TEST_F(SoundStackTest, RecordingFromASourcePulledOutFinishesAValidFile) {
  BW_REQUIRE_PROGRAM("sox");
  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  const std::string module = test::PulseServer::LoadNullSink("usbmic", "USB Mic");
  ASSERT_FALSE(module.empty());
  const std::string words = CliDeviceWords("Monitor of USB Mic");
  ASSERT_FALSE(words.empty());
  // Something to record: a null sink's monitor delivers in real time only while it plays.
  const std::optional<DeviceId> mic = Named(EnumeratePlaybackDevices(), "USB Mic");
  ASSERT_TRUE(mic);
  const std::shared_ptr<SoundBuffer> tone = PlayTone(&*mic);
  const fs::path out = dir_ / "out.wav";
  std::optional<test::CommandResult> recorded;
  std::thread recorder([&] {
    recorded = test::RunCli({"record", out.string(), "--format", "pcm:44100:2:16", "--seconds", "4",
                             "--backend", "pulse", "--device", words});
  });
  std::vector<std::string> sources;
  const bool started = WaitUntil([&] {
    sources = test::PulseServer::RecordingSources();
    return Contains(sources, "usbmic.monitor");
  });
  const bool unloaded = test::PulseServer::UnloadModule(module);
  const bool moved =
      WaitUntil([] { return Contains(test::PulseServer::RecordingSources(), "bwtest.monitor"); });
  recorder.join();
  ASSERT_TRUE(recorded);
  ASSERT_TRUE(started) << "the recording records from the source chosen, not from "
                       << (sources.empty() ? "" : sources[0]) << "\n"
                       << recorded->err;
  ASSERT_TRUE(unloaded);
  EXPECT_TRUE(moved) << "the recording goes on from the default source";
  EXPECT_EQ(recorded->exit_code, 0) << recorded->err;
  const test::CommandResult info = test::RunCommand({"soxi", "-D", out.string()});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_GT(std::stod(info.out), 1.0) << "what was recorded is kept";
  EXPECT_LT(std::stod(info.out), 4.5);
  EXPECT_EQ(test::RunCommand({"sox", out.string(), "-n", "stat"}).exit_code, 0)
      << "sox reads the file to its end";
}

TEST_F(SoundStackTest, AStoredDeviceIdFindsItsSinkAfterTheProgramAndTheServerRestart) {
  ASSERT_FALSE(test::PulseServer::LoadNullSink("dock", "Dock").empty());
  const std::string stored = CliDeviceWords("Dock");
  ASSERT_FALSE(stored.empty());

  // The server starts again (in a new folder, so that nothing of the first is left), and the
  // sinks come back in another order.
  pulse_.Stop();
  test::TempDir second_dir;
  test::PulseServer second(second_dir.path());
  std::string error;
  ASSERT_TRUE(second.Start(&error)) << error;
  ASSERT_FALSE(test::PulseServer::LoadNullSink("spare", "Spare").empty());
  ASSERT_FALSE(test::PulseServer::LoadNullSink("dock", "Dock").empty());
  EXPECT_EQ(CliDeviceWords("Dock"), stored);

  ASSERT_EQ(SelectSoundBackend(SoundBackend::kPulse), SoundBackend::kPulse);
  std::vector<int64_t> w;
  std::istringstream words(stored);
  for (std::string word; std::getline(words, word, ',');)
    w.push_back(std::stoll(word));
  ASSERT_EQ(w.size(), 4u);
  DeviceId id;
  for (int i = 0; i < 4; ++i)
    id.words[i] = static_cast<uint32_t>(w[i]);
  const std::shared_ptr<SoundBuffer> buffer = PlayTone(&id);
  ASSERT_TRUE(buffer);
  EXPECT_TRUE(WaitUntil([] { return Contains(test::PulseServer::PlaybackSinks(), "dock"); }))
      << "the stored id plays on its sink, not on the default one";
}

}  // namespace
}  // namespace bw
