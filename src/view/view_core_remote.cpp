// What other programs see of the view and the files they (or the user's drag and drop) hand it.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "convert/audio_import.h"
#include "platform/message_box.h"
#include "playlist/playlist_file.h"
#include "view/view_core.h"

namespace bw {
namespace {

int64_t Microseconds(uint64_t bytes, uint32_t avgBytesPerSec) {
  if (avgBytesPerSec == 0) return 0;
  return static_cast<int64_t>(bytes * 1'000'000 / avgBytesPerSec);
}

std::filesystem::path Absolute(const std::string& path) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? std::filesystem::path(path) : absolute;
}

}  // namespace

RemoteState CBrookwaveViewCore::DescribeForRemote() const {
  const StreamState& s = m_stream;
  RemoteState state;
  if (s.playing)
    state.status = RemotePlaybackStatus::kPlaying;
  else if (s.paused && s.fileOpen && !s.recording)  // the position slider holds playback
    state.status = RemotePlaybackStatus::kPaused;
  if (s.fileOpen) {
    const uint32_t avg = PlaybackAvgBytes();
    // An import plays its temporary wrapper; other programs are shown the file imported.
    const bool imported = s.playback.playPath == s.importTempPath && !m_importedPath.empty();
    state.file = Absolute(imported ? m_importedPath : s.playback.playPath);
    state.length_us = Microseconds(s.playback.dataBytes, avg);
    state.position_us =
        Microseconds(static_cast<uint64_t>(std::max<int64_t>(m_position.pos, 0)), avg);
  }
  const int64_t span = m_volume.max - m_volume.min;
  state.volume = span > 0 ? static_cast<double>(m_volume.pos - m_volume.min) / span : 1.0;
  // Play's rule without its `playing` condition: clients send nothing, not even Stop, to a
  // player that says it cannot play.
  state.can_play = s.fileOpen && !s.converting && !s.recording && !s.recordTargetReady;
  // Pause never acts on playback.
  state.can_pause = false;
  state.can_go_next = QueryCommandState(ID_LAST)->enabled;
  state.can_go_previous = QueryCommandState(ID_FIRST)->enabled;
  return state;
}

void CBrookwaveViewCore::OpenFromOutside(const std::string& path) {
  StreamState& s = m_stream;
  if (s.recording || s.recordTargetReady || s.converting || IsRunningCommand()) {
    Message(path + " was not opened: stop the recording or the conversion first.",
            kMbOk | kMbIconExclamation);
    return;
  }
  if (s.playing) OnStop();
  if (NamesPlayList(path)) {
    OpenStartupPlayList(path);
    return;
  }
  if (IsImportableSoundFile(path)) {
    ImportOutsideFile(path);
    return;
  }
  OpenRecentPath(path);
}

void CBrookwaveViewCore::SetRemoteVolume(double volume) {
  const double share = std::clamp(volume, 0.0, 1.0);
  const int64_t position =
      m_volume.min + std::llround(share * static_cast<double>(m_volume.max - m_volume.min));
  OnHScroll(TB_THUMBPOSITION, position, IDC_VOLUME);
}

}  // namespace bw
