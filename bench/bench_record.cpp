// Recording cost: `brookwave-cli record --from` feeds a 300-second 44,100 Hz stereo file to the
// virtual capture card as fast as the capture thread takes it, into MPEG Layer-3 at 128 kbit/s
// (and, for scale, into 16-bit PCM); `lame -b 128` encodes the same file in the same run.
// Prints seconds of sound per second of work (x real time) and the ratio of our MP3 rate to
// lame's (goal: at least 0.9).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "platform/wave_format.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 300;
constexpr int kRuns = 3;  // the best of these counts

void Report(const char* what, double seconds) {
  if (seconds < 0)
    std::printf("%-26s failed\n", what);
  else
    std::printf("%-26s %8.1fx real time\n", what, kSeconds / seconds);
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const char* cli_env = std::getenv("BW_CLI");
  const fs::path dir = dir_env ? dir_env : fs::temp_directory_path();
  const std::string cli = cli_env ? cli_env : "brookwave-cli";
  std::printf("recording, %u s of 44,100 Hz stereo fed as fast as taken (best of %d)\n", kSeconds,
              kRuns);

  const fs::path in = dir / "record_source.wav";
  const fs::path out = dir / "record_out.wav";
  const fs::path mp3 = dir / "record_lame.mp3";
  WriteAll(in, Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 2)), TestSound(kRate, kSeconds)));

  const std::string record = cli + " record " + Quoted(out) + " --from " + Quoted(in);
  const double ours_mp3 = BestSeconds(record + " --format mp3:44100:2:128 2>/dev/null", kRuns);
  const double ours_pcm = BestSeconds(record + " --format pcm:44100:2:16 2>/dev/null", kRuns);
  const double lame = BestSeconds("lame --quiet -b 128 " + Quoted(in) + " " + Quoted(mp3), kRuns);
  Report("ours into MP3 128 kbit/s", ours_mp3);
  Report("ours into 16-bit PCM", ours_pcm);
  Report("lame -b 128 (same file)", lame);
  if (ours_mp3 > 0 && lame > 0) std::printf("MP3 ratio ours/lame %5.2f\n", lame / ours_mp3);
  for (const fs::path& p : {in, out, mp3})
    fs::remove(p);
  return 0;
}
