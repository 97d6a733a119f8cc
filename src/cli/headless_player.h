// The view's core on a headless window, for the commands that play files (render, play). The
// core is set up as at start-up, with the settings' defaults, and shows its messages on stderr.
// Used on the command's thread only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_box.h"
#include "platform/profile_store.h"
#include "view/headless_window.h"
#include "view/view_core.h"

namespace bw::cli {

class HeadlessPlayer {
 public:
  HeadlessPlayer();
  HeadlessPlayer(const HeadlessPlayer&) = delete;
  HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

  // Opens `path` for playback (not playing it yet); false after the system's messages.
  bool Open(const std::string& path);
  // Opens the play list at `path` as at start-up, with AutoPlay on, so that its first entry
  // plays and each end of a song moves on. False when no play list was opened.
  bool OpenPlayList(const std::string& path);

  HeadlessWindow window;
  MemoryProfileStore profile;
  CBrookwaveViewCore core{window, profile};

 private:
  ScopedMessageSink sink_{&window};
};

// "auto", "pulse", "portaudio", "null" or "virtual" (--backend); false for anything else.
bool ParseBackend(std::string_view name, SoundBackend* backend);

// "v1,v2,...": exactly `count` integers within [min, max]; false for anything else.
bool ParseIntegerList(const std::string& text, std::size_t count, int64_t min, int64_t max,
                      std::vector<int64_t>& values);

}  // namespace bw::cli
