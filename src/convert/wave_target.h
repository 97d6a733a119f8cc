// A WAVE file that a conversion or Import writes from start to finish: the header, the data
// appended block by block, and the sizes and the "fact" value written at the end. It owns the
// file and the chunk and buffer records that the WAVE writer works on, so that whatever way a
// command ends, the file is closed as a valid WAVE file.
//
// Threads: used on the user-interface thread by the commands that write it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "audio/wave_file.h"
#include "platform/riff/riff_file.h"
#include "platform/wave_format.h"

namespace bw {

class WaveTarget {
 public:
  WaveTarget() = default;
  // A target still open is finished with the bytes written so far as its "fact" value.
  ~WaveTarget();
  WaveTarget(const WaveTarget&) = delete;
  WaveTarget& operator=(const WaveTarget&) = delete;

  // Writes the header of the existing, empty file `path` for `format` and starts its data
  // chunk. `expectedSize` only sets the placeholder sizes until Finish. Returns 0 or the WAVE
  // writer's error; on an error the file is closed again.
  int Begin(const std::filesystem::path& path, const FormatBlock& format, uint32_t expectedSize);
  // Appends `bytes` to the data chunk. Returns 0, or the error that stopped it (for one,
  // kMmioErrCannotExpand when the file would pass the 4 GiB RIFF limit); the bytes taken before
  // the error stay in the file, which can still be finished.
  int Write(std::span<const uint8_t> bytes);
  // Writes the true sizes, `fact` into the "fact" chunk and closes the file. Returns 0 or the
  // first error; 0 at once when the file is not open.
  int Finish(uint32_t fact);

  bool is_open() const { return m_file.is_open(); }
  // Data bytes appended so far.
  uint64_t bytesWritten() const { return m_bytesWritten; }

 private:
  RiffFile m_file;
  MMCKINFO m_riffChunk;
  MMCKINFO m_dataChunk;
  MMIOINFO m_ioInfo;
  uint64_t m_bytesWritten = 0;
};

}  // namespace bw
