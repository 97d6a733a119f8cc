#include "platform/acm/pcm_samples.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace bw::acm {

// 16-bit WAVE samples are copied as host integers.
static_assert(std::endian::native == std::endian::little, "the codec layer assumes little-endian");

namespace {

int16_t LoadOne(const uint8_t* p, uint32_t bytes) {
  switch (bytes) {
    case 1:
      return static_cast<int16_t>((p[0] - 128) * 256);
    case 2:
      return static_cast<int16_t>(p[0] | (p[1] << 8));
    default:  // 24 and 32 bits: the two most significant bytes
      return static_cast<int16_t>(p[bytes - 2] | (p[bytes - 1] << 8));
  }
}

}  // namespace

void LoadS16(const uint8_t* src, uint32_t bytes, std::size_t count, int16_t* out) {
  if (bytes == 2) {
    std::memcpy(out, src, count * 2);
    return;
  }
  LoadS16Channel(src, bytes, bytes, count, out);
}

void LoadS16Channel(const uint8_t* src, uint32_t bytes, std::size_t stride, std::size_t count,
                    int16_t* out) {
  for (std::size_t i = 0; i < count; ++i)
    out[i] = LoadOne(src + i * stride, bytes);
}

void StoreFromS16(const int16_t* src, std::size_t count, uint32_t bytes, uint8_t* out) {
  if (bytes == 2) {
    std::memcpy(out, src, count * 2);
    return;
  }
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<uint8_t>((src[i] >> 8) + 128);
}

namespace {

class PcmConverter final : public CodecTransform {
 public:
  PcmConverter(uint32_t channels, uint32_t src_bytes, uint32_t dst_bytes)
      : channels_(channels), src_bytes_(src_bytes), dst_bytes_(dst_bytes) {}

  uint32_t SourceUnit() const override { return channels_ * src_bytes_; }

  MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) override {
    const std::size_t samples = units.size() / src_bytes_;
    if (src_bytes_ == dst_bytes_) {
      out.Write(units);
      return MMSYSERR_NOERROR;
    }
    uint8_t* dst = out.Claim(samples * dst_bytes_);
    // Through a small 16-bit stage so that every width pair needs only one load and one store.
    int16_t stage[1024];
    for (std::size_t done = 0; done < samples;) {
      const std::size_t n = std::min(samples - done, std::size(stage));
      LoadS16(units.data() + done * src_bytes_, src_bytes_, n, stage);
      StoreFromS16(stage, n, dst_bytes_, dst + done * dst_bytes_);
      done += n;
    }
    out.Commit(samples * dst_bytes_);
    return MMSYSERR_NOERROR;
  }

  // A partial sample frame at the end is not a sample: dropped.
  MMRESULT Finish(std::span<const uint8_t>, OutputSink&) override { return MMSYSERR_NOERROR; }
  MMRESULT Reset() override { return MMSYSERR_NOERROR; }

  uint64_t OutputBound(uint64_t source_bytes) const override {
    return source_bytes / SourceUnit() * channels_ * dst_bytes_;
  }
  uint64_t SourceFor(uint64_t dest_bytes) const override {
    return dest_bytes / (channels_ * dst_bytes_) * SourceUnit();
  }

 private:
  uint32_t channels_;
  uint32_t src_bytes_;
  uint32_t dst_bytes_;
};

}  // namespace

std::unique_ptr<CodecTransform> MakePcmConverter(const WAVEFORMATEX& src, const WAVEFORMATEX& dst) {
  const uint32_t src_bytes = ContainerBytes(src.wBitsPerSample);
  const uint32_t dst_bytes = ContainerBytes(dst.wBitsPerSample);
  if (!IsLoadableWidth(src_bytes) || !IsStorableWidth(dst_bytes)) return nullptr;
  return std::make_unique<PcmConverter>(src.nChannels, src_bytes, dst_bytes);
}

}  // namespace bw::acm
