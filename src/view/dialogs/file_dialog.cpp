#include "view/dialogs/file_dialog.h"

#include <wx/filedlg.h>
#include <wx/utils.h>

#include <algorithm>
#include <system_error>

#include "platform/message_box.h"
#include "platform/user_folders.h"
#include "view/dialogs/wx_text.h"

#ifdef __WXGTK3__
#include <gtk/gtk.h>
#endif

namespace bw {
namespace {

namespace fs = std::filesystem;

std::string Wildcard(const FileDialogSpec& dialog) {
  std::string wildcard;
  for (const auto& [label, pattern] : dialog.filters) {
    if (!wildcard.empty()) wildcard += '|';
    wildcard += label + '|' + pattern;
  }
  return wildcard;
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

bool Ask(const FileDialogSpec& dialog, const std::string& text) {
  return ShowMessageBox(text, dialog.title, kMbYesNo | kMbIconExclamation) == kIdYes;
}

// True when the confirmed `path` may be returned; false to show the browser again.
bool Accept(const FileDialogSpec& dialog, const std::string& path) {
  const bool exists = Exists(path);
  const bool is_open = dialog.kind == FileDialogSpec::Kind::kOpen;
  if (!is_open && dialog.overwrite_prompt && exists)
    return Ask(dialog, path + " already exists.\nDo you want to replace it?");
  if (is_open && dialog.create_prompt && !exists)
    return Ask(dialog, path + "\nThis file does not exist.\nDo you want to create it?");
  if (dialog.file_must_exist && !exists) {
    ShowMessageBox(path + "\nFile not found.\nCheck the file name and try again.", dialog.title,
                   kMbOk | kMbIconExclamation);
    return false;
  }
  return true;
}

// Lets an open dialog shown as a save chooser (so that a new name can be typed) still read
// "Open" on its button.
void LabelAcceptButton([[maybe_unused]] wxFileDialog& chooser) {
#ifdef __WXGTK3__
  if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(chooser.GetHandle()),
                                                             GTK_RESPONSE_ACCEPT)) {
    gtk_button_set_label(GTK_BUTTON(button), "_Open");
  }
#endif
}

}  // namespace

std::string WithDefaultExtension(std::string path, std::string_view extension) {
  if (!extension.empty() && !fs::path(path).has_extension()) {
    path += '.';
    path += extension;
  }
  return path;
}

std::optional<std::string> ConfirmFileDialog(const FileDialogSpec& dialog, const FilePicker& pick,
                                             const fs::path& start_folder) {
  fs::path folder = start_folder;
  std::string name;
  for (;;) {
    const std::optional<std::string> picked = pick(folder, name);
    if (!picked || picked->empty()) return std::nullopt;
    const std::string path = WithDefaultExtension(*picked, dialog.default_extension);
    if (Accept(dialog, path)) return path;
    folder = fs::path(path).parent_path();
    name = fs::path(path).filename().string();
  }
}

std::optional<std::string> RunFileDialog(wxWindow* parent, const FileDialogSpec& dialog) {
  const bool typed_name = dialog.kind == FileDialogSpec::Kind::kSave || dialog.create_prompt;
  long style = typed_name ? wxFD_SAVE : (wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  const FilePicker pick = [&](const fs::path& folder,
                              const std::string& name) -> std::optional<std::string> {
    wxFileDialog chooser(parent, ToWx(dialog.title), PathToWx(folder.string()), PathToWx(name),
                         ToWx(Wildcard(dialog)), style);
    if (!dialog.filters.empty()) {
      const int count = static_cast<int>(dialog.filters.size());
      chooser.SetFilterIndex(std::clamp(dialog.filter_index, 1, count) - 1);
    }
    if (typed_name && dialog.kind == FileDialogSpec::Kind::kOpen) LabelAcceptButton(chooser);
    if (chooser.ShowModal() != wxID_OK) return std::nullopt;
    return PathFromWx(chooser.GetPath());
  };
  return ConfirmFileDialog(dialog, pick, fs::path(HomeFolder()));
}

}  // namespace bw
