#include "convert/mpeg_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "support/test_support.h"

namespace bw {
namespace {

using test::CapturedMessages;
using test::TempDir;

// One frame header, field by field; the defaults are MPEG-1 Layer III, 128 kbit/s, 44.1 kHz,
// stereo, no checksum, no padding.
struct HeaderBits {
  uint32_t version = 1;
  uint32_t layerCode = 1;  // 3 = Layer I, 2 = Layer II, 1 = Layer III, 0 reserved
  uint32_t protection = 1;
  uint32_t bitrateIndex = 9;
  uint32_t frequency = 0;
  uint32_t padding = 0;
  uint32_t mode = 0;
  uint32_t modeExtension = 0;

  uint32_t Word() const {
    return 0xFFF00000u | version << 19 | layerCode << 17 | protection << 16 | bitrateIndex << 12 |
           frequency << 10 | padding << 9 | mode << 6 | modeExtension << 4;
  }
};

void AppendFrame(std::vector<uint8_t>& out, const HeaderBits& bits, std::size_t bodyBytes,
                 uint8_t fill = 0) {
  const uint32_t word = bits.Word();
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<uint8_t>(word >> shift));
  out.insert(out.end(), bodyBytes, fill);
}

class MpegReaderTest : public ::testing::Test {
 protected:
  // Writes `bytes` to a file and opens a reader on it.
  MpegFileReader& Open(const std::vector<uint8_t>& bytes) {
    const auto path = dir_ / "stream.mp3";
    test::WriteFileBytes(path, bytes);
    EXPECT_TRUE(reader_.Open(path.string()));
    return reader_;
  }

  TempDir dir_;
  CapturedMessages messages_;
  MpegFileReader reader_;
};

// --- frame lengths and texts from the decoded fields --------------------------------------

struct LengthCase {
  int32_t version, layer, bitrateIndex, sampleRateIndex, padding, mode, protection;
  int32_t frameLength, mainDataSlots;
};

class FrameLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(FrameLengthTest, MatchesTheWorkedExamples) {
  const LengthCase& c = GetParam();
  MpegFrameHeader header;
  header.version = c.version;
  header.layer = c.layer;
  header.bitrateIndex = c.bitrateIndex;
  header.sampleRateIndex = c.sampleRateIndex;
  header.paddingBit = c.padding;
  header.mode = c.mode;
  header.protectionBit = c.protection;
  EXPECT_EQ(header.ComputeFrameLength(), c.frameLength);
  EXPECT_EQ(header.frameLength, c.frameLength);
  EXPECT_EQ(header.mainDataSlots, c.mainDataSlots);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FrameLengthTest,
    ::testing::Values(LengthCase{1, 3, 9, 0, 0, 0, 1, 413, 381},     // 128 kbit/s, 44.1 kHz
                      LengthCase{1, 3, 9, 0, 1, 3, 0, 414, 395},     // mono, padded, checksum
                      LengthCase{1, 3, 14, 2, 1, 0, 1, 1437, 1405},  // 320 kbit/s, 32 kHz
                      LengthCase{1, 2, 14, 2, 1, 0, 1, 1725, 0},     // the largest frame
                      LengthCase{1, 1, 12, 0, 0, 0, 1, 412, 0},      // Layer I 384 kbit/s
                      LengthCase{1, 1, 12, 0, 1, 0, 1, 416, 0},      // ... padded: one 4-byte slot
                      LengthCase{0, 3, 8, 0, 0, 0, 1, 204, 187},     // LSF 64 kbit/s, 22.05 kHz
                      LengthCase{0, 3, 8, 0, 0, 3, 0, 204, 193},     // LSF mono with checksum
                      LengthCase{1, 3, 0, 0, 0, 0, 1, -4, -36},      // free format: unusable
                      LengthCase{1, 0, 9, 0, 0, 0, 1, 0, 0}));       // reserved layer: unusable

TEST(MpegFrameHeaderTexts, CarryTheirBlanksAndDependOnVersionAndLayer) {
  MpegFrameHeader h;
  h.version = 1;
  h.layer = 3;
  h.bitrateIndex = 9;
  EXPECT_EQ(h.BitrateText(), "128 kbit/s");
  h.layer = 1;
  EXPECT_EQ(h.BitrateText(), "288 kbit/s");
  h.layer = 2;
  EXPECT_EQ(h.BitrateText(), "160 kbit/s");
  h.version = 0;
  EXPECT_EQ(h.BitrateText(), "80 kbit/s");
  h.layer = 1;
  EXPECT_EQ(h.BitrateText(), "144 kbit/s");
  h.bitrateIndex = 0;
  EXPECT_EQ(h.BitrateText(), "free format");
  h.bitrateIndex = 15;
  EXPECT_EQ(h.BitrateText(), "forbidden");
  h.layer = 0;
  EXPECT_EQ(h.BitrateText(), "");

  const char* const mpeg1[] = {"44100 Hz   ", "48000 Hz      ", "32000 Hz      ", ""};
  const char* const lsf[] = {"22050 Hz   ", "24000 Hz      ", "16000 Hz      ", ""};
  for (int32_t i = 0; i < 4; ++i) {
    h.sampleRateIndex = i;
    h.version = 1;
    EXPECT_EQ(h.SampleRateText(), mpeg1[i]);
    h.version = 0;
    EXPECT_EQ(h.SampleRateText(), lsf[i]);
  }

  const char* const modes[] = {"Stereo", "Joint Stereo", "Dual channel", "Single channel"};
  for (int32_t m = 0; m < 4; ++m) {
    h.mode = m;
    const std::string text = h.ChannelModeText();
    EXPECT_EQ(text.size(), 30u);
    EXPECT_EQ(text.substr(0, text.find_last_not_of(' ') + 1), modes[m]);
  }
}

// --- headers crafted bit by bit -----------------------------------------------------------

struct SubbandCase {
  HeaderBits bits;
  int32_t subbands, intensityBound;
};

class SubbandTest : public MpegReaderTest, public ::testing::WithParamInterface<SubbandCase> {};

TEST_P(SubbandTest, FollowsLayerRateFrequencyAndMode) {
  const SubbandCase& c = GetParam();
  MpegFrameHeader probe;  // only for the length of the crafted frame
  probe.version = 1;
  probe.layer = static_cast<int32_t>((4 - c.bits.layerCode) & 3);
  probe.bitrateIndex = static_cast<int32_t>(c.bits.bitrateIndex);
  probe.sampleRateIndex = static_cast<int32_t>(c.bits.frequency);
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, c.bits, static_cast<std::size_t>(probe.ComputeFrameLength()));
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(Open(bytes)));
  EXPECT_EQ(header.subbandCount, c.subbands);
  EXPECT_EQ(header.intensityStereoBound, c.intensityBound);
}

