// The application's profile: named values in named sections, strings or integers.
//
// The engine reads and writes its settings through this interface only. The desktop program
// backs it with wxConfig (vendor "Tesserel", application "Brookwave"); tests and the
// command-line program use MemoryProfileStore. Called on the user-interface thread.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace bw {

class ProfileStore {
 public:
  virtual ~ProfileStore() = default;

  // The stored value, or `fallback` when the value is absent.
  virtual std::string GetString(std::string_view section, std::string_view entry,
                                std::string_view fallback) = 0;
  // The stored value, or `fallback` when the value is absent or not a number.
  virtual int GetInt(std::string_view section, std::string_view entry, int fallback) = 0;
  // True when the value was written.
  virtual bool WriteString(std::string_view section, std::string_view entry,
                           std::string_view value) = 0;
  virtual bool WriteInt(std::string_view section, std::string_view entry, int value) = 0;
};

// A profile held in memory. Integers and strings share one value space, as in the registry
// view the framework offers: an integer written is read back as its decimal text and vice versa.
class MemoryProfileStore final : public ProfileStore {
 public:
  std::string GetString(std::string_view section, std::string_view entry,
                        std::string_view fallback) override;
  int GetInt(std::string_view section, std::string_view entry, int fallback) override;
  bool WriteString(std::string_view section, std::string_view entry,
                   std::string_view value) override;
  bool WriteInt(std::string_view section, std::string_view entry, int value) override;

  // For tests: whether a value exists, and dropping one.
  bool Contains(std::string_view section, std::string_view entry) const;
  void Erase(std::string_view section, std::string_view entry);

 private:
  std::optional<std::string> Find(std::string_view section, std::string_view entry) const;
  std::map<std::pair<std::string, std::string>, std::string, std::less<>> values_;
};

}  // namespace bw
