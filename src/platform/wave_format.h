// Sound format descriptions as they are stored in WAVE files and exchanged with the codecs:
// the 18-byte WAVEFORMATEX base followed by cbSize format-specific extra bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace bw {

// Format tags this program knows by name.
inline constexpr uint16_t kWaveFormatPcm = 0x0001;
inline constexpr uint16_t kWaveFormatMsAdpcm = 0x0002;
inline constexpr uint16_t kWaveFormatALaw = 0x0006;
inline constexpr uint16_t kWaveFormatMuLaw = 0x0007;
inline constexpr uint16_t kWaveFormatImaAdpcm = 0x0011;
inline constexpr uint16_t kWaveFormatTrueSpeech = 0x0022;
inline constexpr uint16_t kWaveFormatGsm610 = 0x0031;
inline constexpr uint16_t kWaveFormatMsnAudio = 0x0032;
inline constexpr uint16_t kWaveFormatMpeg = 0x0050;
inline constexpr uint16_t kWaveFormatMpegLayer3 = 0x0055;
inline constexpr uint16_t kWaveFormatLhCelp = 0x0070;

// Size of the base record with its cbSize word; a PCM "fmt " chunk stores only the first 16.
inline constexpr std::size_t kWaveFormatExSize = 18;
inline constexpr std::size_t kPcmWaveFormatSize = 16;

// The base record. Fields are kept in host order; Serialize/Parse convert to and from the
// little-endian file form.
struct WAVEFORMATEX {
  uint16_t wFormatTag = 0;
  uint16_t nChannels = 0;
  uint32_t nSamplesPerSec = 0;
  uint32_t nAvgBytesPerSec = 0;
  uint16_t nBlockAlign = 0;
  uint16_t wBitsPerSample = 0;
  uint16_t cbSize = 0;

  friend bool operator==(const WAVEFORMATEX&, const WAVEFORMATEX&) = default;
};

// 16-bit PCM with the given layout: the decode target of playback and the capture format.
WAVEFORMATEX MakePcmFormat(uint32_t samples_per_sec, uint16_t channels, uint16_t bits = 16);

// A format block: the base record and exactly cbSize extra bytes, owned together.
class FormatBlock {
 public:
  FormatBlock() = default;
  // Takes `base` and `extra`; cbSize is set to extra.size().
  explicit FormatBlock(const WAVEFORMATEX& base, std::span<const uint8_t> extra = {});

  // Parses the little-endian form (18 + cbSize bytes; 16 bytes are accepted as PCM with no
  // cbSize). Returns an empty block when the bytes are too short for what they declare.
  static FormatBlock Parse(std::span<const uint8_t> bytes);

  bool empty() const { return format_.wFormatTag == 0 && format_.nChannels == 0; }
  const WAVEFORMATEX& format() const { return format_; }
  // Changing cbSize through this reference is not allowed; use SetExtra.
  WAVEFORMATEX& format() { return format_; }
  std::span<const uint8_t> extra() const { return extra_; }
  void SetExtra(std::span<const uint8_t> extra);

  // 18 + cbSize bytes in file order.
  std::vector<uint8_t> Serialize() const;
  // Size of the serialized form.
  std::size_t size() const { return kWaveFormatExSize + extra_.size(); }

  // The little-endian 16-bit word at `offset` bytes from the start of the serialized form,
  // 0 when the block is too short (e.g. wSamplesPerBlock at offset 18 of IMA ADPCM).
  uint16_t WordAt(std::size_t offset) const;

  friend bool operator==(const FormatBlock&, const FormatBlock&) = default;

 private:
  WAVEFORMATEX format_{};
  std::vector<uint8_t> extra_;
};

// Little-endian helpers for file and format bytes.
inline uint16_t LoadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace bw
