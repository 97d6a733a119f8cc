// Accessible names and roles of the program's own controls. wx offers no accessibility support
// on GTK, so the name and the role go straight to the control's native ATK object, which the
// desktop's screen readers read.
//
// Threads: user-interface thread only, once the control exists.
#pragma once

#include <wx/window.h>

namespace bw {

enum class AccessibleRole { kToolBar, kMenuBar, kSlider, kToolTip };

void SetAccessibleName(wxWindow& control, const wxString& name, AccessibleRole role);
wxString AccessibleName(wxWindow& control);

}  // namespace bw
