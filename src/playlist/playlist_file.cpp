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

constexpr std::string_view kCaption = "Brookwave";
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

bool ReadWholeFile(const fs::path& path, std::string& out) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return false;
  out.clear();
  std::array<char, 64 * 1024> block;
  for (;;) {
    const ssize_t got = ::read(file.get(), block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    out.append(block.data(), static_cast<std::size_t>(got));
  }
}

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

// Opens a new temporary file beside `target`, created with `mode` (before the umask).
int CreateTemporaryBeside(const fs::path& target, mode_t mode, fs::path& temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = target;
    std::string name(1, '.');
    name.append(target.filename().string())
        .append(".")
        .append(std::to_string(random() % 1000000))
        .append(".tmp");
    temporary.replace_filename(name);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteTemporaryAndRename(const fs::path& target, std::string_view image) {
  struct stat old {};
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  if (replacing && !IsWritableList(target, old)) return false;
  fs::path temporary;
  FileDescriptor file(CreateTemporaryBeside(target, 0666, temporary));
  if (!file.valid()) return false;
  if (replacing) {
    // The new file takes the old one's place: it keeps its permissions and, where we may
    // set it, its owner.
    (void)::fchmod(file.get(), old.st_mode & 07777);
    (void)::fchown(file.get(), old.st_uid, old.st_gid);
  }
  const bool written = WriteAll(file.get(), image) && ::fsync(file.get()) == 0 && file.Close();
  if (!written || ::rename(temporary.c_str(), target.c_str()) != 0) {
    ::unlink(temporary.c_str());
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
                 kCaption, kStyle);
}

PlayListReadResult ReadPlayListFile(const fs::path& path, std::vector<std::string>& entries,
                                    OverlongEntries overlong_entries) {
  if (!PlayListFileExists(path)) return PlayListReadResult::kMissing;
  std::string image;
  if (!ReadWholeFile(path, image)) {
    ShowPlayListFileError(path);
    return PlayListReadResult::kUnreadable;
  }
  std::vector<std::string> lines = SplitPlayListLines(image);
  const auto overlong = FindOverlongEntry(lines);
  if (overlong && overlong_entries == OverlongEntries::kRefuse) {
    ShowMessageBox("Line " + std::to_string(*overlong + 1) + " of the play list file " +
                       Quoted(path) + " is longer than " + std::to_string(kMaxPlayListEntry) +
                       " characters.",
                   kCaption, kStyle);
    return PlayListReadResult::kEntryTooLong;
  }
  entries = std::move(lines);
  return PlayListReadResult::kRead;
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
                   kCaption, kStyle);
    return false;
  }
  if (!WriteTemporaryAndRename(ResolveTarget(path), JoinPlayListLines(entries))) {
    ShowPlayListFileError(path);
    return false;
  }
  return true;
}

}  // namespace bw
