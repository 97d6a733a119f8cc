#include "platform/acm/sample_converter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace bw::acm {
namespace {

constexpr double kMinus3Db = 0.70710678118654752;

// Where one speaker goes in a stereo mix: its weight on the left and the right output.
struct StereoWeights {
  double left;
  double right;
};

StereoWeights SpeakerWeights(uint32_t speaker) {
  switch (speaker) {
    case kSpeakerFrontLeft:
    case 0x40:  // front left of centre
      return {1, 0};
    case kSpeakerFrontRight:
    case 0x80:  // front right of centre
      return {0, 1};
    case kSpeakerFrontCenter:
      return {kMinus3Db, kMinus3Db};
    case kSpeakerLowFrequency:
      return {0, 0};
    case kSpeakerBackLeft:
    case 0x200:   // side left
    case 0x1000:  // top front left
    case 0x8000:  // top back left
      return {kMinus3Db, 0};
    case kSpeakerBackRight:
    case 0x400:    // side right
    case 0x4000:   // top front right
    case 0x20000:  // top back right
      return {0, kMinus3Db};
    case 0x100:    // back centre
    case 0x800:    // top centre
    case 0x2000:   // top front centre
    case 0x10000:  // top back centre
      return {0.5, 0.5};
    default:  // a position with no place in a stereo image
      return {0, 0};
  }
}

// The speaker each channel feeds, in channel order.
std::vector<uint32_t> Speakers(const SampleLayout& layout) {
  std::vector<uint32_t> speakers;
  uint32_t mask = SpeakerMask(layout);
  for (uint32_t c = 0; c < layout.channels; ++c) {
    const uint32_t lowest = mask & (~mask + 1);
    speakers.push_back(lowest);
    mask &= ~lowest;
  }
  return speakers;
}

void ScaleToFullScale(std::vector<double>& weights, uint32_t from) {
  double largest = 0;
  for (std::size_t row = 0; row < weights.size() / from; ++row) {
    double sum = 0;
    for (uint32_t c = 0; c < from; ++c)
      sum += std::abs(weights[row * from + c]);
    largest = std::max(largest, sum);
  }
  if (largest <= 1) return;
  for (double& w : weights)
    w /= largest;
}

// A sample as a value in [-1, 1) (float samples may lie outside).
double LoadSample(const uint8_t* p, const SampleLayout& layout, uint32_t padding_mask) {
  if (layout.tag == kWaveFormatIeeeFloat) {
    double v = 0;
    if (layout.containerBytes == 4) {
      float f = 0;
      std::memcpy(&f, p, 4);
      v = f;
    } else {
      std::memcpy(&v, p, 8);
    }
    return std::isnan(v) ? 0.0 : v;
  }
  // Left-justified in its container, 8-bit samples unsigned.
  uint32_t word = 0;
  for (uint32_t b = 0; b < layout.containerBytes; ++b)
    word |= uint32_t{p[b]} << (8 * (4 - layout.containerBytes + b));
  if (layout.containerBytes == 1) word ^= 0x80000000u;
  return static_cast<int32_t>(word & padding_mask) / 2147483648.0;
}

// `v` scaled to `steps` per unit, rounded to the nearest step (halves upward) and held to the
// range of a signed integer of that many steps.
int64_t RoundToSteps(double v, double steps) {
  const double scaled = std::floor(v * steps + 0.5);
  return static_cast<int64_t>(std::clamp(scaled, -steps, steps - 1));
}

void StoreSample(double v, const SampleLayout& layout, uint8_t* p) {
  if (layout.tag == kWaveFormatIeeeFloat) {
    if (layout.containerBytes == 4) {
      const auto f = static_cast<float>(std::clamp(v, -3.4e38, 3.4e38));
      std::memcpy(p, &f, 4);
    } else {
      std::memcpy(p, &v, 8);
    }
    return;
  }
  const uint32_t bits = layout.containerBytes * 8;
  auto word = static_cast<uint32_t>(RoundToSteps(v, std::ldexp(1.0, static_cast<int>(bits) - 1)));
  if (layout.containerBytes == 1) word ^= 0x80u;
  for (uint32_t b = 0; b < layout.containerBytes; ++b)
    p[b] = static_cast<uint8_t>(word >> (8 * b));
}

bool SameSamples(const SampleLayout& a, const SampleLayout& b) {
  return a.tag == b.tag && a.channels == b.channels && a.containerBytes == b.containerBytes &&
         a.validBits == b.validBits;
}

class SampleConverter final : public CodecTransform {
 public:
  SampleConverter(const SampleLayout& from, const SampleLayout& to)
      : from_(from),
        to_(to),
        in_frame_(from.containerBytes * from.channels),
        out_frame_(to.containerBytes * to.channels),
        copy_(SameSamples(from, to)),
        mixed_(from.channels != to.channels),
        weights_(ChannelMixWeights(from, to.channels)),
        padding_mask_(from.validBits >= 32 ? 0xFFFFFFFFu : ~((1u << (32 - from.validBits)) - 1)),
        in_(kFramesPerRound * from.channels),
        out_(kFramesPerRound * to.channels) {}

