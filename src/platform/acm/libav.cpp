#include "platform/acm/libav.h"

#include "platform/shared_library.h"

namespace bw::acm {
namespace {

#define BW_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

const auto& CodecLibraries() {
  static const auto libraries = OpenLibrarySet<LibavCodecFunctions>(
      std::array{BW_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR),
                 BW_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR),
                 BW_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR)},
      [](const auto& from, LibavCodecFunctions& functions) {
        bool ok = true;
        BW_LIBAV_CODEC_FUNCTIONS(BW_BIND_FUNCTION)
        if (ok) functions.av_log_set_level(AV_LOG_QUIET);
        return ok;
      });
  return libraries;
}

const auto& FormatLibraries() {
  static const auto libraries = OpenLibrarySet<LibavFormatFunctions>(
      std::array{BW_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR)},
      [](const auto& from, LibavFormatFunctions& functions) {
        bool ok = LoadLibavCodec();
        BW_LIBAV_FORMAT_FUNCTIONS(BW_BIND_FUNCTION)
        return ok;
      });
  return libraries;
}

}  // namespace

bool LoadLibavCodec() {
  return CodecLibraries().loaded;
}

bool LoadLibavFormat() {
  return FormatLibraries().loaded;
}

const LibavCodecFunctions& LibavCodec() {
  return CodecLibraries().functions;
}

const LibavFormatFunctions& LibavFormat() {
  return FormatLibraries().functions;
}

}  // namespace bw::acm
