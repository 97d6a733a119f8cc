// What the benchmarks share: scratch files, WAVE images, a music-like test sound and timing
// of peer commands. Used by one benchmark process at a time, on its only thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/wave_format.h"

namespace bench {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path);
void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// A RIFF WAVE image: "fmt " (the whole format block) and "data".
std::vector<uint8_t> Wave(const bw::FormatBlock& format, const std::vector<uint8_t>& data);
// `seconds` of 16-bit sound at `rate`: a few partials with a slow sweep and a little noise.
std::vector<uint8_t> TestSound(uint32_t rate, uint32_t seconds, uint16_t channels = 2);
// `p` in single quotes, for a shell command.
std::string Quoted(const std::filesystem::path& p);
// The shortest wall time of `runs` runs of the shell `command`; -1 when a run fails.
double BestSeconds(const std::string& command, int runs);

// The best of several runs by the clock and by the processor time the command used: on a
// machine others share, the clock also counts the time spent waiting for a processor.
struct Timing {
  double wall = -1;
  double cpu = -1;
  bool ok() const { return wall >= 0; }
};
Timing BestTiming(const std::string& command, int runs);
// One run of the shell `command`; not ok when it fails.
Timing TimeOnce(const std::string& command);
// The medians, by the clock and by processor time, of runs that all succeeded.
Timing MedianTiming(std::vector<Timing> runs);

}  // namespace bench
