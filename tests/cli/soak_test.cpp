// The real program on the real audio stack, stopped (SIGSTOP, SIGCONT) for seconds at a time
// while stress-ng loads the processors and the disk: a private PulseAudio server with a null
// sink plays a counter signal (each frame holds its own index), and `parec` records the sink's
// monitor as the control. A recording must hold every frame the control holds, in order; a
// played counter must come back from the monitor with no frame repeated or skipped.
//
// BW_SOAK_SECONDS (default 16) sets the length of the recording, BW_SOAK_FORMAT (default
// pcm:44100:2:16, or mp3:RATE:CHANNELS:KBPS) its format; bench/soak runs it for as long as
// asked. MPEG cannot keep the counter exactly: there the decoded length must match the time
// recorded.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/pulse_server.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBlockBytes = 141120;  // 0.8 s of 16-bit stereo

// Frame i: the low 16 bits of i on the left, the bits above them plus one on the right, so that
// no frame of the counter is silence.
std::vector<int16_t> Counter(uint32_t frames) {
  std::vector<int16_t> out(std::size_t{frames} * 2);
  for (uint32_t i = 0; i < frames; ++i) {
    out[2 * i] = static_cast<int16_t>(i & 0xFFFF);
    out[2 * i + 1] = static_cast<int16_t>((i >> 16) + 1);
  }
  return out;
}

// The counter indices of the sounding frames, in turn.
std::vector<uint32_t> Indices(const std::vector<int16_t>& stereo) {
  std::vector<uint32_t> out;
  for (std::size_t i = 0; i + 1 < stereo.size(); i += 2) {
    if (stereo[i] == 0 && stereo[i + 1] == 0) continue;
    const auto low = static_cast<uint16_t>(stereo[i]);
    const auto high = static_cast<uint32_t>(static_cast<uint16_t>(stereo[i + 1]) - 1);
    out.push_back(low | (high << 16));
  }
  return out;
}

// Where `indices` first steps other than by one, or nullopt when it never does.
std::optional<std::size_t> FirstBreak(const std::vector<uint32_t>& indices) {
  for (std::size_t i = 1; i < indices.size(); ++i) {
    if (indices[i] != indices[i - 1] + 1) return i;
  }
  return std::nullopt;
}

std::string Describe(const std::vector<uint32_t>& indices, std::size_t at) {
  char text[96];
  std::snprintf(text, sizeof text, "frame %zu: index %u after %u", at, indices[at],
                indices[at - 1]);
  return text;
}

uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

// Waits, polling, until `done` holds or `limit` passes; false then.
template <typename Condition>
bool WaitFor(Condition done, std::chrono::seconds limit) {
  const auto give_up = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > give_up) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// The last counter index in the last seconds of `path` so far: raw 16-bit stereo after
// `header` bytes, `bytes` of them (all there are when 0).
std::optional<uint32_t> LastIndex(const std::string& path, uint64_t header = 0,
                                  uint64_t bytes = 0) {
  const uint64_t end = header + (bytes ? bytes : FileSize(path) - std::min(FileSize(path), header));
  const uint64_t from = std::max(header, end > 4 * kRate ? end - 4 * kRate : 0);
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::vector<uint8_t> tail((end - from) / 4 * 4);
  in.read(reinterpret_cast<char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
  tail.resize(static_cast<std::size_t>(in.gcount()) / 4 * 4);
  const std::vector<uint32_t> indices = Indices(test::Pcm16Samples(tail));
  if (indices.empty()) return std::nullopt;
  return indices.back();
}

void Stall(const test::BackgroundProcess& process, std::chrono::milliseconds length) {
  process.Signal(SIGSTOP);
  std::this_thread::sleep_for(length);
  process.Signal(SIGCONT);
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"parec", "paplay", "stress-ng", "pulseaudio", "ffmpeg"}) {
      if (!test::HaveProgram(program)) GTEST_SKIP() << program << " is not installed";
    }
    std::string error;
    ASSERT_TRUE(pulse_.Start(&error)) << error;
    const char* seconds = std::getenv("BW_SOAK_SECONDS");
    seconds_ = seconds ? std::max(8, std::atoi(seconds)) : 16;
    const char* format = std::getenv("BW_SOAK_FORMAT");
    format_ = format ? format : "pcm:44100:2:16";
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // The control: everything the sink `sink` plays from now on, heard on its monitor.
  test::BackgroundProcess StartControl(const std::string& raw,
                                       const std::string& sink = "bwtest") const {
    return test::BackgroundProcess({"parec", "--device=" + sink + ".monitor", "--raw",
                                    "--format=s16le", "--rate=44100", "--channels=2",
                                    "--latency-msec=20", raw});
  }
  // CPU workers and a disk worker that syncs every write, beside the program.
  test::BackgroundProcess StartLoad() const {
    return test::BackgroundProcess({"nice", "-n", "5", "stress-ng", "--cpu", "2", "--hdd", "1",
                                    "--hdd-opts", "fsync", "--hdd-bytes", "16m", "--temp-path",
                                    dir_.path().string(), "--quiet"});
  }
  void StopControl(test::BackgroundProcess& control) {
    control.Signal(SIGINT);
    control.Wait();
  }

  test::TempDir dir_;
  test::PulseServer pulse_{dir_.path()};
  int seconds_ = 16;
  std::string format_;
};

