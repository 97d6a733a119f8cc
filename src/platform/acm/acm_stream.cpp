// The stream driver: header bookkeeping, the conversion flags and the size questions, the same
// for every codec; the codec itself is a CodecTransform chosen when the stream opens.
#include <algorithm>
#include <limits>

#include "platform/acm/acm.h"
#include "platform/acm/acm_formats.h"
#include "platform/acm/codec_transform.h"
#include "platform/acm/lavc_codec.h"
#include "platform/acm/mpeg_audio.h"
#include "platform/acm/pcm_samples.h"
#include "platform/acm/sample_converter.h"
#include "platform/sample_layout.h"

namespace bw {

class AcmStream {
 public:
  explicit AcmStream(std::unique_ptr<acm::CodecTransform> codec) : codec_(std::move(codec)) {}

  MMRESULT Size(uint32_t input, uint32_t& output, uint32_t flags) const {
    uint64_t answer = 0;
    if (flags == ACM_STREAMSIZEF_SOURCE) {
      answer = codec_->OutputBound(input) + held_.size();
    } else if (flags == ACM_STREAMSIZEF_DESTINATION) {
      const uint64_t room = input > held_.size() ? input - held_.size() : 0;
      answer = codec_->SourceFor(room);
      // Nothing would come out: the destination cannot take even one block.
      if (answer == 0 && held_.empty()) return ACMERR_NOTPOSSIBLE;
    } else {
      return MMSYSERR_INVALFLAG;
    }
    if (answer > std::numeric_limits<uint32_t>::max()) return ACMERR_NOTPOSSIBLE;
    output = static_cast<uint32_t>(answer);
    return MMSYSERR_NOERROR;
  }

  MMRESULT Prepare(ACMSTREAMHEADER& h) {
    if (h.cbStruct < kAcmStreamHeaderSize) return MMSYSERR_INVALPARAM;
    if (h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) return MMSYSERR_NOERROR;
    if ((h.pbSrc == nullptr && h.cbSrcLength > 0) || (h.pbDst == nullptr && h.cbDstLength > 0))
      return MMSYSERR_INVALPARAM;
    h.prepared = {this, h.pbSrc, h.cbSrcLength, h.pbDst, h.cbDstLength};
    h.fdwStatus = (h.fdwStatus & ~ACMSTREAMHEADER_STATUSF_DONE) | ACMSTREAMHEADER_STATUSF_PREPARED;
    ++prepared_headers_;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Unprepare(ACMSTREAMHEADER& h) {
    if (!IsPreparedHere(h)) return ACMERR_UNPREPARED;
    // The buffers and lengths must be those the header was prepared with.
    if (h.pbSrc != h.prepared.pbSrc || h.cbSrcLength != h.prepared.cbSrcLength ||
        h.pbDst != h.prepared.pbDst || h.cbDstLength != h.prepared.cbDstLength) {
      return MMSYSERR_INVALPARAM;
    }
    h.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    h.prepared = {};
    --prepared_headers_;
    return MMSYSERR_NOERROR;
  }

  MMRESULT Convert(ACMSTREAMHEADER& h, uint32_t flags) {
    constexpr uint32_t kKnown =
        ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
    if (flags & ~kKnown) return MMSYSERR_INVALFLAG;
    if (!IsPreparedHere(h)) return ACMERR_UNPREPARED;
    // Shorter lengths than prepared are fine; other buffers are not.
    if (h.pbSrc != h.prepared.pbSrc || h.cbSrcLength > h.prepared.cbSrcLength ||
        h.pbDst != h.prepared.pbDst || h.cbDstLength > h.prepared.cbDstLength) {
      return MMSYSERR_INVALPARAM;
    }
    if (flags & ACM_STREAMCONVERTF_START) {
      held_.Clear();
      finished_ = false;
      if (const MMRESULT r = codec_->Reset(); r != MMSYSERR_NOERROR) return r;
    }
    h.fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    acm::OutputSink sink(std::span(h.pbDst, h.cbDstLength), held_);
    uint32_t used = 0;
    const MMRESULT r = Run(std::span(h.pbSrc, h.cbSrcLength), flags, sink, used);
    h.cbSrcLengthUsed = used;
    h.cbDstLengthUsed = static_cast<uint32_t>(sink.written());
    h.fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    return r;
  }

  bool busy() const { return prepared_headers_ > 0; }

 private:
  bool IsPreparedHere(const ACMSTREAMHEADER& h) const {
    return (h.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) && h.prepared.stream == this;
  }

  MMRESULT Run(std::span<const uint8_t> src, uint32_t flags, acm::OutputSink& sink,
               uint32_t& used) {
    const uint32_t unit = codec_->SourceUnit();
    const std::size_t whole = src.size() / unit * unit;
    MMRESULT r = MMSYSERR_NOERROR;
    if (flags & (ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END)) {
      r = codec_->Feed(src.first(whole), sink);
      used = static_cast<uint32_t>(whole);
    } else {
      r = FeedWhileRoom(src.first(whole), sink, used);
    }
    if (used > 0) finished_ = false;
    // A repeated END with nothing new only collects what is still held.
    if (r == MMSYSERR_NOERROR && (flags & ACM_STREAMCONVERTF_END) && !(finished_ && src.empty())) {
      r = codec_->Finish(src.subspan(whole), sink);
      used = static_cast<uint32_t>(src.size());
      finished_ = true;
    }
    return r;
  }

  // Takes source units only while their output still fits, so that the caller can offer the
  // rest again.
  MMRESULT FeedWhileRoom(std::span<const uint8_t> src, acm::OutputSink& sink, uint32_t& used) {
    std::size_t at = 0;
    while (at < src.size() && !sink.full()) {
      const uint64_t fits = codec_->SourceFor(sink.room());
      if (fits == 0) break;
      const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(fits, src.size() - at));
      if (const MMRESULT r = codec_->Feed(src.subspan(at, n), sink); r != MMSYSERR_NOERROR) {
        used = static_cast<uint32_t>(at);
        return r;
      }
      at += n;
    }
    used = static_cast<uint32_t>(at);
    return MMSYSERR_NOERROR;
  }

