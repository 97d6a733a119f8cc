// The WAVE reader: any bytes either open, find their data and read to its end, or are refused;
// nothing is read past the data chunk or the file, and a refusal leaves nothing open. RF64
// forms and their "ds64" sizes are read on the way; the format's EXTENSIBLE fields are read as
// playback reads them, and the first data decoded as playback decodes it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "audio/wave_file.h"
#include "fuzz_support.h"
#include "platform/acm/acm.h"
#include "platform/sample_layout.h"

namespace {

// The first data bytes of an uncoded format through the codec stream playback opens for it.
void DecodeAsPlaybackDoes(const bw::FormatBlock& format, std::span<const uint8_t> data) {
  bw::SampleLayout layout;
  if (!bw::DescribeSamples(format, layout)) return;
  const bw::FormatBlock plain = bw::PlainFormat(format);
  if (plain.format().nChannels != format.format().nChannels) std::abort();
  if (layout.uncoded() && (layout.containerBytes == 0 || layout.validBits == 0)) std::abort();
  if (layout.channels > 0 && bw::SpeakerMask(layout) == 0) std::abort();
  // The coded formats' decoders have a target of their own (fuzz_acm_decode).
  if (!layout.uncoded()) return;
  const bw::WAVEFORMATEX& f = format.format();
  const auto channels = static_cast<uint16_t>(f.nChannels > 2 ? 2 : f.nChannels);
  bw::HACMSTREAM stream;
  if (bw::acmStreamOpen(stream, format,
                        bw::FormatBlock(bw::MakePcmFormat(f.nSamplesPerSec, channels)),
                        0) != bw::MMSYSERR_NOERROR)
    return;
  constexpr std::size_t kRoom = 8192;
  std::vector<uint8_t> dst(kRoom);
  bw::ACMSTREAMHEADER h;
  h.pbSrc = data.data();
  h.cbSrcLength = static_cast<uint32_t>(data.size());
  h.pbDst = dst.data();
  h.cbDstLength = kRoom;
  if (bw::acmStreamPrepareHeader(stream, h, 0) != 0) std::abort();
  if (bw::acmStreamConvert(stream, h, bw::ACM_STREAMCONVERTF_START | bw::ACM_STREAMCONVERTF_END) !=
      0)
    std::abort();
  if (h.cbSrcLengthUsed > data.size() || h.cbDstLengthUsed > kRoom) std::abort();
  if (bw::acmStreamUnprepareHeader(stream, h, 0) != 0 || bw::acmStreamClose(stream, 0) != 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bw::fuzz::MemoryFile input("fuzz_wave");
  input.Write({reinterpret_cast<const char*>(data), size});
  bw::RiffFile file;
  bw::FormatBlock format;
  bw::MMCKINFO riffChunk;
  if (bw::OpenWaveSource(input.path(), file, format, riffChunk) != 0) {
    if (file.is_open() || !format.empty()) std::abort();
    return 0;
  }
  bw::MMCKINFO dataChunk;
  if (bw::SeekWaveData(file, dataChunk, riffChunk) == 0) {
    const uint32_t declared = dataChunk.cksize;
    // Block sizes vary with the input, so that reads end at every kind of buffer boundary.
    std::vector<uint8_t> block(1 + (size > 0 ? data[size - 1] * 37u : 0u));
    uint64_t total = 0;
    int rc = 0;
    for (bool first = true;; first = false) {
      uint32_t got = 0;
      rc = bw::ReadWaveData(file, block, dataChunk, got);
      if (got > block.size()) std::abort();
      if (first)
        DecodeAsPlaybackDoes(format, std::span(block).first(std::min<std::size_t>(got, 4096)));
      total += got;
      if (got == 0 || rc != 0) break;
    }
    if (total > declared || total > size || (rc == 0 && total != declared)) std::abort();
  }
  bw::CloseWaveSource(file, format);
  if (file.is_open()) std::abort();
  return 0;
}
