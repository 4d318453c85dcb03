// How idle workers sleep and are woken without losing a wake-up (docs/pool.md).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "parallel/latch.hpp"
#include "parallel/work_deque.hpp"

namespace caustica::parallel::detail {

class WorkerThread;

class Sleep {
 public:
  explicit Sleep(std::size_t num_workers);

  // Blocks `worker` unless, after it announced itself, `latch` is set, it sees work, or a
  // wake happened since.
  void sleep(WorkerThread& worker, const CoreLatch& latch) noexcept;

  // After a job was published: wakes one sleeping worker, if any sleeps.
  void wake_one_for_new_work() noexcept;
  // After a latch that `worker` may be waiting for was set.
  void wake_worker(std::size_t worker) noexcept;
  // After the pool was told to stop.
  void wake_all() noexcept;

 private:
  struct alignas(kCacheLine) Sleeper {
    std::condition_variable cv;
    bool asleep = false;  // under mutex_
  };

  bool nobody_announced() noexcept;
  void wake_locked(std::size_t worker) noexcept;

  std::atomic<std::size_t> announced_{0};  // workers between announcing and waking up
  std::atomic<std::uint64_t> epoch_{0};    // bumped, under mutex_, by every wake
  std::mutex mutex_;
  std::vector<std::size_t> idle_;  // asleep, most recent last; under mutex_
  std::unique_ptr<Sleeper[]> sleepers_;
};

}  // namespace caustica::parallel::detail
