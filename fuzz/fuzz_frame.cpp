// The main frame's stored values: any "WindowPos" text parses or is refused, and what parses
// formats back to a text that parses the same; any layout text is judged without trouble.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "frame/bar_state.h"
#include "frame/window_placement.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<bw::WindowPlacement> placement = bw::ParseWindowPlacement(text)) {
    const std::optional<bw::WindowPlacement> again =
        bw::ParseWindowPlacement(bw::FormatWindowPlacement(*placement));
    if (!again || !(*again == *placement)) std::abort();
  }
  bw::IsWellFormedBarState(text);
  return 0;
}
