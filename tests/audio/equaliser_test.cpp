// The equaliser on known signals: band 0 scales exactly, sums clip instead of wrapping, the
// state carries over between blocks, and a mono source leaves the second channel's state alone.
#include "audio/equaliser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/wave_image.h"

namespace bw {
namespace {

std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples) {
  return test::Pcm16Bytes(samples);
}

std::vector<int16_t> Filter(const std::vector<int16_t>& input, int band, float gain,
                            uint16_t channels, EqualiserState& state) {
  std::vector<uint8_t> out = Bytes(input);
  const std::vector<uint8_t> in = out;
  ApplyEqualiserBand(out, in, band, static_cast<uint32_t>(input.size() / channels), channels, gain,
                     state);
  return test::Pcm16Samples(out);
}

TEST(Equaliser, GainIsMinusTheSliderValueOver256) {
  EXPECT_FLOAT_EQ(EqualiserGain(128), -0.5f);
  EXPECT_FLOAT_EQ(EqualiserGain(-128), 0.5f);
  EXPECT_FLOAT_EQ(EqualiserGain(1), -1.0f / 256);
  EXPECT_FLOAT_EQ(EqualiserGain(0), 0.0f);
}

TEST(Equaliser, BandZeroScalesEverySampleAndClipsLoudOnes) {
  const std::vector<int16_t> x{0, 1, -1, 3, -3, 1000, -1001, 30000, -30000, 32767, -32768, 21845};
  EqualiserState state;
  // Up full: x + x / 2, truncated toward zero, held to the 16-bit range.
  const std::vector<int16_t> raised = Filter(x, 0, EqualiserGain(-128), 2, state);
  const std::vector<int16_t> lowered = Filter(x, 0, EqualiserGain(128), 2, state);
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double up = std::trunc(x[i] * 1.5);
    EXPECT_EQ(raised[i], std::clamp(up, -32768.0, 32767.0)) << x[i];
    EXPECT_EQ(lowered[i], static_cast<int16_t>(std::trunc(x[i] * 0.5))) << x[i];
  }
}

TEST(Equaliser, ZeroGainLeavesTheBlockAsItIs) {
  const std::vector<int16_t> x = test::SineTone(44100, 2, 2000, 3000, 0.9);
  for (int band = 0; band < kEqualiserBands; ++band) {
    EqualiserState state;
    EXPECT_EQ(Filter(x, band, 0.0f, 2, state), x) << band;
  }
}

TEST(Equaliser, StateCarriesOverFromBlockToBlock) {
  const std::vector<int16_t> x = test::SineTone(44100, 2, 3000, 800, 0.7);
  for (int band = 1; band < kEqualiserBands; ++band) {
    EqualiserState whole_state;
    const std::vector<int16_t> whole = Filter(x, band, EqualiserGain(-100), 2, whole_state);
    EqualiserState split_state;
    const std::vector<int16_t> first(x.begin(), x.begin() + 2222);
    const std::vector<int16_t> second(x.begin() + 2222, x.end());
    std::vector<int16_t> joined = Filter(first, band, EqualiserGain(-100), 2, split_state);
    const std::vector<int16_t> rest = Filter(second, band, EqualiserGain(-100), 2, split_state);
    joined.insert(joined.end(), rest.begin(), rest.end());
    EXPECT_EQ(joined, whole) << band;
    EXPECT_NE(whole, x) << band;  // the band did act
  }
}

TEST(Equaliser, BandsPassTheirOwnPartOfTheSpectrum) {
  // A band-pass adds most where it passes: the low band lifts a low tone more than a high one,
  // and band 7 the reverse.
  const auto lift = [](int band, double hz) {
    const std::vector<int16_t> x = test::SineTone(44100, 1, 44100, hz, 0.25);
    EqualiserState state;
    const std::vector<int16_t> y = Filter(x, band, 0.5f, 1, state);
    double in = 0, out = 0;
    for (std::size_t i = x.size() / 2; i < x.size(); ++i) {
      in += double(x[i]) * x[i];
      out += double(y[i]) * y[i];
    }
    return out / in;
  };
  EXPECT_GT(lift(1, 60), lift(1, 8000));
  EXPECT_GT(lift(7, 16000), lift(7, 200));
}

TEST(Equaliser, MonoSourcesUseOnlyTheFirstStateSet) {
  const std::vector<int16_t> x = test::SineTone(22050, 1, 500, 300, 0.5);
  EqualiserState state;
  Filter(x, 3, EqualiserGain(-64), 1, state);
  EXPECT_NE(state.delay[3][0][0].w1, 0.0f);
  EXPECT_EQ(state.delay[3][1][0].w1, 0.0f);
  EXPECT_EQ(state.delay[3][1][1].w2, 0.0f);
  ClearEqualiserState(state);
  EXPECT_EQ(state.delay[3][0][0].w1, 0.0f);
}

}  // namespace
}  // namespace bw
