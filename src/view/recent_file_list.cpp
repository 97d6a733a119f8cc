#include "view/recent_file_list.h"

#include <algorithm>

#include "platform/profile_store.h"

namespace bw {

void RecentFileList::Read(ProfileStore& profile) {
  for (int i = 0; i < kSize; ++i)
    entries_[i] = profile.GetString("Recent File List", "File" + std::to_string(i + 1), "");
}

void RecentFileList::Add(const std::string& path) {
  if (path.empty()) return;
  auto found = std::find(entries_.begin(), entries_.end(), path);
  if (found == entries_.end()) found = entries_.end() - 1;
  std::rotate(entries_.begin(), found, found + 1);
  entries_.front() = path;
}

void RecentFileList::Remove(int index) {
  if (index < 0 || index >= kSize) return;
  std::rotate(entries_.begin() + index, entries_.begin() + index + 1, entries_.end());
  entries_.back().clear();
}

const std::string& RecentFileList::Entry(int index) const {
  static const std::string kNone;
  return index >= 0 && index < kSize ? entries_[index] : kNone;
}

}  // namespace bw
