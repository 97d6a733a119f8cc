// The desktop program's resources: the dialog templates (XRC files in dialogs/) and the
// pictures (PNG files in pictures/, rendered from the SVG sources beside them).
//
// Called on the user-interface thread, after wx is initialised.
#pragma once

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

#include <filesystem>
#include <string_view>

namespace bw::res {

// The folder that holds dialogs/ and pictures/. An installed program finds them in
// <prefix>/share/brookwave beside its bin/ folder; a program run from the build tree finds
// the source tree's src/res. Empty when neither holds them.
std::filesystem::path ResourceDir();

// Register the fixed control numbers and load dialog templates, each once: the main window's
// form alone (what the window needs to show), or every template. False, after a message box
// that names the folder looked in, when the templates cannot be loaded; the dialogs then
// refuse to open.
bool LoadFormTemplate();
bool LoadDialogTemplates();

// A picture of pictures/ by file name ("bitmap163.png"); an invalid bitmap when it is missing.
wxBitmap LoadPicture(std::string_view file);

// The program's icon in every size drawn (16 to 256 pixels).
wxIconBundle ProgramIcons();

// The toolbar image of a command of the main or the Play toolbar: 16 x 15 pixels, or 24 x 24
// when `large` (screens with large fonts). Invalid for a command without a button.
wxBitmap ToolbarBitmap(int command_id, bool large);

// Bitmap 171, the 64 x 64 tile of the form's background.
wxBitmap BackgroundTile();
// Bitmap 163, the about box's picture, drawn for a screen whose fonts are `scale` times the
// 96 dpi size (1.25 on a 120 dpi screen).
wxBitmap AboutPicture(double scale);
// Icons 157 and 158: the play list editor's arrows, 32 x 32.
wxBitmap ArrowIcon(bool up);

}  // namespace bw::res