  std::unique_ptr<acm::CodecTransform> codec_;
  acm::ByteQueue held_;  // output that did not fit an earlier destination
  int prepared_headers_ = 0;
  bool finished_ = false;  // END has flushed the codec and nothing came since
};

void AcmStreamDeleter::operator()(AcmStream* stream) const {
  std::default_delete<AcmStream>()(stream);
}

namespace {

bool IsPcm(const WAVEFORMATEX& f) {
  return f.wFormatTag == kWaveFormatPcm;
}

bool IsUsable(const WAVEFORMATEX& f) {
  return f.nChannels >= 1 && f.nChannels <= kAcmMostChannels && f.nSamplesPerSec > 0;
}

std::unique_ptr<acm::CodecTransform> MakeDecoder(const FormatBlock& src, const WAVEFORMATEX& dst) {
  if (!acm::IsStorableWidth(acm::ContainerBytes(dst.wBitsPerSample))) return nullptr;
  const uint16_t tag = src.format().wFormatTag;
  if (tag == kWaveFormatMpegLayer3 || tag == kWaveFormatMpeg)
    return acm::MakeMpegAudioDecoder(src, dst);
  return acm::MakeBlockDecoder(src, dst);
}

// The codecs for 8- and 16-bit PCM and the coded formats at one channel count.
std::unique_ptr<acm::CodecTransform> MakePlainCodec(const FormatBlock& src_block,
                                                    const FormatBlock& dst_block) {
  const WAVEFORMATEX& src = src_block.format();
  const WAVEFORMATEX& dst = dst_block.format();
  if (IsPcm(src) && IsPcm(dst)) return acm::MakePcmConverter(src, dst);
  if (IsPcm(dst)) return MakeDecoder(src_block, dst);
  if (IsPcm(src)) return acm::MakeEncoder(src, dst_block);
  return nullptr;
}

// What the plain codecs take: a coded format, or PCM of 8 or 16 bits filling its container.
bool IsPlainSide(const SampleLayout& l) {
  if (!l.uncoded()) return true;
  return l.tag == kWaveFormatPcm && l.containerBytes <= 2 && l.validBits == 8 * l.containerBytes;
}

// The codec for the pair, or nullptr when no codec here converts it. Wider or float samples,
// and channels mixed down, go through the sample converter, meeting a coded side as 16-bit PCM.
std::unique_ptr<acm::CodecTransform> MakeCodec(const FormatBlock& src_block,
                                               const FormatBlock& dst_block) {
  const WAVEFORMATEX& src = src_block.format();
  const WAVEFORMATEX& dst = dst_block.format();
  if (!IsUsable(src) || !IsUsable(dst) || src.nSamplesPerSec != dst.nSamplesPerSec) return nullptr;
  SampleLayout from;
  SampleLayout to;
  if (!DescribeSamples(src_block, from) || !DescribeSamples(dst_block, to)) return nullptr;
  if (!acm::ChannelsConvert(from.channels, to.channels)) return nullptr;
  const FormatBlock plain_src = PlainFormat(src_block);
  const FormatBlock plain_dst = PlainFormat(dst_block);
  if (from.channels == to.channels && IsPlainSide(from) && IsPlainSide(to))
    return MakePlainCodec(plain_src, plain_dst);
  if (from.uncoded() && to.uncoded()) return acm::MakeSampleConverter(from, to);
  if (to.uncoded()) {
    const WAVEFORMATEX pcm = MakePcmFormat(src.nSamplesPerSec, from.channels);
    return acm::ChainCodecs(
        MakeDecoder(plain_src, pcm),
        acm::MakeSampleConverter(acm::Pcm16Layout(from.channels, from.channelMask), to));
  }
  if (from.uncoded()) {
    const WAVEFORMATEX pcm = MakePcmFormat(src.nSamplesPerSec, to.channels);
    return acm::ChainCodecs(acm::MakeSampleConverter(from, acm::Pcm16Layout(to.channels)),
                            acm::MakeEncoder(pcm, plain_dst));
  }
  return nullptr;
}

}  // namespace

MMRESULT acmMetrics(uint32_t uMetric, uint32_t& value) {
  if (uMetric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
  value = LargestFormatSize();
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM& has, const FormatBlock& pwfxSrc, const FormatBlock& pwfxDst,
                       uint32_t fdwOpen) {
  if (fdwOpen & ~(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) return MMSYSERR_INVALFLAG;
  std::unique_ptr<acm::CodecTransform> codec = MakeCodec(pwfxSrc, pwfxDst);
  if (!codec) return ACMERR_NOTPOSSIBLE;
  if (fdwOpen & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
  has.reset(std::make_unique<AcmStream>(std::move(codec)).release());
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM& has, uint32_t cbInput, uint32_t& dwOutputBytes,
                       uint32_t fdwSize) {
  if (!has) return MMSYSERR_INVALHANDLE;
  return has->Size(cbInput, dwOutputBytes, fdwSize);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM& has, ACMSTREAMHEADER& pash, uint32_t fdwPrepare) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (fdwPrepare != 0) return MMSYSERR_INVALFLAG;
  return has->Prepare(pash);
}

MMRESULT acmStreamConvert(HACMSTREAM& has, ACMSTREAMHEADER& pash, uint32_t fdwConvert) {
  if (!has) return MMSYSERR_INVALHANDLE;
  return has->Convert(pash, fdwConvert);
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM& has, ACMSTREAMHEADER& pash, uint32_t fdwUnprepare) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (fdwUnprepare != 0) return MMSYSERR_INVALFLAG;
  return has->Unprepare(pash);
}

MMRESULT acmStreamClose(HACMSTREAM& has, uint32_t fdwClose) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (fdwClose != 0) return MMSYSERR_INVALFLAG;
  if (has->busy()) return ACMERR_BUSY;
  has.reset();
  return MMSYSERR_NOERROR;
}

}  // namespace bw
