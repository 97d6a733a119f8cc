#include <gtest/gtest.h>

#include "platform/wave_format.h"
#include "support/test_support.h"
#include "support/wave_image.h"

namespace bw {
namespace {

using test::BuildRiffWave;
using test::FmtBody;
using test::RunCli;

TEST(CliInfo, PrintsTheFormatBlockAndWhereTheDataStands) {
  test::TempDir dir;
  const auto path = dir / "ima.wav";
  const FormatBlock ima(WAVEFORMATEX{kWaveFormatImaAdpcm, 2, 22050, 22311, 1024, 4, 0},
                        std::vector<uint8_t>{0xF9, 0x03});
  test::WriteFileBytes(path, BuildRiffWave({{"LIST", std::vector<uint8_t>(5, 1), {}},
                                            {"fmt ", FmtBody(ima), {}},
                                            {"data", std::vector<uint8_t>(2048, 7), {}}}));
  const test::CommandResult r = RunCli({"info", path.string()});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out,
            "format_tag=0x0011\nchannels=2\nrate=22050\navg_bytes=22311\nblock_align=1024\n"
            "bits=4\ncb_size=2\ndata_bytes=2048\ndata_offset=62\nformat=IMA ADPCM\nvalid_bits=4\n"
            "channel_mask=0x00000000\ndata_bytes_held=2048\n");
  EXPECT_EQ(r.err, "");
}

TEST(CliInfo, FailsWithTheProgramsMessages) {
  test::TempDir dir;
  const auto missing = (dir / "missing.wav").string();
  test::CommandResult r = RunCli({"info", missing});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Open Failed Critical Error\nWave File Open Failed " + missing + "\n");

  const auto no_data = dir / "nodata.wav";
  test::WriteFileBytes(no_data,
                       BuildRiffWave({{"fmt ", FmtBody(FormatBlock(MakePcmFormat(8000, 1))), {}}}));
  r = RunCli({"info", no_data.string()});
  EXPECT_NE(r.exit_code, 0);
  EXPECT_EQ(r.err, "IDS_ERROR_WAVESEEKFAILED\n");

  EXPECT_EQ(RunCli({"info"}).exit_code, 2);
}

}  // namespace
}  // namespace bw
