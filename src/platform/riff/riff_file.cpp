#include "platform/riff/riff_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "platform/memory_pages.h"
#include "platform/wave_format.h"

namespace bw {
namespace {

int OpenErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kMmioErrFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kMmioErrAccessDenied;
    case EMFILE:
    case ENFILE:
      return kMmioErrTooManyOpenFiles;
    case ENOMEM:
      return kMmioErrOutOfMemory;
    default:
      return kMmioErrCannotOpen;
  }
}

bool IsForm(FOURCC id) {
  return id == kFourCCRiff || id == kFourCCList;
}

bool Matches(const MMCKINFO& wanted, uint32_t flags, FOURCC id, FOURCC type) {
  if (flags & kMmioFindChunk) return id == wanted.ckid;
  if (flags & kMmioFindRiff) return id == kFourCCRiff && type == wanted.fccType;
  if (flags & kMmioFindList) return id == kFourCCList && type == wanted.fccType;
  return true;
}

// The byte index of `p` in the buffer at `base` of `size` bytes, or -1 when it points elsewhere.
int64_t IndexIn(const uint8_t* base, uint32_t size, const uint8_t* p) {
  const auto b = reinterpret_cast<std::uintptr_t>(base);
  const auto q = reinterpret_cast<std::uintptr_t>(p);
  if (base == nullptr || q < b || q - b > size) return -1;
  return static_cast<int64_t>(q - b);
}

}  // namespace

RiffFile::RiffFile(RiffFile&& other) noexcept {
  *this = std::move(other);
}

RiffFile& RiffFile::operator=(RiffFile&& other) noexcept {
  if (this == &other) return *this;
  Close();
  fd_ = std::exchange(other.fd_, -1);
  writable_ = other.writable_;
  length_ = other.length_;
  pos_ = other.pos_;
  io_ = std::move(other.io_);
  io_size_ = other.io_size_;
  io_offset_ = other.io_offset_;
  io_end_ = other.io_end_;
  io_dirty_ = other.io_dirty_;
  pending_ = std::move(other.pending_);
  pending_capacity_ = other.pending_capacity_;
  pending_len_ = other.pending_len_;
  pending_offset_ = other.pending_offset_;
  other.Reset();
  return *this;
}

void RiffFile::Reset() {
  fd_ = -1;
  writable_ = false;
  length_ = pos_ = 0;
  io_.reset();
  io_size_ = io_end_ = 0;
  io_offset_ = 0;
  io_dirty_ = false;
  pending_.reset();
  pending_capacity_ = pending_len_ = 0;
  pending_offset_ = 0;
}

int RiffFile::Open(const std::filesystem::path& path, uint32_t flags, uint32_t buffer_bytes) {
  Close();
  const uint32_t access = flags & 0x3;
  const bool create = (flags & kMmioCreate) != 0;
  if ((access != kMmioRead && access != kMmioReadWrite) || (create && access == kMmioRead))
    return kMmSysErrInvalParam;
  const bool writable = access == kMmioReadWrite;
  // O_NONBLOCK only so that a FIFO given as a path cannot hang the open; it is refused below.
  const int oflags =
      O_CLOEXEC | O_NONBLOCK | (writable ? O_RDWR : O_RDONLY) | (create ? O_CREAT | O_TRUNC : 0);
  const int fd = ::open(path.c_str(), oflags, 0666);
  if (fd < 0) return OpenErrorFromErrno(errno);
  struct stat st {};
  int rc = 0;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    rc = kMmioErrCannotOpen;
  } else if (writable && static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
    rc = kMmioErrCannotExpand;
  }
  if (rc == 0) {
    const uint32_t size = buffer_bytes ? buffer_bytes : kMmioDefaultBuffer;
    try {
      io_ = std::make_unique_for_overwrite<uint8_t[]>(size);
      if (writable) {
        pending_capacity_ = std::max<std::size_t>(kWriteBehindBytes, size);
        pending_ = std::make_unique_for_overwrite<uint8_t[]>(pending_capacity_);
        PopulatePages(pending_.get(), pending_capacity_);
      }
    } catch (const std::bad_alloc&) {
      rc = kMmioErrOutOfMemory;
    }
    io_size_ = size;
  }
  if (rc != 0) {
    ::close(fd);
    Reset();
    return rc;
  }
  fd_ = fd;
  writable_ = writable;
  length_ = static_cast<uint64_t>(st.st_size);
  return 0;
}

int RiffFile::Close() {
  if (!is_open()) return 0;
  int rc = Flush();
  if (::close(fd_) != 0 && rc == 0) rc = kMmioErrCannotClose;
  Reset();
  return rc;
}

