// Play list files (".plf"): one audio file path per line, in play order, 8-bit text kept byte
// for byte. Lines are written with CR LF; when read, CR LF or a lone LF ends a line.
//
// Called on the user-interface thread by the play list commands and the play list editor.
// The file functions show their own failure messages (a box naming the file) and return what
// happened; a file that does not exist is left to the caller, which ends silently there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

// The longest entry a play list may hold: what the playback path holds.
inline constexpr std::size_t kMaxPlayListEntry = 259;
// The most entries a play list file may hold, and the most bytes: that many entries of the
// longest kind with their line ends.
inline constexpr std::size_t kMaxPlayListEntries = 100'000;
inline constexpr uint64_t kMaxPlayListBytes = kMaxPlayListEntries * (kMaxPlayListEntry + 2);

// The lines of a file image: only the terminator is removed (no trimming), an empty line is an
// entry, and a last line without terminator counts.
std::vector<std::string> SplitPlayListLines(std::string_view bytes);
// The file image of `entries`: each one followed by CR LF.
std::string JoinPlayListLines(std::span<const std::string> entries);
// True when a file can hold `entry` and give it back as it is: no longer than
// kMaxPlayListEntry and without a line break.
bool IsStorableEntry(std::string_view entry);
// The index of the first entry longer than kMaxPlayListEntry, if any.
std::optional<std::size_t> FindOverlongEntry(std::span<const std::string> entries);

// True when `path` names an existing regular file (through symbolic links).
bool PlayListFileExists(const std::filesystem::path& path);

// True when a start-up path names a play list: it holds ".plf" anywhere, in that case, so
// "songs.plf.txt" is a play list and "LIST.PLF" a sound file.
bool NamesPlayList(std::string_view path);

// Where an entry of the list at `listPath` points: a relative entry (a bare name, as for sounds
// kept beside their list) is taken from the list's folder, wherever the program runs; an
// absolute or empty one stays as it is.
std::string PlayListEntryPath(const std::filesystem::path& listPath, const std::string& entry);

// True when the file can be opened for reading and writing; otherwise false after the file
// error message. A file without any write permission counts as read-only for every user, as
// the read-only attribute would, so a list its owner protected is never taken for editing.
bool CheckPlayListReadWrite(const std::filesystem::path& path);

enum class PlayListReadResult {
  kRead,          // `entries` holds every line (none for an empty file)
  kMissing,       // no such file: nothing shown
  kUnreadable,    // shown: the file error message
  kEntryTooLong,  // shown: a message naming the file and the line
  kTooLarge,      // shown: a message naming the file (past kMaxPlayListEntries or its bytes)
};

// What a read does with an entry longer than kMaxPlayListEntry.
enum class OverlongEntries {
  kRefuse,  // the whole file: kEntryTooLong
  kKeep,    // kept as it stands (the editor shows it, so that the user can mend the list)
};

// Reads every entry of the file, line by line. `entries` is replaced only when the result is
// kRead.
PlayListReadResult ReadPlayListFile(const std::filesystem::path& path,
                                    std::vector<std::string>& entries,
                                    OverlongEntries overlong = OverlongEntries::kRefuse);

// Creates the file empty when it does not exist; an existing file is left unchanged.
// False, after the file error message, when it cannot be created.
bool CreatePlayListFileIfAbsent(const std::filesystem::path& path);

// Replaces the file's contents with `entries`. The new list is written to a temporary file
// beside the old one and renamed over it, so a failed write leaves the old list as it was.
// A file without write permission is not replaced. An entry that could not be read back as
// written (longer than kMaxPlayListEntry, or holding a line break) refuses the whole list.
// False after a message naming the file.
bool WritePlayListFile(const std::filesystem::path& path, std::span<const std::string> entries);

// The play list commands' file error message: a box that names the file.
void ShowPlayListFileError(const std::filesystem::path& path);

}  // namespace bw
