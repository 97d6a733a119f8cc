// How a start of the program finds an instance that already runs and hands over to it, over
// the session bus: the running instance is the owner of "org.mpris.MediaPlayer2.brookwave"
// (its MprisService). This replaces the walk over top-level windows that carry the frame's
// window property.
//
// Threads: called on the UI thread during start-up, before this process starts its own
// MprisService (else it would find itself). Every call blocks for at most a few seconds: a
// running instance that hangs cannot hold this start up.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace bw {

class RunningInstance {
 public:
  // The instance that holds the well-known name; nullptr when none runs or there is no session
  // bus (then `error`, when given, says why; it stays empty when simply nobody runs).
  static std::unique_ptr<RunningInstance> Find(std::string* error = nullptr);
  ~RunningInstance();
  RunningInstance(const RunningInstance&) = delete;
  RunningInstance& operator=(const RunningInstance&) = delete;

  // Each asks the instance over the bus; false (and `error`) when it did not answer.
  bool Raise(std::string* error = nullptr);
  // A close request: an instance that is busy stops instead and keeps running.
  bool Quit(std::string* error = nullptr);
  // Hands `file` over to be opened there; a relative path is taken from this process's
  // current folder, since the other instance has its own.
  bool Open(const std::filesystem::path& file, std::string* error = nullptr);

  // Waits until the instance has given up the well-known name (it ended, or at least its
  // remote control did), at most `limit`; true when it has.
  bool WaitUntilGone(std::chrono::milliseconds limit);

  // The instance's unique bus name (":1.42"), to which every call goes.
  const std::string& unique_name() const;

 private:
  struct Client;
  explicit RunningInstance(std::unique_ptr<Client> client);
  std::unique_ptr<Client> client_;
};

// A start with a file argument and an instance already running: the file is opened there and
// that window raised, as users expect of a desktop program. True when the running instance
// took the file (this start then ends); false when none runs or it did not answer (this start
// then opens the file itself).
bool HandFileToRunningInstance(const std::filesystem::path& file);

// PlaySettings.MultiMode toward an instance that already runs, for a start that goes on
// running: 0 (Single) asks it to quit and waits briefly until it is gone, so that this start
// takes over the well-known name; any other value (Multi) raises it, and both keep running.
void ApplyMultiMode(int32_t multi_mode);

}  // namespace bw
