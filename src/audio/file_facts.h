// Facts about a file the property sheets show: when it was created and how large it is.
// Any thread; plain file-system queries.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace bw {

// The file's creation time where the file system keeps one, else its last change, and its
// size. Leaves both as they were when the file cannot be queried.
void FileTimeAndSize(const std::string& path, std::time_t& created, int64_t& size);

}  // namespace bw
