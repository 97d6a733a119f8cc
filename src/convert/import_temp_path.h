// The temporary WAVE file that Import wraps an MPEG file into. One name serves the whole run:
// the view makes it at its initial update, every Import writes the file anew and File Close
// deletes it. The file lives in a folder of its own that only this user can enter, made with an
// unpredictable name, so that nobody can plant a link, a pipe or a file of theirs under the
// file's (predictable) name. Called on the user-interface thread (making the path may set the
// process's environment).
#pragma once

#include <chrono>
#include <string>

namespace bw {

// "_DDHHMMSSmmmm.WAV": day of the month, hour, minute, second and millisecond of `now` in UTC.
std::string ImportTempFileName(std::chrono::system_clock::time_point now);

// The folder for temporary files: $TMP, else $TEMP, else $TMPDIR, else /tmp.
std::string TemporaryFolder();

// The private folder of one view; removed, with what is left in it, when the object goes.
class ImportTempFolder {
 public:
  ImportTempFolder() = default;
  ~ImportTempFolder();
  ImportTempFolder(const ImportTempFolder&) = delete;
  ImportTempFolder& operator=(const ImportTempFolder&) = delete;

  // The private folder (made in the temporary folder on the first call, mode 0700) joined with
  // the file name for the current time. When the temporary folder is the fallback /tmp, TEMP
  // is set to it for the process, so that the programs it starts find the same folder. When
  // the private folder cannot be made, the path names a folder that does not exist, and the
  // file's creation fails with a message naming it.
  std::string MakeImportTempPath();
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

}  // namespace bw
