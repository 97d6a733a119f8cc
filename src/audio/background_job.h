// One job at a time on a thread of its own, for work that overlaps with its owner's: the owner
// hands a job over with Start and, before it touches what the job works on, waits for it with
// Wait. The thread ends with the object, after the job in hand.
//
// A hand-over in either direction first spins for a short while before it sleeps: jobs follow
// each other closely, and a thread woken from sleep starts a good many microseconds late.
//
// Threads: one owner thread at a time calls Start and Wait (a hand-over to another owner must
// be ordered by other means); the job runs on the object's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/thread_name.h"

namespace bw {

class BackgroundJob {
 public:
  // Starts the thread, named `name` (see NameThisThread); throws std::system_error when none
  // can be had.
  explicit BackgroundJob(std::string_view name)
      : thread_([this, name = std::string(name)] {
          NameThisThread(name);
          Run();
        }) {}
  ~BackgroundJob() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  // Hands `job` over; the one before must have been waited for.
  void Start(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      job_ = std::move(job);
      busy_ = true;
    }
    changed_.notify_all();
  }

  // Returns once the job handed over last has run (at once if there is none).
  void Wait() {
    WaitFor(mutex_, changed_, [this] { return !busy_.load(std::memory_order_acquire); });
  }

  // Spins, then sleeps on `changed`, until `done` holds: for waits of the owner's own on what a
  // job hands over. `done` must read only atomics, since the spin reads it without `mutex`.
  template <typename Done>
  static void WaitFor(std::mutex& mutex, std::condition_variable& changed, Done done) {
    SpinWhile([&] { return !done(); });
    std::unique_lock lock(mutex);
    changed.wait(lock, done);
  }

 private:
  static constexpr std::chrono::microseconds kSpin{200};

  // It yields the core on each turn: on a machine with few cores the thread it waits for may
  // need it.
  template <typename Predicate>
  static void SpinWhile(Predicate&& still) {
    const auto until = std::chrono::steady_clock::now() + kSpin;
    while (still() && std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
  }

  void Run() {
    for (;;) {
      SpinWhile([this] { return !busy_.load(std::memory_order_acquire); });
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return quit_ || busy_; });
        if (!busy_) return;
        job = std::move(job_);
      }
      job();
      {
        std::lock_guard lock(mutex_);
        busy_ = false;
      }
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  std::atomic<bool> busy_ = false;  // from Start until the job has run
  bool quit_ = false;
  std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace bw
