// Reading and writing whole WAVE files through the program's own operations, for the WAVE tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "audio/wave_file.h"

namespace bw::test {

// What a played source hands out, stage by stage.
struct SourceContents {
  int open_rc = -1;
  int seek_rc = -1;
  int read_rc = -1;  // of the last ReadWaveData call
  FormatBlock format;
  uint32_t declared_bytes = 0;  // the data chunk's size after SeekWaveData
  std::vector<uint8_t> data;
  // The first failing result, or 0.
  int result() const { return open_rc ? open_rc : seek_rc ? seek_rc : read_rc; }
};

// OpenWaveSource, SeekWaveData, then ReadWaveData in blocks of `block` bytes until it hands out
// nothing, then CloseWaveSource. Checks that a failed open leaves nothing open.
SourceContents ReadSource(const std::filesystem::path& path, std::size_t block = 1000);

// A target being written, with the records its caller keeps.
struct OpenTarget {
  // Creates (or empties) `path`, then CreateWaveTarget and BeginWaveData.
  int Begin(const std::filesystem::path& path, const FormatBlock& format);
  int Write(std::span<const uint8_t> data);
  int Finish(uint32_t fact) { return FinishWaveTarget(file, dataChunk, riffChunk, ioInfo, fact); }

  RiffFile file;
  MMCKINFO riffChunk;
  MMCKINFO dataChunk;
  MMIOINFO ioInfo;
};

// Writes a target as recording and conversion do, appending `data` in pieces of growing, uneven
// sizes. Returns the first error.
int WriteTarget(const std::filesystem::path& path, const FormatBlock& format,
                std::span<const uint8_t> data, uint32_t fact);

}  // namespace bw::test
