// The play list in use: the Playlist commands, the editor's Use List, and the rules by which the
// end of a song and the First and Last commands move through the list.
#include "playlist/playlist_file.h"
#include "view/view_core.h"

namespace bw {

void CBrookwaveViewCore::OpenStartupPlayList(const std::string& path) {
  m_stream.playListNamed = 1;
  m_stream.playListPath = path;
  OnPlayListOpen();
}

void CBrookwaveViewCore::OnPlayListOpen() {
  StreamState& s = m_stream;
  // A start-up path stands in for the dialog once: should that list fail to open, the next
  // Open PlayList asks again rather than retrying it silently for ever.
  const bool named = s.playListNamed != 0;
  s.playListNamed = 0;
  if (!named && !ChoosePlayListPath("File Open PlayList", "PlayList Files(*.plf)")) return;
  if (!PlayListFileExists(s.playListPath) || !CheckPlayListReadWrite(s.playListPath)) return;
  std::vector<std::string> entries;
  if (ReadPlayListFile(s.playListPath, entries) != PlayListReadResult::kRead || entries.empty())
    return;
  TakePlayList(std::move(entries), "StreamBufferSetupPlay Failed");
  AutoPlayPlayList();
}

void CBrookwaveViewCore::OnPlayListNew() {
  if (!ChoosePlayListPath("File New PlayList", "PlayList Files(.plf)")) return;
  if (CreatePlayListFileIfAbsent(m_stream.playListPath)) ShowPlayListEditor();
}

bool CBrookwaveViewCore::ChoosePlayListPath(std::string title, std::string filterLabel) {
  m_stream.playListPath.clear();
  FileDialogSpec dialog;
  dialog.title = std::move(title);
  dialog.filters = {{std::move(filterLabel), "*.plf"}, {"All Files", "*.*"}};
  dialog.default_extension = "plf";
  dialog.overwrite_prompt = true;
  dialog.create_prompt = true;
  const std::optional<std::string> chosen = m_window.RunFileDialog(dialog);
  if (!chosen) {
    Message("Please choose a file\r\nOr Type a New FileName");
    return false;
  }
  m_stream.playListPath = *chosen;
  return true;
}

void CBrookwaveViewCore::OnPlayListEdit() {
  if (PlayListFileExists(m_stream.playListPath)) ShowPlayListEditor();
}

void CBrookwaveViewCore::ShowPlayListEditor() {
  if (m_playListEditorShowing) return;
  m_playListEditor.SetPlayListFile(m_stream.playListPath);
  m_playListEditorShowing = true;
  m_window.RunPlayListEditor(m_playListEditor);
  m_playListEditorShowing = false;
}

void CBrookwaveViewCore::OnPlayListClose() {
  StreamState& s = m_stream;
  s.playListOpen = 0;
  s.playListInUse = 0;
  s.playSettings.RepeatPlayList = 0;
  s.playListIndex = 0;
  s.playListCount = 0;
  OnFileClose();
}

void CBrookwaveViewCore::OnPlayListInUse() {
  int32_t& inUse = m_stream.playListInUse;
  if (inUse == 0 || inUse == 1) inUse = 1 - inUse;
}

void CBrookwaveViewCore::OnPlayListRepeat() {
  ToggleFlag(m_stream.playSettings.RepeatPlayList);
}

void CBrookwaveViewCore::OnAutoPlay() {
  ToggleFlag(m_stream.playSettings.AutoPlay);
}

LRESULT CBrookwaveViewCore::OnPlayListEdited() {
  StreamState& s = m_stream;
  OnSelectionClear();
  const std::vector<std::string>& edited = m_playListEditor.Entries();
  // An empty list could never be in use; the editor does not hand one over.
  if (edited.empty() || !PlayListFileExists(s.playListPath)) return -1;
  if (!WritePlayListFile(s.playListPath, edited)) return -1;
  // A first entry that does not load leaves the editor open on the list.
  if (!TakePlayList(edited, "StreamBufferSetupPlay")) return -1;
  m_window.ClosePlayListEditor();
  AutoPlayPlayList();
  return 0;
}

bool CBrookwaveViewCore::TakePlayList(std::vector<std::string> entries, std::string_view failure) {
  StreamState& s = m_stream;
  m_playListEntries = std::move(entries);
  // Entries are found from the list's own folder even after another list path is chosen.
  m_playListFile = s.playListPath;
  s.playListOpen = 1;
  s.playSettings.RepeatPlayList = 0;
  s.playListCount = static_cast<uint32_t>(m_playListEntries.size());
  s.playListIndex = 0;
  return LoadListEntry(0, failure);
}

void CBrookwaveViewCore::AutoPlayPlayList() {
  if (m_stream.playSettings.AutoPlay != 1) return;
  m_stream.playListInUse = 1;
  OnPlay();
}

void CBrookwaveViewCore::PutPlayListInUse() {
  if (m_stream.playSettings.AutoPlay == 1 && m_stream.playListOpen == 1) m_stream.playListInUse = 1;
}

void CBrookwaveViewCore::TakePlayListOutOfUse() {
  m_stream.playListInUse = 0;
}

void CBrookwaveViewCore::PlayNextListEntry() {
  StreamState& s = m_stream;
  s.playListOpen = 1;
  uint32_t index = s.playListIndex + 1;
  if (index >= s.playListCount) {
    // The sequence ends on its last entry, which stays loaded and the list in use; the
    // transport stops as at the end of any song, so the window no longer reads "Playing" and
    // the volume ramp ends.
    if (s.playSettings.RepeatPlayList != 1) {
      StopTransport();
      return;
    }
    index = 0;
  }
  if (LoadListEntry(index, "StreamBufferSetupPlay")) OnPlay();
}

void CBrookwaveViewCore::LoadPreviousListEntry() {
  const StreamState& s = m_stream;
  uint32_t index = s.playListIndex;
  if (index > 0)
    --index;
  else if (s.playSettings.RepeatPlayList == 1)
    index = s.playListCount - 1;
  if (LoadListEntry(index, "StreamBufferSetupPlay Failed") && s.playSettings.AutoPlay == 1)
    OnPlay();
}

void CBrookwaveViewCore::LoadNextListEntry() {
  const StreamState& s = m_stream;
  uint32_t index = s.playListIndex + 1;
  if (index >= s.playListCount) index = s.playSettings.RepeatPlayList == 1 ? 0 : index - 1;
  if (LoadListEntry(index, "StreamBufferSetupPlay Failed") && s.playSettings.AutoPlay == 1)
    OnPlay();
}

bool CBrookwaveViewCore::LoadListEntry(uint32_t index, std::string_view failure) {
  StreamState& s = m_stream;
  // Closing the open file would end the recording: the list waits for its Stop.
  if (s.recordTargetReady) return false;
  OnFileClose();
  s.playListIndex = index;
  s.playback.playPath = index < m_playListEntries.size()
                            ? PlayListEntryPath(m_playListFile, m_playListEntries[index])
                            : "";
  s.fileOpen = 1;
  s.lastError = s.playback.PreparePlayback(s.playback.playPath);
  if (s.lastError != 0) {
    Message(failure);
    s.fileOpen = 0;
    return false;
  }
  FinishOpen();
  return true;
}

}  // namespace bw
