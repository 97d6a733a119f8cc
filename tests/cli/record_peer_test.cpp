// brookwave-cli record against peer programs: every coded format decodes in ffmpeg to the
// signal fed, as well as ffmpeg's own encoding of it and to its full length; a recording
// killed with SIGKILL, or stopped by a file-size limit, leaves a file this program and ffmpeg
// read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// What ffmpeg decodes from `path`, as interleaved 16-bit samples.
// What sox makes of `path`: its samples as 16-bit PCM of the file's layout.
std::vector<int16_t> SoxDecode(const std::string& path) {
  const std::string raw = path + ".sox.raw";
  if (test::RunCommand({"sox", path, "-t", "raw", "-e", "signed", "-b", "16", raw}).exit_code != 0)
    return {};
  return test::Pcm16Samples(test::ReadFileBytes(raw));
}

std::vector<int16_t> FfmpegDecode(const std::string& path) {
  const std::string raw = path + ".raw";
  if (!test::RunFfmpeg({"-i", path, "-f", "s16le", raw})) return {};
  return test::Pcm16Samples(test::ReadFileBytes(raw));
}

// A sweep from 200 Hz upward (a second channel sweeps higher): unlike a steady tone, it lines
// up with a delayed copy of itself at one delay only.
std::vector<int16_t> Sweep(uint32_t rate, uint16_t channels, uint32_t frames) {
  const double seconds = double(frames) / rate;
  const double top = std::min(3000.0, rate / 3.0);
  std::vector<int16_t> out(std::size_t{frames} * channels);
  for (uint32_t f = 0; f < frames; ++f) {
    const double t = double(f) / rate;
    for (uint16_t c = 0; c < channels; ++c) {
      const double scale = 1.0 + 0.25 * c;
      const double phase =
          2 * M_PI * scale * (200 * t + (top / scale - 200) * t * t / (2 * seconds));
      out[std::size_t{f} * channels + c] =
          static_cast<int16_t>(std::lround(16000 * std::sin(phase)));
    }
  }
  return out;
}

// The frames by which `decoded` lags `signal` (codec delay), found over the signal's start.
std::size_t DelayFrames(const std::vector<int16_t>& signal, const std::vector<int16_t>& decoded,
                        uint16_t channels) {
  constexpr std::size_t kWindow = 4096;
  constexpr std::size_t kMostDelay = 3000;
  double best = -1e300;
  std::size_t best_delay = 0;
  for (std::size_t delay = 0; delay <= kMostDelay; ++delay) {
    double dot = 0;
    double energy = 0;
    for (std::size_t i = 0; i < kWindow && i < signal.size(); ++i) {
      const std::size_t j = i + delay * channels;
      if (j >= decoded.size()) break;
      dot += double(signal[i]) * decoded[j];
      energy += double(decoded[j]) * decoded[j];
    }
    const double score = energy > 0 ? dot / std::sqrt(energy) : -1e300;
    if (score > best) {
      best = score;
      best_delay = delay;
    }
  }
  return best_delay;
}

// `decoded` from `delay` frames on, `samples` long (shorter when it ends first).
std::vector<int16_t> Aligned(const std::vector<int16_t>& decoded, std::size_t delay,
                             uint16_t channels) {
  const std::size_t from = std::min(decoded.size(), delay * channels);
  return {decoded.begin() + static_cast<std::ptrdiff_t>(from), decoded.end()};
}

struct CodedCase {
  const char* name;
  const char* format;   // brookwave-cli's FORMAT
  const char* encoder;  // ffmpeg's options for the same format
  uint32_t rate;
  uint16_t channels;
};

void PrintTo(const CodedCase& c, std::ostream* os) {
  *os << c.name;
}

class CliRecordCoded : public ::testing::TestWithParam<CodedCase> {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  test::TempDir dir;
};

