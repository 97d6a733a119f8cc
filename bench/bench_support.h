// What the benchmarks share: the test sound, WAVE files made without the program's own writer,
// whole-file reads and writes, and quoting for the shell. Header-only; each benchmark is one
// program.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/wave_format.h"

namespace bw::bench {

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteAll(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A WAVE file: "fmt " from `format`, then the data.
inline std::vector<uint8_t> Wave(const FormatBlock& format, const std::vector<uint8_t>& data) {
  const std::vector<uint8_t> fmt = format.Serialize();
  const std::size_t header = 12 + 8 + fmt.size() + 8;
  std::vector<uint8_t> out(header + data.size());
  uint8_t* p = out.data();
  std::memcpy(p, "RIFF", 4);
  StoreLe32(p + 4, static_cast<uint32_t>(out.size() - 8));
  std::memcpy(p + 8, "WAVEfmt ", 8);
  StoreLe32(p + 16, static_cast<uint32_t>(fmt.size()));
  std::memcpy(p + 20, fmt.data(), fmt.size());
  std::memcpy(p + 20 + fmt.size(), "data", 4);
  StoreLe32(p + 24 + fmt.size(), static_cast<uint32_t>(data.size()));
  std::memcpy(p + header, data.data(), data.size());
  return out;
}

// Music-like test sound as 16-bit PCM bytes: a few partials with a slow sweep and a little
// noise.
inline std::vector<uint8_t> TestSound(uint32_t rate, uint32_t seconds, uint16_t channels) {
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
      StoreLe16(&out[(i * channels + c) * 2],
                static_cast<uint16_t>(static_cast<int16_t>(v * 32767)));
    }
  }
  return out;
}

// Built in place: GCC 12's -O3 misreads the same string made of temporaries.
inline std::string Quoted(const std::filesystem::path& p) {
  std::string quoted(1, '\'');
  quoted.append(p.string()).push_back('\'');
  return quoted;
}

}  // namespace bw::bench
