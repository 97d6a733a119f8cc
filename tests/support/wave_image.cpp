#include "support/wave_image.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <ostream>

#include "support/test_support.h"

namespace bw::test {
namespace {

// Writes into an image sized beforehand. Growing the image piece by piece with insert() makes
// GCC 12 at -O3 see a write past a four-byte allocation that cannot happen
// (-Wstringop-overflow), and one allocation is all the image needs anyway.
class ImageWriter {
 public:
  explicit ImageWriter(std::size_t size) : image_(size) {}
  void Put(std::span<const uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image_.begin() + static_cast<std::ptrdiff_t>(pos_));
    pos_ += bytes.size();
  }
  void Put(std::string_view text) {
    Put({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  }
  void Put32(uint32_t v) {
    StoreLe32(image_.data() + pos_, v);
    pos_ += 4;
  }
  void Skip(std::size_t bytes) { pos_ += bytes; }
  std::vector<uint8_t> Take() { return std::move(image_); }

 private:
  std::vector<uint8_t> image_;
  std::size_t pos_ = 0;
};

}  // namespace

std::vector<uint8_t> FmtBody(const FormatBlock& format) {
  std::vector<uint8_t> body = format.Serialize();
  if (format.format().wFormatTag == kWaveFormatPcm) body.resize(kPcmWaveFormatSize);
  return body;
}

std::vector<uint8_t> BuildRiffWave(const std::vector<Chunk>& chunks) {
  std::size_t size = 12;
  for (const Chunk& c : chunks)
    size += c.id.size() + 4 + c.body.size() + c.body.size() % 2;
  ImageWriter out(size);
  out.Put("RIFF");
  out.Put32(static_cast<uint32_t>(size - 8));
  out.Put("WAVE");
  for (const Chunk& c : chunks) {
    out.Put(c.id);
    out.Put32(c.declared_size.value_or(static_cast<uint32_t>(c.body.size())));
    out.Put(c.body);
    out.Skip(c.body.size() % 2);  // the pad byte, already zero
  }
  return out.Take();
}

std::vector<uint8_t> BuildWave(const FormatBlock& format, std::span<const uint8_t> data) {
  return BuildRiffWave({{"fmt ", FmtBody(format), {}}, {"data", {data.begin(), data.end()}, {}}});
}

std::optional<ParsedWave> ParseWave(std::span<const uint8_t> image) {
  if (image.size() < 12 || !std::equal(image.begin(), image.begin() + 4, "RIFF") ||
      !std::equal(image.begin() + 8, image.begin() + 12, "WAVE")) {
    return std::nullopt;
  }
  ParsedWave wave;
  wave.riff_size = LoadLe32(image.data() + 4);
  if (static_cast<uint64_t>(wave.riff_size) + 8 != image.size()) return std::nullopt;
  bool have_fmt = false;
  bool have_data = false;
  std::size_t pos = 12;
  while (pos < image.size()) {
    if (pos + 8 > image.size()) return std::nullopt;
    const std::string id(image.begin() + static_cast<std::ptrdiff_t>(pos),
                         image.begin() + static_cast<std::ptrdiff_t>(pos + 4));
    const uint32_t size = LoadLe32(image.data() + pos + 4);
    const std::size_t body = pos + 8;
    if (body + size > image.size()) return std::nullopt;
    const auto bytes = image.subspan(body, size);
    wave.chunk_ids.push_back(id);
    if (id == "fmt ") {
      wave.format = FormatBlock::Parse(bytes);
      if (wave.format.empty()) return std::nullopt;
      have_fmt = true;
    } else if (id == "data") {
      wave.data.assign(bytes.begin(), bytes.end());
      wave.data_offset = static_cast<uint32_t>(body);
      have_data = true;
    } else if (id == "fact" && size >= 4) {
      wave.fact = LoadLe32(bytes.data());
    }
    pos = body + size + (size % 2);
  }
  if (pos != image.size() || !have_fmt || !have_data) return std::nullopt;
  return wave;
}

std::vector<uint8_t> SilentMpegFrames(uint8_t b1, uint8_t b2, uint8_t b3, std::size_t frameBytes,
                                      int count) {
  std::vector<uint8_t> out;
  for (int i = 0; i < count; ++i) {
    const std::size_t at = out.size();
    out.resize(at + frameBytes, 0);
    out[at] = 0xFF;
    out[at + 1] = b1;
    out[at + 2] = b2;
    out[at + 3] = b3;
  }
  return out;
}

std::vector<uint8_t> Pcm16Bytes(std::span<const int16_t> samples) {
  std::vector<uint8_t> out(samples.size() * 2);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    StoreLe16(out.data() + 2 * i, static_cast<uint16_t>(samples[i]));
  }
  return out;
}

std::vector<int16_t> Pcm16Samples(std::span<const uint8_t> bytes) {
  std::vector<int16_t> out(bytes.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<int16_t>(LoadLe16(bytes.data() + 2 * i));
  }
  return out;
}

std::vector<int16_t> SineTone(uint32_t rate, uint16_t channels, uint32_t frames, double hz,
                              double amplitude) {
  std::vector<int16_t> out(static_cast<std::size_t>(frames) * channels);
  for (uint32_t f = 0; f < frames; ++f) {
    for (uint16_t c = 0; c < channels; ++c) {
      const double phase = 2 * std::numbers::pi * hz * (c + 1) * f / rate;
      out[static_cast<std::size_t>(f) * channels + c] =
          static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(phase)));
    }
  }
  return out;
}

