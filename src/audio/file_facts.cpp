#include "audio/file_facts.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace bw {

void FileTimeAndSize(const std::string& path, std::time_t& created, int64_t& size) {
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME | STATX_SIZE, &info) != 0) return;
  created = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_mtime.tv_sec;
  size = static_cast<int64_t>(info.stx_size);
}

}  // namespace bw
