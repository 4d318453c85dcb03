// A pool of worker threads: the process-wide one that parallel_map uses, and pools of a
// chosen size for tests and benchmarks.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <thread>
#include <vector>

#include "parallel/job.hpp"
#include "parallel/latch.hpp"
#include "parallel/sleep.hpp"

namespace caustica::parallel {

namespace detail {

class WorkerThread;

// Starts a thread running `body`; throws std::system_error when it cannot.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;
std::thread start_std_thread(std::function<void()> body);

// A worker thread could not be started; what() describes the cause.
class PoolStartError : public std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The most workers a pool may have: the most CPUs a Linux kernel supports (NR_CPUS under
// MAXSMP). More workers than there can ever be CPUs gain nothing; a larger size is a mistake.
inline constexpr std::size_t kMaxThreads = 8192;

// A registry with no threads: every batch runs on the thread that starts it.
struct RunsOnCallers {};

class Registry {
 public:
  // Starts num_threads workers. If the platform cannot create threads at all, the registry
  // has no threads, reports one, and every batch runs on the thread that starts it.
  // Throws PoolStartError if some other failure stops a worker from starting, or if
  // num_threads is more than kMaxThreads, before anything is allocated.
  Registry(std::size_t num_threads, const ThreadStarter& start);
  explicit Registry(RunsOnCallers);
  ~Registry();  // stops the workers and joins them
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  std::size_t num_threads() const noexcept { return num_threads_; }
  bool runs_on_callers() const noexcept { return workers_.empty(); }

  // Runs op(worker) on this pool for a thread that is not one of its workers, blocking that
  // thread on its own latch until op is complete; re-raises op's failure.
  template <class F>
  auto run_injected(F& op);

  std::size_t num_workers() const noexcept { return workers_.size(); }
  WorkerThread& worker(std::size_t i) const noexcept { return *workers_[i]; }
  Sleep& sleep() noexcept { return sleep_; }
  const CoreLatch& stop_latch() const noexcept { return stop_; }

  Job* take_injected() noexcept;
  bool has_injected() const noexcept { return injected_count_.load(std::memory_order_relaxed) != 0; }

 private:
  void inject(Job* job);
  void stop() noexcept;

  std::size_t num_threads_;
  std::vector<std::unique_ptr<WorkerThread>> workers_;
  std::vector<std::thread> threads_;
  Sleep sleep_;
  CoreLatch stop_;
  std::mutex injected_mutex_;
  std::deque<Job*> injected_;  // under injected_mutex_
  std::atomic<std::size_t> injected_count_{0};
};

// The worker this thread is, or nullptr.
WorkerThread* current_worker() noexcept;
void set_current_worker(WorkerThread* worker) noexcept;

// The process-wide pool, created on first use; one that runs on its callers if it cannot be
// started, which is remembered for the rest of the process.
Registry& global_registry();
// The pool of this worker thread, or the process-wide pool for any other thread.
Registry& current_registry();
// As the process-wide pool is created: a registry of num_threads workers or, when they cannot
// be started, one that runs on its callers, after a notice on standard error naming the cause.
Registry* new_global_registry(std::size_t num_threads, const ThreadStarter& start);

// The waiting thread's latch lives on its own stack, as the job does: no per-thread state
// is made on a thread's first batch, when memory may already be short.
template <class F>
auto Registry::run_injected(F& op) {
  LockLatch latch;
  InjectedJob<F> job(op, latch);
  inject(&job);
  job.wait();
  return job.outcome.take();
}

}  // namespace detail

// A pool of a chosen size, apart from the process-wide one. Its workers stop when it goes;
// no batch may be running on it then.
class Pool {
 public:
  explicit Pool(std::size_t num_threads,
                const detail::ThreadStarter& start = detail::start_std_thread)
      : registry_(std::make_unique<detail::Registry>(num_threads, start)) {}

  std::size_t num_threads() const noexcept { return registry_->num_threads(); }

  // parallel_map on this pool (parallel_map.hpp). Called from a worker of another pool, it
  // blocks that worker like any thread outside this pool.
  template <class In, class F, class Out>
  void map(std::span<const In> input, F&& f, std::vector<Out>& output);

 private:
  std::unique_ptr<detail::Registry> registry_;
};

}  // namespace caustica::parallel