INSTANTIATE_TEST_SUITE_P(
    Crafted, SubbandTest,
    ::testing::Values(
        SubbandCase{{.layerCode = 3, .bitrateIndex = 4}, 32, 0},                  // Layer I
        SubbandCase{{.layerCode = 2, .bitrateIndex = 10}, 30, 0},                 // 96 per channel
        SubbandCase{{.layerCode = 2, .bitrateIndex = 4}, 8, 0},                   // 32 per channel
        SubbandCase{{.layerCode = 2, .bitrateIndex = 5, .frequency = 2}, 12, 0},  // 32 kHz
        SubbandCase{{.layerCode = 2, .bitrateIndex = 3, .frequency = 1, .mode = 3}, 27, 0},
        SubbandCase{{.layerCode = 2, .bitrateIndex = 7, .mode = 3}, 30, 0},
        SubbandCase{{.layerCode = 2, .bitrateIndex = 2}, 30, 0},  // wraps to "every other"
        SubbandCase{{.layerCode = 2, .bitrateIndex = 9, .mode = 1, .modeExtension = 2}, 27, 12},
        SubbandCase{{.layerCode = 2, .bitrateIndex = 4, .mode = 1, .modeExtension = 3}, 8, 8}));

TEST_F(MpegReaderTest, SlidesOverLeadingJunkAndReadsTheChecksum) {
  std::vector<uint8_t> bytes = {'j', 'u', 'n', 'k', 0xFF, 0x00, 0x12};
  HeaderBits bits{.protection = 0, .padding = 1, .mode = 1, .modeExtension = 2};
  AppendFrame(bytes, bits, 414);
  bytes[11] = 0xBE;  // the checksum: the first two bytes after the header
  bytes[12] = 0xEF;
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(Open(bytes)));
  EXPECT_EQ(header.checksum, 0xBEEF);
  EXPECT_EQ(header.frameLength, 414);
  EXPECT_EQ(header.mainDataSlots, 380);
  EXPECT_EQ(header.intensityStereoBound, 12);
  EXPECT_EQ(header.ChannelModeText().substr(0, 12), "Joint Stereo");
  EXPECT_EQ(reader_.currentFrameNumber(), 0);
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_FALSE(header.ParseNextHeader(reader_));  // nothing after the frame
}

