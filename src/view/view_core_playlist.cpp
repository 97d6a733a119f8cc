// The play list in use: opening a list, and the rules by which the end of a song and the First
// and Last commands move through it.
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
  if (!s.playListNamed) {
    s.playListPath.clear();
    FileDialogSpec dialog;
    dialog.title = "File Open PlayList";
    dialog.filters = {{"PlayList Files(*.plf)", "*.plf"}, {"All Files", "*.*"}};
    dialog.default_extension = "plf";
    dialog.overwrite_prompt = true;
    dialog.create_prompt = true;
    const std::optional<std::string> chosen = m_window.RunFileDialog(dialog);
    if (!chosen) {
      Message("Please choose a file\r\nOr Type a New FileName");
      return;
    }
    s.playListPath = *chosen;
  }
  std::vector<std::string> entries;
  if (ReadPlayListFile(s.playListPath, entries) != PlayListReadResult::kRead || entries.empty())
    return;
  m_playListEntries = std::move(entries);
  s.playListOpen = 1;
  s.playSettings.RepeatPlayList = 0;
  s.playListCount = static_cast<uint32_t>(m_playListEntries.size());
  s.playListIndex = 0;
  LoadListEntry(0, "StreamBufferSetupPlay Failed");
  if (s.playSettings.AutoPlay == 1) {
    s.playListInUse = 1;
    OnPlay();
  }
  s.playListNamed = 0;
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
    // At the end of the list the last entry stays loaded, unless the list repeats.
    if (s.playSettings.RepeatPlayList != 1) return;
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
  OnFileClose();
  s.playListIndex = index;
  s.playback.playPath = index < m_playListEntries.size() ? m_playListEntries[index] : "";
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
