// The codec layer's decoders on outside bytes: coded data of every decodable format (and format
// blocks themselves) must convert or be refused, never read or write out of bounds, and every
// answer must stay within the buffers it was given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "platform/acm/acm.h"
#include "platform/acm/acm_formats.h"

namespace {

using bw::FormatBlock;
using bw::WAVEFORMATEX;

FormatBlock Argument(const char* text) {
  std::string error;
  return bw::ParseFormatArgument(text, error);
}

// Byte 0 picks the source format; the last entry takes a format block from the input itself.
FormatBlock SourceFormat(uint8_t pick, std::span<const uint8_t>& data) {
  static const uint8_t kTrueSpeechExtra[32] = {1, 0, 240, 0};
  static const uint8_t kSamplesPerBlock320[2] = {0x40, 0x01};
  static const uint8_t kIma3BitExtra[2] = {0x11, 0x00};
  switch (pick % 14) {
    case 0:
      return Argument("msadpcm:44100:2");
    case 1:
      return Argument("msadpcm:8000:1");
    case 2:
      return Argument("imaadpcm:22050:2");
    case 3:
      return FormatBlock(WAVEFORMATEX{0x0011, 1, 8000, 4000, 36, 3, 0}, kIma3BitExtra);
    case 4:
      return Argument("gsm610:8000:1");
    case 5:
      return FormatBlock(WAVEFORMATEX{0x0032, 1, 8000, 1625, 65, 0, 0}, kSamplesPerBlock320);
    case 6:
      return FormatBlock(WAVEFORMATEX{0x0022, 1, 8000, 1067, 32, 1, 0}, kTrueSpeechExtra);
    case 7:
      return Argument("alaw:8000:2");
    case 8:
      return Argument("mulaw:11025:1");
    case 9:
      return Argument("mp3:44100:2:128");
    case 10:
      return Argument("mp3:8000:1:16");
    case 11:
      return FormatBlock(WAVEFORMATEX{0x0050, 2, 48000, 24000, 1, 0, 0});
    case 12:
      return FormatBlock(bw::MakePcmFormat(22050, 2, 24));
    default: {
      const std::size_t n = std::min<std::size_t>(data.size(), 18 + 40);
      FormatBlock block = FormatBlock::Parse(data.first(n));
      data = data.subspan(n);
      return block;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  std::span<const uint8_t> data(bytes + 2, size - 2);
  const FormatBlock src = SourceFormat(bytes[0], data);
  const WAVEFORMATEX& f = src.format();
  const FormatBlock pcm(bw::MakePcmFormat(f.nSamplesPerSec, f.nChannels, (bytes[1] & 1) ? 8 : 16));
  bw::HACMSTREAM stream;
  if (bw::acmStreamOpen(stream, src, pcm, 0) != bw::MMSYSERR_NOERROR) return 0;

  // Byte 1 also sets how the data is cut into calls and how much room each call gets.
  const std::size_t piece = 1 + (bytes[1] >> 1) * 37;
  constexpr std::size_t kGuard = 16;
  std::vector<uint8_t> dst(4096 + kGuard);
  std::size_t at = 0;
  for (int calls = 0; calls < 100000; ++calls) {
    const bool last = at >= data.size();
    const std::size_t n = last ? 0 : std::min(piece, data.size() - at);
    uint32_t room = 0;
    if (bw::acmStreamSize(stream, static_cast<uint32_t>(n), room, bw::ACM_STREAMSIZEF_SOURCE) != 0)
      std::abort();
    room = std::clamp<uint32_t>(room, 1, 4096);
    std::fill(dst.begin(), dst.end(), 0x5A);
    bw::ACMSTREAMHEADER h;
    h.pbSrc = data.data() + at;
    h.cbSrcLength = static_cast<uint32_t>(n);
    h.pbDst = dst.data();
    h.cbDstLength = room;
    if (bw::acmStreamPrepareHeader(stream, h, 0) != 0) std::abort();
    const uint32_t flags = last ? bw::ACM_STREAMCONVERTF_END : bw::ACM_STREAMCONVERTF_BLOCKALIGN;
    if (bw::acmStreamConvert(stream, h, flags) != 0) std::abort();
    if (h.cbSrcLengthUsed > n || h.cbDstLengthUsed > room) std::abort();
    if (std::any_of(dst.begin() + room, dst.end(), [](uint8_t b) { return b != 0x5A; }))
      std::abort();
    if (bw::acmStreamUnprepareHeader(stream, h, 0) != 0) std::abort();
    at += h.cbSrcLengthUsed;
    // A call that takes nothing and gives nothing leaves a piece shorter than a block: the END
    // call takes it.
    if (!last && h.cbSrcLengthUsed == 0 && h.cbDstLengthUsed == 0) at = data.size();
    if (last && h.cbDstLengthUsed == 0) break;
  }
  if (bw::acmStreamClose(stream, 0) != 0) std::abort();
  return 0;
}
