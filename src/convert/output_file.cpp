#include "convert/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace bw {
namespace {

int OpenForWriting(const std::filesystem::path& path, int flags, mode_t mode = 0666) {
  for (;;) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | flags, mode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

int CloseFile(int fd) {
  // After an interrupted close the descriptor is gone on Linux; retrying could close another.
  return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
}

}  // namespace

int EnsureWritableFile(const std::filesystem::path& path, bool& created) {
  created = false;
  // Without O_NONBLOCK a named pipe nobody reads would hold the command here for ever.
  int fd = OpenForWriting(path, O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) {
    fd = OpenForWriting(path, O_CREAT | O_EXCL);
    created = fd >= 0;
  }
  if (fd < 0) return errno;
  return CloseFile(fd);
}

int TruncateFile(const std::filesystem::path& path) {
  const int fd = OpenForWriting(path, O_TRUNC);
  if (fd < 0) return errno;
  return CloseFile(fd);
}

int CreatePrivateFile(const std::filesystem::path& path) {
  // Whatever the name holds (an earlier copy, or a link, a pipe or a file someone planted) is
  // taken away rather than opened: only a file this call creates is ever written.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return errno;
  const int fd = OpenForWriting(path, O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return errno;
  struct stat info {};
  int rc = 0;
  if (::fstat(fd, &info) != 0)
    rc = errno;
  else if (info.st_uid != ::geteuid() || !S_ISREG(info.st_mode) || info.st_nlink != 1)
    rc = EPERM;
  const int close_rc = CloseFile(fd);
  return rc != 0 ? rc : close_rc;
}

int PlainOutputFile::Open(const std::filesystem::path& path) {
  Close();
  fd_ = OpenForWriting(path, O_TRUNC);
  return fd_ < 0 ? errno : 0;
}

int PlainOutputFile::Write(std::span<const uint8_t> bytes) {
  if (fd_ < 0) return EBADF;
  while (!bytes.empty()) {
    const ssize_t done = ::write(fd_, bytes.data(), bytes.size());
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return errno;
    bytes = bytes.subspan(static_cast<std::size_t>(done));
  }
  return 0;
}

int PlainOutputFile::Close() {
  if (fd_ < 0) return 0;
  const int rc = CloseFile(fd_);
  fd_ = -1;
  return rc;
}

}  // namespace bw
