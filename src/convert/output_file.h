// The files the conversion commands write besides WAVE files: checks that a chosen target can
// be written, Import's private temporary file, and the plain file that Export writes a bare
// coded stream into.
//
// Threads: the user-interface thread (the commands), or brookwave-cli's thread.
// Results: 0 for success, otherwise the system's errno value.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace bw {

// Makes sure `path` can be written, without changing what it holds: an existing file is
// opened for writing and closed again, a missing one is created empty (`created` tells which).
int EnsureWritableFile(const std::filesystem::path& path, bool& created);

// Empties the existing file `path`.
int TruncateFile(const std::filesystem::path& path);

// Creates `path` as a new empty file for this user only (mode 0600). Whatever the name held
// before is removed first, never opened: a link planted there leaves the file it points at
// untouched, a pipe cannot hold the command up. Fails (EEXIST) when the name cannot be freed.
int CreatePrivateFile(const std::filesystem::path& path);

// A plain file written from its first byte, without any header.
class PlainOutputFile {
 public:
  PlainOutputFile() = default;
  ~PlainOutputFile() { Close(); }
  PlainOutputFile(const PlainOutputFile&) = delete;
  PlainOutputFile& operator=(const PlainOutputFile&) = delete;

  // Opens the existing file `path` for writing and empties it.
  int Open(const std::filesystem::path& path);
  // Writes all of `bytes` at the end of what was written.
  int Write(std::span<const uint8_t> bytes);
  // Closes the file; an error here means the last bytes may not be on the disk. 0 when the
  // file was not open.
  int Close();

 private:
  int fd_ = -1;
};

}  // namespace bw
