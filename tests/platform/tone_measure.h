// Measurements on interleaved 16-bit output: a channel's level and a tone's frequency.
#pragma once

#include <algorithm>
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

// Where a tone rises through zero, interpolated between samples.
inline std::vector<double> RisingCrossings(const std::vector<double>& x) {
  std::vector<double> at;
  for (std::size_t i = 1; i < x.size(); ++i) {
    if (x[i - 1] < 0 && x[i] >= 0) at.push_back((i - 1) + x[i - 1] / (x[i - 1] - x[i]));
  }
  return at;
}

// Frequency of a clean tone from its rising zero crossings: any gap or repeat counts.
inline double ToneHz(const std::vector<double>& x, double rate) {
  const std::vector<double> at = RisingCrossings(x);
  return at.size() > 1 ? (at.size() - 1) * rate / (at.back() - at.front()) : 0;
}

// Frequency of a tone from its median period: a gap where a starved sound server dropped
// audio changes a few periods, not the rate the tone was played at.
inline double ToneHzByPeriod(const std::vector<double>& x, double rate) {
  const std::vector<double> at = RisingCrossings(x);
  if (at.size() < 2) return 0;
  std::vector<double> periods;
  for (std::size_t i = 1; i < at.size(); ++i)
    periods.push_back(at[i] - at[i - 1]);
  std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
  return rate / periods[periods.size() / 2];
}

}  // namespace bw::test