TEST_P(CliRecordCoded, DecodesToTheSignalWithinTheCodecsToleranceAndFullLength) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const CodedCase& c = GetParam();
  // Not a whole number of blocks: the last part comes from Stop's drain and the codec's flush.
  const uint32_t frames = c.rate * 5 / 2 + 37;
  const std::vector<int16_t> signal = Sweep(c.rate, c.channels, frames);
  const std::string in = Path("in.wav");
  test::WritePcmWave(in, c.rate, c.channels, signal);

  const std::string ours = Path("ours.wav");
  const test::CommandResult r = test::RunCli({"record", ours, "--format", c.format, "--from", in});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> encode{"-i", in};
  for (const std::string& w : test::SplitWords(c.encoder))
    encode.push_back(w);
  const std::string theirs = Path("theirs.wav");
  encode.push_back(theirs);
  ASSERT_TRUE(test::RunFfmpeg(encode));

  const std::vector<int16_t> decoded = FfmpegDecode(ours);
  const std::vector<int16_t> reference = FfmpegDecode(theirs);
  ASSERT_FALSE(decoded.empty());
  const std::vector<int16_t> ours_aligned =
      Aligned(decoded, DelayFrames(signal, decoded, c.channels), c.channels);
  const std::vector<int16_t> theirs_aligned =
      Aligned(reference, DelayFrames(signal, reference, c.channels), c.channels);
  // Nothing lost at the end: the whole signal is there after the codec's delay.
  ASSERT_GE(ours_aligned.size(), signal.size()) << c.name;
  ASSERT_GE(theirs_aligned.size(), signal.size()) << c.name;
  // As close to the signal as ffmpeg's own encoding, over the whole and over the last tenth of
  // a second (which only Stop's drain and the codec's flush bring into the file).
  const std::size_t tail = c.rate / 10 * c.channels;
  const auto snr = [&](const std::vector<int16_t>& aligned, std::size_t from) {
    return test::SnrDb(std::span(signal).subspan(from),
                       std::span(aligned).subspan(from, signal.size() - from));
  };
  const double whole = snr(ours_aligned, 0);
  EXPECT_GE(whole, snr(theirs_aligned, 0) - 1.0) << c.name;
  EXPECT_GE(whole, 8.0) << c.name;
  EXPECT_GE(snr(ours_aligned, signal.size() - tail),
            snr(theirs_aligned, signal.size() - tail) - 1.0)
      << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CliRecordCoded,
    ::testing::Values(
        CodedCase{"pcm8", "pcm:22050:2:8", "-c:a pcm_u8", 22050, 2},
        CodedCase{"alaw", "alaw:44100:2", "-c:a pcm_alaw", 44100, 2},
        CodedCase{"mulaw", "mulaw:8000:1", "-c:a pcm_mulaw", 8000, 1},
        CodedCase{"msadpcm", "msadpcm:22050:2", "-c:a adpcm_ms -block_size 1024", 22050, 2},
        CodedCase{"imaadpcm", "imaadpcm:44100:2", "-c:a adpcm_ima_wav -block_size 2048", 44100, 2},
        CodedCase{"gsm610", "gsm610:8000:1", "-c:a libgsm_ms", 8000, 1},
        CodedCase{"mp3", "mp3:44100:2:128", "-c:a libmp3lame -b:a 128k", 44100, 2},
        CodedCase{"mp3_mono", "mp3:22050:1:64", "-c:a libmp3lame -b:a 64k", 22050, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- interrupted recordings ----

class CliRecordInterrupted : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  // The samples this program plays from `path` (rendered as 16-bit PCM of its layout).
  std::vector<int16_t> PlayedByUs(const std::string& path) {
    const test::CommandResult r =
        test::RunCli({"render", path, Path("played.wav"), "--eq", "0,0,0,0,0,0,0,0"});
    EXPECT_EQ(r.exit_code, 0) << r.err;
    const auto wave = test::ParseWave(test::ReadFileBytes(Path("played.wav")));
    return wave ? test::Pcm16Samples(wave->data) : std::vector<int16_t>{};
  }
  test::TempDir dir;
};

// The file a killed recording left, as far as its RIFF size names it. A kill may land while a
// block is on its way to the disk: its bytes reach the file before the sizes that count them,
// so up to one block may follow what the sizes name, never the other way round.
std::optional<test::ParsedWave> ParseKilledRecording(const std::string& path,
                                                     std::size_t blockBytes) {
  std::vector<uint8_t> image = test::ReadFileBytes(path);
  if (image.size() < 8) return std::nullopt;
  const std::size_t named = 8 + (std::size_t{image[4]} | std::size_t{image[5]} << 8 |
                                 std::size_t{image[6]} << 16 | std::size_t{image[7]} << 24);
  EXPECT_LE(named, image.size()) << "the sizes count bytes the file does not hold";
  EXPECT_LE(image.size(), named + blockBytes) << "more than one block is not counted";
  image.resize(std::min(named, image.size()));
  return test::ParseWave(image);
}

bool StartsWith(const std::vector<int16_t>& v, const std::vector<int16_t>& prefix) {
  return v.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), v.begin());
}

