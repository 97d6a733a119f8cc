// The play list editor's list: what CPlayListEditor (the desktop's dialog, a file browser with a
// list of entries beside it) shows and edits, without any widget. The dialog forwards its
// buttons to the On... handlers and redraws the list from Entries() and Selection().
//
// One model lives as long as the view. Each run of the editor: the view names the play list file
// (SetPlayListFile), the dialog calls OnInitDone once it is up (the list is filled from the
// file), the user edits, and either Use List posts WM_PLAYLIST_EDITED to the view, which writes
// the file and closes the dialog, or the user cancels. The model itself never writes the file,
// so Cancel leaves it as it was.
//
// Threads: user-interface thread only. Questions and failures are shown through
// ShowMessageBox.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_target.h"

namespace bw {

class PlayListEditorModel {
 public:
  // `view` receives WM_PLAYLIST_EDITED; it outlives the model.
  explicit PlayListEditorModel(MessageTarget& view) : m_pView(&view) {}

  // The play list file of the next run (the view's playListPath).
  void SetPlayListFile(std::string path) { m_strPlayListFile = std::move(path); }
  const std::string& PlayListFile() const { return m_strPlayListFile; }

  // The dialog is up: the file result goes back to "stay open" and the list is filled with
  // every line of the play list file, empty ones included. False, after the file error
  // message, when the file cannot be opened for reading and writing (the list is then empty).
  bool OnInitDone();

  const std::vector<std::string>& Entries() const { return m_entries; }
  // The selected entry, if any. Select ignores an index past the list.
  std::optional<std::size_t> Selection() const { return m_selection; }
  void Select(std::optional<std::size_t> index);

  // Add: appends `path`, the file selected in the browser; with nothing selected (an empty
  // path) nothing is added. An entry a play list cannot hold (longer than a path, or with a
  // line break) is refused with "Unable to Add file %s\n". True when appended.
  bool OnAdd(const std::string& path);
  // A double-click on a file or Enter in the browser: as Add; returns what the dialog's file
  // check answers: -1 keeps the dialog open, 0 (after Use List) lets it close.
  int OnFileNameOK(const std::string& path);
  // Add All: asks "Are you sure you want to Add all *.wav files?" and on Yes appends
  // `folder`/name for every "*.wav" in `folder` (the extension in any case), in the order the
  // file system lists them. Nothing is filtered and duplicates are allowed. The first name the
  // list refuses is reported and ends the adding.
  void OnAddAll(const std::filesystem::path& folder);
  // Delete: removes the selected entry; nothing is selected afterwards.
  void OnDelete();
  void OnClearList();
  // Move Up / Move Down: the selected entry changes places with its neighbour and stays
  // selected. The first entry does not move up, nor the last one down.
  void OnMoveUp();
  void OnMoveDown();
  // Use List: with at least one entry, posts WM_PLAYLIST_EDITED (1, 0) to the view and lets
  // the dialog close; an empty list is ignored. True when posted.
  bool OnUseList();

  int FileOkResult() const { return m_nFileOkResult; }

 private:
  bool Append(const std::string& entry, const std::string& shownName);
  void MoveSelected(bool up);

  MessageTarget* m_pView;
  std::string m_strPlayListFile;
  std::vector<std::string> m_entries;
  std::optional<std::size_t> m_selection;
  int m_nFileOkResult = -1;
};

}  // namespace bw
