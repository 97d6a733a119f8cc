// Buffered RIFF files: the stand-in for the platform's multimedia file I/O (mmioOpen,
// mmioDescend, mmioAscend, mmioCreateChunk, mmioRead, mmioWrite, mmioSeek, mmioGetInfo,
// mmioSetInfo, mmioAdvance, mmioFlush, mmioClose). Each member of RiffFile is named after the
// function it replaces and keeps its meaning; the chunk record and the I/O-buffer record are plain
// structs owned by the caller, as there.
//
// Threads: a RiffFile is used by one thread at a time. The user-interface thread opens it; it may
// then hand it to a worker thread (playback reads, capture writes) and take it back after that
// thread has ended. Nothing here is shared between files.
//
// Results: 0 for success, otherwise one of the kMmioErr codes below (the platform's values).
// Read, Write and Seek return a byte count or position, or -1.
//
// Bounds: every read stays inside the file, and a descent stays inside its parent chunk and the
// file, whatever sizes the chunks claim. A file opened for writing never grows past 4 GiB - 1
// bytes, so no chunk size can wrap: data may fill the file up to 4 GiB - 2 bytes (kMaxWriteEnd),
// leaving room for the pad byte of an odd-sized chunk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <span>

namespace bw {

// A four-character code as it is stored in the file: the first character in the lowest byte.
using FOURCC = uint32_t;

constexpr FOURCC MakeFourCC(const char (&code)[5]) {
  return static_cast<FOURCC>(static_cast<uint8_t>(code[0])) |
         (static_cast<FOURCC>(static_cast<uint8_t>(code[1])) << 8) |
         (static_cast<FOURCC>(static_cast<uint8_t>(code[2])) << 16) |
         (static_cast<FOURCC>(static_cast<uint8_t>(code[3])) << 24);
}

inline constexpr FOURCC kFourCCRiff = MakeFourCC("RIFF");
inline constexpr FOURCC kFourCCList = MakeFourCC("LIST");

// Result codes (MMSYSERR_* and MMIOERR_* of the platform).
inline constexpr int kMmSysErrInvalHandle = 5;  // the file is not open
inline constexpr int kMmSysErrInvalParam = 11;  // bad flags, or an I/O-buffer record not from
                                                // this file
inline constexpr int kMmioErrFileNotFound = 257;
inline constexpr int kMmioErrOutOfMemory = 258;
inline constexpr int kMmioErrCannotOpen = 259;
inline constexpr int kMmioErrCannotClose = 260;
inline constexpr int kMmioErrCannotRead = 261;
inline constexpr int kMmioErrCannotWrite = 262;
inline constexpr int kMmioErrCannotSeek = 263;
inline constexpr int kMmioErrCannotExpand = 264;  // the write would pass kMaxWriteEnd
inline constexpr int kMmioErrChunkNotFound = 265;
inline constexpr int kMmioErrAccessDenied = 268;
inline constexpr int kMmioErrTooManyOpenFiles = 271;

// Open flags (one access mode, optionally kMmioCreate) and the Advance direction.
inline constexpr uint32_t kMmioRead = 0x0;
inline constexpr uint32_t kMmioWrite = 0x1;  // Advance only
inline constexpr uint32_t kMmioReadWrite = 0x2;
inline constexpr uint32_t kMmioCreate = 0x1000;  // create or truncate; read-write only
// Descend flags.
inline constexpr uint32_t kMmioFindChunk = 0x10;
inline constexpr uint32_t kMmioFindRiff = 0x20;
inline constexpr uint32_t kMmioFindList = 0x40;
// CreateChunk flags.
inline constexpr uint32_t kMmioCreateRiff = 0x20;
inline constexpr uint32_t kMmioCreateList = 0x40;
// Chunk and I/O-buffer flag: bytes were written that the file does not hold yet.
inline constexpr uint32_t kMmioDirty = 0x10000000;

inline constexpr uint32_t kMmioDefaultBuffer = 8192;
inline constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFu;
inline constexpr uint64_t kMaxWriteEnd = kMaxFileBytes - 1;

// One chunk (MMCKINFO). For "RIFF" and "LIST" chunks the size counts the form type, and the data
// offset is the file offset of the form type.
struct MMCKINFO {
  FOURCC ckid = 0;
  uint32_t cksize = 0;
  FOURCC fccType = 0;         // form type of "RIFF" and "LIST" chunks, else 0
  uint64_t dwDataOffset = 0;  // file offset of the first byte after the size field
  uint32_t dwFlags = 0;       // kMmioDirty for a chunk made by CreateChunk
};

// The caller's view of the file's I/O buffer for direct access (MMIOINFO). GetInfo fills it;
// the caller reads bytes at pchNext up to pchEndRead or writes them up to pchEndWrite, moves
// pchNext on, sets kMmioDirty in dwFlags after writing, and hands it back through Advance or
// SetInfo. The pointers stay valid until the file is closed.
struct MMIOINFO {
  uint32_t dwFlags = 0;  // the access mode and kMmioDirty
  uint32_t cchBuffer = 0;
  uint8_t* pchBuffer = nullptr;
  uint8_t* pchNext = nullptr;
  uint8_t* pchEndRead = nullptr;   // end of the bytes the buffer holds
  uint8_t* pchEndWrite = nullptr;  // end of the room for writing (pchBuffer if read-only)
  uint64_t lBufOffset = 0;         // file offset of pchBuffer[0]
};

class RiffFile {
 public:
  RiffFile() = default;
  ~RiffFile() { Close(); }
  RiffFile(RiffFile&& other) noexcept;
  RiffFile& operator=(RiffFile&& other) noexcept;
  RiffFile(const RiffFile&) = delete;
  RiffFile& operator=(const RiffFile&) = delete;

