// Play list files: any bytes read as a list or refused with a message; a list that was read
// writes back and reads back to the same entries. Files live in /dev/shm where there is one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "playlist/playlist_file.h"

using bw::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bw::fuzz::ScratchFile input("playlist-in");
  static const bw::fuzz::ScratchFile output("playlist-out");
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  input.Write(bytes);
  bw::fuzz::SilentSink sink;
  bw::ScopedMessageSink scope(&sink);

  std::vector<std::string> entries;
  const bw::PlayListReadResult result = bw::ReadPlayListFile(input.path(), entries);
  const std::vector<std::string> lines = bw::SplitPlayListLines(bytes);
  if (result != bw::PlayListReadResult::kRead) {
    Check(result == bw::PlayListReadResult::kEntryTooLong && bw::FindOverlongEntry(lines));
    return 0;
  }
  Check(entries == lines);
  Check(bw::SplitPlayListLines(bw::JoinPlayListLines(entries)) == entries);
  Check(bw::WritePlayListFile(output.path(), entries));
  std::vector<std::string> back;
  Check(bw::ReadPlayListFile(output.path(), back) == bw::PlayListReadResult::kRead &&
        back == entries);
  return 0;
}