// ---- disk access -------------------------------------------------------------------------

int64_t RiffFile::ReadFromDisk(uint64_t offset, std::span<uint8_t> dst) {
  // Bytes still waiting in the write-behind store must reach the disk before they are read.
  if (pending_len_ > 0 && offset < pending_offset_ + pending_len_ &&
      pending_offset_ < offset + dst.size()) {
    if (FlushPending() != 0) return -1;
  }
  std::size_t done = 0;
  while (done < dst.size()) {
    const ssize_t n =
        ::pread(fd_, dst.data() + done, dst.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int RiffFile::WriteToDisk(uint64_t offset, std::span<const uint8_t> src) {
  std::size_t done = 0;
  while (done < src.size()) {
    const ssize_t n =
        ::pwrite(fd_, src.data() + done, src.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return kMmioErrCannotWrite;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int RiffFile::FlushPending() {
  if (pending_len_ == 0) return 0;
  std::size_t done = 0;
  int rc = 0;
  while (done < pending_len_) {
    const ssize_t n = ::pwrite(fd_, pending_.get() + done, pending_len_ - done,
                               static_cast<off_t>(pending_offset_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      rc = kMmioErrCannotWrite;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // Whatever did not reach the disk (a full disk, say) stays queued for the next attempt.
  std::memmove(pending_.get(), pending_.get() + done, pending_len_ - done);
  pending_offset_ += done;
  pending_len_ -= done;
  return rc;
}

int RiffFile::QueueWrite(uint64_t offset, std::span<const uint8_t> src) {
  const uint64_t pending_end = pending_offset_ + pending_len_;
  const bool joins = pending_len_ > 0 && offset >= pending_offset_ && offset <= pending_end &&
                     offset + src.size() - pending_offset_ <= pending_capacity_;
  if (joins) {
    const std::size_t at = static_cast<std::size_t>(offset - pending_offset_);
    std::memcpy(pending_.get() + at, src.data(), src.size());
    pending_len_ = std::max(pending_len_, at + src.size());
  } else {
    if (const int rc = FlushPending()) return rc;
    if (src.size() >= pending_capacity_) {
      if (const int rc = WriteToDisk(offset, src)) return rc;
    } else {
      std::memcpy(pending_.get(), src.data(), src.size());
      pending_offset_ = offset;
      pending_len_ = src.size();
    }
  }
  length_ = std::max(length_, offset + src.size());
  return 0;
}

// ---- the I/O buffer ----------------------------------------------------------------------

void RiffFile::MirrorIntoBuffer(uint64_t offset, std::span<const uint8_t> src) {
  const uint64_t lo = std::max(offset, io_offset_);
  const uint64_t hi = std::min(offset + src.size(), io_offset_ + io_end_);
  if (lo >= hi) return;
  std::memcpy(io_.get() + (lo - io_offset_), src.data() + (lo - offset), hi - lo);
}

int RiffFile::StoreAt(uint64_t offset, std::span<const uint8_t> src, uint64_t limit) {
  if (!writable_) return kMmioErrCannotWrite;
  if (offset > limit || src.size() > limit - offset) return kMmioErrCannotExpand;
  MirrorIntoBuffer(offset, src);
  return QueueWrite(offset, src);
}

int RiffFile::StoreLe32At(uint64_t offset, uint32_t value) {
  uint8_t bytes[4];
  StoreLe32(bytes, value);
  return StoreAt(offset, bytes, kMaxFileBytes);
}

int RiffFile::WriteBack() {
  if (!io_dirty_) return 0;
  if (const int rc = QueueWrite(io_offset_, {io_.get(), io_end_})) return rc;
  io_dirty_ = false;
  return 0;
}

int RiffFile::FillBuffer() {
  if (const int rc = WriteBack()) return rc;
  io_offset_ = pos_;
  io_end_ = 0;
  const int64_t n = ReadFromDisk(pos_, {io_.get(), io_size_});
  if (n < 0) return kMmioErrCannotRead;
  io_end_ = static_cast<uint32_t>(n);
  return 0;
}

uint32_t RiffFile::WriteWindow() const {
  if (!writable_ || io_offset_ >= kMaxWriteEnd) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(io_size_, kMaxWriteEnd - io_offset_));
}

void RiffFile::FillInfo(MMIOINFO& info) const {
  uint8_t* base = io_.get();
  info.dwFlags = (writable_ ? kMmioReadWrite : kMmioRead) | (io_dirty_ ? kMmioDirty : 0);
  info.cchBuffer = io_size_;
  info.pchBuffer = base;
  info.pchNext = base + (pos_ - io_offset_);
  info.pchEndRead = base + io_end_;
  info.pchEndWrite = base + WriteWindow();
  info.lBufOffset = io_offset_;
}

// ---- the operations ----------------------------------------------------------------------

int64_t RiffFile::Read(std::span<uint8_t> dst) {
  if (!is_open()) return -1;
  std::size_t done = 0;
  while (done < dst.size()) {
    if (pos_ >= io_offset_ && pos_ < io_offset_ + io_end_) {
      const std::size_t at = static_cast<std::size_t>(pos_ - io_offset_);
      const std::size_t n = std::min<std::size_t>(dst.size() - done, io_end_ - at);
      std::memcpy(dst.data() + done, io_.get() + at, n);
      done += n;
      pos_ += n;
      continue;
    }
    const std::size_t rest = dst.size() - done;
    if (rest >= io_size_) {  // large reads bypass the buffer
      if (WriteBack() != 0) return -1;
      const int64_t n = ReadFromDisk(pos_, dst.subspan(done));
      if (n < 0) return -1;
      done += static_cast<std::size_t>(n);
      pos_ += static_cast<uint64_t>(n);
      break;
    }
    if (FillBuffer() != 0) return -1;
    if (io_end_ == 0) break;
  }
  return static_cast<int64_t>(done);
}

int64_t RiffFile::Write(std::span<const uint8_t> src) {
  if (!is_open() || StoreAt(pos_, src, kMaxWriteEnd) != 0) return -1;
  pos_ += src.size();
  return static_cast<int64_t>(src.size());
}

int64_t RiffFile::Seek(int64_t offset, int origin) {
  if (!is_open()) return -1;
  uint64_t base = 0;
  if (origin == SEEK_CUR) {
    base = pos_;
  } else if (origin == SEEK_END) {
    base = length_;
  } else if (origin != SEEK_SET) {
    return -1;
  }
  const uint64_t limit = writable_ ? kMaxFileBytes : length_;
  uint64_t target = 0;
  if (offset < 0) {
    const uint64_t back = static_cast<uint64_t>(-(offset + 1)) + 1;  // no overflow at INT64_MIN
    if (back > base) return -1;
    target = base - back;
  } else {
    if (base > limit || static_cast<uint64_t>(offset) > limit - base) return -1;
    target = base + static_cast<uint64_t>(offset);
  }
  pos_ = target;
  return static_cast<int64_t>(target);
}

int RiffFile::ReadExactAt(uint64_t offset, std::span<uint8_t> dst) {
  pos_ = offset;
  const int64_t n = Read(dst);
  if (n < 0) return kMmioErrCannotRead;
  return static_cast<std::size_t>(n) == dst.size() ? 0 : kMmioErrChunkNotFound;
}

int RiffFile::Descend(MMCKINFO& ck, const MMCKINFO* parent, uint32_t flags) {
  if (!is_open()) return kMmSysErrInvalHandle;
  const uint64_t start = pos_;
  uint64_t end = length_;
  if (parent) end = std::min(end, parent->dwDataOffset + parent->cksize);
  const bool search = (flags & (kMmioFindChunk | kMmioFindRiff | kMmioFindList)) != 0;
  int rc = kMmioErrChunkNotFound;
  for (uint64_t at = pos_; at + 8 <= end;) {
    uint8_t header[12];
    if ((rc = ReadExactAt(at, {header, 8})) != 0) break;
    const FOURCC id = LoadLe32(header);
    const uint32_t size = LoadLe32(header + 4);
    const bool form = IsForm(id);
    if (form) {
      rc = at + 12 <= end ? ReadExactAt(at + 8, {header + 8, 4}) : kMmioErrChunkNotFound;
      if (rc != 0) break;
    }
    const FOURCC type = form ? LoadLe32(header + 8) : 0;
    if (Matches(ck, flags, id, type)) {
      ck = MMCKINFO{id, size, type, at + 8, 0};
      pos_ = at + (form ? 12 : 8);
      return 0;
    }
    rc = kMmioErrChunkNotFound;
    if (!search) break;
    at += 8 + static_cast<uint64_t>(size) + (size & 1);
  }
  pos_ = start;
  return rc;
}

int RiffFile::Ascend(MMCKINFO& ck) {
  if (!is_open()) return kMmSysErrInvalHandle;
  if (!(ck.dwFlags & kMmioDirty)) {
    pos_ = std::min(ck.dwDataOffset + ck.cksize + (ck.cksize & 1), length_);
    return 0;
  }
  if (ck.dwDataOffset < 4 || pos_ < ck.dwDataOffset) return kMmioErrCannotSeek;
  const uint64_t size = pos_ - ck.dwDataOffset;
  if (size > std::numeric_limits<uint32_t>::max()) return kMmioErrCannotExpand;
  if (size != ck.cksize) {
    if (const int rc = StoreLe32At(ck.dwDataOffset - 4, static_cast<uint32_t>(size))) return rc;
    ck.cksize = static_cast<uint32_t>(size);
  }
  if (size & 1) {
    const uint8_t pad = 0;
    if (const int rc = StoreAt(pos_, {&pad, 1}, kMaxFileBytes)) return rc;
    ++pos_;
  }
  ck.dwFlags &= ~kMmioDirty;
  return 0;
}

int RiffFile::CreateChunk(MMCKINFO& ck, uint32_t flags) {
  if (!is_open()) return kMmSysErrInvalHandle;
  if (flags & kMmioCreateRiff) ck.ckid = kFourCCRiff;
  if (flags & kMmioCreateList) ck.ckid = kFourCCList;
  const bool form = (flags & (kMmioCreateRiff | kMmioCreateList)) != 0;
  uint8_t header[12];
  StoreLe32(header, ck.ckid);
  StoreLe32(header + 4, ck.cksize);
  StoreLe32(header + 8, ck.fccType);
  const std::size_t header_bytes = form ? 12 : 8;
  if (const int rc = StoreAt(pos_, {header, header_bytes}, kMaxWriteEnd)) return rc;
  ck.dwDataOffset = pos_ + 8;
  ck.dwFlags = kMmioDirty;
  pos_ += header_bytes;
  return 0;
}

int RiffFile::GetInfo(MMIOINFO& info) {
  if (!is_open()) return kMmSysErrInvalHandle;
  if (pos_ < io_offset_ || pos_ > io_offset_ + io_end_) {
    if (const int rc = WriteBack()) return rc;
    io_offset_ = pos_;
    io_end_ = 0;
  }
  FillInfo(info);
  return 0;
}

int RiffFile::SetInfo(const MMIOINFO& info) {
  if (!is_open()) return kMmSysErrInvalHandle;
  const bool dirty = (info.dwFlags & kMmioDirty) != 0;
  if (dirty && !writable_) return kMmioErrCannotWrite;
  const int64_t next =
      info.pchBuffer == io_.get() ? IndexIn(io_.get(), io_size_, info.pchNext) : -1;
  const uint32_t room = dirty ? std::max(io_end_, WriteWindow()) : io_end_;
  if (next < 0 || next > room) return kMmSysErrInvalParam;
  pos_ = io_offset_ + static_cast<uint64_t>(next);
  if (dirty) {
    io_dirty_ = true;
    io_end_ = std::max(io_end_, static_cast<uint32_t>(next));
    length_ = std::max(length_, io_offset_ + io_end_);
  }
  return 0;
}

int RiffFile::Advance(MMIOINFO& info, uint32_t flags) {
  if (const int rc = SetInfo(info)) return rc;
  int rc = 0;
  if (flags & kMmioWrite) {
    if (!writable_) return kMmioErrCannotWrite;
    if ((rc = WriteBack()) != 0) return rc;
    io_offset_ = pos_;
    io_end_ = 0;
    if (WriteWindow() == 0) rc = kMmioErrCannotExpand;
  } else {
    rc = FillBuffer();
  }
  FillInfo(info);
  return rc;
}

int RiffFile::Flush() {
  if (!is_open()) return kMmSysErrInvalHandle;
  if (const int rc = WriteBack()) return rc;
  return FlushPending();
}

int RiffFile::CommitChunkSizes(MMIOINFO& info, std::initializer_list<const MMCKINFO*> chunks,
                               std::initializer_list<StoredWord> words) {
  if (const int rc = SetInfo(info)) return rc;
  // The data first, then the sizes: a size field never claims bytes the file does not hold.
  if (const int rc = Flush()) return rc;
  for (const MMCKINFO* ck : chunks) {
    if (ck->dwDataOffset < 4 || pos_ < ck->dwDataOffset) return kMmioErrCannotSeek;
    const uint64_t size = pos_ - ck->dwDataOffset;
    if (size > std::numeric_limits<uint32_t>::max()) return kMmioErrCannotExpand;
    if (const int rc = StoreLe32At(ck->dwDataOffset - 4, static_cast<uint32_t>(size))) return rc;
  }
  for (const StoredWord& w : words) {
    if (const int rc = StoreLe32At(w.offset, w.value)) return rc;
  }
  const int rc = FlushPending();
  FillInfo(info);
  return rc;
}

}  // namespace bw
