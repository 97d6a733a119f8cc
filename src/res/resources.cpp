#include "res/resources.h"

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/imagpng.h>
#include <wx/log.h>
#include <wx/stdpaths.h>
#include <wx/xrc/xh_bttn.h>
#include <wx/xrc/xh_chckb.h>
#include <wx/xrc/xh_choic.h>
#include <wx/xrc/xh_dlg.h>
#include <wx/xrc/xh_gauge.h>
#include <wx/xrc/xh_listb.h>
#include <wx/xrc/xh_panel.h>
#include <wx/xrc/xh_radbt.h>
#include <wx/xrc/xh_slidr.h>
#include <wx/xrc/xh_stbmp.h>
#include <wx/xrc/xh_stbox.h>
#include <wx/xrc/xh_sttxt.h>
#include <wx/xrc/xh_text.h>
#include <wx/xrc/xh_unkwn.h>
#include <wx/xrc/xmlres.h>

#include <array>
#include <memory>
#include <set>
#include <string>
#include <system_error>

#include "platform/message_box.h"
#include "res/dialog_ids.h"
#include "view/view_ids.h"

namespace bw::res {
namespace {

namespace fs = std::filesystem;

bool HoldsResources(const fs::path& dir) {
  std::error_code ec;
  return !dir.empty() && fs::is_directory(dir / "dialogs", ec) &&
         fs::is_directory(dir / "pictures", ec);
}

fs::path InstalledDir() {
  const fs::path exe(wxStandardPaths::Get().GetExecutablePath().utf8_string());
  return exe.parent_path().parent_path() / "share" / "brookwave";
}

struct ToolbarPicture {
  int command_id;
  std::string_view name;
};

// Every button of the main and the Play toolbar.
constexpr std::array<ToolbarPicture, 21> kToolbarPictures{{
    {ID_FILE_NEW, "new"},
    {ID_FILE_OPEN, "open"},
    {ID_FILE_SAVE, "save"},
    {ID_APP_ABOUT, "about"},
    {ID_PLAYLIST_NEW, "playlist_new"},
    {ID_PLAYLIST_OPEN, "playlist_open"},
    {ID_PLAYLIST_EDIT, "playlist_edit"},
    {ID_PLAYLIST_REPEAT, "playlist_repeat"},
    {ID_PLAY, "play"},
    {ID_STOP, "stop"},
    {ID_PAUSE, "pause"},
    {ID_RECORD, "record"},
    {ID_FIRST, "first"},
    {ID_REVERSE, "reverse"},
    {ID_FORWARD, "forward"},
    {ID_LAST, "last"},
    {ID_SELECTION_FROM, "selection_from"},
    {ID_SELECTION_TO, "selection_to"},
    {ID_SELECTION_USE, "selection_use"},
    {ID_FILE_CLOSE, "close"},
    {ID_REPEAT_SONG, "repeat_song"},
}};

// The main window's form: the one template needed before the window shows.
constexpr std::string_view kFormTemplateFile = "form_view.xrc";

// The window's own icons, for its title bar and the window switcher. Launchers and docks show
// the larger sizes from the icon theme, through the desktop entry; as window properties they
// would cost the program and the X server megabytes.
constexpr std::array<int, 5> kIconSizes{16, 24, 32, 48, 64};

// Handlers for the classes the templates use, and no others: wx would otherwise make every
// handler it has at start, each with its table of style names.
void AddTemplateHandlers(wxXmlResource& xrc) {
  xrc.AddHandler(new wxDialogXmlHandler);  // wx owns its handlers
  xrc.AddHandler(new wxPanelXmlHandler);
  xrc.AddHandler(new wxButtonXmlHandler);
  xrc.AddHandler(new wxCheckBoxXmlHandler);
  xrc.AddHandler(new wxRadioButtonXmlHandler);
  xrc.AddHandler(new wxChoiceXmlHandler);
  xrc.AddHandler(new wxListBoxXmlHandler);
  xrc.AddHandler(new wxSliderXmlHandler);
  xrc.AddHandler(new wxGaugeXmlHandler);
  xrc.AddHandler(new wxTextCtrlXmlHandler);
  xrc.AddHandler(new wxStaticTextXmlHandler);
  xrc.AddHandler(new wxStaticBoxXmlHandler);
  xrc.AddHandler(new wxStaticBitmapXmlHandler);
  xrc.AddHandler(new wxUnknownWidgetXmlHandler);
}

}  // namespace

void RegisterDialogIds() {
#define BW_REGISTER_DIALOG_ID(name, value) wxXmlResource::GetXRCID(#name, value);
  BW_DIALOG_IDS(BW_REGISTER_DIALOG_ID)
#undef BW_REGISTER_DIALOG_ID
}

fs::path ResourceDir() {
  if (const fs::path installed = InstalledDir(); HoldsResources(installed)) return installed;
  if (const fs::path source(BW_SOURCE_RESOURCE_DIR); HoldsResources(source)) return source;
  return {};
}

namespace {

// Parses dialogs/`file` once; every other file of dialogs/ when `file` is empty. False, after
// the message, when the folder or a file cannot be read.
bool LoadTemplates(std::string_view file) {
  static std::set<std::string, std::less<>> loaded;
  static bool ready = false;
  if (!ready) {
    RegisterDialogIds();
    AddTemplateHandlers(*wxXmlResource::Get());
    ready = true;
  }
  const fs::path dir = ResourceDir();
  bool ok = !dir.empty();
  if (ok) {
    wxLogNull quiet;  // a broken file is reported below, once
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir / "dialogs", ec)) {
      const std::string name = entry.path().filename().string();
      if (entry.path().extension() != ".xrc" || loaded.contains(name) ||
          (!file.empty() && name != file))
        continue;
      if (!wxXmlResource::Get()->Load(wxString::FromUTF8(entry.path().string()))) {
        ok = false;
        continue;
      }
      loaded.insert(name);
    }
    ok = ok && !ec && (file.empty() || loaded.contains(file));
  }
  if (!ok) {
    const fs::path where = dir.empty() ? InstalledDir() : dir / "dialogs";
    ShowMessageBox("The dialog templates could not be loaded from " + where.string() + ".",
                   kProgramCaption, kMbOk | kMbIconError);
  }
  return ok;
}

}  // namespace

