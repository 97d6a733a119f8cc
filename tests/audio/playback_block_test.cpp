// The block size of each source format.
#include <gtest/gtest.h>

#include <vector>

#include "audio/playback_stream.h"

namespace bw {
namespace {

FormatBlock Format(uint16_t tag, uint16_t channels, uint32_t rate, uint32_t avg,
                   uint16_t block_align = 0, std::vector<uint8_t> extra = {}) {
  WAVEFORMATEX f;
  f.wFormatTag = tag;
  f.nChannels = channels;
  f.nSamplesPerSec = rate;
  f.nAvgBytesPerSec = avg;
  f.nBlockAlign = block_align;
  return FormatBlock(f, extra);
}

struct BasisCase {
  FormatBlock format;
  uint32_t basis;
};

TEST(PlaybackBlockBasis, FollowsTheFormatTag) {
  const std::vector<BasisCase> cases = {
      {Format(kWaveFormatPcm, 2, 44100, 176400), 70560},
      {Format(kWaveFormatPcm, 1, 8000, 8000), 3200},
      {Format(kWaveFormatALaw, 1, 8000, 8000), 3200},
      {Format(kWaveFormatMuLaw, 2, 8000, 16000), 6400},
      {Format(kWaveFormatMsAdpcm, 1, 8000, 4096), 3563},
      {Format(kWaveFormatMsAdpcm, 1, 11025, 5644), 3563},
      {Format(kWaveFormatMsAdpcm, 1, 22050, 11155), 7126},
      {Format(kWaveFormatImaAdpcm, 2, 44100, 177000, 2048, {0xF9, 0x07}), 2 * 2 * 2041},
      {Format(kWaveFormatMpegLayer3, 2, 44100, 16000, 1, std::vector<uint8_t>(12)), 5472 * 2 * 4},
      {Format(kWaveFormatMpegLayer3, 1, 8000, 1000, 1, std::vector<uint8_t>(12)), 5472},
      {Format(kWaveFormatGsm610, 1, 8000, 1625, 65, {0x40, 0x01}), 3000},
      {Format(kWaveFormatGsm610, 1, 44100, 8957, 65, {0x40, 0x01}), 12000},
      {Format(kWaveFormatTrueSpeech, 1, 8000, 1067, 32, {1, 0, 0xF0, 0}), 12 * 240},
      {Format(kWaveFormatMsnAudio, 1, 8000, 1000, 0, {0x20, 0}), 37 * 32},
      {Format(kWaveFormatLhCelp, 1, 8000, 600, 12), 1200},
      {Format(kWaveFormatMpeg, 2, 44100, 16000), 0},
      {Format(0x0160, 2, 44100, 16000), 0},
      {Format(kWaveFormatImaAdpcm, 1, 8000, 4000, 256), 0},  // no samples-per-block word
  };
  for (const BasisCase& c : cases) {
    EXPECT_EQ(PlaybackBlockBasis(c.format), c.basis)
        << "tag " << c.format.format().wFormatTag << " at " << c.format.format().nSamplesPerSec;
  }
}

}  // namespace
}  // namespace bw
