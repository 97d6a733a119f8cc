#include "bench_support.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace bench {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
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

std::vector<uint8_t> TestSound(uint32_t rate, uint32_t seconds, uint16_t channels) {
  const std::size_t frames = std::size_t{rate} * seconds;
  std::vector<uint8_t> out(frames * channels * 2);
  uint32_t noise = 1;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (uint16_t c = 0; c < channels; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double f = 220.0 * (1 + c) * (1 + 0.5 * std::sin(t * 0.1));
      const double v = 0.3 * std::sin(2 * M_PI * f * t) + 0.15 * std::sin(2 * M_PI * 3.01 * f * t) +
                       0.02 * (static_cast<double>(noise >> 16) / 32768.0 - 1.0);
      bw::StoreLe16(&out[(i * channels + c) * 2],
                    static_cast<uint16_t>(static_cast<int16_t>(v * 32767)));
    }
  }
  return out;
}

std::string Quoted(const std::filesystem::path& p) {
  std::string quoted(1, '\'');
  quoted.append(p.string()).push_back('\'');
  return quoted;
}

double BestSeconds(const std::string& command, int runs) {
  using Clock = std::chrono::steady_clock;
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

namespace {

// Processor time (user and system) of the children that have ended so far.
double ChildrenCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

Timing TimeOnce(const std::string& command) {
  using Clock = std::chrono::steady_clock;
  const double cpu_before = ChildrenCpuSeconds();
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) return {};
  return {std::chrono::duration<double>(Clock::now() - start).count(),
          ChildrenCpuSeconds() - cpu_before};
}

Timing BestTiming(const std::string& command, int runs) {
  Timing best{1e300, 1e300};
  for (int i = 0; i < runs; ++i) {
    const Timing t = TimeOnce(command);
    if (!t.ok()) return {};
    best.wall = std::min(best.wall, t.wall);
    best.cpu = std::min(best.cpu, t.cpu);
  }
  return best;
}

Timing MedianTiming(std::vector<Timing> runs) {
  if (runs.empty() || std::ranges::any_of(runs, [](const Timing& t) { return !t.ok(); })) return {};
  const auto median = [&runs](double Timing::*field) {
    std::vector<double> v;
    for (const Timing& t : runs)
      v.push_back(t.*field);
    std::ranges::sort(v);
    return v[v.size() / 2];
  };
  return {median(&Timing::wall), median(&Timing::cpu)};
}

}  // namespace bench
