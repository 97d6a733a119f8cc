#include "frame/window_placement.h"

#include <cstdio>

#include "platform/profile_store.h"

namespace bw {
namespace {

constexpr char kFormat[] = "%u,%u,%d,%d,%d,%d,%d,%d,%d,%d";

}  // namespace

std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text) {
  const std::string terminated(text);
  WindowPlacement p;
  unsigned flags = 0, show = 0;
  int fields[8] = {};
  const int read =
      std::sscanf(terminated.c_str(), kFormat, &flags, &show, &fields[0], &fields[1], &fields[2],
                  &fields[3], &fields[4], &fields[5], &fields[6], &fields[7]);
  if (read != 10) return std::nullopt;
  p.flags = flags;
  p.showCmd = show;
  p.minX = fields[0];
  p.minY = fields[1];
  p.maxX = fields[2];
  p.maxY = fields[3];
  p.left = fields[4];
  p.top = fields[5];
  p.right = fields[6];
  p.bottom = fields[7];
  return p;
}

std::string FormatWindowPlacement(const WindowPlacement& p) {
  char text[160];
  std::snprintf(text, sizeof text, kFormat, p.flags, p.showCmd, p.minX, p.minY, p.maxX, p.maxY,
                p.left, p.top, p.right, p.bottom);
  return text;
}

std::optional<WindowPlacement> ReadWindowPlacement(ProfileStore& profile) {
  const std::string text = profile.GetString("Settings", "WindowPos", "");
  if (text.empty()) return std::nullopt;
  return ParseWindowPlacement(text);
}

void WriteWindowPlacement(ProfileStore& profile, const WindowPlacement& placement) {
  profile.WriteString("Settings", "WindowPos", FormatWindowPlacement(placement));
}

}  // namespace bw
