#include "view/dialogs/wx_text.h"

#include <wx/strconv.h>

namespace bw {
namespace {

// Where wxMBConvUTF8 keeps a byte that is not UTF-8: U+100000 + the byte.
constexpr wxUint32 kKeptByteFirst = 0x100000;
constexpr wxUint32 kKeptByteEnd = kKeptByteFirst + 0x100;

wxMBConv& ByteConv() {
  static wxMBConvUTF8 conv(wxMBConvUTF8::MAP_INVALID_UTF8_TO_PUA);
  return conv;
}

}  // namespace

wxString ToWx(std::string_view text) {
  const wxString kept = PathToWx(text);
  wxString shown;
  shown.reserve(kept.length());
  for (const wxUniChar c : kept) {
    const wxUint32 code = c.GetValue();
    if (code >= kKeptByteFirst && code < kKeptByteEnd)
      shown += wxString::Format("\\x%02X", static_cast<unsigned>(code - kKeptByteFirst));
    else
      shown += c;
  }
  return shown;
}

wxString PathToWx(std::string_view bytes) {
  return wxString(bytes.data(), ByteConv(), bytes.size());
}

std::string PathFromWx(const wxString& path) {
  const wxScopedCharBuffer bytes = path.mb_str(ByteConv());
  return std::string(bytes.data(), bytes.length());
}

void UseByteFileNames() {
  wxConvFileName = &ByteConv();
}

}  // namespace bw