TEST_F(CliRecordInterrupted, AKilledRecordingKeepsEveryBlockItWrote) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  BW_REQUIRE_PROGRAM("sox");
  // Long enough that the recording is still running when it is killed.
  const std::vector<int16_t> fed = test::SineTone(44100, 2, 44100 * 240, 300, 0.4);
  const std::string in = Path("in.wav");
  test::WritePcmWave(in, 44100, 2, fed);
  const std::string out = Path("out.wav");
  test::BackgroundProcess recorder(
      {BW_CLI_PATH, "record", out, "--format", "pcm:44100:2:16", "--from", in});
  ASSERT_TRUE(recorder.started());
  const auto give_up = Clock::now() + 60s;
  while (test::DataChunkSize(out) < 4'000'000 && recorder.Running() && Clock::now() < give_up)
    std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(recorder.Running()) << "the recording ended before it could be killed";
  recorder.Kill();

  // Everything the sizes name is a well-formed file of whole blocks.
  const std::optional<test::ParsedWave> wave = ParseKilledRecording(out, 141120);
  ASSERT_TRUE(wave.has_value());
  const std::vector<int16_t> kept = test::Pcm16Samples(wave->data);
  EXPECT_GE(kept.size(), 2'000'000u);
  EXPECT_TRUE(StartsWith(fed, kept));
  EXPECT_TRUE(StartsWith(PlayedByUs(out), kept));
  EXPECT_EQ(FfmpegDecode(out), kept);
  // The count in the fact chunk follows every block as the sizes do.
  EXPECT_EQ(wave->fact, wave->data.size());
  EXPECT_EQ(SoxDecode(out), kept);
}

TEST_F(CliRecordInterrupted, AKilledDeviceRecordingLosesAtMostItsLastSecond) {
  BW_REQUIRE_PROGRAM("ffmpeg");
  const std::string out = Path("out.wav");
  // The null device captures silence on the real-time clock; 8-bit mono blocks are 0.2 s.
  test::BackgroundProcess recorder({BW_CLI_PATH, "record", out, "--format", "pcm:8000:1:8",
                                    "--backend", "null", "--seconds", "60"});
  ASSERT_TRUE(recorder.started());
  const auto seconds_in = [&] { return test::DataChunkSize(out) / 8000.0; };
  const auto give_up = Clock::now() + 30s;
  while (seconds_in() == 0 && recorder.Running() && Clock::now() < give_up)
    std::this_thread::sleep_for(1ms);
  const auto first_block = Clock::now();
  const double first_seconds = seconds_in();
  ASSERT_GT(first_seconds, 0);
  std::this_thread::sleep_for(3s);
  ASSERT_TRUE(recorder.Running());
  const double elapsed = std::chrono::duration<double>(Clock::now() - first_block).count();
  recorder.Kill();

  const double kept = seconds_in();
  EXPECT_GE(kept, first_seconds + elapsed - 1.0);
  EXPECT_LE(kept, first_seconds + elapsed + 0.5);
  ASSERT_TRUE(ParseKilledRecording(out, 1600).has_value());
  // 8-bit silence is 128 in the file; ffmpeg and the player read all of it.
  const std::size_t frames = test::DataChunkSize(out);
  EXPECT_EQ(FfmpegDecode(out), std::vector<int16_t>(frames));
  EXPECT_TRUE(StartsWith(PlayedByUs(out), std::vector<int16_t>(frames)));
}

TEST_F(CliRecordInterrupted, AFileSizeLimitEndsTheRecordingAtItsLastWholeBlock) {
  BW_REQUIRE_PROGRAM("prlimit");
  BW_REQUIRE_PROGRAM("ffmpeg");
  BW_REQUIRE_PROGRAM("sox");
  const std::vector<int16_t> fed = test::SineTone(44100, 2, 44100 * 10, 500, 0.4);
  const std::string in = Path("in.wav");
  test::WritePcmWave(in, 44100, 2, fed);
  const std::string out = Path("out.wav");
  constexpr uint32_t kLimit = 1'000'000;
  constexpr uint32_t kBlockBytes = 141120;
  const test::CommandResult r =
      test::RunCommand({"prlimit", "--fsize=" + std::to_string(kLimit), BW_CLI_PATH, "record", out,
                        "--format", "pcm:44100:2:16", "--from", in});
  EXPECT_EQ(r.exit_code, 1) << r.err;
  EXPECT_NE(r.err.find("Could not write to " + out), std::string::npos) << r.err;
  const std::optional<test::ParsedWave> wave = test::ParseWave(test::ReadFileBytes(out));
  ASSERT_TRUE(wave.has_value());
  EXPECT_EQ(wave->data.size() % kBlockBytes, 0u);
  EXPECT_GT(wave->data.size() + 2 * kBlockBytes, kLimit);
  const std::vector<int16_t> kept = test::Pcm16Samples(wave->data);
  EXPECT_TRUE(StartsWith(fed, kept));
  EXPECT_EQ(FfmpegDecode(out), kept);
  EXPECT_TRUE(StartsWith(PlayedByUs(out), kept));
  // Cut back to the last whole block, with the count in the fact chunk to match.
  EXPECT_EQ(wave->fact, wave->data.size());
  EXPECT_EQ(SoxDecode(out), kept);
}

}  // namespace
}  // namespace bw