bool LoadFormTemplate() {
  return LoadTemplates(kFormTemplateFile);
}

bool LoadDialogTemplates() {
  static bool loaded = false;
  if (!loaded) loaded = LoadTemplates({});
  return loaded;
}

wxBitmap LoadPicture(std::string_view file) {
  if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr)
    wxImage::AddHandler(std::make_unique<wxPNGHandler>().release());  // wx owns its handlers
  const fs::path dir = ResourceDir();
  if (dir.empty()) return {};
  const fs::path path = dir / "pictures" / file;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return {};
  wxLogNull quiet;
  // Read by wx's own PNG reader: GDK's would first guess each file's type from the system's
  // MIME database, which costs ten times what decoding a toolbar picture does.
  wxImage image;
  if (!image.LoadFile(wxString::FromUTF8(path.string()), wxBITMAP_TYPE_PNG)) return {};
  return wxBitmap(image);
}

wxIconBundle ProgramIcons() {
  wxIconBundle icons;
  for (int size : kIconSizes) {
    const wxBitmap bitmap = LoadPicture("brookwave_" + std::to_string(size) + ".png");
    if (!bitmap.IsOk()) continue;
    wxIcon icon;
    icon.CopyFromBitmap(bitmap);
    icons.AddIcon(icon);
  }
  return icons;
}

wxBitmap ToolbarBitmap(int command_id, bool large) {
  for (const ToolbarPicture& picture : kToolbarPictures) {
    if (picture.command_id == command_id)
      return LoadPicture((large ? "tb24_" : "tb16_") + std::string(picture.name) + ".png");
  }
  return {};
}

wxBitmap BackgroundTile() {
  return LoadPicture("bitmap171.png");
}

wxBitmap AboutPicture(double scale) {
  return LoadPicture(scale >= 1.125 ? "bitmap163_60.png" : "bitmap163_48.png");
}

wxBitmap ArrowIcon(bool up) {
  return LoadPicture(up ? "icon157.png" : "icon158.png");
}

}  // namespace bw::res
