#include "platform/acm/lavc_codec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "platform/acm/mpeg_audio.h"
#include "platform/acm/pcm_samples.h"
#include "platform/float_to_s16.h"

namespace bw::acm {

namespace {

// The parameters both directions take from the format.
void SetCommonParameters(AVCodecContext& context, const WAVEFORMATEX& f) {
  context.sample_rate = static_cast<int>(f.nSamplesPerSec);
  lav::av_channel_layout_uninit(&context.ch_layout);
  lav::av_channel_layout_default(&context.ch_layout, f.nChannels);
  context.block_align = f.nBlockAlign;
  context.bit_rate = static_cast<int64_t>(f.nAvgBytesPerSec) * 8;
}

bool SetExtraData(AVCodecContext& context, std::span<const uint8_t> extra) {
  if (extra.empty()) return true;
  auto* data = static_cast<uint8_t*>(lav::av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (data == nullptr) return false;
  std::memcpy(data, extra.data(), extra.size());
  context.extradata = data;  // owned and freed by the context
  context.extradata_size = static_cast<int>(extra.size());
  return true;
}

// One plane of `n` samples into every `ch`-th place of `out`.
template <typename T, typename Convert>
[[gnu::always_inline]] inline void Interleave(const uint8_t* plane, std::size_t n, std::size_t ch,
                                              int16_t* out, Convert convert) {
  const auto* p = reinterpret_cast<const T*>(plane);
  for (std::size_t i = 0; i < n; ++i)
    out[i * ch] = convert(p[i]);
}

// All planes of a frame; mono and stereo, the usual cases, with the count known to the compiler.
template <typename T, typename Convert>
[[gnu::always_inline]] inline void InterleavePlanes(const AVFrame& frame, std::size_t n,
                                                    std::size_t ch, int16_t* out, Convert convert) {
  const auto plane = [&](std::size_t c) { return frame.extended_data[c]; };
  if (ch == 2) {
    const auto* left = reinterpret_cast<const T*>(plane(0));
    const auto* right = reinterpret_cast<const T*>(plane(1));
    for (std::size_t i = 0; i < n; ++i) {
      out[2 * i] = convert(left[i]);
      out[2 * i + 1] = convert(right[i]);
    }
    return;
  }
  for (std::size_t c = 0; c < ch; ++c)
    Interleave<T>(plane(c), n, ch, out + c, convert);
}

// Planes of floats, what the MPEG decoder gives, compiled for the plain instruction set and
// again for AVX2, with which eight samples convert at once.
[[gnu::always_inline]] inline void FloatPlanesToS16(const AVFrame& frame, std::size_t n,
                                                    std::size_t ch, int16_t* out) {
  InterleavePlanes<float>(frame, n, ch, out, [](float v) { return FloatToS16(v); });
}

void FloatPlanesToS16Portable(const AVFrame& frame, std::size_t n, std::size_t ch, int16_t* out) {
  FloatPlanesToS16(frame, n, ch, out);
}

#if defined(__x86_64__)
[[gnu::target("avx2")]] void FloatPlanesToS16Avx2(const AVFrame& frame, std::size_t n,
                                                  std::size_t ch, int16_t* out) {
  FloatPlanesToS16(frame, n, ch, out);
}
#endif

void FloatPlanesToS16Widest(const AVFrame& frame, std::size_t n, std::size_t ch, int16_t* out) {
#if defined(__x86_64__)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return FloatPlanesToS16Avx2(frame, n, ch, out);
#endif
  FloatPlanesToS16Portable(frame, n, ch, out);
}

// The frame's samples as interleaved 16-bit values, in its own channel count.
void ToInterleavedS16(const AVFrame& frame, std::vector<int16_t>& out) {
  const std::size_t n = static_cast<std::size_t>(frame.nb_samples);
  const std::size_t ch = static_cast<std::size_t>(frame.ch_layout.nb_channels);
  out.resize(n * ch);
  const auto plane = [&](std::size_t c) { return frame.extended_data[c]; };
  const auto same = [](int16_t v) { return v; };
  const auto top = [](int32_t v) { return static_cast<int16_t>(v >> 16); };
  const auto rounded = [](float v) { return FloatToS16(v); };
  switch (frame.format) {
    case AV_SAMPLE_FMT_S16:
      std::memcpy(out.data(), plane(0), n * ch * 2);
      break;
    case AV_SAMPLE_FMT_S16P:
      InterleavePlanes<int16_t>(frame, n, ch, out.data(), same);
      break;
    case AV_SAMPLE_FMT_FLT:
      Interleave<float>(plane(0), n * ch, 1, out.data(), rounded);
      break;
    case AV_SAMPLE_FMT_FLTP:
      FloatPlanesToS16Widest(frame, n, ch, out.data());
      break;
    case AV_SAMPLE_FMT_S32:
      Interleave<int32_t>(plane(0), n * ch, 1, out.data(), top);
      break;
    case AV_SAMPLE_FMT_S32P:
      InterleavePlanes<int32_t>(frame, n, ch, out.data(), top);
      break;
    default:  // no decoder used here produces another layout
      std::fill(out.begin(), out.end(), int16_t{0});
      break;
  }
}

}  // namespace

void MapChannels(std::vector<int16_t>& samples, std::size_t from, std::size_t to) {
  if (from == to || from == 0) return;
  const std::size_t n = samples.size() / from;
  std::vector<int16_t> mapped(n * to);
  for (std::size_t i = 0; i < n; ++i) {
    const int16_t* in = &samples[i * from];
    int32_t sum = 0;
    for (std::size_t c = 0; c < from; ++c)
      sum += in[c];
    const auto mix = static_cast<int16_t>(sum / static_cast<int32_t>(from));
    for (std::size_t c = 0; c < to; ++c)
      mapped[i * to + c] = from == 1 ? in[0] : mix;
  }
  samples.swap(mapped);
}

CodecContextPtr OpenDecoder(const AVCodec* codec, const FormatBlock& format) {
  if (codec == nullptr) return nullptr;
  CodecContextPtr context(lav::avcodec_alloc_context3(codec));
  if (!context) return nullptr;
  SetCommonParameters(*context, format.format());
  context->bits_per_coded_sample = format.format().wBitsPerSample;
  if (!SetExtraData(*context, format.extra())) return nullptr;
  if (lav::avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
  return context;
}

void DecodedSamples(const AVFrame& frame, uint32_t channels, std::vector<int16_t>& samples) {
  ToInterleavedS16(frame, samples);
  MapChannels(samples, static_cast<std::size_t>(frame.ch_layout.nb_channels), channels);
}

void WriteSamples(std::span<const int16_t> samples, uint32_t bytes, OutputSink& out) {
  if (samples.empty()) return;
  const std::size_t out_bytes = samples.size() * bytes;
  StoreFromS16(samples.data(), samples.size(), bytes, out.Claim(out_bytes));
  out.Commit(out_bytes);
}

void WriteDecodedFrame(const AVFrame& frame, uint32_t channels, uint32_t bytes,
                       std::vector<int16_t>& stage, OutputSink& out) {
  DecodedSamples(frame, channels, stage);
  WriteSamples(stage, bytes, out);
}

void WriteSilence(std::size_t frames, uint32_t channels, uint32_t bytes, OutputSink& out) {
  const std::size_t n = frames * channels * bytes;
  std::memset(out.Claim(n), bytes == 1 ? 0x80 : 0, n);
  out.Commit(n);
}

namespace {

// Samples per channel that libavcodec decodes from one block of `f`; 0 for a block that
// cannot hold any.
uint32_t BlockSamples(const WAVEFORMATEX& f) {
  const uint32_t ch = f.nChannels;
  const uint32_t align = f.nBlockAlign;
  switch (f.wFormatTag) {
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      return align % ch == 0 ? align / ch : 0;
    case kWaveFormatMsAdpcm:
      return align < 7 * ch ? 0 : 2 + (align - 7 * ch) * 2 / ch;
    case kWaveFormatImaAdpcm: {
      // Codes of 2 to 5 bits come in groups of this many bytes and samples per channel.
      static constexpr uint32_t kGroupBytes[] = {4, 12, 4, 20};
      static constexpr uint32_t kGroupSamples[] = {16, 32, 8, 32};
      const uint32_t bits = f.wBitsPerSample;
      if (bits < 2 || bits > 5 || align < 4 * ch) return 0;
      return 1 + (align - 4 * ch) / (kGroupBytes[bits - 2] * ch) * kGroupSamples[bits - 2];
    }
    case kWaveFormatGsm610:
    case kWaveFormatMsnAudio:
      return 320;
    case kWaveFormatTrueSpeech:
      return align == 32 ? 240 : 0;
    default:
      return 0;
  }
}

AVCodecID BlockDecoderId(uint16_t tag) {
  switch (tag) {
    case kWaveFormatALaw:
      return AV_CODEC_ID_PCM_ALAW;
    case kWaveFormatMuLaw:
      return AV_CODEC_ID_PCM_MULAW;
    case kWaveFormatMsAdpcm:
      return AV_CODEC_ID_ADPCM_MS;
    case kWaveFormatImaAdpcm:
      return AV_CODEC_ID_ADPCM_IMA_WAV;
    case kWaveFormatGsm610:
    case kWaveFormatMsnAudio:  // a GSM 6.10 variant
      return AV_CODEC_ID_GSM_MS;
    case kWaveFormatTrueSpeech:
      return AV_CODEC_ID_TRUESPEECH;
    default:
      return AV_CODEC_ID_NONE;
  }
}

class BlockDecoder final : public CodecTransform {
 public:
  BlockDecoder(CodecContextPtr context, uint32_t block_samples, const FormatBlock& src,
               const WAVEFORMATEX& dst)
      : context_(std::move(context)),
        frame_(lav::av_frame_alloc()),
        packet_(lav::av_packet_alloc()),
        unit_(src.format().nBlockAlign),
        block_samples_(block_samples),
        // Sample codecs decode any number of blocks in one call.
        whole_span_(src.format().wFormatTag == kWaveFormatALaw ||
                    src.format().wFormatTag == kWaveFormatMuLaw),
        partial_blocks_(src.format().wFormatTag == kWaveFormatMsAdpcm ||
                        src.format().wFormatTag == kWaveFormatImaAdpcm),
        channels_(dst.nChannels),
        bytes_(ContainerBytes(dst.wBitsPerSample)) {}

  bool ok() const { return context_ && frame_ && packet_; }

  uint32_t SourceUnit() const override { return unit_; }

  MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) override {
    if (whole_span_) {
      if (!units.empty()) Decode(units, units.size() / unit_, out);
      return MMSYSERR_NOERROR;
    }
    for (std::size_t at = 0; at < units.size(); at += unit_)
      Decode(units.subspan(at, unit_), 1, out);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Finish(std::span<const uint8_t> tail, OutputSink& out) override {
    if (!tail.empty() && partial_blocks_) Decode(tail, 0, out);
    lav::avcodec_send_packet(context_.get(), nullptr);
    ReceiveAll(out);
    return Reset();
  }

  MMRESULT Reset() override {
    lav::avcodec_flush_buffers(context_.get());
    return MMSYSERR_NOERROR;
  }

  uint64_t OutputBound(uint64_t source_bytes) const override {
    return (source_bytes + unit_ - 1) / unit_ * BlockOutputBytes();
  }
  uint64_t SourceFor(uint64_t dest_bytes) const override {
    return dest_bytes / BlockOutputBytes() * unit_;
  }

 private:
  uint64_t BlockOutputBytes() const { return uint64_t{block_samples_} * channels_ * bytes_; }

  // Decodes `bytes`; when nothing comes out of `blocks` whole blocks (broken data), they play
  // as silence of their length so that time keeps its pace.
  void Decode(std::span<const uint8_t> bytes, std::size_t blocks, OutputSink& out) {
    packet_->data = const_cast<uint8_t*>(bytes.data());  // only read; copied by libavcodec
    packet_->size = static_cast<int>(bytes.size());
    std::size_t produced = 0;
    if (lav::avcodec_send_packet(context_.get(), packet_.get()) >= 0) produced = ReceiveAll(out);
    if (produced == 0) WriteSilence(blocks * block_samples_, channels_, bytes_, out);
  }

  std::size_t ReceiveAll(OutputSink& out) {
    std::size_t produced = 0;
    while (lav::avcodec_receive_frame(context_.get(), frame_.get()) >= 0) {
      WriteDecodedFrame(*frame_, channels_, bytes_, stage_, out);
      produced += static_cast<std::size_t>(frame_->nb_samples);
      lav::av_frame_unref(frame_.get());
    }
    return produced;
  }

  CodecContextPtr context_;
  FramePtr frame_;
  PacketPtr packet_;
  uint32_t unit_;
  uint32_t block_samples_;
  bool whole_span_;
  bool partial_blocks_;
  uint32_t channels_;
  uint32_t bytes_;
  std::vector<int16_t> stage_;
};

}  // namespace

std::unique_ptr<CodecTransform> MakeBlockDecoder(const FormatBlock& src, const WAVEFORMATEX& dst) {
  const WAVEFORMATEX& f = src.format();
  const uint32_t block_samples = BlockSamples(f);
  if (block_samples == 0 || f.nBlockAlign == 0 || !LoadLibavCodec()) return nullptr;
  CodecContextPtr context =
      OpenDecoder(lav::avcodec_find_decoder(BlockDecoderId(f.wFormatTag)), src);
  if (!context) return nullptr;
  auto decoder = std::make_unique<BlockDecoder>(std::move(context), block_samples, src, dst);
  if (!decoder->ok()) return nullptr;
  return decoder;
}

namespace {

// What an encoder turns its input into: blocks of `block_samples` samples per channel, each at
// most `block_bytes` long, and how many blocks it may hold back beyond its input.
struct EncodedLayout {
  const char* codec_name = nullptr;
  uint32_t block_samples = 0;  // 0: the encoder's own frame size
  uint32_t block_bytes = 0;
  uint32_t held_blocks = 0;
  int64_t bit_rate = 0;
};

// The layout for `dst`; codec_name stays null when `dst` is not a format the encoder writes.
EncodedLayout LayoutFor(const WAVEFORMATEX& dst) {
  const uint32_t ch = dst.nChannels;
  EncodedLayout layout;
  switch (dst.wFormatTag) {
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      if (dst.nBlockAlign != ch) return {};
      layout = {dst.wFormatTag == kWaveFormatALaw ? "pcm_alaw" : "pcm_mulaw", 1, ch, 0, 0};
      break;
    case kWaveFormatMsAdpcm:
    case kWaveFormatImaAdpcm:
      if (dst.wBitsPerSample != 4 || !std::has_single_bit(uint32_t{dst.nBlockAlign})) return {};
      layout = {dst.wFormatTag == kWaveFormatMsAdpcm ? "adpcm_ms" : "adpcm_ima_wav", 0,
                dst.nBlockAlign, 0, 0};
      break;
    case kWaveFormatGsm610:
      if (ch != 1 || dst.nBlockAlign != 65) return {};
      layout = {"libgsm_ms", 320, 65, 0, 13000};
      break;
    case kWaveFormatMpegLayer3: {
      const uint32_t kbps = dst.nAvgBytesPerSec * 8 / 1000;
      if (dst.nAvgBytesPerSec * 8 % 1000 != 0 || !IsMp3EncoderChoice(dst.nSamplesPerSec, ch, kbps))
        return {};
      const uint32_t samples = Mp3FrameSamples(dst.nSamplesPerSec);
      // A frame is samples/8 bits per kbit/s, plus a padding byte; the encoder keeps up to two
      // frames of look-ahead that only END flushes.
      layout = {"libmp3lame", samples, samples / 8 * kbps * 1000 / dst.nSamplesPerSec + 1, 2,
                int64_t{kbps} * 1000};
      break;
    }
    default:
      return {};
  }
  return layout;
}

AVSampleFormat S16Layout(const AVCodec& codec) {
  AVSampleFormat found = AV_SAMPLE_FMT_NONE;
  for (const AVSampleFormat* f = codec.sample_fmts; f != nullptr && *f != AV_SAMPLE_FMT_NONE; ++f) {
    if (*f == AV_SAMPLE_FMT_S16) return *f;
    if (*f == AV_SAMPLE_FMT_S16P) found = *f;
  }
  return found;
}

class Encoder final : public CodecTransform {
 public:
  Encoder(const AVCodec* codec, const EncodedLayout& layout, const WAVEFORMATEX& src,
          const FormatBlock& dst)
      : codec_(codec),
        layout_(layout),
        dst_(dst),
        sample_format_(S16Layout(*codec)),
        channels_(src.nChannels),
        src_bytes_(ContainerBytes(src.wBitsPerSample)) {}

  // Opens the encoder; false when libavcodec refuses the format or it is not what `dst`
  // declares.
  bool Open() {
    if (sample_format_ == AV_SAMPLE_FMT_NONE) return false;
    context_.reset(lav::avcodec_alloc_context3(codec_));
    frame_.reset(lav::av_frame_alloc());
    packet_.reset(lav::av_packet_alloc());
    if (!context_ || !frame_ || !packet_) return false;
    const WAVEFORMATEX& f = dst_.format();
    SetCommonParameters(*context_, f);
    context_->sample_fmt = sample_format_;
    context_->time_base = AVRational{1, static_cast<int>(f.nSamplesPerSec)};
    context_->bit_rate = layout_.bit_rate;
    // libgsm asks for 8,000 Hz; other rates are as usable and are what the format says.
    context_->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
    AVDictionary* options = nullptr;
    if (layout_.block_samples == 0) lav::av_dict_set_int(&options, "block_size", f.nBlockAlign, 0);
    const int opened = lav::avcodec_open2(context_.get(), codec_, &options);
    lav::av_dict_free(&options);
    if (opened < 0) return false;
    if (!MatchesDeclaredLayout()) return false;
    return AllocateFrame();
  }

  uint32_t SourceUnit() const override { return channels_ * src_bytes_; }

  MMRESULT Feed(std::span<const uint8_t> units, OutputSink& out) override {
    if (drained_ && Reset() != MMSYSERR_NOERROR) return MMSYSERR_ERROR;
    const std::size_t frames = units.size() / SourceUnit();
    for (std::size_t done = 0; done < frames;) {
      if (filled_ == 0 && lav::av_frame_make_writable(frame_.get()) < 0) return MMSYSERR_NOMEM;
      const std::size_t n = std::min<std::size_t>(frames - done, frame_samples_ - filled_);
      LoadIntoFrame(units.data() + done * SourceUnit(), n);
      filled_ += n;
      done += n;
      if (filled_ == frame_samples_ && !SendFrame(out)) return MMSYSERR_ERROR;
    }
    // Sample codecs hold nothing back between calls.
    if (VariableFrames() && filled_ > 0) {
      frame_->nb_samples = static_cast<int>(filled_);
      if (!SendFrame(out)) return MMSYSERR_ERROR;
    }
    return MMSYSERR_NOERROR;
  }

  MMRESULT Finish(std::span<const uint8_t>, OutputSink& out) override {
    if (drained_ && Reset() != MMSYSERR_NOERROR) return MMSYSERR_ERROR;
    if (filled_ > 0) {
      if (VariableFrames() || (codec_->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME)) {
        frame_->nb_samples = static_cast<int>(filled_);
      } else {
        PadFrameWithSilence();
      }
      if (!SendFrame(out)) return MMSYSERR_ERROR;
    }
    lav::avcodec_send_frame(context_.get(), nullptr);
    ReceivePackets(out);
    drained_ = true;  // a drained encoder takes no more input until it is opened again
    return MMSYSERR_NOERROR;
  }

  MMRESULT Reset() override {
    filled_ = 0;
    samples_in_ = 0;
    samples_out_ = 0;
    drained_ = false;
    return Open() ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

  uint64_t OutputBound(uint64_t source_bytes) const override {
    const uint64_t samples = Pending() + source_bytes / SourceUnit();
    const uint64_t blocks = (samples + block_samples_ - 1) / block_samples_ + layout_.held_blocks;
    return blocks * layout_.block_bytes;
  }

  uint64_t SourceFor(uint64_t dest_bytes) const override {
    const uint64_t blocks = dest_bytes / layout_.block_bytes;
    if (blocks <= layout_.held_blocks) return 0;
    const uint64_t samples = (blocks - layout_.held_blocks) * block_samples_;
    return samples > Pending() ? (samples - Pending()) * SourceUnit() : 0;
  }

 private:
  bool VariableFrames() const { return context_->frame_size == 0; }

  // Samples given but not yet come out as coded blocks.
  uint64_t Pending() const { return samples_in_ > samples_out_ ? samples_in_ - samples_out_ : 0; }

  bool MatchesDeclaredLayout() {
    const WAVEFORMATEX& f = dst_.format();
    block_samples_ = layout_.block_samples != 0 ? layout_.block_samples
                                                : static_cast<uint32_t>(context_->frame_size);
    if (block_samples_ == 0) return false;
    // An ADPCM block must hold exactly the samples the format says (the word after the base).
    if (f.wFormatTag == kWaveFormatMsAdpcm || f.wFormatTag == kWaveFormatImaAdpcm) {
      if (context_->block_align != f.nBlockAlign) return false;
      if (dst_.extra().size() >= 2 && dst_.WordAt(kWaveFormatExSize) != block_samples_)
        return false;
    }
    // Sample codecs take any count; feed them in chunks of a useful size.
    frame_samples_ = context_->frame_size > 0 ? static_cast<uint32_t>(context_->frame_size) : 4096;
    return true;
  }

  bool AllocateFrame() {
    frame_->format = sample_format_;
    frame_->sample_rate = context_->sample_rate;
    frame_->nb_samples = static_cast<int>(frame_samples_);
    if (lav::av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0) return false;
    return lav::av_frame_get_buffer(frame_.get(), 0) >= 0;
  }

  void LoadIntoFrame(const uint8_t* src, std::size_t frames) {
    if (sample_format_ == AV_SAMPLE_FMT_S16) {
      auto* dst = reinterpret_cast<int16_t*>(frame_->data[0]) + filled_ * channels_;
      LoadS16(src, src_bytes_, frames * channels_, dst);
      return;
    }
    for (uint32_t c = 0; c < channels_; ++c) {
      auto* plane = reinterpret_cast<int16_t*>(frame_->extended_data[c]) + filled_;
      LoadS16Channel(src + c * src_bytes_, src_bytes_, SourceUnit(), frames, plane);
    }
  }

  void PadFrameWithSilence() {
    const bool planar = sample_format_ == AV_SAMPLE_FMT_S16P;
    const std::size_t planes = planar ? channels_ : 1;
    const std::size_t per_sample = planar ? 2 : 2 * channels_;
    for (std::size_t p = 0; p < planes; ++p) {
      std::memset(frame_->extended_data[p] + filled_ * per_sample, 0,
                  (frame_samples_ - filled_) * per_sample);
    }
  }

  bool SendFrame(OutputSink& out) {
    frame_->pts = static_cast<int64_t>(samples_in_);
    samples_in_ += static_cast<uint64_t>(frame_->nb_samples);
    const bool sent = lav::avcodec_send_frame(context_.get(), frame_.get()) >= 0;
    frame_->nb_samples = static_cast<int>(frame_samples_);
    filled_ = 0;
    if (sent) ReceivePackets(out);
    return sent;
  }

  void ReceivePackets(OutputSink& out) {
    while (lav::avcodec_receive_packet(context_.get(), packet_.get()) >= 0) {
      out.Write(std::span(packet_->data, static_cast<std::size_t>(packet_->size)));
      samples_out_ += packet_->duration > 0 ? static_cast<uint64_t>(packet_->duration)
                                            : static_cast<uint64_t>(packet_->size) /
                                                  layout_.block_bytes * block_samples_;
      lav::av_packet_unref(packet_.get());
    }
  }

  const AVCodec* codec_;
  EncodedLayout layout_;
  FormatBlock dst_;
  AVSampleFormat sample_format_;
  uint32_t channels_;
  uint32_t src_bytes_;
  uint32_t block_samples_ = 0;
  uint32_t frame_samples_ = 0;
  CodecContextPtr context_;
  FramePtr frame_;
  PacketPtr packet_;
  std::size_t filled_ = 0;
  uint64_t samples_in_ = 0;
  uint64_t samples_out_ = 0;
  bool drained_ = false;
};

}  // namespace

std::unique_ptr<CodecTransform> MakeEncoder(const WAVEFORMATEX& src, const FormatBlock& dst) {
  if (!IsLoadableWidth(ContainerBytes(src.wBitsPerSample))) return nullptr;
  const EncodedLayout layout = LayoutFor(dst.format());
  if (layout.codec_name == nullptr) return nullptr;
  const AVCodec* codec = lav::avcodec_find_encoder_by_name(layout.codec_name);
  if (codec == nullptr) return nullptr;
  auto encoder = std::make_unique<Encoder>(codec, layout, src, dst);
  if (!encoder->Open()) return nullptr;
  return encoder;
}

}  // namespace bw::acm
