#include "platform/event.h"

#include <condition_variable>
#include <mutex>

namespace bw {

// All events share one lock and one condition variable for the threads that wait on them. Only
// a handful of threads ever wait (the playback and capture workers), so a wake-up of all of them
// on each signal costs nothing, and waiting on several events at once needs no per-waiter
// records. A stepping driver waits on a condition variable of its own, woken only once the
// workers are done: a wake-up at every step of theirs would take the processor from them.
class EventHub {
 public:
  static EventHub& Get() {
    static EventHub hub;
    return hub;
  }

  bool Set(Event& e, bool tracked) {
    std::lock_guard lock(mutex_);
    if (e.closed_) return false;
    if (tracked && !(e.signalled_ && e.tracked_)) {
      e.tracked_ = true;
      ++tracked_pending_;
    }
    e.signalled_ = true;
    changed_.notify_all();
    return true;
  }

  bool Reset(Event& e) {
    std::lock_guard lock(mutex_);
    if (e.closed_) return false;
    ClearLocked(e);
    return true;
  }

  void Close(Event& e) {
    std::lock_guard lock(mutex_);
    ClearLocked(e);
    e.closed_ = true;
    changed_.notify_all();
  }

  // A dropped event takes its pending signal with it.
  void Discard(Event& e) {
    std::lock_guard lock(mutex_);
    ClearLocked(e);
  }

  bool IsClosed(const Event& e) {
    std::lock_guard lock(mutex_);
    return e.closed_;
  }

  int WaitForAny(std::span<const EventHandle> events,
                 std::optional<std::chrono::milliseconds> timeout) {
    std::unique_lock lock(mutex_);
    FinishTrackedWorkLocked();
    const auto deadline =
        std::chrono::steady_clock::now() + timeout.value_or(std::chrono::hours(0));
    for (;;) {
      const int taken = TakeLocked(events);
      if (taken != kNothingSignalled) return taken;
      if (!timeout) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
        const int last = TakeLocked(events);
        return last == kNothingSignalled ? kWaitTimeout : last;
      }
    }
  }

  void BeginWork() {
    std::lock_guard lock(mutex_);
    ++work_tokens_;
  }

  void EndWork() {
    std::lock_guard lock(mutex_);
    if (work_tokens_ > 0) --work_tokens_;
    NotifyIfHandledLocked();
  }

  bool WaitUntilHandled(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    FinishTrackedWorkLocked();  // a thread that waits for the others is done with its own
    return handled_.wait_for(lock, timeout, [this] { return HandledLocked(); });
  }

  // A thread that took a tracked signal is busy until its next wait or its end.
  void FinishTrackedWork() {
    std::lock_guard lock(mutex_);
    FinishTrackedWorkLocked();
  }

 private:
  static constexpr int kNothingSignalled = -3;

  struct ThreadState {
    bool busy = false;
    ~ThreadState() {
      if (busy) EventHub::Get().FinishTrackedWork();
    }
  };
  static ThreadState& ThisThread() {
    thread_local ThreadState state;
    return state;
  }

  int TakeLocked(std::span<const EventHandle> events) {
    if (events.empty()) return kWaitFailed;
    for (const EventHandle& e : events) {
      if (!e || e->closed_) return kWaitFailed;
    }
    for (std::size_t i = 0; i < events.size(); ++i) {
      Event& e = *events[i];
      if (!e.signalled_) continue;
      if (e.tracked_) {
        ThisThread().busy = true;
        ++busy_threads_;
      }
      ClearLocked(e);
      return static_cast<int>(i);
    }
    return kNothingSignalled;
  }

  void ClearLocked(Event& e) {
    if (e.signalled_ && e.tracked_) --tracked_pending_;
    e.signalled_ = false;
    e.tracked_ = false;
    NotifyIfHandledLocked();
  }

  void FinishTrackedWorkLocked() {
    ThreadState& state = ThisThread();
    if (!state.busy) return;
    state.busy = false;
    --busy_threads_;
    NotifyIfHandledLocked();
  }

  bool HandledLocked() const {
    return tracked_pending_ == 0 && busy_threads_ == 0 && work_tokens_ == 0;
  }

  void NotifyIfHandledLocked() {
    if (HandledLocked()) handled_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;  // an event was signalled or closed
  std::condition_variable handled_;  // no tracked signal is pending or being handled
  int tracked_pending_ = 0;
  int busy_threads_ = 0;
  int work_tokens_ = 0;
};

std::shared_ptr<Event> Event::Create() {
  return std::make_shared<Event>(CreateKey{});
}

Event::~Event() {
  EventHub::Get().Discard(*this);
}

bool Event::Set() {
  return EventHub::Get().Set(*this, false);
}

bool Event::SetTracked() {
  return EventHub::Get().Set(*this, true);
}

bool Event::Reset() {
  return EventHub::Get().Reset(*this);
}

void Event::Close() {
  EventHub::Get().Close(*this);
}

bool Event::IsClosed() const {
  return EventHub::Get().IsClosed(*this);
}

int WaitForAny(std::span<const EventHandle> events,
               std::optional<std::chrono::milliseconds> timeout) {
  return EventHub::Get().WaitForAny(events, timeout);
}

void BeginTrackedWork() {
  EventHub::Get().BeginWork();
}

void EndTrackedWork() {
  EventHub::Get().EndWork();
}

bool WaitUntilSignalsHandled(std::chrono::milliseconds timeout) {
  return EventHub::Get().WaitUntilHandled(timeout);
}

}  // namespace bw
