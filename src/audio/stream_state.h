// The stream-state record: the one record the view owns for its whole life, shared by playback,
// capture and the commands. It holds the busy flags every enable rule reads, the error word,
// the selection, the working values of both settings records, the play list state, the two
// work buffers, and the playback and capture sides.
//
// Threads: the user-interface thread owns it. The playback and capture threads read and write
// only the atomic words below (and the parts their stream lends them while they run; see
// playback_stream.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/capture_stream.h"
#include "audio/playback_stream.h"
#include "audio/zeroed_buffer.h"
#include "platform/message_target.h"
#include "settings/working_settings.h"

namespace bw {

struct StreamState {
  explicit StreamState(PlaybackControls& controls)
      : playback(*this, controls), capture(*this, controls) {}

  // Clears the flags, the selection, the play list state and the error word (the initial
  // update does this with the working values set to their defaults).
  void ClearFlags();

  // Busy flags.
  std::atomic<int32_t> fileOpen{0};           // a source is open for playback
  std::atomic<int32_t> recordTargetReady{0};  // File New prepared a record target
  std::atomic<int32_t> paused{0};
  std::atomic<int32_t> converting{0};
  std::atomic<int32_t> playing{0};
  std::atomic<int32_t> recording{0};

  // Playback hand-over: the thread stops the buffer and ends at its next wake-up; the last
  // block of the data has been written.
  std::atomic<int32_t> haltRequested{0};
  std::atomic<int32_t> endOfData{0};

  // The last error: 0, or a negative code of the command or thread that failed.
  std::atomic<int32_t> lastError{0};

  // The selection on the position slider, in source data bytes.
  std::atomic<uint32_t> selectionStart{0};
  std::atomic<uint32_t> selectionEnd{0};
  std::atomic<int32_t> selectionSet{0};   // 1 when selectionEnd != selectionStart
  std::atomic<int32_t> selectionPlay{0};  // play only the selection

  PlaySettingsValues playSettings;
  RecordSettingsValues recordSettings;

  // The play list state (user-interface thread only).
  std::string playListPath;
  int32_t playListOpen = 0;
  int32_t playListInUse = 0;
  uint32_t playListCount = 0;
  uint32_t playListIndex = 0;
  int32_t playListNamed = 0;  // playListPath was given at start-up: Open PlayList asks nothing

  // Import's temporary WAVE file, named once at the initial update.
  std::string importTempPath;

  // The two work buffers, lent to whichever stream or command runs; their pages become
  // resident once a stream uses them.
  ZeroedBuffer pcmBlock = ZeroedBuffer(kWorkBufferBytes);
  ZeroedBuffer codedBlock = ZeroedBuffer(kWorkBufferBytes);

  // Where the worker threads post their messages.
  MessageTarget* viewWindow = nullptr;

  PlaybackStream playback;
  CaptureStream capture;
};

}  // namespace bw
