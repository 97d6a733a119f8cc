// The codecs of the codec layer that libavcodec carries out, and the small owners of its
// objects. No FFmpeg type leaves this file's implementation, the MPEG audio decoder or
// Import's decoder (convert/audio_import.cpp).
#pragma once

#include <memory>
#include <vector>

#include "platform/acm/codec_transform.h"
#include "platform/acm/libav.h"
#include "platform/wave_format.h"

namespace bw::acm {

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { lav::avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { lav::av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { lav::av_packet_free(&packet); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// Opens a decoder context for `codec` with the parameters of `format` (rate, channels, block
// align, bits, extra bytes); nullptr when libavcodec refuses it. The codec libraries are loaded.
CodecContextPtr OpenDecoder(const AVCodec* codec, const FormatBlock& format);

// Rewrites `samples` (interleaved, `from` channels) in place as `to` channels: one channel is
// copied to every channel, more than wanted are mixed down by averaging.
void MapChannels(std::vector<int16_t>& samples, std::size_t from, std::size_t to);
// The samples of a decoded frame as interleaved 16-bit samples for `channels` channels, in
// `samples`: a mono frame is copied to every channel, a frame with more channels than wanted is
// mixed down by averaging.
void DecodedSamples(const AVFrame& frame, uint32_t channels, std::vector<int16_t>& samples);
// Writes interleaved 16-bit samples to `out` as samples of `bytes` (1 or 2) bytes.
void WriteSamples(std::span<const int16_t> samples, uint32_t bytes, OutputSink& out);
// Both: `stage` is scratch space the caller keeps between frames.
void WriteDecodedFrame(const AVFrame& frame, uint32_t channels, uint32_t bytes,
                       std::vector<int16_t>& stage, OutputSink& out);
// Writes `frames` sample frames of silence.
void WriteSilence(std::size_t frames, uint32_t channels, uint32_t bytes, OutputSink& out);

// Decoder for a block codec (A-law, mu-law, MS ADPCM, IMA ADPCM, GSM 6.10, MSN Audio,
// TrueSpeech) into PCM `dst`; nullptr when the format cannot be decoded.
std::unique_ptr<CodecTransform> MakeBlockDecoder(const FormatBlock& src, const WAVEFORMATEX& dst);
// Encoder from PCM `src` into A-law, mu-law, MS ADPCM, IMA ADPCM, GSM 6.10 or MPEG Layer-3
// `dst`; nullptr when `dst` is not a format the encoder produces.
std::unique_ptr<CodecTransform> MakeEncoder(const WAVEFORMATEX& src, const FormatBlock& dst);

}  // namespace bw::acm
