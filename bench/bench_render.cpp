// Playback throughput: `brookwave-cli render` plays a 120-second 44,100 Hz stereo file on the
// virtual card as fast as the engine keeps up, with the default equaliser (every band at 1),
// once as 16-bit PCM (best of 3) and once as 128 kbit/s MPEG Layer-3 in a WAVE file, taking
// turns with `mpg123 -t` on the same MP3 stream (median of 7 turns each), and the MP3 once more
// with the equaliser off, to show what the decoder and the engine cost without the filter that
// mpg123 does not run. Prints seconds of sound per second of work (x real time), also per second
// of processor time, and the ratios of our MP3 rates to mpg123's (goal: at least 1.0 of mpg123
// with the default equaliser).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/wave_format.h"

namespace {

using namespace bench;
namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 120;
constexpr int kRuns = 3;   // PCM: the best of these counts
constexpr int kPairs = 7;  // MP3: the medians of these turns count

// The format Import gives a 128 kbit/s 44,100 Hz stream: MPEGLAYER3WAVEFORMAT.
bw::FormatBlock Mp3Format() {
  const bw::WAVEFORMATEX base{bw::kWaveFormatMpegLayer3, 2, kRate, 16000, 1, 0, 12};
  std::vector<uint8_t> extra(12);
  bw::StoreLe16(&extra[0], 1);      // MPEGLAYER3_ID_MPEG
  bw::StoreLe32(&extra[2], 2);      // padding off
  bw::StoreLe16(&extra[6], 417);    // frame length
  bw::StoreLe16(&extra[8], 1);      // frames per block
  bw::StoreLe16(&extra[10], 1393);  // codec delay
  return bw::FormatBlock(base, extra);
}

void Report(const char* what, const Timing& t) {
  if (!t.ok())
    std::printf("%-26s failed\n", what);
  else
    std::printf("%-26s %6.3f s %8.1fx real time %8.1fx per processor second\n", what, t.wall,
                kSeconds / t.wall, kSeconds / t.cpu);
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const char* cli_env = std::getenv("BW_CLI");
  const fs::path dir = dir_env ? dir_env : fs::temp_directory_path();
  const std::string cli = cli_env ? cli_env : "brookwave-cli";
  std::printf("playback render, %u s of 44,100 Hz stereo, default equaliser\n", kSeconds);

  const fs::path pcm = dir / "render_source.wav";
  const fs::path mp3 = dir / "render_source.mp3";
  const fs::path mp3_wave = dir / "render_mp3.wav";
  const fs::path out = dir / "render_out.wav";
  WriteAll(pcm, Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 2)), TestSound(kRate, kSeconds)));
  if (std::system(("lame --quiet -b 128 " + Quoted(pcm) + " " + Quoted(mp3)).c_str()) != 0) {
    std::printf("lame failed\n");
    return 1;
  }
  WriteAll(mp3_wave, Wave(Mp3Format(), ReadAll(mp3)));

  const std::string render = cli + " render ";
  const Timing ours_pcm = BestTiming(render + Quoted(pcm) + " " + Quoted(out), kRuns);
  std::vector<Timing> ours_runs;
  std::vector<Timing> flat_runs;
  std::vector<Timing> mpg123_runs;
  for (int i = 0; i < kPairs; ++i) {
    ours_runs.push_back(TimeOnce(render + Quoted(mp3_wave) + " " + Quoted(out)));
    mpg123_runs.push_back(TimeOnce("mpg123 -q -t " + Quoted(mp3)));
    flat_runs.push_back(
        TimeOnce(render + Quoted(mp3_wave) + " " + Quoted(out) + " --eq 0,0,0,0,0,0,0,0"));
  }
  const Timing ours_mp3 = MedianTiming(ours_runs);
  const Timing ours_flat = MedianTiming(flat_runs);
  const Timing mpg123 = MedianTiming(mpg123_runs);
  Report("ours PCM", ours_pcm);
  Report("ours MP3-in-WAV", ours_mp3);
  Report("ours MP3, equaliser off", ours_flat);
  Report("mpg123 -t (same MP3)", mpg123);
  const auto ratio = [&](const char* what, const Timing& ours, const char* goal) {
    if (!ours.ok() || !mpg123.ok()) return;
    std::printf("%s ours/mpg123 %5.2f by the clock, %5.2f by processor time%s\n", what,
                mpg123.wall / ours.wall, mpg123.cpu / ours.cpu, goal);
  };
  ratio("MP3 ratio", ours_mp3, " (goal 1.0)");
  ratio("MP3 ratio, equaliser off,", ours_flat, "");
  // BW_BENCH_KEEP leaves the sources in place, to profile a render of them.
  if (!std::getenv("BW_BENCH_KEEP")) {
    for (const fs::path& p : {pcm, mp3, mp3_wave, out})
      fs::remove(p);
  }
  return 0;
}
