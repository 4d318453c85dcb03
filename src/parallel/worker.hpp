// One worker thread of a pool: its deque, the fork-join, and where it looks for work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "parallel/job.hpp"
#include "parallel/latch.hpp"
#include "parallel/work_deque.hpp"

namespace caustica::parallel::detail {

class Registry;

class alignas(kCacheLine) WorkerThread {
 public:
  WorkerThread(Registry& registry, std::size_t index);
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  Registry& registry() const noexcept { return registry_; }
  std::size_t index() const noexcept { return index_; }
  WorkDeque<Job*>& deque() noexcept { return deque_; }

  // Runs a(this, a_migrated) and b(runner, migrated), b perhaps on another worker, and returns
  // both results once both are complete. a's failure wins over b's.
  template <class A, class B>
  auto join(A& a, B& b, bool a_migrated);

  // Thread body: runs jobs until the pool stops.
  void run_main_loop() noexcept;

  // Runs other work until `latch` is set; sleeps when there is none.
  void wait_until_cold(const CoreLatch& latch) noexcept;

  // Whether this worker can see a job anywhere: its deque, another's, or the injected queue.
  bool has_work_in_sight() const noexcept;

 private:
  template <class F>
  void take_back_or_wait(StackJob<F>& job) noexcept;

  void push(Job* job);
  Job* find_work() noexcept;
  Job* steal() noexcept;
  std::size_t next_victim() noexcept;

  WorkDeque<Job*> deque_;
  Registry& registry_;
  std::size_t index_;
  std::uint64_t rng_state_;
};

// Work first (Blumofe and Leiserson): b is made stealable, a runs at once on this thread.
template <class A, class B>
auto WorkerThread::join(A& a, B& b, bool a_migrated) {
  StackJob<B> job_b(b, *this);
  push(&job_b);
  Outcome<std::invoke_result_t<A&, WorkerThread*, bool>> left;
  left.capture(a, this, a_migrated);
  // b may refer to a's frame, so even a failed a waits here until b is complete.
  take_back_or_wait(job_b);
  auto a_result = left.take();
  auto b_result = job_b.outcome.take();
  return std::pair{std::move(a_result), std::move(b_result)};
}

// b is on top of the deque unless it was taken: then what lies below belongs to outer frames
// and is ours to run while b is away.
template <class F>
void WorkerThread::take_back_or_wait(StackJob<F>& job) noexcept {
  while (!job.latch().probe()) {
    Job* next = deque_.pop();
    if (next == &job) {
      job.run_inline();
      return;
    }
    if (next == nullptr) {
      wait_until_cold(job.latch());
      return;
    }
    next->execute(*this);
  }
}

// The join of a pool that has no threads of its own: both halves on the calling thread.
template <class A, class B>
auto serial_join(A& a, B& b) {
  Outcome<std::invoke_result_t<A&, WorkerThread*, bool>> left;
  Outcome<std::invoke_result_t<B&, WorkerThread*, bool>> right;
  left.capture(a, nullptr, false);
  right.capture(b, nullptr, false);
  auto a_result = left.take();
  auto b_result = right.take();
  return std::pair{std::move(a_result), std::move(b_result)};
}

}  // namespace caustica::parallel::detail
