// PCM sample widths inside the codec layer: loading 8-, 16-, 24- and 32-bit WAVE samples as
// 16-bit values and storing 16-bit values as 8- or 16-bit WAVE samples, and the PCM converter
// built from them. WAVE PCM is little-endian and 8-bit PCM is unsigned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/acm/codec_transform.h"

namespace bw::acm {

// Bytes that hold one sample of `bits` bits (12-bit samples sit in 16-bit containers).
inline uint32_t ContainerBytes(uint32_t bits) {
  return (bits + 7) / 8;
}

// True for the sample sizes LoadS16 reads and StoreFromS16 writes.
inline bool IsLoadableWidth(uint32_t bytes) {
  return bytes >= 1 && bytes <= 4;
}
inline bool IsStorableWidth(uint32_t bytes) {
  return bytes == 1 || bytes == 2;
}

// `count` samples of `bytes` bytes each, as 16-bit values (wider samples keep their top bits).
void LoadS16(const uint8_t* src, uint32_t bytes, std::size_t count, int16_t* out);
// One channel of interleaved samples, `stride` bytes apart, into a plane of 16-bit values.
void LoadS16Channel(const uint8_t* src, uint32_t bytes, std::size_t stride, std::size_t count,
                    int16_t* out);
// `count` 16-bit values as samples of `bytes` (1 or 2) bytes.
void StoreFromS16(const int16_t* src, std::size_t count, uint32_t bytes, uint8_t* out);

// PCM to PCM with the same channels and rate: a change of sample width only.
std::unique_ptr<CodecTransform> MakePcmConverter(const WAVEFORMATEX& src, const WAVEFORMATEX& dst);

}  // namespace bw::acm
