// The equaliser on known signals: band 0 scales exactly, sums clip instead of wrapping, the
// state carries over between blocks, and a mono source leaves the second channel's state alone.
#include "audio/equaliser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

// The filter as the algorithm states it, one band and one sample at a time.
struct ReferenceEqualiser {
  float w1[8][2][2] = {};
  float w2[8][2][2] = {};

  void Band(std::vector<int16_t>& out, const std::vector<int16_t>& in, int band, int channels,
            float gain) {
    for (std::size_t i = 0; i < in.size(); ++i) {
      const int ch = static_cast<int>(i % channels);
      float x = in[i];
      for (int s = 0; s < 2; ++s) {
        const BiquadCoefficients& c = kEqualiserCoefficients[band].section[s];
        float& d1 = w1[band][ch][s];
        float& d2 = w2[band][ch][s];
        const float w = 1.0f * x - c.a1 * d1 - c.a2 * d2;
        x = c.b0 * w + c.b1 * d1 + c.b2 * d2;
        d2 = d1;
        d1 = w;
      }
      const double sum = std::trunc(static_cast<double>(x) * gain + out[i]);
      out[i] = static_cast<int16_t>(std::clamp(sum, -32768.0, 32767.0));
    }
  }
};

// Every vector width the processor runs gives the reference's samples exactly, over blocks of
// odd lengths (partial groups of samples) and sums that clip.
TEST(Equaliser, AllBandsTogetherEqualTheBandsOneAfterAnother) {
  const std::array<int32_t, 8> values{1, -128, 0, 37, 128, -5, 0, -100};
  for (EqualiserIsa isa : {EqualiserIsa::kPortable, EqualiserIsa::kAvx2}) {
    if (!EqualiserIsaAvailable(isa)) continue;
    for (int channels : {1, 2}) {
      std::vector<int16_t> x =
          test::SineTone(44100, static_cast<uint16_t>(channels), 3001, 150, 0.8);
      for (std::size_t i = 0; i < x.size(); i += 7)
        x[i] = static_cast<int16_t>(x[i] ^ 0x5A5A);  // broadband content for every band
      EqualiserBands bands;
      ReferenceEqualiser reference;
      std::vector<int16_t> expected = x;
      for (int band = 0; band < kEqualiserBands; ++band) {
        bands.run[band] = values[band] != 0;
        bands.gain[band] = EqualiserGain(values[band]);
        if (bands.run[band]) reference.Band(expected, x, band, channels, bands.gain[band]);
      }
      EqualiserState state;
      std::vector<uint8_t> out = Bytes(x);
      const std::vector<uint8_t> in = out;
      const auto frames = static_cast<uint32_t>(x.size() / channels);
      // Two blocks: the state carries over between them.
      const uint32_t first = frames / 2 - 1;
      const std::size_t split = std::size_t{first} * channels * 2;
      ApplyEqualiser(isa, std::span(out).first(split), std::span(in).first(split), bands, first,
                     static_cast<uint16_t>(channels), state);
      ApplyEqualiser(isa, std::span(out).subspan(split), std::span(in).subspan(split), bands,
                     frames - first, static_cast<uint16_t>(channels), state);
      EXPECT_EQ(test::Pcm16Samples(out), expected) << channels << " channels, isa " << int(isa);
      EXPECT_EQ(state.w1[0][1][1], reference.w1[1][0][1]);
      EXPECT_EQ(state.w1[0][0][2], 0.0f);  // band 2 did not run
    }
  }
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
  EXPECT_NE(state.w1[0][0][3], 0.0f);
  EXPECT_EQ(state.w1[1][0][3], 0.0f);
  EXPECT_EQ(state.w2[1][1][3], 0.0f);
  EXPECT_EQ(state.w1[0][0][2], 0.0f);  // the other bands did not run
  ClearEqualiserState(state);
  EXPECT_EQ(state.w1[0][0][3], 0.0f);
}

}  // namespace
}  // namespace bw
