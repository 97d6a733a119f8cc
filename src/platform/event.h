// Auto-reset events and a wait for any of several, the hand-over between the sound devices,
// the commands on the user-interface thread and the playback and capture worker threads.
//
// Threads: any thread may Set, Reset or Close an event; the worker threads wait with
// WaitForAny. Events are shared (std::shared_ptr): whoever stops a stream closes its events and
// drops its handles, while a worker that still holds copies can wait on them safely; a closed
// event makes every wait on it fail at once, waiters already blocked included, so a worker
// never hangs on the events of a stopped stream.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <span>

namespace bw {

class Event {
 public:
  // A new auto-reset event, not signalled.
  static std::shared_ptr<Event> Create();

  // Signals the event: one waiter is released and the event resets itself; with nobody
  // waiting it stays signalled until a wait takes it. False when the event is closed.
  bool Set();
  // Like Set, for signals the virtual sound device counts until a worker has handled them
  // (WaitUntilSignalsHandled).
  bool SetTracked();
  // Clears a pending signal. False when the event is closed.
  bool Reset();
  // Closes the event: pending and future waits on it fail, Set and Reset fail.
  void Close();
  bool IsClosed() const;

  // Only through Create: events are always shared.
  struct CreateKey {
   private:
    CreateKey() = default;
    friend class Event;
  };
  explicit Event(CreateKey) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  ~Event();

 private:
  friend class EventHub;

  bool signalled_ = false;
  bool tracked_ = false;  // the pending signal came from SetTracked
  bool closed_ = false;
};

using EventHandle = std::shared_ptr<Event>;

// Results of WaitForAny besides the index of the event taken.
inline constexpr int kWaitFailed = -1;   // an event is closed or missing (null handle)
inline constexpr int kWaitTimeout = -2;  // only with a time limit

// Blocks until one of `events` is signalled and returns its index, taking its signal (the
// lowest index wins when several are signalled). Fails with kWaitFailed when the list is
// empty, when a handle is null, or when any of the events is or becomes closed.
// Without `timeout` it waits for as long as it takes.
int WaitForAny(std::span<const EventHandle> events,
               std::optional<std::chrono::milliseconds> timeout = std::nullopt);

// Stepping support for the virtual sound device: a thread that took a tracked signal is busy
// with it until it waits again or ends. Work tokens mark other work in progress (a Lock not
// yet unlocked). WaitUntilSignalsHandled returns true once no tracked signal is pending, no
// thread is busy with one and no work token is held; false when `timeout` passed first. The
// calling thread itself counts as done with any signal it took.
void BeginTrackedWork();
void EndTrackedWork();
bool WaitUntilSignalsHandled(std::chrono::milliseconds timeout);

}  // namespace bw
