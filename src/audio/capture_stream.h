// The capture side of the stream state. The record target's path and format are what the rest
// of the view reads (the time texts of a recording, the record sheet's File page); the capture
// buffer, its thread and the target file are added beside them by the recording code.
#pragma once

#include <string>

#include "platform/wave_format.h"

namespace bw {

struct CaptureStream {
  std::string targetPath;
  FormatBlock targetFormat;
};

}  // namespace bw
