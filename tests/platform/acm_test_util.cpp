#include "acm_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/wave_image.h"

namespace bw::test {

FormatBlock Pcm16Block(uint32_t rate, uint16_t channels) {
  return FormatBlock(MakePcmFormat(rate, channels));
}

std::vector<int16_t> Sweep(uint32_t rate, uint16_t channels, uint32_t frames, double amplitude) {
  std::vector<int16_t> out(std::size_t{frames} * channels);
  const double low = 100;
  const double high = rate / 8.0;
  for (uint16_t c = 0; c < channels; ++c) {
    double phase = 0;
    for (uint32_t i = 0; i < frames; ++i) {
      const double t = i / static_cast<double>(frames);
      const double hz = (c % 2 == 0) ? low + (high - low) * t : high - (high - low) * t;
      phase += 2 * M_PI * hz / rate;
      out[std::size_t{i} * channels + c] =
          static_cast<int16_t>(32767 * amplitude * std::sin(phase));
    }
  }
  return out;
}

namespace {

// One conversion call with a destination of `dst_length` bytes; appends the output.
uint32_t ConvertOnce(HACMSTREAM& stream, std::span<const uint8_t> src, uint32_t dst_length,
                     uint32_t flags, std::vector<uint8_t>& out) {
  std::vector<uint8_t> dst(std::max<uint32_t>(dst_length, 1));
  ACMSTREAMHEADER h;
  h.pbSrc = src.data();
  h.cbSrcLength = static_cast<uint32_t>(src.size());
  h.pbDst = dst.data();
  h.cbDstLength = dst_length;
  EXPECT_EQ(acmStreamPrepareHeader(stream, h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(acmStreamConvert(stream, h, flags), MMSYSERR_NOERROR);
  EXPECT_LE(h.cbDstLengthUsed, dst_length);
  EXPECT_LE(h.cbSrcLengthUsed, h.cbSrcLength);
  out.insert(out.end(), dst.begin(), dst.begin() + h.cbDstLengthUsed);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, h, 0), MMSYSERR_NOERROR);
  return h.cbSrcLengthUsed;
}

uint32_t DestinationFor(HACMSTREAM& stream, std::size_t source_bytes) {
  uint32_t size = 0;
  EXPECT_EQ(
      acmStreamSize(stream, static_cast<uint32_t>(source_bytes), size, ACM_STREAMSIZEF_SOURCE),
      MMSYSERR_NOERROR);
  return size;
}

}  // namespace

std::vector<uint8_t> ConvertAll(const FormatBlock& src, const FormatBlock& dst,
                                std::span<const uint8_t> input, std::size_t chunk) {
  std::vector<uint8_t> out;
  HACMSTREAM stream;
  const MMRESULT opened = acmStreamOpen(stream, src, dst, ACM_STREAMOPENF_NONREALTIME);
  EXPECT_EQ(opened, MMSYSERR_NOERROR)
      << "0x" << std::hex << src.format().wFormatTag << " to 0x" << dst.format().wFormatTag;
  if (opened != MMSYSERR_NOERROR) return out;
  std::size_t at = 0;
  while (at < input.size()) {
    const auto piece = input.subspan(at, std::min(chunk, input.size() - at));
    const uint32_t used = ConvertOnce(stream, piece, DestinationFor(stream, piece.size()),
                                      ACM_STREAMCONVERTF_BLOCKALIGN, out);
    if (used == 0) break;  // less than one block is left
    at += used;
  }
  const auto tail = input.subspan(at);
  ConvertOnce(stream, tail, DestinationFor(stream, tail.size()), ACM_STREAMCONVERTF_END, out);
  // Whatever the stream still holds.
  for (std::size_t before = 0; before != out.size();) {
    before = out.size();
    ConvertOnce(stream, {}, 65536, 0, out);
  }
  EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
  return out;
}

double DelayedSnrDb(std::span<const int16_t> expected, std::span<const int16_t> actual,
                    uint16_t channels, std::size_t max_frames) {
  // The delay is where a window at the start of the signal correlates best.
  const std::size_t window = std::min<std::size_t>(expected.size(), 4096 * channels);
  std::size_t best_delay = 0;
  double best = -1e300;
  for (std::size_t d = 0; d <= max_frames; ++d) {
    const std::size_t offset = d * channels;
    if (offset + window > actual.size()) break;
    double sum = 0;
    for (std::size_t i = 0; i < window; ++i)
      sum += static_cast<double>(expected[i]) * actual[offset + i];
    if (sum > best) {
      best = sum;
      best_delay = d;
    }
  }
  return SnrDb(expected, actual.subspan(std::min(actual.size(), best_delay * channels)), 0);
}

}  // namespace bw::test
