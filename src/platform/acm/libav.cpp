#include "platform/acm/libav.h"

#include <array>

#include "platform/shared_library.h"

namespace bw::acm {
namespace {

#define BW_SONAME(lib, major) "lib" #lib ".so." AV_STRINGIFY(major)

template <std::size_t N, typename Functions>
struct Libraries {
  std::array<SharedLibrary, N> libraries;
  Functions functions;
  bool loaded = false;
};

template <std::size_t N>
std::array<const SharedLibrary*, N> Addresses(const std::array<SharedLibrary, N>& libraries) {
  std::array<const SharedLibrary*, N> out{};
  for (std::size_t i = 0; i < N; ++i)
    out[i] = &libraries[i];
  return out;
}

#define BW_LIBAV_BIND(name) ok = ok && BindFunction(from, #name, out.functions.name);

const auto& CodecLibraries() {
  static const auto libraries = [] {
    Libraries<3, LibavCodecFunctions> out;
    out.libraries = {SharedLibrary::Open(BW_SONAME(avutil, LIBAVUTIL_VERSION_MAJOR)),
                     SharedLibrary::Open(BW_SONAME(swresample, LIBSWRESAMPLE_VERSION_MAJOR)),
                     SharedLibrary::Open(BW_SONAME(avcodec, LIBAVCODEC_VERSION_MAJOR))};
    const auto from = Addresses(out.libraries);
    bool ok = true;
    BW_LIBAV_CODEC_FUNCTIONS(BW_LIBAV_BIND)
    if (ok) out.functions.av_log_set_level(AV_LOG_QUIET);
    out.loaded = ok;
    return out;
  }();
  return libraries;
}

const auto& FormatLibraries() {
  static const auto libraries = [] {
    Libraries<1, LibavFormatFunctions> out;
    out.libraries = {SharedLibrary::Open(BW_SONAME(avformat, LIBAVFORMAT_VERSION_MAJOR))};
    const auto from = Addresses(out.libraries);
    bool ok = LoadLibavCodec();
    BW_LIBAV_FORMAT_FUNCTIONS(BW_LIBAV_BIND)
    out.loaded = ok;
    return out;
  }();
  return libraries;
}

#undef BW_LIBAV_BIND

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
