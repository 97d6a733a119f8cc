// The main frame's placement as it is kept in the profile ("Settings"/"WindowPos"): the ten
// numbers of a window-placement record, written with "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d".
//
// Called on the user-interface thread (the frame reads it at creation and writes it at close).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace bw {

class ProfileStore;

// Show commands and the flag the frame stores.
enum ShowCommand : uint32_t {
  kSwShowNormal = 1,
  kSwShowMinimized = 2,
  kSwShowMaximized = 3,
  kSwMinimize = 6,
  kSwShowMinNoActive = 7,
};
inline constexpr uint32_t kWpfRestoreToMaximized = 2;

struct WindowPlacement {
  uint32_t flags = 0;
  uint32_t showCmd = kSwShowNormal;
  int32_t minX = -1, minY = -1;                      // the minimised position (-1: none)
  int32_t maxX = -1, maxY = -1;                      // the maximised position (-1: none)
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // the normal rectangle, screen pixels

  bool IsMinimized() const {
    return showCmd == kSwShowMinimized || showCmd == kSwMinimize || showCmd == kSwShowMinNoActive;
  }
  friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

// The placement in `text`, or nothing unless it holds exactly ten numbers in that form (text
// after the tenth is ignored).
std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text);
std::string FormatWindowPlacement(const WindowPlacement& placement);

// "Settings"/"WindowPos": nothing when absent, empty or malformed.
std::optional<WindowPlacement> ReadWindowPlacement(ProfileStore& profile);
void WriteWindowPlacement(ProfileStore& profile, const WindowPlacement& placement);

}  // namespace bw
