// Playback throughput: `brookwave-cli render` plays a 300-second 44,100 Hz stereo file on the
// virtual card as fast as the engine keeps up, with the default equaliser (every band at 1),
// once as 16-bit PCM and once as MPEG Layer-3 in a WAVE file; `mpg123 -t` decodes the same MP3
// stream in the same run. Prints seconds of sound per second of work (x real time), also per
// second of processor time, and the ratio of our MP3 rate to mpg123's (goal: at least 200x,
// and at least 0.5 of mpg123).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/wave_format.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kSeconds = 300;
constexpr int kRuns = 3;  // the best of these counts

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Wave(const bw::FormatBlock& format, const std::vector<uint8_t>& data) {
  const std::vector<uint8_t> fmt = format.Serialize();
  const std::size_t header = 12 + 8 + fmt.size() + 8;
  std::vector<uint8_t> out(header + data.size());
  uint8_t* p = out.data();
  std::memcpy(p, "RIFF", 4);
  bw::StoreLe32(p + 4, static_cast<uint32_t>(out.size() - 8));
  std::memcpy(p + 8, "WAVEfmt ", 8);
  bw::StoreLe32(p + 16, static_cast<uint32_t>(fmt.size()));
  std::memcpy(p + 20, fmt.data(), fmt.size());
  std::memcpy(p + 20 + fmt.size(), "data", 4);
  bw::StoreLe32(p + 24 + fmt.size(), static_cast<uint32_t>(data.size()));
  std::memcpy(p + header, data.data(), data.size());
  return out;
}

// Music-like sound: a few partials with a slow sweep and a little noise.
std::vector<uint8_t> TestSound() {
  const std::size_t frames = std::size_t{kRate} * kSeconds;
  std::vector<uint8_t> out(frames * 4);
  uint32_t noise = 1;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kRate;
    for (int c = 0; c < 2; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double f = 220.0 * (1 + c) * (1 + 0.5 * std::sin(t * 0.1));
      const double v = 0.3 * std::sin(2 * M_PI * f * t) + 0.15 * std::sin(2 * M_PI * 3.01 * f * t) +
                       0.02 * (static_cast<double>(noise >> 16) / 32768.0 - 1.0);
      bw::StoreLe16(&out[(i * 2 + c) * 2], static_cast<uint16_t>(static_cast<int16_t>(v * 32767)));
    }
  }
  return out;
}

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

std::string Quoted(const fs::path& p) {
  std::string quoted(1, '\'');
  quoted.append(p.string()).push_back('\'');
  return quoted;
}

// Processor time (user and system) the children that have ended so far used.
double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The best of kRuns runs, by the clock and by the processor time used: on a machine others
// share, the clock counts the time waited for a processor as well.
struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
  bool ok() const { return wall < 1e300; }
};

Timing Best(const std::string& command) {
  Timing best;
  for (int i = 0; i < kRuns; ++i) {
    const double cpu_before = ChildrenCpuSeconds();
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return {};
    best.wall = std::min(best.wall, std::chrono::duration<double>(Clock::now() - start).count());
    best.cpu = std::min(best.cpu, ChildrenCpuSeconds() - cpu_before);
  }
  return best;
}

void Report(const char* what, const Timing& t) {
  if (!t.ok())
    std::printf("%-22s failed\n", what);
  else
    std::printf("%-22s %8.1fx real time %8.1fx per processor second\n", what, kSeconds / t.wall,
                kSeconds / t.cpu);
}

}  // namespace

int main() {
  const char* dir_env = std::getenv("BW_BENCH_DIR");
  const char* cli_env = std::getenv("BW_CLI");
  const fs::path dir = dir_env ? dir_env : fs::temp_directory_path();
  const std::string cli = cli_env ? cli_env : "brookwave-cli";
  std::printf("playback render, %u s of 44,100 Hz stereo, default equaliser (best of %d)\n",
              kSeconds, kRuns);

  const fs::path pcm = dir / "render_source.wav";
  const fs::path mp3 = dir / "render_source.mp3";
  const fs::path mp3_wave = dir / "render_mp3.wav";
  const fs::path out = dir / "render_out.wav";
  WriteAll(pcm, Wave(bw::FormatBlock(bw::MakePcmFormat(kRate, 2)), TestSound()));
  if (std::system(("lame --quiet -b 128 " + Quoted(pcm) + " " + Quoted(mp3)).c_str()) != 0) {
    std::printf("lame failed\n");
    return 1;
  }
  WriteAll(mp3_wave, Wave(Mp3Format(), ReadAll(mp3)));

  const std::string render = cli + " render ";
  const Timing ours_pcm = Best(render + Quoted(pcm) + " " + Quoted(out));
  const Timing ours_mp3 = Best(render + Quoted(mp3_wave) + " " + Quoted(out));
  const Timing mpg123 = Best("mpg123 -q -t " + Quoted(mp3));
  Report("ours PCM", ours_pcm);
  Report("ours MP3-in-WAV", ours_mp3);
  Report("mpg123 -t (same MP3)", mpg123);
  if (ours_mp3.ok() && mpg123.ok()) {
    std::printf("MP3 ratio ours/mpg123 %5.2f (processor time %5.2f)\n", mpg123.wall / ours_mp3.wall,
                mpg123.cpu / ours_mp3.cpu);
  }
  for (const fs::path& p : {pcm, mp3, mp3_wave, out})
    fs::remove(p);
  return 0;
}
