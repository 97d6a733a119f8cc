#include "playlist/playlist_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <random>
#include <utility>

#include "platform/message_box.h"

namespace bw {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kStyle = kMbOk | kMbIconExclamation;

std::string Quoted(const fs::path& path) {
  std::string text(1, '"');
  text.append(path.string()).push_back('"');
  return text;
}

// Closes a descriptor when the scope ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; false when the close reported an error (a write that did not reach the disk).
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Reads the file's lines one block at a time. A file past the caps is not read on: a list that
// long is no play list, and holding it whole could take all the memory there is.
class PlayListLineReader {
 public:
  PlayListLineReader(std::vector<std::string>& lines, OverlongEntries overlong)
      : lines_(lines), overlong_(overlong) {}

  PlayListReadResult Read(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return PlayListReadResult::kUnreadable;
    if (static_cast<uint64_t>(status.st_size) > kMaxPlayListBytes)
      return PlayListReadResult::kTooLarge;
    std::array<char, 64 * 1024> block;
    for (;;) {
      const ssize_t got = ::read(fd, block.data(), block.size());
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return PlayListReadResult::kUnreadable;
      if (got == 0) break;
      bytes_ += static_cast<uint64_t>(got);
      if (bytes_ > kMaxPlayListBytes) return PlayListReadResult::kTooLarge;
      if (const auto stop = Take(std::string_view(block.data(), static_cast<std::size_t>(got))))
        return *stop;
    }
    if (!partial_.empty()) return Line(partial_).value_or(PlayListReadResult::kRead);
    return PlayListReadResult::kRead;
  }
  // The number of the line that stopped the read with kEntryTooLong.
  std::size_t overlongLine() const { return overlongLine_; }

 private:
  // The lines that `bytes` completes; a result when reading must stop.
  std::optional<PlayListReadResult> Take(std::string_view bytes) {
    for (std::size_t end; (end = bytes.find('\n')) != std::string_view::npos;) {
      partial_.append(bytes.substr(0, end));
      bytes.remove_prefix(end + 1);
      if (partial_.ends_with('\r')) partial_.pop_back();
      if (const auto stop = Line(partial_)) return stop;
      partial_.clear();
    }
    partial_.append(bytes);
    return std::nullopt;
  }

  std::optional<PlayListReadResult> Line(const std::string& line) {
    if (lines_.size() >= kMaxPlayListEntries) return PlayListReadResult::kTooLarge;
    if (line.size() > kMaxPlayListEntry && overlong_ == OverlongEntries::kRefuse) {
      overlongLine_ = lines_.size() + 1;
      return PlayListReadResult::kEntryTooLong;
    }
    lines_.push_back(line);
    return std::nullopt;
  }

