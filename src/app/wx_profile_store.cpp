#include "app/wx_profile_store.h"

#include <charconv>

#include "view/dialogs/wx_text.h"

namespace bw {
namespace {

wxString Key(std::string_view section, std::string_view entry) {
  return "/" + ToWx(section) + "/" + ToWx(entry);
}

}  // namespace

WxProfileStore::WxProfileStore(wxConfigBase& config) : config_(config) {
  config_.SetExpandEnvVars(false);
}

std::string WxProfileStore::GetString(std::string_view section, std::string_view entry,
                                      std::string_view fallback) {
  wxString value;
  if (!config_.Read(Key(section, entry), &value)) return std::string(fallback);
  return PathFromWx(value);  // paths among the values: bytes, kept as they are
}

int WxProfileStore::GetInt(std::string_view section, std::string_view entry, int fallback) {
  const std::string text = GetString(section, entry, "");
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data()) return fallback;
  return value;
}

bool WxProfileStore::WriteString(std::string_view section, std::string_view entry,
                                 std::string_view value) {
  return config_.Write(Key(section, entry), PathToWx(value));
}

bool WxProfileStore::WriteInt(std::string_view section, std::string_view entry, int value) {
  return WriteString(section, entry, std::to_string(value));
}

void WxProfileStore::DeleteSection(std::string_view section) {
  config_.DeleteGroup("/" + ToWx(section));
}

bool WxProfileStore::Flush() {
  return config_.Flush();
}

}  // namespace bw
