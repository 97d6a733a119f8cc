// Appending to a WAVE file as recording and conversion do: 512 MiB through WriteWaveData in
// 128-byte calls, against cp copying a file of the same size in the same folder. Each side runs
// twice, alternating, after a sync, and its best time counts, so neither pays for the other's
// dirty pages. Prints both throughputs and their ratio (goal: at least 0.5).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "audio/wave_file.h"

extern char** environ;

namespace {

constexpr std::size_t kTotalBytes = std::size_t{512} << 20;
constexpr std::size_t kCallBytes = 128;
constexpr int kRounds = 2;

using Clock = std::chrono::steady_clock;

std::vector<uint8_t> Pattern() {
  std::vector<uint8_t> out(1 << 16);
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  return out;
}

bool WriteThroughWaveTarget(const std::filesystem::path& path, double& seconds) {
  std::ofstream(path, std::ios::trunc).close();
  const std::vector<uint8_t> source = Pattern();
  const auto start = Clock::now();
  bw::RiffFile file;
  bw::MMCKINFO riffChunk;
  bw::MMCKINFO dataChunk;
  bw::MMIOINFO ioInfo;
  uint32_t expected = bw::kWaveTargetExpectedSize;
  const bw::FormatBlock format(bw::MakePcmFormat(44100, 2));
  int rc = bw::CreateWaveTarget(path, file, format, riffChunk, expected);
  if (rc == 0) rc = bw::BeginWaveData(file, dataChunk, ioInfo, expected);
  for (std::size_t done = 0; rc == 0 && done < kTotalBytes; done += kCallBytes) {
    uint32_t written = 0;
    rc = bw::WriteWaveData(file, std::span(source).subspan(done % source.size(), kCallBytes),
                           written, ioInfo);
  }
  const int finish_rc = bw::FinishWaveTarget(file, dataChunk, riffChunk, ioInfo, 0);
  seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return rc == 0 && finish_rc == 0 && std::filesystem::file_size(path) == 56 + kTotalBytes;
}

bool Copy(const std::filesystem::path& from, const std::filesystem::path& to, double& seconds) {
  std::vector<char*> argv{const_cast<char*>("cp"), const_cast<char*>(from.c_str()),
                          const_cast<char*>(to.c_str()), nullptr};
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, "cp", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double MiBPerSecond(double seconds) {
  return static_cast<double>(kTotalBytes) / (1 << 20) / seconds;
}

}  // namespace

int main() {
  const char* dir = std::getenv("BW_BENCH_DIR");
  const std::filesystem::path folder = dir ? dir : std::filesystem::temp_directory_path();
  const auto ours = folder / "bench_wave_write.wav";
  const auto copy = folder / "bench_wave_write_cp.wav";
  double best_ours = 1e300;
  double best_cp = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    double seconds = 0;
    std::filesystem::remove(copy);
    sync();
    if (!WriteThroughWaveTarget(ours, seconds)) {
      std::fprintf(stderr, "wave_write: writing %s failed\n", ours.c_str());
      return 1;
    }
    best_ours = std::min(best_ours, seconds);
    sync();
    if (!Copy(ours, copy, seconds)) {
      std::fprintf(stderr, "wave_write: cp failed\n");
      return 1;
    }
    best_cp = std::min(best_cp, seconds);
  }
  std::filesystem::remove(ours);
  std::filesystem::remove(copy);
  std::printf("WriteWaveData, 512 MiB in 128-byte calls: %8.0f MiB/s\n", MiBPerSecond(best_ours));
  std::printf("cp of a 512 MiB file:                      %8.0f MiB/s\n", MiBPerSecond(best_cp));
  std::printf("ratio: %.2f (goal: at least 0.5)\n", best_cp / best_ours);
  return 0;
}
