// A window's theme attributes (font and colours), looked up once per theme. wx asks the theme
// afresh every time a paint's device context or GetFont needs them, and on GTK each lookup goes
// through the toolkit's style machinery: a noticeable share of every paint.
#pragma once

#include <wx/window.h>

#include <optional>

namespace bw {

class ThemeAttributes {
 public:
  // Forgets what it holds whenever the theme of `window` changes.
  explicit ThemeAttributes(wxWindow& window) {
    window.Bind(wxEVT_SYS_COLOUR_CHANGED, [this](wxSysColourChangedEvent& event) {
      m_attributes.reset();
      event.Skip();
    });
  }
  ThemeAttributes(const ThemeAttributes&) = delete;
  ThemeAttributes& operator=(const ThemeAttributes&) = delete;

  // What `look_up` answers (the base class's GetDefaultAttributes), asked once per theme.
  template <typename LookUp>
  wxVisualAttributes Get(LookUp look_up) const {
    if (!m_attributes) m_attributes = look_up();
    return *m_attributes;
  }

 private:
  mutable std::optional<wxVisualAttributes> m_attributes;
};

}  // namespace bw
