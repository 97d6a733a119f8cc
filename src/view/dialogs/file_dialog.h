// The file dialogs the view's commands ask for (File New, Save, Export, Import, the play list
// commands), as the window interface's RunFileDialog describes them.
//
// Called on the user-interface thread only.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "view/view_window.h"

class wxWindow;

namespace bw {

// Shows `dialog` over `parent`, starting in the user's home folder, and returns the full path
// the user confirmed, or nothing when cancelled. An open dialog that may create its file
// (create_prompt) lets the user type a new name. The rules of ConfirmFileDialog apply.
std::optional<std::string> RunFileDialog(wxWindow* parent, const FileDialogSpec& dialog);

// Shows the file browser in `folder` with `name` filled in and returns what the user picked.
using FilePicker = std::function<std::optional<std::string>(const std::filesystem::path& folder,
                                                            const std::string& name)>;

// What happens once the user has named a file, apart from the browser itself:
//   - a name without an extension gets the default extension;
//   - a save dialog with overwrite_prompt asks before an existing file is replaced;
//   - an open dialog with create_prompt asks before a file that does not exist is named;
//   - file_must_exist refuses a name that does not exist, with a message.
// A "No" or a refusal shows the browser again on the name given. Questions and messages go
// through ShowMessageBox with the dialog's title as caption.
std::optional<std::string> ConfirmFileDialog(const FileDialogSpec& dialog, const FilePicker& pick,
                                             const std::filesystem::path& start_folder);

// `path` with "." and `extension` appended when its file name has no extension (and
// `extension` is not empty).
std::string WithDefaultExtension(std::string path, std::string_view extension);

}  // namespace bw
