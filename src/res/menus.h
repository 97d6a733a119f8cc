// The desktop program's menus (128, the frame's; 155, the bars' context menu; 159, the form's
// context menu), accelerator table 128, the button lists of the two toolbars and the prompts of
// the commands, as the resources hold them.
//
// Called on the user-interface thread, after wx is initialised.
#pragma once

#include <wx/accel.h>
#include <wx/menu.h>

#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace bw::res {

// wx takes menu and tool ids below 32767; the program's command ids (32776 to 59393, as they are
// stored and exchanged) travel through wx as 16-bit words read signed: less 0x8000.
inline constexpr int kWxCommandBase = 0x8000;
constexpr int WxCommandId(int command_id) {
  return command_id - kWxCommandBase;
}
constexpr int CommandOf(int wx_id) {
  return wx_id + kWxCommandBase;
}

// Menu 128: its top-level items in order, each its text with its mnemonic ("&File") and its
// pop-up. Every command item carries its command id (as wx takes it), its text with its mnemonic
// and accelerator, and its prompt as help string; items whose command has a check mark are check
// items.
struct TopLevelMenu {
  wxString text;
  std::unique_ptr<wxMenu> popup;
};
std::vector<TopLevelMenu> LoadFrameMenu();

enum PopupMenuId : int {
  IDR_BARS_MENU = 155,     // "&ToolBars"
  IDR_PLAYBAR_MENU = 159,  // "PlayBar"
};
// The first pop-up of menu 155 or 159.
std::unique_ptr<wxMenu> LoadPopupMenu(PopupMenuId menu);

// Accelerator table 128.
wxAcceleratorTable LoadAccelerators();

enum ToolbarId : int {
  IDR_MAINFRAME = 128,        // main toolbar, 16 x 15 buttons
  IDR_PLAYBAR = 155,          // Play toolbar, 16 x 15 buttons
  IDR_PLAYBAR_LARGE = 133,    // Play toolbar, 24 x 24 buttons (large fonts)
  IDR_MAINFRAME_LARGE = 134,  // main toolbar, 24 x 24 buttons (large fonts)
};
// The command ids of a toolbar's buttons in order (not wx's); 0 is a separator.
std::span<const int> ToolbarButtons(ToolbarId toolbar);

// The prompt of a command (what the status line shows while its menu item or button is
// highlighted) and its tip (the button's tool tip); empty for a command without one.
std::string_view CommandPrompt(int command_id);
std::string_view CommandTip(int command_id);

// Commands whose menu items and buttons show a check mark.
bool IsCheckCommand(int command_id);

}  // namespace bw::res
