// One job at a time on a thread of its own, for work that overlaps with its owner's: the owner
// hands a job over with Start and, before it touches what the job works on, waits for it with
// Wait. The thread ends with the object, after the job in hand.
//
// Threads: one owner thread calls Start and Wait; the job runs on the object's thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace bw {

class BackgroundJob {
 public:
  // Starts the thread; throws std::system_error when none can be had.
  BackgroundJob() : thread_([this] { Run(); }) {}
  ~BackgroundJob() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    handed_over_.notify_one();
    thread_.join();
  }
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  // Hands `job` over; the one before must have been waited for.
  void Start(std::function<void()> job) {
    {
      std::lock_guard lock(mutex_);
      job_ = std::move(job);
    }
    handed_over_.notify_one();
  }

  // Returns once the job handed over last has run (at once if there is none).
  void Wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !job_; });
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      handed_over_.wait(lock, [this] { return quit_ || job_; });
      if (!job_) return;
      // Start and Wait leave job_ alone while it is set, so it runs unlocked.
      lock.unlock();
      job_();
      lock.lock();
      job_ = nullptr;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable handed_over_;
  std::condition_variable done_;
  std::function<void()> job_;  // set from Start until it has run
  bool quit_ = false;
  std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace bw
