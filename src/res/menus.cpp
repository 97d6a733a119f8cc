#include "res/menus.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "view/dialogs/wx_text.h"
#include "view/view_ids.h"

namespace bw::res {
namespace {

// The string table's command entries: the prompt, a line break, the tip.
struct CommandString {
  int id;
  std::string_view text;
};

constexpr std::array<CommandString, 36> kCommandStrings{{
    {ID_FILE_NEW, "Create a new document\nNew"},
    {ID_FILE_OPEN, "Open a sound file\nOpen"},
    {ID_FILE_CLOSE, "Close the sound file\nClose"},
    {ID_FILE_SAVE, "Save the active document with a different name\nSave"},
    {ID_FILE_SAVE_AS, "Save the active document with a different format\nExport"},
    {ID_FILE_IMPORT, "Open an existing document\nImport"},
    {ID_APP_EXIT, "Save the settings and quit\nExit"},
    {ID_APP_ABOUT, "Show the program's version\nAbout"},
    {ID_SELECTION_FROM, "Start the selection at the position\nFrom"},
    {ID_SELECTION_TO, "End the selection at the position\nTo"},
    {ID_SELECTION_CLEAR, "Clear the selection\nClear Selection"},
    {ID_SELECTION_USE, "Play only the selection\nUse Selection"},
    {ID_AUTOPLAY, "Play each file as soon as it is opened\nAutoPlay"},
    {ID_VIEW_TOOLBAR, "Show or hide the main toolbar\nToggle Main Toolbar"},
    {ID_VIEW_PLAYBAR, "Show or hide the Play toolbar\nToggle Play Toolbar"},
    {ID_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle Status Bar"},
    {ID_PROPERTIES_PLAYBACK, "Change the playback settings\nPlayback Properties"},
    {ID_PROPERTIES_RECORD, "Change the record settings\nRecord Properties"},
    {ID_PLAY, "Play the sound file\nPlay"},
    {ID_STOP, "Stop playing or recording\nStop"},
    {ID_PAUSE, "Pause or resume the recording\nPause"},
    {ID_RECORD, "Record File\nRecord"},
    {ID_FIRST, "Go to the start, or to the previous file of the play list\nFirst"},
    {ID_REVERSE, "Step back\nReverse"},
    {ID_FORWARD, "Step forward\nForward"},
    {ID_LAST, "Go to the end, or to the next file of the play list\nLast"},
    {ID_REPEAT_SONG, "Repeat Song\nRepeat"},
    {ID_PLAYLIST_NEW, "Create a new play list\nNew PlayList"},
    {ID_PLAYLIST_OPEN, "Open a play list\nOpen PlayList"},
    {ID_PLAYLIST_CLOSE, "Close the play list\nClose PlayList"},
    {ID_PLAYLIST_EDIT, "Edit the play list\nEdit PlayList"},
    {ID_PLAYLIST_IN_USE, "Play the files of the play list in turn\nPlayList in Use"},
    {ID_PLAYLIST_REPEAT, "Start the play list again after its last file\nRepeat PlayList"},
    {ID_EDIT_COPY, "Copy\nCopy"},
    {ID_EDIT_CUT, "Cut\nCut"},
    {ID_EDIT_PASTE, "Paste\nPaste"},
}};

constexpr std::string_view kRecentFilePrompt = "Open this document";

constexpr std::array<int, 11> kCheckCommands{
    ID_VIEW_TOOLBAR, ID_VIEW_PLAYBAR, ID_VIEW_STATUS_BAR, ID_AUTOPLAY,        ID_SELECTION_USE,
    ID_PLAY,         ID_PAUSE,        ID_RECORD,          ID_PLAYLIST_IN_USE, ID_PLAYLIST_REPEAT,
    ID_REPEAT_SONG,
};

constexpr std::array<int, 10> kMainToolbar{
    ID_FILE_NEW,      ID_FILE_OPEN,     ID_FILE_SAVE,      0, ID_APP_ABOUT, 0, ID_PLAYLIST_NEW,
    ID_PLAYLIST_OPEN, ID_PLAYLIST_EDIT, ID_PLAYLIST_REPEAT};
constexpr std::array<int, 16> kPlayToolbar{
    ID_PLAY,    ID_STOP, 0, ID_PAUSE,          ID_RECORD,       0, ID_FIRST,         ID_REVERSE,
    ID_FORWARD, ID_LAST, 0, ID_SELECTION_FROM, ID_SELECTION_TO, 0, ID_SELECTION_USE, ID_FILE_CLOSE};
constexpr std::array<int, 16> kPlayToolbarLarge{ID_PLAY,         ID_STOP,    0,
                                                ID_PAUSE,        ID_RECORD,  0,
                                                ID_FIRST,        ID_REVERSE, ID_FORWARD,
                                                ID_LAST,         0,          ID_SELECTION_FROM,
                                                ID_SELECTION_TO, 0,          ID_SELECTION_USE,
                                                ID_REPEAT_SONG};

// One item of a menu template: a command (id and text), a separator (id 0, no text) or a
// pop-up (id 0, its text and its items).
struct MenuTemplate {
  int id = 0;
  std::string_view text;
  std::initializer_list<MenuTemplate> items = {};
};

constexpr MenuTemplate kSeparator{};

void AppendItems(wxMenu& menu, std::initializer_list<MenuTemplate> items) {
  for (const MenuTemplate& item : items) {
    if (item.id == 0 && item.text.empty()) {
      menu.AppendSeparator();
    } else if (item.id == 0) {
      auto popup = std::make_unique<wxMenu>();
      AppendItems(*popup, item.items);
      menu.AppendSubMenu(popup.release(), ToWx(item.text));  // the menu owns its pop-ups
    } else {
      menu.Append(WxCommandId(item.id), ToWx(item.text), ToWx(CommandPrompt(item.id)),
                  IsCheckCommand(item.id) ? wxITEM_CHECK : wxITEM_NORMAL);
    }
  }
}

std::unique_ptr<wxMenu> MakeMenu(std::initializer_list<MenuTemplate> items) {
  auto menu = std::make_unique<wxMenu>();
  AppendItems(*menu, items);
  return menu;
}

std::string_view StringPart(int command_id, bool tip) {
  if (command_id >= ID_FILE_MRU_FIRST && command_id <= ID_FILE_MRU_LAST)
    return tip ? std::string_view() : kRecentFilePrompt;
  const auto found = std::find_if(kCommandStrings.begin(), kCommandStrings.end(),
                                  [&](const CommandString& s) { return s.id == command_id; });
  if (found == kCommandStrings.end()) return {};
  const std::size_t newline = found->text.find('\n');
  return tip ? found->text.substr(newline + 1) : found->text.substr(0, newline);
}

}  // namespace

std::vector<TopLevelMenu> LoadFrameMenu() {
  std::vector<TopLevelMenu> bar;
  bar.push_back({"&File", MakeMenu({{ID_FILE_NEW, "&New\tCtrl+N"},
                                    {ID_FILE_OPEN, "&Open...\tCtrl+O"},
                                    {ID_FILE_CLOSE, "&Close"},
                                    {ID_FILE_SAVE, "&Save...\tCtrl+S"},
                                    kSeparator,
                                    {ID_FILE_SAVE_AS, "&Export..."},
                                    {ID_FILE_IMPORT, "&Import..."},
                                    kSeparator,
                                    {ID_FILE_MRU_FIRST, "Recent File"},
                                    kSeparator,
                                    {ID_APP_EXIT, "E&xit"}})});
  bar.push_back({"&Edit", MakeMenu({{0,
                                     "&Selection",
                                     {{ID_SELECTION_FROM, "From"},
                                      {ID_SELECTION_TO, "&To"},
                                      {ID_SELECTION_CLEAR, "C&lear"},
                                      {ID_SELECTION_USE, "Use"}}},
                                    kSeparator,
                                    {ID_AUTOPLAY, "&AutoPlay"}})});
  bar.push_back(
      {"&View",
       MakeMenu({{ID_VIEW_TOOLBAR, "Main &Toolbar"},
                 {ID_VIEW_PLAYBAR, "&Play Toolbar"},
                 {ID_VIEW_STATUS_BAR, "&Status Bar"},
                 kSeparator,
                 {0,
                  "Proper&ties",
                  {{ID_PROPERTIES_PLAYBACK, "&Playback"}, {ID_PROPERTIES_RECORD, "&Record"}}}})});
  bar.push_back({"&Audio", MakeMenu({{ID_PLAY, "&Play"},
                                     {ID_STOP, "&Stop"},
                                     kSeparator,
                                     {ID_PAUSE, "P&ause"},
                                     {ID_RECORD, "R&ecord"},
                                     kSeparator,
                                     {ID_FIRST, "&First"},
                                     {ID_REVERSE, "Re&verse"},
                                     {ID_FORWARD, "&Forward"},
                                     {ID_LAST, "&Last"}})});
  bar.push_back({"&Playlist", MakeMenu({{ID_PLAYLIST_NEW, "&New PlayList"},
                                        {ID_PLAYLIST_OPEN, "&Open PlayList"},
                                        {ID_PLAYLIST_CLOSE, "&Close PlayList"},
                                        kSeparator,
                                        {ID_PLAYLIST_EDIT, "&Edit Playlist"},
                                        {ID_PLAYLIST_IN_USE, "PlayList in Use"},
                                        {ID_PLAYLIST_REPEAT, "Repeat PlayList"}})});
  bar.push_back({"&Help", MakeMenu({{ID_APP_ABOUT, "&About Brookwave..."}})});
  return bar;
}

std::unique_ptr<wxMenu> LoadPopupMenu(PopupMenuId menu) {
  if (menu == IDR_BARS_MENU) {
    return MakeMenu({{ID_VIEW_TOOLBAR, "&Main ToolBar"},
                     {ID_VIEW_PLAYBAR, "&Play ToolBar"},
                     kSeparator,
                     {ID_VIEW_STATUS_BAR, "&Status Bar"}});
  }
  return MakeMenu({{ID_PLAY, "&Play"},
                   {ID_STOP, "&Stop"},
                   {ID_PAUSE, "P&ause"},
                   {ID_RECORD, "R&ecord"},
                   {ID_FIRST, "&First"},
                   {ID_REVERSE, "Re&verse"},
                   {ID_FORWARD, "&Forward"},
                   {ID_LAST, "&Last"}});
}

wxAcceleratorTable LoadAccelerators() {
  const std::array<wxAcceleratorEntry, 13> entries{{
      {wxACCEL_CTRL, 'N', WxCommandId(ID_FILE_NEW)},
      {wxACCEL_CTRL, 'O', WxCommandId(ID_FILE_OPEN)},
      {wxACCEL_CTRL, 'S', WxCommandId(ID_FILE_SAVE)},
      {wxACCEL_CTRL, 'Z', WxCommandId(ID_EDIT_UNDO)},
      {wxACCEL_ALT, WXK_BACK, WxCommandId(ID_EDIT_UNDO)},
      {wxACCEL_CTRL, 'X', WxCommandId(ID_EDIT_CUT)},
      {wxACCEL_SHIFT, WXK_DELETE, WxCommandId(ID_EDIT_CUT)},
      {wxACCEL_CTRL, 'C', WxCommandId(ID_EDIT_COPY)},
      {wxACCEL_CTRL, WXK_INSERT, WxCommandId(ID_EDIT_COPY)},
      {wxACCEL_CTRL, 'V', WxCommandId(ID_EDIT_PASTE)},
      {wxACCEL_SHIFT, WXK_INSERT, WxCommandId(ID_EDIT_PASTE)},
      {wxACCEL_NORMAL, WXK_F6, WxCommandId(ID_NEXT_PANE)},
      {wxACCEL_SHIFT, WXK_F6, WxCommandId(ID_PREV_PANE)},
  }};
  return wxAcceleratorTable(static_cast<int>(entries.size()), entries.data());
}

std::span<const int> ToolbarButtons(ToolbarId toolbar) {
  switch (toolbar) {
    case IDR_MAINFRAME:
    case IDR_MAINFRAME_LARGE:
      return kMainToolbar;
    case IDR_PLAYBAR:
      return kPlayToolbar;
    case IDR_PLAYBAR_LARGE:
      return kPlayToolbarLarge;
  }
  return {};
}

std::string_view CommandPrompt(int command_id) {
  return StringPart(command_id, false);
}

std::string_view CommandTip(int command_id) {
  return StringPart(command_id, true);
}

bool IsCheckCommand(int command_id) {
  return std::find(kCheckCommands.begin(), kCheckCommands.end(), command_id) !=
         kCheckCommands.end();
}

}  // namespace bw::res