  uint32_t SourceUnit() const override { return in_frame_; }

  MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) override {
    if (copy_) {
      out.Write(units);
      return MMSYSERR_NOERROR;
    }
    const std::size_t frames = units.size() / in_frame_;
    uint8_t* dst = out.Claim(frames * out_frame_);
    for (std::size_t done = 0; done < frames;) {
      const std::size_t n = std::min(frames - done, kFramesPerRound);
      ConvertRound(units.data() + done * in_frame_, n, dst + done * out_frame_);
      done += n;
    }
    out.Commit(frames * out_frame_);
    return MMSYSERR_NOERROR;
  }

  // A partial frame at the end is not a sample: dropped.
  MMRESULT Finish(std::span<const uint8_t>, OutputSink&) override { return MMSYSERR_NOERROR; }
  MMRESULT Reset() override { return MMSYSERR_NOERROR; }

  uint64_t OutputBound(uint64_t source_bytes) const override {
    return source_bytes / in_frame_ * out_frame_;
  }
  uint64_t SourceFor(uint64_t dest_bytes) const override {
    return dest_bytes / out_frame_ * in_frame_;
  }

 private:
  static constexpr std::size_t kFramesPerRound = 512;

  void ConvertRound(const uint8_t* src, std::size_t frames, uint8_t* dst) {
    const std::size_t in_samples = frames * from_.channels;
    for (std::size_t i = 0; i < in_samples; ++i)
      in_[i] = LoadSample(src + i * from_.containerBytes, from_, padding_mask_);
    const std::vector<double>& mixed = mixed_ ? Mix(frames) : in_;
    const std::size_t out_samples = frames * to_.channels;
    for (std::size_t i = 0; i < out_samples; ++i)
      StoreSample(mixed[i], to_, dst + i * to_.containerBytes);
  }

  const std::vector<double>& Mix(std::size_t frames) {
    const uint32_t ch_in = from_.channels;
    const uint32_t ch_out = to_.channels;
    for (std::size_t f = 0; f < frames; ++f) {
      for (uint32_t o = 0; o < ch_out; ++o) {
        double sum = 0;
        for (uint32_t c = 0; c < ch_in; ++c)
          sum += weights_[o * ch_in + c] * in_[f * ch_in + c];
        out_[f * ch_out + o] = sum;
      }
    }
    return out_;
  }

  SampleLayout from_;
  SampleLayout to_;
  uint32_t in_frame_;
  uint32_t out_frame_;
  bool copy_;
  bool mixed_;
  std::vector<double> weights_;
  uint32_t padding_mask_;
  std::vector<double> in_;
  std::vector<double> out_;
};

