// WAVE files as byte images, built and read independently of the program's own RIFF code, so
// that tests can make odd files and check written ones against a second reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/wave_format.h"

namespace bw::test {

struct Chunk {
  std::string id;  // four characters
  std::vector<uint8_t> body;
  std::optional<uint32_t> declared_size;  // written instead of body.size() when set
};

// "RIFF" size "WAVE" followed by the chunks in order, each padded to even length.
std::vector<uint8_t> BuildRiffWave(const std::vector<Chunk>& chunks);
// The usual layout: "fmt " (16 bytes for PCM, else 18 + cbSize) then "data".
std::vector<uint8_t> BuildWave(const FormatBlock& format, std::span<const uint8_t> data);
// The "fmt " body for `format` as above.
std::vector<uint8_t> FmtBody(const FormatBlock& format);

struct ParsedWave {
  FormatBlock format;
  std::vector<uint8_t> data;
  std::optional<uint32_t> fact;        // the "fact" value when present
  uint32_t riff_size = 0;              // as stored
  uint32_t data_offset = 0;            // file offset of the first data byte
  std::vector<std::string> chunk_ids;  // top-level chunks in file order
};

// A strict reader: nullopt when the image is not a well-formed RIFF WAVE with "fmt " and
// "data", or when any size disagrees with the bytes present.
std::optional<ParsedWave> ParseWave(std::span<const uint8_t> image);

// Interleaved 16-bit little-endian PCM from samples, and back.
std::vector<uint8_t> Pcm16Bytes(std::span<const int16_t> samples);
std::vector<int16_t> Pcm16Samples(std::span<const uint8_t> bytes);
// Writes a 16-bit PCM WAVE file of `samples` (interleaved) at `path`.
void WritePcmWave(const std::filesystem::path& path, uint32_t rate, uint16_t channels,
                  std::span<const int16_t> samples);

// A sine tone of `frames` frames, `channels` channels (channel c at frequency hz * (c + 1)).
std::vector<int16_t> SineTone(uint32_t rate, uint16_t channels, uint32_t frames, double hz,
                              double amplitude = 0.5);

// Signal-to-noise ratio in dB of `actual` against `expected` over their common length,
// after the best alignment within +-max_shift samples.
double SnrDb(std::span<const int16_t> expected, std::span<const int16_t> actual, int max_shift = 0);

}  // namespace bw::test