TEST_F(MpegReaderTest, StepsOverAnId3v2TagWhoseTextLooksLikeASync) {
  // A UTF-16 byte-order mark (FF FE) inside the tag would pass the first sync test.
  // The tag's header (12 bytes follow it), then its one text frame.
  std::vector<uint8_t> bytes = {'I', 'D', '3', 3,   0, 0, 0, 0, 0, 12,  //
                                'T', 'I', 'T', '2', 0, 0, 0, 2, 0, 0,  0xFF, 0xFE};
  AppendFrame(bytes, HeaderBits{.frequency = 1}, 380);
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(Open(bytes)));
  EXPECT_EQ(header.layer, 3);
  EXPECT_EQ(header.SampleRateText(), "48000 Hz      ");
}

TEST_F(MpegReaderTest, RefusesLsfAndTheReservedFrequencyBeforeLoadingAFrame) {
  struct Case {
    HeaderBits bits;
    const char* text;
  };
  const Case cases[] = {
      {{.version = 0, .bitrateIndex = 8}, "Sorry, MPEG-2 LSF is not supported yet."},
      {{.frequency = 3}, "Unknown sample frequency in header"}};
  for (const Case& c : cases) {
    messages_.clear();
    std::vector<uint8_t> bytes;
    AppendFrame(bytes, c.bits, 500);
    MpegFrameHeader header;
    EXPECT_FALSE(header.ParseNextHeader(Open(bytes)));
    EXPECT_EQ(header.synced, 0);
    EXPECT_EQ(header.frameLength, 0) << "no frame may be measured or loaded";
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].text, c.text);
    EXPECT_EQ(messages_.messages()[0].caption, "Stream not supported");
    EXPECT_EQ(messages_.messages()[0].style, kMbOk | kMbIconError);
  }
}

TEST_F(MpegReaderTest, UnusableHeadersLoadNothingAndOnlyTheFirstIsReported) {
  for (const HeaderBits bits : {HeaderBits{.layerCode = 0}, HeaderBits{.bitrateIndex = 0},
                                HeaderBits{.bitrateIndex = 15}}) {
    messages_.clear();
    std::vector<uint8_t> bytes;
    AppendFrame(bytes, bits, 1800, 0x5A);
    MpegFrameHeader header;
    EXPECT_FALSE(header.ParseNextHeader(Open(bytes)));
    EXPECT_EQ(reader_.TakeBits(8), 0u) << "no frame body may be loaded";
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].caption, "Stream not supported");
  }
  // Later in the stream a forbidden rate just ends the walk.
  messages_.clear();
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, HeaderBits{}, 413);
  AppendFrame(bytes, HeaderBits{.bitrateIndex = 15}, 413);
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(Open(bytes)));
  EXPECT_FALSE(header.ParseNextHeader(reader_));
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(MpegReaderTest, AFrameCutOffByTheEndOfTheFileFailsSilently) {
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, HeaderBits{}, 412);
  MpegFrameHeader header;
  EXPECT_FALSE(header.ParseNextHeader(Open(bytes)));
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(MpegReaderTest, StrictSearchSkipsFramesWhoseModeOrRateChanged) {
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, HeaderBits{}, 413, 0x11);
  AppendFrame(bytes, HeaderBits{.mode = 3}, 413, 0x22);                      // now single channel
  AppendFrame(bytes, HeaderBits{.frequency = 1}, 380, 0x33);                 // now 48 kHz
  AppendFrame(bytes, HeaderBits{.mode = 1, .modeExtension = 1}, 413, 0x44);  // stereo again
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(Open(bytes)));
  ASSERT_TRUE(header.ParseNextHeader(reader_));
  EXPECT_EQ(header.mode, 1);
  EXPECT_EQ(reader_.TakeBits(8), 0x44u) << "the loaded frame is the fourth one";
  EXPECT_EQ(reader_.currentFrameNumber(), 1);
  EXPECT_FALSE(header.ParseNextHeader(reader_));
}

TEST_F(MpegReaderTest, SingleChannelStreamsSkipStereoFrames) {
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, HeaderBits{.mode = 3}, 413, 0x11);
  AppendFrame(bytes, HeaderBits{}, 413, 0x22);
  AppendFrame(bytes, HeaderBits{.mode = 3}, 413, 0x33);
  MpegFrameHeader header;
  ASSERT_TRUE(header.ParseNextHeader(Open(bytes)));
  ASSERT_TRUE(header.ParseNextHeader(reader_));
  EXPECT_EQ(reader_.TakeBits(8), 0x33u);
}

