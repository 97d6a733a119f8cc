// The codec layer: format conversion streams between PCM and the coded WAVE formats, with the
// calls, flags and result codes of the platform's audio compression manager, so that playback,
// capture, conversion and export drive it step by step:
//
//   acmStreamOpen -> acmStreamSize -> acmStreamPrepareHeader -> acmStreamConvert ... ->
//   acmStreamUnprepareHeader -> acmStreamClose
//
// Threads: a stream belongs to one thread at a time (the playback or capture thread, or the
// view's thread for Save and Export); calls on one stream must not overlap. Different streams
// run on different threads at once without any lock. The format registry (acm_formats.h) may be
// read from any thread.
//
// Results: 0 (MMSYSERR_NOERROR) is success; anything else is one of the codes below and leaves
// the stream and the header as they were before the call.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/wave_format.h"

namespace bw {

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
// No codec converts between the two formats (also: a format tag with no codec at all).
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
// The stream still has prepared headers, so it cannot be closed yet.
inline constexpr MMRESULT ACMERR_BUSY = 513;
// The header was not prepared on this stream.
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;
// A format chooser was cancelled.
inline constexpr MMRESULT ACMERR_CANCELED = 515;

// The most channels a stream converts; sample codecs offer any count up to it.
inline constexpr uint16_t kAcmMostChannels = 8;

// acmMetrics: the size in bytes of the largest format block any codec here uses (base record
// and extra bytes); callers size their format buffers with it.
inline constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;
MMRESULT acmMetrics(uint32_t uMetric, uint32_t& value);

// acmStreamOpen flags. QUERY only checks that the pair converts; NONREALTIME is accepted (every
// stream here is as good as it can be); ASYNC is refused.
inline constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x1;
inline constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x2;
inline constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x4;

// acmStreamSize: SOURCE asks how many destination bytes `cbInput` source bytes can produce at
// most; DESTINATION asks how many source bytes may be converted into `cbInput` destination
// bytes. Both answers count what the stream still holds from earlier calls.
inline constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x0;
inline constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x1;

// acmStreamConvert flags.
//   BLOCKALIGN  take every whole source block given (a trailing partial block is left unused);
//               output that does not fit the destination is kept for the next call.
//   (none)      take whole source blocks only as far as their output fits the destination.
//   START       the first call of a stream, or after a jump: forget all state and held output.
//   END         the last call: take the partial block too and flush the codec (decoder delay,
//               encoder look-ahead, a short last block padded with silence).
// Source blocks are nBlockAlign bytes for block codecs, one sample frame for PCM and one byte
// for MPEG audio, whose frames the stream finds itself.
inline constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x4;
inline constexpr uint32_t ACM_STREAMCONVERTF_START = 0x10;
inline constexpr uint32_t ACM_STREAMCONVERTF_END = 0x20;

inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

// The size the header had on the platform; cbStruct must be at least this.
inline constexpr uint32_t kAcmStreamHeaderSize = 84;

class AcmStream;

// The header of one conversion: the caller owns it and both buffers. acmStreamConvert fills
// cbSrcLengthUsed and cbDstLengthUsed and never writes past pbDst + cbDstLength.
struct ACMSTREAMHEADER {
  uint32_t cbStruct = kAcmStreamHeaderSize;
  uint32_t fdwStatus = 0;
  const uint8_t* pbSrc = nullptr;
  uint32_t cbSrcLength = 0;
  uint32_t cbSrcLengthUsed = 0;
  uint8_t* pbDst = nullptr;
  uint32_t cbDstLength = 0;
  uint32_t cbDstLengthUsed = 0;

  // Set by acmStreamPrepareHeader: the stream and the buffers it was prepared for. Converting
  // may use shorter lengths; unpreparing needs the prepared ones back.
  struct {
    const AcmStream* stream = nullptr;
    const uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
  } prepared;
};

// The stream handle owns its stream; an empty handle is a closed stream.
struct AcmStreamDeleter {
  void operator()(AcmStream* stream) const;
};
using HACMSTREAM = std::unique_ptr<AcmStream, AcmStreamDeleter>;

// Opens a stream from `pwfxSrc` to `pwfxDst` into `has` (replacing any stream it held). One of
// the two must be PCM with the other's channels and rate: PCM to PCM changes the sample width
// (8, 16, 24 or 32 bits in, 8 or 16 out); coded to PCM decodes; PCM to coded encodes.
// ACMERR_NOTPOSSIBLE for any other pair, for a format tag no codec handles, and for a format
// block the codec cannot use.
MMRESULT acmStreamOpen(HACMSTREAM& has, const FormatBlock& pwfxSrc, const FormatBlock& pwfxDst,
                       uint32_t fdwOpen);
MMRESULT acmStreamSize(HACMSTREAM& has, uint32_t cbInput, uint32_t& dwOutputBytes,
                       uint32_t fdwSize);
MMRESULT acmStreamPrepareHeader(HACMSTREAM& has, ACMSTREAMHEADER& pash, uint32_t fdwPrepare);
MMRESULT acmStreamConvert(HACMSTREAM& has, ACMSTREAMHEADER& pash, uint32_t fdwConvert);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM& has, ACMSTREAMHEADER& pash, uint32_t fdwUnprepare);
// Closes the stream and empties `has`; ACMERR_BUSY while a header is still prepared on it.
MMRESULT acmStreamClose(HACMSTREAM& has, uint32_t fdwClose);

}  // namespace bw
