#include "platform/acm/mpeg_audio.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/acm/lavc_codec.h"
#include "platform/acm/mpg123_codec.h"
#include "platform/acm/pcm_samples.h"

namespace bw::acm {

namespace {

// Bit rates in kbit/s by bit-rate index 1 to 14: MPEG-1 layers 1, 2, 3, then MPEG-2 and 2.5
// layer 1, then MPEG-2 and 2.5 layers 2 and 3.
constexpr uint16_t kBitrates[5][14] = {
    {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr uint32_t kRates[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

bool IsMpeg1Rate(uint32_t rate) {
  return rate == 32000 || rate == 44100 || rate == 48000;
}
bool IsMpeg25Rate(uint32_t rate) {
  return rate == 8000 || rate == 11025 || rate == 12000;
}

}  // namespace

std::optional<MpegFrameHeader> ParseMpegFrameHeader(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
  const int version_bits = (p[1] >> 3) & 3;  // 0 = 2.5, 1 reserved, 2 = 2, 3 = 1
  const int layer_bits = (p[1] >> 1) & 3;    // 1 = III, 2 = II, 3 = I
  const int bitrate_index = p[2] >> 4;
  const int rate_index = (p[2] >> 2) & 3;
  if (version_bits == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 ||
      rate_index == 3) {
    return std::nullopt;
  }
  MpegFrameHeader h;
  h.version = static_cast<uint8_t>(version_bits == 3 ? 0 : version_bits == 2 ? 1 : 2);
  h.layer = static_cast<uint8_t>(4 - layer_bits);
  h.rate_index = static_cast<uint8_t>(rate_index);
  h.sample_rate = kRates[h.version][rate_index];
  h.channels = ((p[3] >> 6) == 3) ? 1 : 2;
  const int table = h.version == 0 ? h.layer - 1 : (h.layer == 1 ? 3 : 4);
  h.kbps = kBitrates[table][bitrate_index - 1];
  const uint32_t padding = (p[2] >> 1) & 1;
  const uint32_t bits_per_sec = h.kbps * 1000;
  if (h.layer == 1) {
    h.samples = 384;
    h.bytes = (12 * bits_per_sec / h.sample_rate + padding) * 4;
  } else {
    h.samples = (h.layer == 3 && h.version != 0) ? 576 : 1152;
    h.bytes = h.samples / 8 * bits_per_sec / h.sample_rate + padding;
  }
  return h;
}

bool SameMpegStream(const MpegFrameHeader& a, const MpegFrameHeader& b) {
  return a.version == b.version && a.layer == b.layer && a.rate_index == b.rate_index;
}

std::span<const uint16_t> Mp3EncoderBitrates(uint32_t sample_rate) {
  if (IsMpeg1Rate(sample_rate)) return kBitrates[2];
  if (IsMpeg25Rate(sample_rate)) return std::span(kBitrates[4]).first(8);  // LAME stops at 64
  if (std::ranges::find(kMpegSampleRates, sample_rate) != std::end(kMpegSampleRates))
    return kBitrates[4];
  return {};
}

bool IsMp3EncoderChoice(uint32_t sample_rate, uint32_t channels, uint32_t kbps) {
  const auto rates = Mp3EncoderBitrates(sample_rate);
  return (channels == 1 || channels == 2) &&
         std::ranges::find(rates, static_cast<uint16_t>(kbps)) != rates.end();
}

uint32_t Mp3FrameSamples(uint32_t sample_rate) {
  return IsMpeg1Rate(sample_rate) ? 1152 : 576;
}

namespace {

// Bounds for the declared average rate of a stream, used until frames have been decoded:
// 8 kbit/s to 448 kbit/s; outside them (a broken or defaulted value) 128 kbit/s is assumed.
constexpr uint32_t kLowestAvgBytes = 1000;
constexpr uint32_t kHighestAvgBytes = 56000;
constexpr uint32_t kAssumedAvgBytes = 16000;
// After this many frames the measured ratio of coded to decoded bytes replaces the declared one.
constexpr uint64_t kFramesBeforeMeasuring = 8;
constexpr uint32_t kMostSamplesPerFrame = 1152;

struct SwrDeleter {
  void operator()(SwrContext* context) const { lav::swr_free(&context); }
};

// Brings frames whose rate is not the declared one to that rate, so that a stream that changes
// its rate part-way (files joined end to end) still plays at the right speed.
class RateConverter {
 public:
  RateConverter(uint32_t channels, uint32_t rate) : channels_(channels), rate_(rate) {}

  // Appends `in` (interleaved, at `in_rate`) to `out` at the declared rate.
  void Convert(uint32_t in_rate, std::span<const int16_t> in, std::vector<int16_t>& out) {
    if (in_rate != in_rate_) {
      Flush(out);
      Open(in_rate);
    }
    if (!context_) return;  // no converter: the frames are left out
    const int frames = static_cast<int>(in.size() / channels_);
    const auto* src = reinterpret_cast<const uint8_t*>(in.data());
    Run(&src, frames, out);
  }

  // Appends what the converter still holds.
  void Flush(std::vector<int16_t>& out) {
    if (context_) Run(nullptr, 0, out);
    context_.reset();
    in_rate_ = 0;
  }

 private:
  void Open(uint32_t in_rate) {
    in_rate_ = in_rate;
    if (!LoadLibavCodec()) return;
    AVChannelLayout layout;
    lav::av_channel_layout_default(&layout, static_cast<int>(channels_));
    SwrContext* context = nullptr;
    if (lav::swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_S16, static_cast<int>(rate_),
                                 &layout, AV_SAMPLE_FMT_S16, static_cast<int>(in_rate), 0,
                                 nullptr) >= 0) {
      context_.reset(context);
      if (lav::swr_init(context) < 0) context_.reset();
    }
    lav::av_channel_layout_uninit(&layout);
  }

  void Run(const uint8_t** src, int frames, std::vector<int16_t>& out) {
    const int room = lav::swr_get_out_samples(context_.get(), frames);
    if (room <= 0) return;
    const std::size_t old_size = out.size();
    out.resize(old_size + static_cast<std::size_t>(room) * channels_);
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + old_size);
    const int made = lav::swr_convert(context_.get(), &dst, room, src, frames);
    out.resize(old_size + static_cast<std::size_t>(std::max(made, 0)) * channels_);
  }

  uint32_t channels_;
  uint32_t rate_;
  uint32_t in_rate_ = 0;
  std::unique_ptr<SwrContext, SwrDeleter> context_;
};

class MpegAudioDecoder final : public CodecTransform {
 public:
  MpegAudioDecoder(const WAVEFORMATEX& src, const WAVEFORMATEX& dst)
      : frames_(dst.nChannels),
        channels_(dst.nChannels),
        bytes_(ContainerBytes(dst.wBitsPerSample)),
        rate_(dst.nSamplesPerSec),
        converter_(dst.nChannels, dst.nSamplesPerSec) {
    const uint32_t avg =
        src.nAvgBytesPerSec >= kLowestAvgBytes && src.nAvgBytesPerSec <= kHighestAvgBytes
            ? src.nAvgBytesPerSec
            : kAssumedAvgBytes;
    declared_ratio_ =
        static_cast<double>(avg) / (static_cast<double>(dst.nSamplesPerSec) * channels_ * bytes_);
  }

  bool ok() const { return frames_.ok(); }

  // Frames are found in the bytes, so any byte count is whole.
  uint32_t SourceUnit() const override { return 1; }

  MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) override {
    carry_.insert(carry_.end(), units.begin(), units.end());
    Scan(out, false);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Finish(std::span<const uint8_t> tail, OutputSink& out) override {
    carry_.insert(carry_.end(), tail.begin(), tail.end());
    Scan(out, true);
    FlushConverter(out);
    return Reset();
  }

  MMRESULT Reset() override {
    std::vector<int16_t> dropped;
    converter_.Flush(dropped);
    carry_.clear();
    skip_ = 0;
    at_start_ = true;
    locked_.reset();
    frames_.Reset();
    return MMSYSERR_NOERROR;
  }

  uint64_t OutputBound(uint64_t source_bytes) const override {
    const double coded = static_cast<double>(carry_.size() + source_bytes);
    return static_cast<uint64_t>(coded / CodedPerDecoded()) + FrameOutputBytes();
  }

  uint64_t SourceFor(uint64_t dest_bytes) const override {
    if (dest_bytes == 0) return 0;
    return std::max<uint64_t>(
        1, static_cast<uint64_t>(static_cast<double>(dest_bytes) * CodedPerDecoded()));
  }

 private:
  double CodedPerDecoded() const {
    if (frames_decoded_ < kFramesBeforeMeasuring || decoded_bytes_ == 0) return declared_ratio_;
    return static_cast<double>(coded_bytes_) / static_cast<double>(decoded_bytes_);
  }
  uint64_t FrameOutputBytes() const { return uint64_t{kMostSamplesPerFrame} * channels_ * bytes_; }

  // Decodes every frame that lies whole in `carry_`, skipping a leading ID3v2 tag and any bytes
  // that are not frames. A frame that does not continue the stream found so far is taken only
  // when the next frame header confirms it. At the end, frames are taken without waiting for
  // the next header, and what is left is dropped.
  void Scan(OutputSink& out, bool at_end) {
    std::size_t head = 0;
    while (head < carry_.size()) {
      const uint8_t* p = carry_.data() + head;
      const std::size_t avail = carry_.size() - head;
      if (skip_ > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(skip_, avail));
        head += n;
        skip_ -= n;
        continue;
      }
      if (at_start_ && IsId3Start(p, avail)) {
        if (avail < 10) break;
        skip_ = Id3Length(p);
        continue;
      }
      if (avail < 4) break;
      if (p[0] != 0xFF) {
        const void* sync = std::memchr(p + 1, 0xFF, avail - 1);
        head += sync ? static_cast<std::size_t>(static_cast<const uint8_t*>(sync) - p) : avail;
        at_start_ = false;
        continue;
      }
      const std::optional<MpegFrameHeader> header = ParseMpegFrameHeader(p);
      if (!header) {
        ++head;
        continue;
      }
      if (avail < header->bytes) {
        if (!at_end) break;
        ++head;  // a cut-off last frame
        continue;
      }
      const bool continues = locked_ && SameMpegStream(*locked_, *header);
      if (!continues) {
        if (avail < header->bytes + 4) {
          if (!at_end) break;
        } else {
          const auto next = ParseMpegFrameHeader(p + header->bytes);
          if (!next || !SameMpegStream(*header, *next)) {
            ++head;
            continue;
          }
        }
        locked_ = header;
      }
      DecodeFrame(std::span(p, header->bytes), *header, out);
      head += header->bytes;
      at_start_ = false;
    }
    carry_.erase(carry_.begin(), carry_.begin() + static_cast<std::ptrdiff_t>(head));
  }

  static bool IsId3Start(const uint8_t* p, std::size_t avail) {
    static constexpr uint8_t kId3[] = {'I', 'D', '3'};
    return std::memcmp(p, kId3, std::min<std::size_t>(avail, 3)) == 0;
  }
  // The whole tag: 10 header bytes, the synch-safe size, and a 10-byte footer when flagged.
  static uint64_t Id3Length(const uint8_t* p) {
    const uint64_t size = (uint64_t{p[6] & 0x7Fu} << 21) | ((p[7] & 0x7Fu) << 14) |
                          ((p[8] & 0x7Fu) << 7) | (p[9] & 0x7Fu);
    return 10 + size + ((p[5] & 0x10) ? 10 : 0);
  }

  // One frame; a frame that does not decode (broken data, or the bit reservoir it refers to
  // lies before a jump) plays as silence of its length.
  void DecodeFrame(std::span<const uint8_t> bytes, const MpegFrameHeader& header, OutputSink& out) {
    std::size_t produced = WriteDecoded(frames_.Decode(bytes), out);
    if (produced == 0) {
      produced = std::size_t{header.samples} * rate_ / header.sample_rate;
      WriteSilence(produced, channels_, bytes_, out);
    }
    ++frames_decoded_;
    coded_bytes_ += bytes.size();
    decoded_bytes_ += produced * channels_ * bytes_;
  }

  // Writes one frame's samples at the declared rate; returns how many sample frames came out.
  std::size_t WriteDecoded(const Mpg123Frames::Decoded& decoded, OutputSink& out) {
    if (decoded.samples.empty()) return 0;
    if (decoded.rate == rate_) {
      const std::size_t flushed = FlushConverter(out);
      WriteSamples(decoded.samples, bytes_, out);
      return flushed + decoded.samples.size() / channels_;
    }
    converted_.clear();
    converter_.Convert(decoded.rate, decoded.samples, converted_);
    WriteSamples(converted_, bytes_, out);
    return converted_.size() / channels_;
  }

  std::size_t FlushConverter(OutputSink& out) {
    converted_.clear();
    converter_.Flush(converted_);
    WriteSamples(converted_, bytes_, out);
    return converted_.size() / channels_;
  }

  Mpg123Frames frames_;
  uint32_t channels_;
  uint32_t bytes_;
  uint32_t rate_;
  RateConverter converter_;
  double declared_ratio_ = 0;
  std::vector<uint8_t> carry_;  // bytes given but not yet part of a decoded frame
  uint64_t skip_ = 0;           // bytes of an ID3v2 tag still to skip
  bool at_start_ = true;
  std::optional<MpegFrameHeader> locked_;
  uint64_t frames_decoded_ = 0;
  uint64_t coded_bytes_ = 0;
  uint64_t decoded_bytes_ = 0;
  std::vector<int16_t> converted_;
};

}  // namespace

std::unique_ptr<CodecTransform> MakeMpegAudioDecoder(const FormatBlock& src,
                                                     const WAVEFORMATEX& dst) {
  auto decoder = std::make_unique<MpegAudioDecoder>(src.format(), dst);
  if (!decoder->ok()) return nullptr;
  return decoder;
}

}  // namespace bw::acm
