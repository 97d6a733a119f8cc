// The application's profile over wxConfig: section "Settings" is the config group /Settings,
// and so on. Integers are stored as their decimal text, as MemoryProfileStore keeps them, and
// environment variables in values are never expanded (a path may well contain a "$").
//
// Called on the user-interface thread.
#pragma once

#include <wx/confbase.h>

#include "platform/profile_store.h"

namespace bw {

class WxProfileStore final : public ProfileStore {
 public:
  // `config` outlives the store.
  explicit WxProfileStore(wxConfigBase& config);

  std::string GetString(std::string_view section, std::string_view entry,
                        std::string_view fallback) override;
  int GetInt(std::string_view section, std::string_view entry, int fallback) override;
  bool WriteString(std::string_view section, std::string_view entry,
                   std::string_view value) override;
  bool WriteInt(std::string_view section, std::string_view entry, int value) override;

  // Removes a whole section (the recent-file list is written afresh each time).
  void DeleteSection(std::string_view section);
  // Writes what is pending to the file; false when it could not be written.
  bool Flush();

 private:
  wxConfigBase& config_;
};

}  // namespace bw