TEST_F(MpegReaderTest, FrameOffsetsCountPaddingAndStopAtTheEstimate) {
  // A 128 kbit/s first frame, then 32 kbit/s frames: the estimate (file length over the first
  // frame's length) is far below the real number of frames.
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, HeaderBits{}, 413);
  const int small_frames = 20;
  for (int i = 0; i < small_frames; ++i) {
    const uint32_t padding = i % 2;
    AppendFrame(bytes, HeaderBits{.bitrateIndex = 1, .padding = padding}, 100 + padding);
  }
  MpegFrameHeader header;
  int frames = 0;
  MpegFileReader& reader = Open(bytes);
  while (header.ParseNextHeader(reader))
    ++frames;
  EXPECT_EQ(frames, small_frames + 1);
  const uint32_t estimate = static_cast<uint32_t>(bytes.size() / 417);
  ASSERT_EQ(header.frameOffsetCount, estimate);
  ASSERT_LT(estimate, static_cast<uint32_t>(frames));
  for (uint32_t i = 0; i < estimate; ++i)
    EXPECT_EQ(header.FrameOffset(i), i / 2) << "entry " << i;
  EXPECT_EQ(header.FrameOffset(estimate), 0u) << "no entry past the estimate";
}

TEST_F(MpegReaderTest, OpenFailureShowsThePathAndLeavesTheReaderUnusable) {
  const std::string missing = (dir_ / "missing.mp3").string();
  for (const std::string& path : {missing, dir_.path().string()}) {
    messages_.clear();
    MpegFileReader reader;
    EXPECT_FALSE(reader.Open(path));
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].text, "Error opening file: " + path);
    EXPECT_EQ(messages_.messages()[0].caption, "Invalid handle");
    EXPECT_EQ(messages_.messages()[0].style, kMbOk);
    MpegFrameHeader header;
    EXPECT_FALSE(header.ParseNextHeader(reader));
    EXPECT_EQ(reader.FileLength(), 0u);
  }
}

// --- the bit reader -----------------------------------------------------------------------

// Bit `position` of `bytes`, most significant first; zero past the end.
uint32_t ReferenceBit(const std::vector<uint8_t>& bytes, std::size_t position) {
  if (position / 8 >= bytes.size()) return 0;
  return (bytes[position / 8] >> (7 - position % 8)) & 1u;
}

TEST_F(MpegReaderTest, TakeBitsStraddlesWordsAndReadsZerosPastTheFrame) {
  std::mt19937 random(7);
  // A long frame first, so that stale words would show if the short one read past its end.
  std::vector<uint8_t> bytes(1725, 0xA5);
  std::vector<uint8_t> frame(413);
  for (uint8_t& b : frame)
    b = static_cast<uint8_t>(random());
  bytes.insert(bytes.end(), frame.begin(), frame.end());
  MpegFileReader& reader = Open(bytes);
  ASSERT_TRUE(reader.LoadFrame(1725));
  EXPECT_FALSE(reader.LoadFrame(1733)) << "larger than the frame buffer";
  ASSERT_TRUE(reader.LoadFrame(413));

  std::size_t position = 0;
  while (position < 413 * 8 + 200) {
    const int32_t k = static_cast<int32_t>(random() % 18);
    uint32_t expected = 0;
    for (int32_t i = 0; i < k; ++i)
      expected = expected << 1 | ReferenceBit(frame, position + static_cast<std::size_t>(i));
    ASSERT_EQ(reader.TakeBits(k), expected) << "k=" << k << " at bit " << position;
    position += static_cast<std::size_t>(k);
  }
}

TEST_F(MpegReaderTest, TakeBitsSixteenAtBitTwentyFourJoinsTwoWords) {
  MpegFileReader& reader = Open({0x00, 0x00, 0x00, 0xAB, 0xCD, 0x00, 0x00, 0x00});
  ASSERT_TRUE(reader.LoadFrame(8));
  EXPECT_EQ(reader.TakeBits(12), 0u);
  EXPECT_EQ(reader.TakeBits(12), 0u);
  EXPECT_EQ(reader.TakeBits(16), 0xABCDu);
  EXPECT_EQ(reader.TakeBits(17), 0u);
  EXPECT_EQ(reader.TakeBits(7), 0u);
  EXPECT_EQ(reader.TakeBits(17), 0u) << "past the frame";
}

}  // namespace
}  // namespace bw
