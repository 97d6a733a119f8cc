// RIFF WAVE file access: the only place where the program reads and writes WAVE files.
//
// Four operations serve a source that is played or converted (open and read its format, find
// its data, read data in blocks, close) and four a target that recording, conversion and import
// write (header, begin the data, append, finish). They keep no state: the caller owns the file,
// the chunk records, the I/O-buffer record and the format block and passes them in.
//
// Threads: OpenWaveSource and CreateWaveTarget run on the user-interface thread (OpenWaveSource
// may show a message box). ReadWaveData runs on whichever thread currently owns the source
// (the playback thread while it runs, else the user-interface thread); WriteWaveData likewise
// on the owner of the target (the capture thread, or a conversion on the user-interface thread).
//
// Results: 0 for success, one of the WaveFile codes below, or a code of the RIFF layer
// (kMmioErr..., platform/riff/riff_file.h) passed up unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "platform/riff/riff_file.h"
#include "platform/wave_format.h"

namespace bw {

inline constexpr int WaveFileNoMemory = 0xE000;     // the format block could not be allocated
inline constexpr int WaveFileOpenFailed = 0xE100;   // the source file could not be opened
inline constexpr int WaveFileNotRiffWave = 0xE101;  // not a RIFF WAVE form, "fmt " shorter than
                                                    // 16 bytes, or its extra bytes missing
inline constexpr int WaveFileReadFailed = 0xE102;   // the 16 format bytes or cbSize unreadable
inline constexpr int WaveFileTruncated = 0xE103;    // the file ends before the data chunk does
inline constexpr int WaveFileWriteFailed = 0xE104;  // target not opened, or a header write short
inline constexpr int WaveFileTooLarge = 0xE105;     // an RF64 data chunk of 4 GiB or more

// Placeholder size the callers start a target with: CreateWaveTarget lowers it by the format's
// length and BeginWaveData gives what is left to the "data" chunk until FinishWaveTarget.
inline constexpr uint32_t kWaveTargetExpectedSize = 2147483647;
// WriteWaveData's run length between buffer advances (the capture thread uses 256).
inline constexpr std::size_t kWaveWriteRunBytes = 128;

// ---- source ----

// Opens `path` for reading only, with an 8,192-byte buffer, and reads the first "fmt " chunk of
// its RIFF WAVE form into `format` (18 + cbSize bytes; cbSize 0 for PCM). RF64 and BW64 forms
// (a "WAVE" form whose sizes may live in a "ds64" chunk) open as RIFF forms do. On success the file
// is positioned just after the "fmt " chunk and `riffChunk` describes the form. On failure `file`
// is closed and `format` empty. A file that cannot be opened shows "Open Failed Critical Error".
int OpenWaveSource(const std::filesystem::path& path, RiffFile& file, FormatBlock& format,
                   MMCKINFO& riffChunk);

// Finds the first "data" chunk of the form (before or after "fmt ") and positions the file at
// its first byte; dataChunk.cksize then counts the data bytes not yet read. In an RF64 or BW64
// form a data size of 0xFFFFFFFF stands for the one in "ds64"; WaveFileTooLarge when that does
// not fit 32 bits, since every position here is a 32-bit byte offset into the data.
int SeekWaveData(RiffFile& file, MMCKINFO& dataChunk, const MMCKINFO& riffChunk);

// The bytes of the data chunk the file really holds: a cut file ends before its size says.
uint32_t WaveDataBytesHeld(RiffFile& file, const MMCKINFO& dataChunk);

// The message for a failed SeekWaveData on `path`: "IDS_ERROR_WAVESEEKFAILED", or for data too
// large for 32-bit positions a text that says so.
std::string SeekFailureText(int result, const std::string& path);

// Copies up to destination.size() bytes of the data chunk into `destination`, never past the
// chunk's declared end, and lowers dataChunk.cksize by the count asked for. At the end of the
// data: 0 bytes and result 0. If the file ends first: the bytes it held and WaveFileTruncated.
int ReadWaveData(RiffFile& file, std::span<uint8_t> destination, MMCKINFO& dataChunk,
                 uint32_t& bytesRead);

// Frees the format block and closes the file; either may already be empty.
void CloseWaveSource(RiffFile& file, FormatBlock& format);

// ---- target ----

// Opens the existing file `path` read-write (the caller has created or emptied it) and writes
// the "RIFF" header, the "fmt " chunk (16 bytes for PCM, else 18 + cbSize) and a "fact" chunk
// holding 0xFFFFFFFF. `expectedSize` is lowered by the format's length. On failure the file may
// be left open: the caller closes it with FinishWaveTarget.
int CreateWaveTarget(const std::filesystem::path& path, RiffFile& file, const FormatBlock& format,
                     MMCKINFO& riffChunk, uint32_t& expectedSize);

// Starts the "data" chunk with `expectedSize` as its placeholder size and takes over the file's
// I/O buffer for direct writing into `ioInfo`.
int BeginWaveData(RiffFile& file, MMCKINFO& dataChunk, MMIOINFO& ioInfo, uint32_t expectedSize);

// Appends `source` to the data chunk, advancing the buffer before each run of `runBytes`.
// `bytesWritten` counts the bytes taken, also when an error stops it (kMmioErrCannotExpand once
// the file would pass the RIFF limit; the file stays valid to finish).
int WriteWaveData(RiffFile& file, std::span<const uint8_t> source, uint32_t& bytesWritten,
                  MMIOINFO& ioInfo, std::size_t runBytes = kWaveWriteRunBytes);

// Writes the true "data" and "RIFF" sizes (with the pad byte of odd data), stores `count` in
// the "fact" chunk and closes the file. An empty `file` gives 0 at once. Returns the first error,
// including a failure to get the last bytes onto the disk.
int FinishWaveTarget(RiffFile& file, MMCKINFO& dataChunk, MMCKINFO& riffChunk, MMIOINFO& ioInfo,
                     uint32_t count);

// Brings the "data" and "RIFF" sizes in the file up to date with what has been written so far,
// while the target stays open for more WriteWaveData calls (so that a crash leaves a readable
// file). The sizes on disk then count exactly the bytes on disk; a pad byte comes only with
// FinishWaveTarget. `factCount` goes into the "fact" chunk CreateWaveTarget wrote just before
// the data chunk.
int UpdateWaveTargetSizes(RiffFile& file, const MMCKINFO& dataChunk, const MMCKINFO& riffChunk,
                          MMIOINFO& ioInfo, uint32_t factCount);

// Where that "fact" chunk's count lies in the file: it comes right before the data chunk.
inline uint64_t FactCountOffset(const MMCKINFO& dataChunk) {
  return dataChunk.dwDataOffset - 12;
}

}  // namespace bw
