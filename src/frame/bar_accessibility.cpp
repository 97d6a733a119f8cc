#include "frame/bar_accessibility.h"

#include <gtk/gtk.h>

namespace bw {

namespace {

AtkRole AtkRoleOf(AccessibleRole role) {
  switch (role) {
    case AccessibleRole::kToolBar:
      return ATK_ROLE_TOOL_BAR;
    case AccessibleRole::kMenuBar:
      return ATK_ROLE_MENU_BAR;
    case AccessibleRole::kSlider:
      return ATK_ROLE_SLIDER;
    case AccessibleRole::kToolTip:
      return ATK_ROLE_TOOL_TIP;
  }
  return ATK_ROLE_UNKNOWN;
}

}  // namespace

void SetAccessibleName(wxWindow& control, const wxString& name, AccessibleRole role) {
  AtkObject* accessible = gtk_widget_get_accessible(control.GetHandle());
  if (accessible == nullptr) return;
  atk_object_set_name(accessible, name.utf8_str());
  atk_object_set_role(accessible, AtkRoleOf(role));
}

wxString AccessibleName(wxWindow& control) {
  AtkObject* accessible = gtk_widget_get_accessible(control.GetHandle());
  const char* name = accessible ? atk_object_get_name(accessible) : nullptr;
  return name ? wxString::FromUTF8(name) : wxString();
}

}  // namespace bw