  // mmioOpen with a layer-allocated buffer of `buffer_bytes` (0: the default). Only regular files
  // open; a file opened read-write must not be longer than kMaxFileBytes. Closes a file already
  // open in this object first.
  int Open(const std::filesystem::path& path, uint32_t flags,
           uint32_t buffer_bytes = kMmioDefaultBuffer);
  bool is_open() const { return fd_ >= 0; }

  // mmioDescend: reads the chunk header at the current position into `ck` and moves to the
  // chunk's data (past the form type of "RIFF" and "LIST"). With a find flag, chunks are skipped
  // by their sizes until one has the id (kMmioFindChunk: ck.ckid) or form type (kMmioFindRiff,
  // kMmioFindList: ck.fccType) asked for. The search ends at the end of `parent` (if given) or of
  // the file: kMmioErrChunkNotFound, and the position is left where it was.
  int Descend(MMCKINFO& ck, const MMCKINFO* parent, uint32_t flags);
  // mmioAscend: for a dirty chunk the current position is its end; a size that differs from
  // ck.cksize is written into the file and the record, an odd size gets a zero pad byte, and the
  // chunk is no longer dirty. Any other chunk is left by moving past it and its pad byte (at most
  // to the end of the file).
  int Ascend(MMCKINFO& ck);
  // mmioCreateChunk: writes a chunk header (id, ck.cksize, and for kMmioCreateRiff or
  // kMmioCreateList the form type ck.fccType) at the current position and moves past it. The
  // chunk is dirty, so Ascend writes its real size.
  int CreateChunk(MMCKINFO& ck, uint32_t flags);

  // mmioRead: up to dst.size() bytes from the current position; fewer at the end of the file.
  int64_t Read(std::span<uint8_t> dst);
  // mmioWrite: all of `src` at the current position, or -1 (read-only file, write failure, or a
  // write that would pass kMaxWriteEnd: nothing is written then).
  int64_t Write(std::span<const uint8_t> src);
  // mmioSeek with SEEK_SET, SEEK_CUR or SEEK_END. The new position must lie between 0 and the end
  // of the file (for a writable file: kMaxFileBytes); otherwise -1 and the position is unchanged.
  int64_t Seek(int64_t offset, int origin);

  // mmioGetInfo: the buffer at the current position, for direct access.
  int GetInfo(MMIOINFO& info);
  // mmioSetInfo: ends direct access; the position becomes info.pchNext and, with kMmioDirty,
  // the bytes written into the buffer belong to the file.
  int SetInfo(const MMIOINFO& info);
  // mmioAdvance with kMmioRead or kMmioWrite: takes `info` back as SetInfo does, hands dirty
  // bytes to the file, and starts a new buffer at the position reached: filled from the file for
  // reading (pchNext == pchEndRead afterwards means the end of the file), empty for writing.
  // Writing costs no system call per advance: the bytes gather in a store inside the layer.
  // kMmioErrCannotExpand when there is no room left below kMaxWriteEnd.
  int Advance(MMIOINFO& info, uint32_t flags);
  // mmioFlush: everything written so far goes to the file.
  int Flush();
  // mmioClose: flushes and closes; the result reports the flush or the close failing. Closing a
  // closed file does nothing.
  int Close();

  // Brings the size fields of chunks still being written up to date while writing goes on (for
  // recordings that must survive a crash): takes `info` back as SetInfo does, writes everything
  // to the file, then stores in each chunk's size field the bytes it holds up to the current
  // position. The position, the buffer and the chunk records stay as they are; `info` is
  // refreshed (no longer dirty), so direct writing can continue. `words` are stored with the
  // sizes (a count in a header chunk that must follow the data).
  struct StoredWord {
    uint64_t offset = 0;
    uint32_t value = 0;
  };
  int CommitChunkSizes(MMIOINFO& info, std::initializer_list<const MMCKINFO*> chunks,
                       std::initializer_list<StoredWord> words = {});

 private:
  static constexpr std::size_t kWriteBehindBytes = 1 << 20;

  void Reset();
  int ReadExactAt(uint64_t offset, std::span<uint8_t> dst);
  int64_t ReadFromDisk(uint64_t offset, std::span<uint8_t> dst);
  int WriteToDisk(uint64_t offset, std::span<const uint8_t> src);
  int StoreAt(uint64_t offset, std::span<const uint8_t> src, uint64_t limit);
  int StoreLe32At(uint64_t offset, uint32_t value);
  int QueueWrite(uint64_t offset, std::span<const uint8_t> src);
  int FlushPending();
  int WriteBack();
  int FillBuffer();
  void MirrorIntoBuffer(uint64_t offset, std::span<const uint8_t> src);
  uint32_t WriteWindow() const;
  void FillInfo(MMIOINFO& info) const;

  int fd_ = -1;
  bool writable_ = false;
  uint64_t length_ = 0;  // the file's length, counting bytes not yet on disk
  uint64_t pos_ = 0;

  // The I/O buffer: file bytes [io_offset_, io_offset_ + io_end_), dirty when they still have
  // to be written. Its memory never moves while the file is open (callers hold pointers).
  std::unique_ptr<uint8_t[]> io_;
  uint32_t io_size_ = 0;
  uint64_t io_offset_ = 0;
  uint32_t io_end_ = 0;
  bool io_dirty_ = false;

  // Write-behind store: pending_len_ bytes to be written at pending_offset_.
  std::unique_ptr<uint8_t[]> pending_;
  std::size_t pending_capacity_ = 0;
  std::size_t pending_len_ = 0;
  uint64_t pending_offset_ = 0;
};

}  // namespace bw
