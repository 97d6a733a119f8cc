// Text between the engine (UTF-8 std::string) and wx (wxString).
#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

namespace bw {

inline wxString ToWx(std::string_view text) {
  return wxString::FromUTF8(text.data(), text.size());
}

inline std::string FromWx(const wxString& text) {
  return text.utf8_string();
}

}  // namespace bw
