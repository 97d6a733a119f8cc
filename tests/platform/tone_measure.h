// Measurements on interleaved 16-bit output: a channel's level and a tone's frequency.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

namespace bw::test {

inline std::vector<double> Channel(std::span<const int16_t> samples, int channels, int channel) {
  std::vector<double> out;
  for (std::size_t i = channel; i < samples.size(); i += channels)
    out.push_back(samples[i] / 32768.0);
  return out;
}

// RMS level in dB relative to full scale (a full-scale square wave is 0 dB).
inline double RmsDb(const std::vector<double>& x) {
  double sum = 0;
  for (double v : x)
    sum += v * v;
  return 10 * std::log10(sum / std::max<std::size_t>(x.size(), 1) + 1e-30);
}

// Frequency of a clean tone from its rising zero crossings, interpolated between samples.
inline double ToneHz(const std::vector<double>& x, double rate) {
  double first = -1, last = -1;
  int cycles = -1;
  for (std::size_t i = 1; i < x.size(); ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) {
      const double at = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0) first = at;
      last = at;
      ++cycles;
    }
  }
  return cycles > 0 ? cycles * rate / (last - first) : 0;
}

}  // namespace bw::test
