// Completion signals. A worker waiting in a join probes a CoreLatch between jobs (one acquire
// load); a thread from outside the pool blocks on a LockLatch of its own.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace caustica::parallel::detail {

class CoreLatch {
 public:
  bool probe() const noexcept { return set_.load(std::memory_order_acquire); }
  // Orders everything the setter wrote before it ahead of a probe that sees it.
  void set() noexcept { set_.store(true, std::memory_order_release); }

 private:
  std::atomic<bool> set_{false};
};

class LockLatch {
 public:
  // Notifying under the lock: once the waiter sees the flag it may reuse or free the latch,
  // so the setter must be done with it by the time it unlocks.
  void set() noexcept {
    std::lock_guard lock(mutex_);
    set_ = true;
    cv_.notify_all();
  }

  void wait_and_reset() noexcept {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return set_; });
    set_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool set_ = false;
};

}  // namespace caustica::parallel::detail
