#include "cli/headless_player.h"

#include <pthread.h>

#include <charconv>
#include <cstdio>

#include "platform/thread_name.h"

namespace bw::cli {

HeadlessPlayer::HeadlessPlayer() {
  window.Attach(&core);
  window.onMessage = [](const HeadlessWindow::ShownMessage& m) {
    std::fprintf(stderr, "%s\n", m.text.c_str());
  };
  core.OnInitialUpdate();
  // The command decides when to play.
  core.stream().playSettings.AutoPlay = 0;
}

bool HeadlessPlayer::Open(const std::string& path) {
  core.stream().playback.playPath = path;
  return core.OnPlayFileChosen(1) == 0;
}

bool HeadlessPlayer::OpenPlayList(const std::string& path) {
  core.stream().playSettings.AutoPlay = 1;
  core.OpenStartupPlayList(path);
  return core.stream().playListOpen == 1;
}

namespace {

// The signal that ends the watch; blocked with SIGINT so that only the watch takes it.
constexpr int kEndWatch = SIGUSR2;

sigset_t WatchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, kEndWatch);
  return set;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  const sigset_t set = WatchedSignals();
  pthread_sigmask(SIG_BLOCK, &set, &old_mask_);
  thread_ = std::thread([this] { Watch(); });
}

InterruptWatch::~InterruptWatch() {
  ending_ = true;
  pthread_kill(thread_.native_handle(), kEndWatch);
  thread_.join();
  pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

void InterruptWatch::Watch() {
  NameThisThread("bw signals");
  const sigset_t set = WatchedSignals();
  while (!ending_) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0 || signal != SIGINT) continue;
    interrupted_ = true;
    const std::lock_guard lock(window_mutex_);
    if (window_) window_->PostMessage(0, 0, 0);
  }
}

void InterruptWatch::PostTo(HeadlessWindow* window) {
  const std::lock_guard lock(window_mutex_);
  window_ = window;
}

bool ParseBackend(std::string_view name, SoundBackend* backend) {
  constexpr struct {
    std::string_view name;
    SoundBackend backend;
  } kNames[] = {{"auto", SoundBackend::kAuto},
                {"pulse", SoundBackend::kPulse},
                {"portaudio", SoundBackend::kPortAudio},
                {"null", SoundBackend::kNull},
                {"virtual", SoundBackend::kVirtual}};
  for (const auto& n : kNames) {
    if (n.name == name) {
      *backend = n.backend;
      return true;
    }
  }
  return false;
}

bool ParseIntegerList(const std::string& text, std::size_t count, int64_t min, int64_t max,
                      std::vector<int64_t>& values) {
  values.clear();
  const char* at = text.data();
  const char* end = text.data() + text.size();
  while (values.size() < count) {
    int64_t v = 0;
    const auto [next, ec] = std::from_chars(at, end, v);
    if (ec != std::errc() || v < min || v > max) return false;
    values.push_back(v);
    at = next;
    if (values.size() < count) {
      if (at == end || *at != ',') return false;
      ++at;
    }
  }
  return at == end;
}

}  // namespace bw::cli
