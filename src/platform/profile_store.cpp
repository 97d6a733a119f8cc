#include "platform/profile_store.h"

#include <charconv>

namespace bw {
namespace {

std::pair<std::string, std::string> Key(std::string_view section, std::string_view entry) {
  return {std::string(section), std::string(entry)};
}

}  // namespace

std::optional<std::string> MemoryProfileStore::Find(std::string_view section,
                                                    std::string_view entry) const {
  auto it = values_.find(Key(section, entry));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string MemoryProfileStore::GetString(std::string_view section, std::string_view entry,
                                          std::string_view fallback) {
  return Find(section, entry).value_or(std::string(fallback));
}

int MemoryProfileStore::GetInt(std::string_view section, std::string_view entry, int fallback) {
  auto text = Find(section, entry);
  if (!text) return fallback;
  int value = 0;
  auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (ec != std::errc() || end == text->data()) return fallback;
  return value;
}

bool MemoryProfileStore::WriteString(std::string_view section, std::string_view entry,
                                     std::string_view value) {
  values_[Key(section, entry)] = std::string(value);
  return true;
}

bool MemoryProfileStore::WriteInt(std::string_view section, std::string_view entry, int value) {
  return WriteString(section, entry, std::to_string(value));
}

bool MemoryProfileStore::Contains(std::string_view section, std::string_view entry) const {
  return Find(section, entry).has_value();
}

void MemoryProfileStore::Erase(std::string_view section, std::string_view entry) {
  values_.erase(Key(section, entry));
}

}  // namespace bw
