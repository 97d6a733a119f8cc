// Shared by the property sheet tests.
#pragma once

#include <wx/xrc/xmlres.h>

#include <cinttypes>
#include <cstdio>
#include <string>

#include "platform/device_id.h"

namespace bw::test {

// What the view puts into a Device page's member before the sheet runs.
inline std::string DeviceWords(const DeviceId& id) {
  char text[64];
  std::snprintf(text, sizeof text, "%11" PRIu32 " %11" PRIu32 " %11" PRIu32 " %11" PRIu32,
                id.words[0], id.words[1], id.words[2], id.words[3]);
  return text;
}

inline int Id(const char* name) {
  return XRCID(name);
}

}  // namespace bw::test