TEST_F(Soak, ARecordingStoppedForSecondsUnderLoadHoldsEveryFrameTheControlHolds) {
  const bool pcm = format_ == "pcm:44100:2:16";
  const std::string counter = Path("counter.wav");
  test::WritePcmWave(counter, kRate, 2, Counter(kRate * (seconds_ + 60)));
  const std::string control_raw = Path("control.raw");
  test::BackgroundProcess control = StartControl(control_raw);
  test::BackgroundProcess player({"paplay", counter});
  ASSERT_TRUE(WaitFor([&] { return LastIndex(control_raw).has_value(); }, 20s))
      << "the counter never reached the sink's monitor";
  test::BackgroundProcess load = StartLoad();

  const std::string out = Path("take.wav");
  // Until Ctrl+C.
  const std::string messages = Path("messages.txt");
  test::BackgroundProcess recorder(
      {BW_CLI_PATH, "record", out, "--format", format_, "--seconds", "100000"}, messages);
  ASSERT_TRUE(recorder.started());
  const auto start = Clock::now();
  // The bit rate of "mp3:RATE:CHANNELS:KBPS".
  const double coded_bytes_per_second =
      pcm ? 0 : 125.0 * std::atoi(format_.substr(format_.rfind(':') + 1).c_str());
  // What it has written comes within three blocks of what the control has: whatever a stall
  // left waiting has been taken.
  const auto caught_up = [&] {
    if (!pcm) {
      // Coded at a constant rate: what the time recorded must have written by now.
      const double behind = std::chrono::duration<double>(Clock::now() - start).count() - 3.0;
      return test::DataChunkSize(out) >= std::max(1.0, behind) * coded_bytes_per_second;
    }
    constexpr uint64_t kHeader = 56;  // RIFF, fmt, fact and data headers of 16-bit PCM
    const std::optional<uint32_t> ours = LastIndex(out, kHeader, test::DataChunkSize(out));
    const std::optional<uint32_t> theirs = LastIndex(control_raw);
    return ours && theirs && *ours + 3 * kBlockBytes / 4 >= *theirs;
  };
  const std::chrono::milliseconds stalls[] = {1000ms, 3000ms, 6000ms};
  int stalled = 0;
  for (;; ++stalled) {
    ASSERT_TRUE(WaitFor(caught_up, 30s))
        << "the recording did not catch up after stall " << stalled;
    ASSERT_TRUE(recorder.Running());
    if (stalled >= 3 && Clock::now() - start >= std::chrono::seconds(seconds_)) break;
    Stall(recorder, stalls[stalled % 3]);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  recorder.Signal(SIGINT);
  EXPECT_EQ(recorder.Wait(), 0);
  load.Kill();
  StopControl(control);
  player.Kill();
  // The program's messages: "Record Completed" alone.
  const std::vector<uint8_t> said = test::ReadFileBytes(messages);
  const std::string text(said.begin(), said.end());
  EXPECT_EQ(text.find("lost"), std::string::npos) << text;
  EXPECT_NE(text.find("Record Completed"), std::string::npos) << text;

  const std::optional<test::ParsedWave> wave = test::ParseWave(test::ReadFileBytes(out));
  ASSERT_TRUE(wave.has_value());
  if (!pcm) {
    // A coded recording cannot keep the counter: it must be as long as the time it ran.
    const std::string decoded = Path("take.raw");
    ASSERT_TRUE(test::RunFfmpeg({"-i", out, "-f", "s16le", "-ac", "2", "-ar", "44100", decoded}));
    const double got = FileSize(decoded) / (4.0 * kRate);
    std::printf("[ soak ] %s: %.2f s decoded (%zu bytes) of %.2f s recorded through %d stalls\n",
                format_.c_str(), got, wave->data.size(), seconds, stalled);
    EXPECT_GT(got, seconds - 3.0);
    EXPECT_LT(got, seconds + 1.0);
    return;
  }
  const std::vector<uint32_t> ours = Indices(test::Pcm16Samples(wave->data));
  ASSERT_GT(ours.size(), std::size_t{kRate} * 4);
  const std::optional<std::size_t> ours_break = FirstBreak(ours);
  EXPECT_FALSE(ours_break) << "the recording " << Describe(ours, *ours_break);
  // The control holds the same span without a break: nothing reached the monitor unrecorded.
  const std::vector<uint32_t> control_indices =
      Indices(test::Pcm16Samples(test::ReadFileBytes(control_raw)));
  const auto first = std::find(control_indices.begin(), control_indices.end(), ours.front());
  ASSERT_NE(first, control_indices.end());
  const auto span_end = control_indices.end() - first > static_cast<std::ptrdiff_t>(ours.size())
                            ? first + static_cast<std::ptrdiff_t>(ours.size())
                            : control_indices.end();
  const std::vector<uint32_t> span(first, span_end);
  EXPECT_EQ(span.size(), ours.size());
  const std::optional<std::size_t> control_break = FirstBreak(span);
  EXPECT_FALSE(control_break) << "the control " << Describe(span, *control_break);
  std::printf("[ soak ] %s: %.2f s of %.2f s recorded through %d stalls, every frame in order\n",
              format_.c_str(), ours.size() / double(kRate), seconds, stalled);
}

// PULSE_SINK for the programs started while it lives.
class DefaultSink {
 public:
  explicit DefaultSink(const std::string& name) : before_(std::getenv("PULSE_SINK")) {
    setenv("PULSE_SINK", name.c_str(), 1);
  }
  ~DefaultSink() {
    if (before_)
      setenv("PULSE_SINK", before_->c_str(), 1);
    else
      unsetenv("PULSE_SINK");
  }
  DefaultSink(const DefaultSink&) = delete;
  DefaultSink& operator=(const DefaultSink&) = delete;

 private:
  std::optional<std::string> before_;
};

// Played into a sink that cannot rewind: where a stream runs dry and goes on, a null sink
// rewinds and its monitor drops a few milliseconds of any client's stream (paplay's too).
TEST_F(Soak, APlaybackStoppedForSecondsUnderLoadResumesWithNoFrameRepeatedOrSkipped) {
  const std::string fifo = Path("played.fifo");
  ASSERT_FALSE(test::PulseServer::LoadPipeSink("bwpipe", fifo).empty());
  const std::string played_raw = Path("played.raw");
  test::BackgroundProcess drain({"cat", fifo}, played_raw);
  const uint32_t frames = kRate * 10;
  const std::string counter = Path("counter.wav");
  test::WritePcmWave(counter, kRate, 2, Counter(frames));
  const std::string control_raw = Path("control.raw");
  test::BackgroundProcess control = StartControl(control_raw, "bwpipe");
  test::BackgroundProcess load = StartLoad();
  const DefaultSink sink("bwpipe");
  test::BackgroundProcess player(
      {BW_CLI_PATH, "play", counter, "--eq", "0,0,0,0,0,0,0,0", "--no-fade-in", "--no-fade-out"});
  ASSERT_TRUE(player.started());
  // A stall of 1 s at 2 s into the counter, one of 3 s at 5 s: each longer than the server's
  // queue, so that the stream runs dry.
  for (const auto& [at, length] : {std::pair{2u, 1000ms}, std::pair{5u, 3000ms}}) {
    ASSERT_TRUE(WaitFor(
        [&, at = at] {
          return LastIndex(control_raw).value_or(0) >= at * kRate || !player.Running();
        },
        30s));
    Stall(player, length);
  }
  ASSERT_TRUE(WaitFor([&] { return !player.Running(); }, 60s));
  EXPECT_EQ(player.Wait(), 0);
  load.Kill();
  // The rest of what was played reaches the monitor and the FIFO.
  ASSERT_TRUE(WaitFor([&] { return LastIndex(played_raw) == frames - 1; }, 10s));
  StopControl(control);
  drain.Kill();

  for (const std::string& raw : {control_raw, played_raw}) {
    const std::vector<uint32_t> heard = Indices(test::Pcm16Samples(test::ReadFileBytes(raw)));
    ASSERT_FALSE(heard.empty()) << raw;
    EXPECT_EQ(heard.front(), 0u) << raw;
    EXPECT_EQ(heard.back(), frames - 1) << raw;
    const std::optional<std::size_t> jump = FirstBreak(heard);
    EXPECT_FALSE(jump) << raw << ": " << Describe(heard, *jump);
  }
}

}  // namespace
}  // namespace bw
