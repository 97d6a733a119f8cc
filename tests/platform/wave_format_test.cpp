#include "platform/wave_format.h"

#include <gtest/gtest.h>

#include "platform/profile_store.h"

namespace bw {
namespace {

TEST(FormatBlock, SerializesAndParsesWithExtraBytes) {
  WAVEFORMATEX ima{kWaveFormatImaAdpcm, 2, 22050, 22311, 1024, 4, 0};
  const uint8_t extra[] = {0xF9, 0x03};  // 1017 samples per block
  FormatBlock block(ima, extra);
  EXPECT_EQ(block.format().cbSize, 2);
  EXPECT_EQ(block.WordAt(18), 1017);
  EXPECT_EQ(block.WordAt(20), 0);  // past the end
  const std::vector<uint8_t> bytes = block.Serialize();
  ASSERT_EQ(bytes.size(), 20u);
  EXPECT_EQ(FormatBlock::Parse(bytes), block);
}

TEST(FormatBlock, ParseRefusesExtraBytesBeyondTheInput) {
  WAVEFORMATEX f{kWaveFormatMsAdpcm, 1, 8000, 4096, 256, 4, 0};
  std::vector<uint8_t> bytes = FormatBlock(f).Serialize();
  bytes[16] = 32;  // claims 32 extra bytes that are not there
  EXPECT_TRUE(FormatBlock::Parse(bytes).empty());
  EXPECT_TRUE(FormatBlock::Parse(std::vector<uint8_t>(15, 1)).empty());
  // 16 bytes: a PCM "fmt " body without cbSize.
  const std::vector<uint8_t> pcm = FormatBlock(MakePcmFormat(44100, 2)).Serialize();
  const FormatBlock parsed = FormatBlock::Parse(std::span(pcm).first(16));
  EXPECT_EQ(parsed.format(), MakePcmFormat(44100, 2));
}

TEST(MemoryProfileStore, IntegersAndStringsShareValues) {
  MemoryProfileStore store;
  EXPECT_EQ(store.GetInt("General", "Color", 1), 1);
  store.WriteInt("General", "Color", 0);
  EXPECT_EQ(store.GetInt("General", "Color", 1), 0);
  EXPECT_EQ(store.GetString("General", "Color", "x"), "0");
  store.WriteString("General", "ToolTips", "yes");
  EXPECT_EQ(store.GetInt("General", "ToolTips", 5), 5);  // not a number
}

}  // namespace
}  // namespace bw
