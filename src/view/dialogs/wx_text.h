// Text between the engine (UTF-8 std::string) and wx (wxString), and file names, which on Linux
// are bytes in no particular encoding.
#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

namespace bw {

// Text to be shown: UTF-8 as it is; a byte that is not part of valid UTF-8 (a file name in
// another encoding) is shown as \xNN rather than losing the whole text.
wxString ToWx(std::string_view text);

inline std::string FromWx(const wxString& text) {
  return text.utf8_string();
}

// A file name for wx and back, unchanged whatever the locale: decoded as UTF-8 (what GLib
// takes file names to be), each byte that is not UTF-8 kept as a private-use character that
// PathFromWx turns back into that byte. Also what stored strings (the profile) go through.
wxString PathToWx(std::string_view bytes);
std::string PathFromWx(const wxString& path);

// Makes wx's own file access (wxFile, wxFileName, wxFileConfig, the file dialogs, dropped
// files) use the conversion above instead of the locale's, which cannot hold every name (under
// LANG=C not even "café"). Called once at start, before any file is named.
void UseByteFileNames();

}  // namespace bw