double SnrDb(std::span<const int16_t> expected, std::span<const int16_t> actual, int max_shift) {
  double best = -std::numeric_limits<double>::infinity();
  for (int shift = -max_shift; shift <= max_shift; ++shift) {
    double signal = 0;
    double noise = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const auto j = static_cast<std::ptrdiff_t>(i) + shift;
      if (j < 0 || static_cast<std::size_t>(j) >= actual.size()) continue;
      const double e = expected[i];
      const double d = e - actual[static_cast<std::size_t>(j)];
      signal += e * e;
      noise += d * d;
    }
    if (signal == 0) continue;
    best = std::max(best, noise == 0 ? 200.0 : 10 * std::log10(signal / noise));
  }
  return best;
}

std::vector<int16_t> Mpg123Decode(const std::filesystem::path& path) {
  const CommandResult r =
      RunCommand({"mpg123", "--no-gapless", "--no-infoframe", "-q", "-s", path.string()});
  if (r.exit_code != 0) return {};
  return Pcm16Samples(std::span(reinterpret_cast<const uint8_t*>(r.out.data()), r.out.size()));
}

bool DecodingError::within_full_accuracy() const {
  // Full scale is 32768 steps: 2^-15 of it is one step.
  return reference_samples == actual_samples && rms < 1 / std::sqrt(12.0) && largest <= 2;
}

DecodingError CompareDecoding(std::span<const int16_t> reference, std::span<const int16_t> actual) {
  DecodingError e{reference.size(), actual.size()};
  const std::size_t n = std::min(reference.size(), actual.size());
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int d = std::abs(int{reference[i]} - int{actual[i]});
    sum += double(d) * d;
    e.largest = std::max(e.largest, d);
  }
  e.rms = n == 0 ? 0 : std::sqrt(sum / static_cast<double>(n));
  return e;
}

DecodingError ComparePlayed(std::span<const int16_t> reference, std::span<const int16_t> played) {
  std::vector<int16_t> padded(reference.begin(), reference.end());
  if (played.size() > padded.size()) padded.resize(played.size(), 0);
  return CompareDecoding(padded, played);
}

std::ostream& operator<<(std::ostream& os, const DecodingError& e) {
  return os << e.actual_samples << " samples against " << e.reference_samples << ", RMS " << e.rms
            << " steps, largest " << e.largest;
}

void WritePcmWave(const std::filesystem::path& path, uint32_t rate, uint16_t channels,
                  std::span<const int16_t> samples) {
  WriteFileBytes(path, BuildWave(FormatBlock(MakePcmFormat(rate, channels)), Pcm16Bytes(samples)));
}

}  // namespace bw::test
