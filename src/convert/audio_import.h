// The decoder that Import runs over compressed sound files (FLAC, Ogg Vorbis, Opus, AAC/M4A,
// ALAC, WavPack, AIFF, MPEG Layers I and II): libavformat finds the sound in the file's
// container, libavcodec decodes it and libswresample gives 16-bit PCM at the source's rate, in
// one or two channels (more are mixed down to two with the usual coefficients).
//
// What the container is decides the road: a file whose container is raw MPEG audio carrying
// Layer III is not decoded here but wrapped unchanged as it always was, and nothing else is
// ever taken for MPEG, however its bytes look.
//
// Threads: the user-interface thread (Import), or brookwave-cli's. No FFmpeg type leaves the
// implementation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/wave_format.h"

namespace bw {

enum class ImportRoute {
  kWrapMpegLayer3,  // copied byte for byte into an MPEG Layer-3 wrapper
  kDecode,          // decoded into 16-bit PCM
};

// True when `path` holds a container of the kinds Import takes (a RIFF WAVE file never does:
// it is opened as it is).
bool IsImportableSoundFile(const std::string& path);

class AudioImportDecoder {
 public:
  AudioImportDecoder();
  ~AudioImportDecoder();
  AudioImportDecoder(const AudioImportDecoder&) = delete;
  AudioImportDecoder& operator=(const AudioImportDecoder&) = delete;

  // Opens `path`, finds its sound and, on the decoding road, opens its decoder. False with a
  // message naming the file in `failure` when it cannot be read, is of no kind Import takes,
  // or holds no sound that decodes.
  bool Open(const std::string& path, std::string& failure);

  ImportRoute route() const;
  // The PCM format the sound is decoded into: 16 bits, the source's rate, one or two channels.
  const FormatBlock& format() const;

  // Fills `block` from its start with whole decoded sample frames; `got` 0 at the end of the
  // sound. A damaged packet is skipped as other players skip it. False with `failure` when the
  // file cannot be read on; what was decoded before stays good.
  bool Decode(std::span<uint8_t> block, std::size_t& got, std::string& failure);

  // How far the reading has come through the file, in bytes of the file, and its size.
  uint64_t bytesRead() const;
  uint64_t fileBytes() const;

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace bw
