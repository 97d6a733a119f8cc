// A lock for a library whose reads and writes may run side by side on several threads but
// whose setup calls (open, start, close) must run alone: shared by the transfers, exclusive
// for the setup. A setup call waits for the transfers that run to end and holds new ones off
// meanwhile, so that transfers that follow one another without a pause on two threads cannot
// keep it waiting.
#pragma once

#include <condition_variable>
#include <mutex>

namespace bw {

class TransferGate {
 public:
  // Exclusive (BasicLockable, for std::lock_guard).
  void lock() {
    std::unique_lock hold(mutex_);
    changed_.wait(hold, [this] { return !exclusive_; });
    exclusive_ = true;
    changed_.wait(hold, [this] { return transfers_ == 0; });
  }
  void unlock() {
    {
      const std::lock_guard hold(mutex_);
      exclusive_ = false;
    }
    changed_.notify_all();
  }

  // Shared (for std::shared_lock).
  void lock_shared() {
    std::unique_lock hold(mutex_);
    changed_.wait(hold, [this] { return !exclusive_; });
    ++transfers_;
  }
  // False, at once, while a setup call runs or waits.
  bool try_lock_shared() {
    const std::lock_guard hold(mutex_);
    if (exclusive_) return false;
    ++transfers_;
    return true;
  }
  void unlock_shared() {
    {
      const std::lock_guard hold(mutex_);
      --transfers_;
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool exclusive_ = false;
  int transfers_ = 0;
};

}  // namespace bw
