#include "frame/bar_state.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string>

namespace bw {
namespace {

// The pane keys the docking manager reads; any other key stops it.
constexpr std::array<std::string_view, 18> kPaneKeys{
    "name",  "caption", "state", "dir",  "layer", "row",    "pos",    "prop",   "bestw",
    "besth", "minw",    "minh",  "maxw", "maxh",  "floatx", "floaty", "floatw", "floath"};

// "\|" and "\;" as one stand-in character each, so that the separators can be split on.
std::string SetEscapesAside(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool escape = text[i] == '\\' && i + 1 < text.size();
    if (escape && text[i + 1] == '|') {
      out.push_back('\a');
      ++i;
    } else if (escape && text[i + 1] == ';') {
      out.push_back('\b');
      ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

// The stand-ins back as the separators they stood for (the escapes are gone then).
std::string RestoreEscaped(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '\a', '|');
  std::replace(out.begin(), out.end(), '\b', ';');
  return out;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

// What comes before the first `c` (all of `text` without one) and what comes after it.
std::string_view Before(std::string_view text, char c) {
  return text.substr(0, text.find(c));
}
std::string_view After(std::string_view text, char c) {
  const std::size_t at = text.find(c);
  return at == std::string_view::npos ? std::string_view() : text.substr(at + 1);
}

bool IsNumber(std::string_view text, long min, long max) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

// "dock_size(direction,layer,row)=size", read the way the manager reads it.
bool IsDockSize(std::string_view part) {
  const std::string_view name = Before(part, '=');
  std::string_view place = After(name, '(');
  place = place.substr(0, place.rfind(')'));
  const std::string_view layerAndRow = After(place, ',');
  return IsNumber(Before(place, ','), 0, 5) && IsNumber(Before(layerAndRow, ','), 0, 1000) &&
         IsNumber(After(layerAndRow, ','), 0, 1000) && IsNumber(After(part, '='), 0, 100000);
}

bool IsPane(std::string_view part) {
  while (true) {
    std::string key(Trimmed(Before(Before(part, ';'), '=')));
    part = After(part, ';');
    if (key.empty()) return true;  // the manager's end of a pane
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (std::find(kPaneKeys.begin(), kPaneKeys.end(), key) == kPaneKeys.end()) return false;
  }
}

}  // namespace

bool IsWellFormedBarState(std::string_view perspective) {
  if (Trimmed(Before(perspective, '|')) != "layout2") return false;
  // Escaped separators are set aside while the panes are split, as the manager does.
  const std::string escaped = SetEscapesAside(After(perspective, '|'));
  std::string_view rest = escaped;
  while (true) {
    std::string_view part = Before(rest, '|');
    rest = After(rest, '|');
    while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back())))
      part.remove_suffix(1);
    if (part.empty()) return true;
    if (part.starts_with("dock_size")) {
      if (!IsDockSize(part)) return false;
      continue;
    }
    const std::string pane = RestoreEscaped(part);
    if (!IsPane(pane)) return false;
  }
}

}  // namespace bw