class ChainedCodecs final : public CodecTransform {
 public:
  ChainedCodecs(std::unique_ptr<CodecTransform> first, std::unique_ptr<CodecTransform> second)
      : first_(std::move(first)), second_(std::move(second)) {}

  uint32_t SourceUnit() const override { return first_->SourceUnit(); }

  MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) override {
    OutputSink between({}, between_);
    if (const MMRESULT r = first_->Feed(units, between); r != MMSYSERR_NOERROR) return r;
    return PassOn(out, false);
  }

  MMRESULT Finish(std::span<const uint8_t> tail, OutputSink& out) override {
    OutputSink between({}, between_);
    if (const MMRESULT r = first_->Finish(tail, between); r != MMSYSERR_NOERROR) return r;
    return PassOn(out, true);
  }

  MMRESULT Reset() override {
    between_.Clear();
    if (const MMRESULT r = first_->Reset(); r != MMSYSERR_NOERROR) return r;
    return second_->Reset();
  }

  uint64_t OutputBound(uint64_t source_bytes) const override {
    return second_->OutputBound(first_->OutputBound(source_bytes) + between_.size());
  }
  uint64_t SourceFor(uint64_t dest_bytes) const override {
    return first_->SourceFor(second_->SourceFor(dest_bytes));
  }

 private:
  // Hands the first codec's output to the second in whole units; at the end the rest too.
  MMRESULT PassOn(OutputSink& out, bool end) {
    staged_.resize(between_.size());
    between_.PopTo(staged_.data(), staged_.size());
    const std::span<const uint8_t> staged(staged_);
    const std::size_t unit = second_->SourceUnit();
    const std::size_t whole = staged.size() / unit * unit;
    if (const MMRESULT r = second_->Feed(staged.first(whole), out); r != MMSYSERR_NOERROR) return r;
    if (end) return second_->Finish(staged.subspan(whole), out);
    OutputSink back({}, between_);
    back.Write(staged.subspan(whole));
    return MMSYSERR_NOERROR;
  }

  std::unique_ptr<CodecTransform> first_;
  std::unique_ptr<CodecTransform> second_;
  ByteQueue between_;  // the first codec's output not yet taken by the second
  std::vector<uint8_t> staged_;
};

}  // namespace

std::vector<double> ChannelMixWeights(const SampleLayout& from, uint32_t to) {
  const uint32_t n = from.channels;
  std::vector<double> weights(std::size_t{to} * n, 0.0);
  if (to == n) {
    for (uint32_t c = 0; c < n; ++c)
      weights[c * n + c] = 1;
    return weights;
  }
  const std::vector<uint32_t> speakers = Speakers(from);
  for (uint32_t c = 0; c < n; ++c) {
    const StereoWeights w = SpeakerWeights(speakers[c]);
    if (to == 2) {
      weights[c] = w.left;
      weights[n + c] = w.right;
    } else {
      weights[c] = (w.left + w.right) / 2;
    }
  }
  ScaleToFullScale(weights, n);
  return weights;
}

SampleLayout Pcm16Layout(uint16_t channels, uint32_t mask) {
  return SampleLayout{kWaveFormatPcm, channels, 2, 16, mask};
}

std::unique_ptr<CodecTransform> MakeSampleConverter(const SampleLayout& from,
                                                    const SampleLayout& to) {
  if (!from.uncoded() || !to.uncoded() || !ChannelsConvert(from.channels, to.channels))
    return nullptr;
  if (from.containerBytes == 0 || to.containerBytes == 0) return nullptr;
  return std::make_unique<SampleConverter>(from, to);
}

std::unique_ptr<CodecTransform> ChainCodecs(std::unique_ptr<CodecTransform> first,
                                            std::unique_ptr<CodecTransform> second) {
  if (!first || !second) return nullptr;
  return std::make_unique<ChainedCodecs>(std::move(first), std::move(second));
}

}  // namespace bw::acm
