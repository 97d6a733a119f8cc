// FFmpeg's libraries, opened the first time one of their codecs or containers is needed.
// Together they bring in some ninety further libraries: loaded at start, they cost every run
// of the program a fifth of its start-up and about 17 MB, though playing PCM and MPEG audio WAVE
// files needs none of them. Calls go through lav::, which has the libraries' own names.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include "platform/shared_library.h"

// libavutil, libswresample and libavcodec.
#define BW_LIBAV_CODEC_FUNCTIONS(X) \
  X(av_channel_layout_compare)      \
  X(av_channel_layout_copy)         \
  X(av_channel_layout_default)      \
  X(av_channel_layout_uninit)       \
  X(av_dict_free)                   \
  X(av_dict_set_int)                \
  X(av_free)                        \
  X(av_freep)                       \
  X(av_frame_alloc)                 \
  X(av_frame_free)                  \
  X(av_frame_get_buffer)            \
  X(av_frame_make_writable)         \
  X(av_frame_unref)                 \
  X(av_log_set_level)               \
  X(av_malloc)                      \
  X(av_mallocz)                     \
  X(av_packet_alloc)                \
  X(av_packet_free)                 \
  X(av_packet_unref)                \
  X(avcodec_alloc_context3)         \
  X(avcodec_find_decoder)           \
  X(avcodec_find_encoder_by_name)   \
  X(avcodec_flush_buffers)          \
  X(avcodec_free_context)           \
  X(avcodec_open2)                  \
  X(avcodec_parameters_to_context)  \
  X(avcodec_receive_frame)          \
  X(avcodec_receive_packet)         \
  X(avcodec_send_frame)             \
  X(avcodec_send_packet)            \
  X(swr_alloc_set_opts2)            \
  X(swr_convert)                    \
  X(swr_free)                       \
  X(swr_get_out_samples)            \
  X(swr_init)

// libavformat, for Import alone.
#define BW_LIBAV_FORMAT_FUNCTIONS(X) \
  X(av_find_best_stream)             \
  X(av_probe_input_buffer2)          \
  X(av_read_frame)                   \
  X(avformat_alloc_context)          \
  X(avformat_close_input)            \
  X(avformat_find_stream_info)       \
  X(avformat_open_input)             \
  X(avio_alloc_context)              \
  X(avio_context_free)

namespace bw::acm {

struct LibavCodecFunctions {
  BW_LIBAV_CODEC_FUNCTIONS(BW_FUNCTION_POINTER)
};
struct LibavFormatFunctions {
  BW_LIBAV_FORMAT_FUNCTIONS(BW_FUNCTION_POINTER)
};

// Open the libraries the first time (from any thread; later calls only answer) with their
// messages silenced: the program keeps no log, and broken input is reported through result
// codes. False when they are not installed: their codecs and containers then fail to open, as
// a codec does that refuses a format.
bool LoadLibavCodec();
bool LoadLibavFormat();  // and the codec libraries

// The functions, once the matching Load has returned true.
const LibavCodecFunctions& LibavCodec();
const LibavFormatFunctions& LibavFormat();

namespace lav {
#define BW_LIBAV_CODEC_FORWARD(name) BW_FORWARD_FUNCTION(name, LibavCodec())
#define BW_LIBAV_FORMAT_FORWARD(name) BW_FORWARD_FUNCTION(name, LibavFormat())
BW_LIBAV_CODEC_FUNCTIONS(BW_LIBAV_CODEC_FORWARD)
BW_LIBAV_FORMAT_FUNCTIONS(BW_LIBAV_FORMAT_FORWARD)
#undef BW_LIBAV_CODEC_FORWARD
#undef BW_LIBAV_FORMAT_FORWARD
}  // namespace lav

}  // namespace bw::acm
