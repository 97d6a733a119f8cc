// The temporary WAVE file that Import wraps an MPEG file into. One name serves the whole run:
// the view makes it at its initial update, every Import overwrites the file and File Close
// deletes it. Called on the user-interface thread (MakeImportTempPath may set the process's
// environment).
#pragma once

#include <chrono>
#include <string>

namespace bw {

// "_DDHHMMSSmmmm.WAV": day of the month, hour, minute, second and millisecond of `now` in UTC.
std::string ImportTempFileName(std::chrono::system_clock::time_point now);

// The folder for temporary files: $TMP, else $TEMP, else $TMPDIR, else /tmp.
std::string TemporaryFolder();

// The temporary folder joined with the file name for the current time. When the folder is the
// fallback /tmp, TEMP is set to it for the process, so that the programs it starts find the
// same folder.
std::string MakeImportTempPath();

}  // namespace bw
