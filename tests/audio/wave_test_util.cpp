#include "audio/wave_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_support.h"

namespace bw::test {

SourceContents ReadSource(const std::filesystem::path& path, std::size_t block) {
  SourceContents out;
  RiffFile file;
  FormatBlock format;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;
  out.open_rc = OpenWaveSource(path, file, format, riffChunk);
  if (out.open_rc != 0) {
    EXPECT_FALSE(file.is_open());
    EXPECT_TRUE(format.empty());
    return out;
  }
  out.format = format;
  out.seek_rc = SeekWaveData(file, dataChunk, riffChunk);
  if (out.seek_rc == 0) {
    out.declared_bytes = dataChunk.cksize;
    std::vector<uint8_t> buffer(block);
    for (;;) {
      uint32_t got = 0;
      out.read_rc = ReadWaveData(file, buffer, dataChunk, got);
      out.data.insert(out.data.end(), buffer.begin(), buffer.begin() + got);
      if (got == 0 || out.read_rc != 0) break;
    }
  }
  CloseWaveSource(file, format);
  EXPECT_FALSE(file.is_open());
  EXPECT_TRUE(format.empty());
  return out;
}

int OpenTarget::Begin(const std::filesystem::path& path, const FormatBlock& format) {
  WriteFileBytes(path, {});
  uint32_t expected = kWaveTargetExpectedSize;
  const int rc = CreateWaveTarget(path, file, format, riffChunk, expected);
  return rc != 0 ? rc : BeginWaveData(file, dataChunk, ioInfo, expected);
}

int OpenTarget::Write(std::span<const uint8_t> data) {
  uint32_t written = 0;
  const int rc = WriteWaveData(file, data, written, ioInfo);
  if (rc == 0) {
    EXPECT_EQ(written, data.size());
  }
  return rc;
}

int WriteTarget(const std::filesystem::path& path, const FormatBlock& format,
                std::span<const uint8_t> data, uint32_t fact) {
  OpenTarget target;
  int rc = target.Begin(path, format);
  std::size_t piece = 1;
  for (std::size_t done = 0; rc == 0 && done < data.size(); done += piece, piece = piece * 3 + 1) {
    piece = std::min(piece, data.size() - done);
    rc = target.Write(data.subspan(done, piece));
  }
  const int finish_rc = target.Finish(fact);
  EXPECT_FALSE(target.file.is_open());
  return rc != 0 ? rc : finish_rc;
}

}  // namespace bw::test
