// The view's core on a headless window, for the commands that play files (render, play). The
// core is set up as at start-up, with the settings' defaults, and shows its messages on stderr.
// Used on the command's thread only.
#pragma once

#include <atomic>
#include <csignal>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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

// Ctrl+C as a flag that also wakes the player's wait for messages, so that a command's loop
// can sleep until its next real event. SIGINT is blocked while it lives, in the threads started
// meanwhile too (one of them would otherwise take the signal and end the process): make it
// before anything starts a thread. Used on the command's thread only.
class InterruptWatch {
 public:
  InterruptWatch();
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // While it lives, an interrupt also posts a null message to the window. It must go before the
  // window does (make it after the window): once it has gone, no post is under way.
  class Waking {
   public:
    ~Waking() { watch_.PostTo(nullptr); }
    Waking(const Waking&) = delete;
    Waking& operator=(const Waking&) = delete;

   private:
    friend class InterruptWatch;
    Waking(InterruptWatch& watch, HeadlessWindow& window) : watch_(watch) {
      watch_.PostTo(&window);
    }
    InterruptWatch& watch_;
  };

  [[nodiscard]] Waking Wake(HeadlessWindow& window) { return Waking(*this, window); }
  bool interrupted() const { return interrupted_; }

 private:
  void Watch();
  void PostTo(HeadlessWindow* window);

  sigset_t old_mask_;
  std::mutex window_mutex_;  // held while posting, so the window cannot go meanwhile
  HeadlessWindow* window_ = nullptr;
  std::atomic<bool> interrupted_{false};
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

// "auto", "pulse", "portaudio", "null" or "virtual" (--backend); false for anything else.
bool ParseBackend(std::string_view name, SoundBackend* backend);

// "v1,v2,...": exactly `count` integers within [min, max]; false for anything else.
bool ParseIntegerList(const std::string& text, std::size_t count, int64_t min, int64_t max,
                      std::vector<int64_t>& values);

}  // namespace bw::cli