  std::vector<std::string>& lines_;
  OverlongEntries overlong_;
  std::string partial_;
  uint64_t bytes_ = 0;
  std::size_t overlongLine_ = 0;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

// A list the user made read-only stays as it is, for every user (as a read-only attribute
// would); opening it for writing or renaming over it would ignore the permission.
bool IsWritableList(const fs::path& path, const struct stat& status) {
  return S_ISREG(status.st_mode) && (status.st_mode & 0222) != 0 &&
         ::access(path.c_str(), W_OK) == 0;
}

// The file a write must replace: a symbolic link keeps pointing at the list it named.
fs::path ResolveTarget(const fs::path& path) {
  std::error_code ec;
  fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target;
}

// Gives `temporary` a fresh name beside `target` and calls `make` on it until it makes the file
// (true) or fails for another reason than the name being taken.
template <typename Make>
bool MakeWithTemporaryName(const fs::path& target, fs::path& temporary, Make make) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) about the chain of operator+.
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(random() % 1000000);
    name += ".tmp";
    temporary = target;
    temporary.replace_filename(name);
    if (make(temporary)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

// The new list's file in `target`'s folder, created with `mode` (before the umask). Unnamed
// (O_TMPFILE) where the file system allows it, so that a program that dies while writing leaves
// nothing behind; `temporary` is then empty until NameNewFile names it.
int CreateNewFile(const fs::path& target, mode_t mode, fs::path& temporary) {
  temporary.clear();
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (unnamed >= 0) return unnamed;
  int fd = -1;
  MakeWithTemporaryName(target, temporary, [&](const fs::path& name) {
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    return fd >= 0;
  });
  return fd;
}

// Links an unnamed file under a temporary name, for the rename over the old list.
bool NameNewFile(int fd, const fs::path& target, fs::path& temporary) {
  if (!temporary.empty()) return true;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return MakeWithTemporaryName(target, temporary, [&](const fs::path& name) {
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  });
}

bool WriteTemporaryAndRename(const fs::path& target, std::string_view image) {
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  if (replacing && !IsWritableList(target, old)) return false;
  fs::path temporary;
  // Created with the old file's permissions, so that no one the old list was closed to can
  // read the new one even for a moment; the umask may only take permissions away.
  const mode_t mode = replacing ? old.st_mode & 07777 : 0666;
  FileDescriptor file(CreateNewFile(target, mode, temporary));
  if (!file.valid()) return false;
  if (replacing) {
    // The new file takes the old one's place: it keeps its permissions and, where we may
    // set it, its owner.
    (void)::fchmod(file.get(), mode);
    (void)::fchown(file.get(), old.st_uid, old.st_gid);
  }
  const bool written = WriteAll(file.get(), image) && ::fsync(file.get()) == 0 &&
                       NameNewFile(file.get(), target, temporary) && file.Close();
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    if (!temporary.empty()) ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitPlayListLines(std::string_view bytes) {
  std::vector<std::string> lines;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    std::string_view line = bytes.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

std::string JoinPlayListLines(std::span<const std::string> entries) {
  std::string image;
  for (const std::string& entry : entries) {
    image += entry;
    image += "\r\n";
  }
  return image;
}

bool IsStorableEntry(std::string_view entry) {
  return entry.size() <= kMaxPlayListEntry && entry.find('\n') == std::string_view::npos;
}

std::optional<std::size_t> FindOverlongEntry(std::span<const std::string> entries) {
  const auto it = std::find_if(entries.begin(), entries.end(), [](const std::string& entry) {
    return entry.size() > kMaxPlayListEntry;
  });
  if (it == entries.end()) return std::nullopt;
  return static_cast<std::size_t>(it - entries.begin());
}

bool PlayListFileExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool NamesPlayList(std::string_view path) {
  return path.find(".plf") != std::string_view::npos;
}

std::string PlayListEntryPath(const fs::path& listPath, const std::string& entry) {
  const fs::path target(entry);
  if (entry.empty() || target.is_absolute()) return entry;
  return (listPath.parent_path() / target).string();
}

bool CheckPlayListReadWrite(const fs::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && IsWritableList(path, status)) {
    FileDescriptor file(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    if (file.valid()) return true;
  }
  ShowPlayListFileError(path);
  return false;
}

void ShowPlayListFileError(const fs::path& path) {
  ShowMessageBox("The play list file " + Quoted(path) + " could not be opened or written.",
                 kProgramCaption, kStyle);
}

PlayListReadResult ReadPlayListFile(const fs::path& path, std::vector<std::string>& entries,
                                    OverlongEntries overlong_entries) {
  if (!PlayListFileExists(path)) return PlayListReadResult::kMissing;
  std::vector<std::string> lines;
  PlayListLineReader reader(lines, overlong_entries);
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  const PlayListReadResult result =
      file.valid() ? reader.Read(file.get()) : PlayListReadResult::kUnreadable;
  switch (result) {
    case PlayListReadResult::kRead:
      entries = std::move(lines);
      break;
    case PlayListReadResult::kEntryTooLong:
      ShowMessageBox("Line " + std::to_string(reader.overlongLine()) + " of the play list file " +
                         Quoted(path) + " is longer than " + std::to_string(kMaxPlayListEntry) +
                         " characters.",
                     kProgramCaption, kStyle);
      break;
    case PlayListReadResult::kTooLarge:
      ShowMessageBox("The play list file " + Quoted(path) + " is too large: a play list holds " +
                         std::to_string(kMaxPlayListEntries) + " entries at most.",
                     kProgramCaption, kStyle);
      break;
    default:
      ShowPlayListFileError(path);
      break;
  }
  return result;
}

bool CreatePlayListFileIfAbsent(const fs::path& path) {
  if (PlayListFileExists(path)) return true;
  FileDescriptor file(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.valid() && file.Close()) return true;
  ShowPlayListFileError(path);
  return false;
}

bool WritePlayListFile(const fs::path& path, std::span<const std::string> entries) {
  if (!std::all_of(entries.begin(), entries.end(),
                   [](const std::string& entry) { return IsStorableEntry(entry); })) {
    ShowMessageBox("The play list file " + Quoted(path) +
                       " was not written: an entry is longer than " +
                       std::to_string(kMaxPlayListEntry) + " characters or holds a line break.",
                   kProgramCaption, kStyle);
    return false;
  }
  if (!WriteTemporaryAndRename(ResolveTarget(path), JoinPlayListLines(entries))) {
    ShowPlayListFileError(path);
    return false;
  }
  return true;
}

}  // namespace bw
