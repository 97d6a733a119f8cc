#include "audio/wave_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/message_box.h"

namespace bw {
namespace {

constexpr FOURCC kWave = MakeFourCC("WAVE");
constexpr FOURCC kFmt = MakeFourCC("fmt ");
constexpr FOURCC kFact = MakeFourCC("fact");
constexpr FOURCC kData = MakeFourCC("data");
constexpr FOURCC kRf64 = MakeFourCC("RF64");
constexpr FOURCC kBw64 = MakeFourCC("BW64");
constexpr FOURCC kDs64 = MakeFourCC("ds64");
// A 32-bit size of all ones in an RF64 form: the real size is in "ds64".
constexpr uint32_t kSizeInDs64 = 0xFFFFFFFF;

bool IsLongForm(const MMCKINFO& riffChunk) {
  return riffChunk.ckid == kRf64 || riffChunk.ckid == kBw64;
}

// The layer knows only "RIFF" as a form: the form type of an RF64 or BW64 form follows here.
int ReadLongFormType(RiffFile& file, MMCKINFO& riffChunk) {
  uint8_t type[4];
  if (file.Read(type) != static_cast<int64_t>(sizeof type)) return WaveFileNotRiffWave;
  riffChunk.fccType = LoadLe32(type);
  return 0;
}

// The 64-bit data size the "ds64" chunk holds (after the 64-bit RIFF size); false without one.
bool ReadDs64DataSize(RiffFile& file, const MMCKINFO& riffChunk, uint64_t& size) {
  if (file.Seek(static_cast<int64_t>(riffChunk.dwDataOffset + 4), SEEK_SET) < 0) return false;
  MMCKINFO ds64;
  ds64.ckid = kDs64;
  uint8_t sizes[16];
  if (file.Descend(ds64, &riffChunk, kMmioFindChunk) != 0 || ds64.cksize < sizeof sizes ||
      file.Read(sizes) != static_cast<int64_t>(sizeof sizes))
    return false;
  size = LoadLe32(sizes + 8) | (uint64_t{LoadLe32(sizes + 12)} << 32);
  return true;
}

// Reads the format at the start of the "fmt " chunk. Every read stays inside the chunk: a
// non-PCM chunk too short to hold cbSize has no extra bytes, and a cbSize that claims more than
// the chunk holds is refused instead of reading the chunks behind it.
int ReadFormat(RiffFile& file, const MMCKINFO& fmtChunk, FormatBlock& format) {
  uint8_t base[kPcmWaveFormatSize];
  if (file.Read(base) != static_cast<int64_t>(sizeof base)) return WaveFileReadFailed;
  const WAVEFORMATEX header = FormatBlock::Parse(base).format();
  uint16_t extra_bytes = 0;
  if (header.wFormatTag != kWaveFormatPcm && fmtChunk.cksize >= kWaveFormatExSize) {
    uint8_t word[2];
    if (file.Read(word) != static_cast<int64_t>(sizeof word)) return WaveFileReadFailed;
    extra_bytes = LoadLe16(word);
  }
  if (extra_bytes > 0 && extra_bytes > fmtChunk.cksize - kWaveFormatExSize)
    return WaveFileNotRiffWave;
  try {
    std::vector<uint8_t> extra(extra_bytes);
    if (file.Read(extra) != static_cast<int64_t>(extra.size())) return WaveFileNotRiffWave;
    format = FormatBlock(header, extra);
  } catch (const std::bad_alloc&) {
    return WaveFileNoMemory;
  }
  return 0;
}

int ReadSourceHeader(RiffFile& file, FormatBlock& format, MMCKINFO& riffChunk) {
  if (const int rc = file.Descend(riffChunk, nullptr, 0)) return rc;
  if (IsLongForm(riffChunk)) {
    if (const int rc = ReadLongFormType(file, riffChunk)) return rc;
  } else if (riffChunk.ckid != kFourCCRiff) {
    return WaveFileNotRiffWave;
  }
  if (riffChunk.fccType != kWave) return WaveFileNotRiffWave;
  MMCKINFO fmtChunk;
  fmtChunk.ckid = kFmt;
  if (const int rc = file.Descend(fmtChunk, &riffChunk, kMmioFindChunk)) return rc;
  if (fmtChunk.cksize < kPcmWaveFormatSize) return WaveFileNotRiffWave;
  if (const int rc = ReadFormat(file, fmtChunk, format)) return rc;
  return file.Ascend(fmtChunk);
}

// Copies `dst.size()` bytes through the file's buffer, advancing it whenever it runs dry;
// `done` counts what was copied, also when the file ends first.
int CopyFromBuffer(RiffFile& file, MMIOINFO& ioInfo, std::span<uint8_t> dst, std::size_t& done) {
  done = 0;
  while (done < dst.size()) {
    if (ioInfo.pchNext == ioInfo.pchEndRead) {
      if (const int rc = file.Advance(ioInfo, kMmioRead)) return rc;
      if (ioInfo.pchNext == ioInfo.pchEndRead) return WaveFileTruncated;
    }
    const std::size_t n = std::min<std::size_t>(
        dst.size() - done, static_cast<std::size_t>(ioInfo.pchEndRead - ioInfo.pchNext));
    std::memcpy(dst.data() + done, ioInfo.pchNext, n);
    ioInfo.pchNext += n;
    done += n;
  }
  return 0;
}

int WriteFormatChunk(RiffFile& file, const FormatBlock& format, uint32_t& expectedSize) {
  MMCKINFO fmtChunk;
  fmtChunk.ckid = kFmt;
  fmtChunk.cksize = kPcmWaveFormatSize;
  if (const int rc = file.CreateChunk(fmtChunk, 0)) return rc;
  expectedSize -= std::min<uint32_t>(expectedSize, kPcmWaveFormatSize);
  std::vector<uint8_t> bytes = format.Serialize();
  if (format.format().wFormatTag == kWaveFormatPcm) {
    bytes.resize(kPcmWaveFormatSize);  // PCM is stored without cbSize
  } else {
    expectedSize -= std::min<uint32_t>(expectedSize, format.format().cbSize);
  }
  if (file.Write(bytes) != static_cast<int64_t>(bytes.size())) return WaveFileWriteFailed;
  return file.Ascend(fmtChunk);
}

int WriteFactChunk(RiffFile& file) {
  MMCKINFO factChunk;
  factChunk.ckid = kFact;
  if (const int rc = file.CreateChunk(factChunk, 0)) return rc;
  const uint8_t unknown[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  if (file.Write(unknown) != 4 || file.Ascend(factChunk) != 0) return WaveFileWriteFailed;
  return 0;
}

// Stores `count` in the "fact" chunk of a finished target and leaves the file after the form.
int RewriteFactCount(RiffFile& file, MMCKINFO& riffChunk, uint32_t count) {
  if (file.Seek(0, SEEK_SET) < 0) return kMmioErrCannotSeek;
  if (const int rc = file.Descend(riffChunk, nullptr, 0)) return rc;
  MMCKINFO factChunk;
  factChunk.ckid = kFact;
  if (file.Descend(factChunk, &riffChunk, kMmioFindChunk) == 0) {
    // The count is informative: a failure here does not fail the file.
    uint8_t bytes[4];
    StoreLe32(bytes, count);
    file.Write(bytes);
    file.Ascend(factChunk);
  }
  return file.Ascend(riffChunk);
}

}  // namespace

int OpenWaveSource(const std::filesystem::path& path, RiffFile& file, FormatBlock& format,
                   MMCKINFO& riffChunk) {
  format = FormatBlock();
  if (file.Open(path, kMmioRead) != 0) {
    ShowMessageBox("Open Failed Critical Error", {}, kMbOk);
    return WaveFileOpenFailed;
  }
  const int rc = ReadSourceHeader(file, format, riffChunk);
  if (rc != 0) CloseWaveSource(file, format);
  return rc;
}

int SeekWaveData(RiffFile& file, MMCKINFO& dataChunk, const MMCKINFO& riffChunk) {
  uint64_t longSize = 0;
  const bool haveLongSize = IsLongForm(riffChunk) && ReadDs64DataSize(file, riffChunk, longSize);
  if (file.Seek(static_cast<int64_t>(riffChunk.dwDataOffset + 4), SEEK_SET) < 0)
    return kMmioErrCannotSeek;
  dataChunk.ckid = kData;
  if (const int rc = file.Descend(dataChunk, &riffChunk, kMmioFindChunk)) return rc;
  if (haveLongSize && dataChunk.cksize == kSizeInDs64) {
    if (longSize > kSizeInDs64) return WaveFileTooLarge;
    dataChunk.cksize = static_cast<uint32_t>(longSize);
  }
  return 0;
}

uint32_t WaveDataBytesHeld(RiffFile& file, const MMCKINFO& dataChunk) {
  const int64_t here = file.Seek(0, SEEK_CUR);
  const int64_t end = file.Seek(0, SEEK_END);
  file.Seek(here, SEEK_SET);
  if (here < 0 || end < 0 || static_cast<uint64_t>(end) < dataChunk.dwDataOffset) return 0;
  return static_cast<uint32_t>(
      std::min<uint64_t>(dataChunk.cksize, static_cast<uint64_t>(end) - dataChunk.dwDataOffset));
}

std::string SeekFailureText(int result, const std::string& path) {
  if (result == WaveFileTooLarge)
    return "The sound data of " + path + " is larger than 4 GiB, more than this program can play";
  return "IDS_ERROR_WAVESEEKFAILED";
}

int ReadWaveData(RiffFile& file, std::span<uint8_t> destination, MMCKINFO& dataChunk,
                 uint32_t& bytesRead) {
  bytesRead = 0;
  MMIOINFO ioInfo;
  if (file.GetInfo(ioInfo) != 0) return 1;
  const uint32_t count =
      static_cast<uint32_t>(std::min<std::size_t>(destination.size(), dataChunk.cksize));
  dataChunk.cksize -= count;
  std::size_t copied = 0;
  const int rc = CopyFromBuffer(file, ioInfo, destination.first(count), copied);
  const int info_rc = file.SetInfo(ioInfo);
  if (info_rc == 0) bytesRead = static_cast<uint32_t>(copied);
  return rc != 0 ? rc : info_rc;
}

void CloseWaveSource(RiffFile& file, FormatBlock& format) {
  format = FormatBlock();
  file.Close();
}

int CreateWaveTarget(const std::filesystem::path& path, RiffFile& file, const FormatBlock& format,
                     MMCKINFO& riffChunk, uint32_t& expectedSize) {
  if (file.Open(path, kMmioReadWrite) != 0) return WaveFileWriteFailed;
  riffChunk.fccType = kWave;
  riffChunk.cksize = expectedSize;
  if (const int rc = file.CreateChunk(riffChunk, kMmioCreateRiff)) return rc;
  if (const int rc = WriteFormatChunk(file, format, expectedSize)) return rc;
  return WriteFactChunk(file);
}

int BeginWaveData(RiffFile& file, MMCKINFO& dataChunk, MMIOINFO& ioInfo, uint32_t expectedSize) {
  dataChunk = MMCKINFO();
  dataChunk.ckid = kData;
  dataChunk.cksize = expectedSize;
  if (const int rc = file.CreateChunk(dataChunk, 0)) return rc;
  return file.GetInfo(ioInfo);
}

int WriteWaveData(RiffFile& file, std::span<const uint8_t> source, uint32_t& bytesWritten,
                  MMIOINFO& ioInfo, std::size_t runBytes) {
  bytesWritten = 0;
  const std::size_t run_limit = std::max<std::size_t>(runBytes, 1);
  std::size_t done = 0;
  while (done < source.size()) {
    // Hand everything so far to the file so that the run starts in an empty buffer.
    ioInfo.dwFlags |= kMmioDirty;
    if (const int rc = file.Advance(ioInfo, kMmioWrite)) return rc;
    const std::size_t room = static_cast<std::size_t>(ioInfo.pchEndWrite - ioInfo.pchNext);
    const std::size_t run = std::min({run_limit, source.size() - done, room});
    std::memcpy(ioInfo.pchNext, source.data() + done, run);
    ioInfo.pchNext += run;
    done += run;
    bytesWritten += static_cast<uint32_t>(run);
  }
  return 0;
}

int FinishWaveTarget(RiffFile& file, MMCKINFO& dataChunk, MMCKINFO& riffChunk, MMIOINFO& ioInfo,
                     uint32_t count) {
  if (!file.is_open()) return 0;
  ioInfo.dwFlags |= kMmioDirty;
  int rc = file.SetInfo(ioInfo);
  if (rc == 0) rc = file.Ascend(dataChunk);
  if (rc == 0) rc = file.Ascend(riffChunk);
  if (rc == 0) rc = RewriteFactCount(file, riffChunk, count);
  // Closing writes what is still buffered; a failure there loses data, so it is reported too.
  const int close_rc = file.Close();
  return rc != 0 ? rc : close_rc;
}

int UpdateWaveTargetSizes(RiffFile& file, const MMCKINFO& dataChunk, const MMCKINFO& riffChunk,
                          MMIOINFO& ioInfo, uint32_t factCount) {
  ioInfo.dwFlags |= kMmioDirty;  // the last run is still in the buffer
  return file.CommitChunkSizes(ioInfo, {&dataChunk, &riffChunk},
                               {{FactCountOffset(dataChunk), factCount}});
}

}  // namespace bw
