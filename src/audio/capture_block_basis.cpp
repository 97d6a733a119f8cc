#include "audio/capture_block_basis.h"

#include <algorithm>

#include "platform/sample_layout.h"

namespace bw {

uint64_t ScaledByRate(uint64_t base, uint32_t rate) {
  return rate <= 11025 ? base : base * (rate / 11025);
}

uint32_t CaptureBlockBasis(const FormatBlock& target) {
  const WAVEFORMATEX& f = target.format();
  const uint32_t rate = f.nSamplesPerSec;
  uint64_t basis = 0;
  switch (f.wFormatTag) {
    case kWaveFormatPcm:
    case kWaveFormatIeeeFloat:
    case kWaveFormatALaw:
    case kWaveFormatMuLaw:
      basis = 2 * (uint64_t{f.nAvgBytesPerSec} / 5);
      break;
    case kWaveFormatMsAdpcm:
      basis = ScaledByRate(21378, rate);
      break;
    case kWaveFormatImaAdpcm:
      basis = 10 * uint64_t{f.nChannels} * target.WordAt(kWaveFormatExSize);
      break;
    case kWaveFormatMpegLayer3:
      basis = ScaledByRate(21888, rate);
      break;
    case kWaveFormatTrueSpeech:
      basis = 120 * uint64_t{target.WordAt(20)};
      break;
    case kWaveFormatGsm610:
      basis = ScaledByRate(21120, rate);
      break;
    case kWaveFormatMsnAudio:
      basis = 296 * uint64_t{target.WordAt(kWaveFormatExSize)};
      break;
    case kWaveFormatLhCelp:
      basis = 16000;
      break;
    default:
      break;
  }
  return static_cast<uint32_t>(std::min<uint64_t>(basis, UINT32_MAX));
}

}  // namespace bw
