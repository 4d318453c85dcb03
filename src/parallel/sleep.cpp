// The sleep/wake protocol; docs/pool.md gives the reasoning for why no wake-up is lost.
#include "parallel/sleep.hpp"

#include <algorithm>

#include "parallel/worker.hpp"

namespace caustica::parallel::detail {

Sleep::Sleep(std::size_t num_workers) : sleepers_(std::make_unique<Sleeper[]>(num_workers)) {
  idle_.reserve(num_workers);
}

void Sleep::sleep(WorkerThread& worker, const CoreLatch& latch) noexcept {
  announced_.fetch_add(1, std::memory_order_seq_cst);
  const std::uint64_t key = epoch_.load(std::memory_order_seq_cst);
  // Pairs with the fence in nobody_announced: either the publisher sees the announcement,
  // or this thread sees what was published.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (!latch.probe() && !worker.has_work_in_sight()) {
    std::unique_lock lock(mutex_);
    if (epoch_.load(std::memory_order_relaxed) == key) {
      Sleeper& me = sleepers_[worker.index()];
      me.asleep = true;
      idle_.push_back(worker.index());
      me.cv.wait(lock, [&me] { return !me.asleep; });
    }
  }
  announced_.fetch_sub(1, std::memory_order_relaxed);
}

bool Sleep::nobody_announced() noexcept {
  std::atomic_thread_fence(std::memory_order_seq_cst);
  return announced_.load(std::memory_order_relaxed) == 0;
}

void Sleep::wake_one_for_new_work() noexcept {
  if (nobody_announced()) return;
  std::lock_guard lock(mutex_);
  epoch_.fetch_add(1, std::memory_order_release);
  if (!idle_.empty()) wake_locked(idle_.back());
}

void Sleep::wake_worker(std::size_t worker) noexcept {
  if (nobody_announced()) return;
  std::lock_guard lock(mutex_);
  epoch_.fetch_add(1, std::memory_order_release);
  if (sleepers_[worker].asleep) wake_locked(worker);
}

void Sleep::wake_all() noexcept {
  std::lock_guard lock(mutex_);
  epoch_.fetch_add(1, std::memory_order_release);
  while (!idle_.empty()) wake_locked(idle_.back());
}

void Sleep::wake_locked(std::size_t worker) noexcept {
  sleepers_[worker].asleep = false;
  idle_.erase(std::find(idle_.begin(), idle_.end(), worker));
  sleepers_[worker].cv.notify_one();
}

}  // namespace caustica::parallel::detail
