// WAVE files as byte images, built and read independently of the program's own RIFF code, so
// that tests can make odd files and check written ones against a second reader.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
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
// `count` frames of MPEG audio with empty bodies (they decode to silence), each `frameBytes`
// long with the header bytes FF b1 b2 b3.
std::vector<uint8_t> SilentMpegFrames(uint8_t b1, uint8_t b2, uint8_t b3, std::size_t frameBytes,
                                      int count);

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

// mpg123's own decoding of the MPEG audio in `path` (a bare stream or one wrapped in WAVE) as
// interleaved 16-bit samples at the stream's rate, every frame kept: no gapless trimming, and
// the LAME/Xing frame decoded as the silent frame it is. Empty when mpg123 fails.
std::vector<int16_t> Mpg123Decode(const std::filesystem::path& path);

// How a decoding strays from a reference decoding of the same stream, in 16-bit steps.
struct DecodingError {
  std::size_t reference_samples = 0;
  std::size_t actual_samples = 0;
  double rms = 0;
  int largest = 0;
  // The same length, and within the limits ISO/IEC 11172-4 sets for a decoder of full
  // accuracy: an RMS difference below 2^-15 / sqrt(12) of full scale, none above 2^-14.
  bool within_full_accuracy() const;
};
DecodingError CompareDecoding(std::span<const int16_t> reference, std::span<const int16_t> actual);
// The same for what the card played, which runs on in silence to the end of its last block.
DecodingError ComparePlayed(std::span<const int16_t> reference, std::span<const int16_t> played);
std::ostream& operator<<(std::ostream& os, const DecodingError& e);

}  // namespace bw::test
