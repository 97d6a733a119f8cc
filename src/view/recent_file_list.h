// The view's own list of recently played files: four entries, read from the profile's
// "Recent File List" section ("File1" .. "File4") when the view is made and never written back
// (the application keeps and saves its own list in the same section). User-interface thread.
#pragma once

#include <array>
#include <string>

namespace bw {

class ProfileStore;

class RecentFileList {
 public:
  static constexpr int kSize = 4;

  void Read(ProfileStore& profile);
  // Puts `path` at the top; the same path further down moves up instead of appearing twice.
  void Add(const std::string& path);
  // Removes entry `index`; the entries below move up.
  void Remove(int index);
  // Entry `index` (empty when unused or out of range).
  const std::string& Entry(int index) const;

 private:
  std::array<std::string, kSize> entries_;
};

}  // namespace bw
