// Helpers for the fuzz targets whose parsers read files.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/message_box.h"

namespace bw::fuzz {

// Answers every message box silently: refusing bad input with a message is expected.
class SilentSink final : public MessageSink {
 public:
  int Show(std::string_view, std::string_view, unsigned style) override {
    return DefaultAnswer(style);
  }
};

// A file for one input at a time, in /dev/shm where there is one (to keep runs fast), removed
// when the fuzzer exits.
class ScratchFile {
 public:
  explicit ScratchFile(std::string_view name) {
    std::error_code ec;
    const std::filesystem::path shm = "/dev/shm";
    const auto dir =
        std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path();
    path_ = dir / ("bw-fuzz-" + std::string(name) + "-" + std::to_string(getpid()));
  }
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::filesystem::path& path() const { return path_; }
  void Write(std::string_view bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::filesystem::path path_;
};

// An input as a file with a path, kept in memory (a memfd named through /proc) so that each run
// costs no file system work beyond the reader's own open.
class MemoryFile {
 public:
  explicit MemoryFile(const char* name) : fd_(memfd_create(name, MFD_CLOEXEC)) {
    if (fd_ < 0) std::abort();
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemoryFile() { close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }
  void Write(std::string_view bytes) const {
    if (ftruncate(fd_, 0) != 0 ||
        pwrite(fd_, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
      std::abort();
  }

 private:
  int fd_;
  std::string path_;
};

inline void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace bw::fuzz
