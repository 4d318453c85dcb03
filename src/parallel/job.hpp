// Units of work handed between threads. Jobs live on the stack of the thread that waits for
// them; a queue holds only pointers, so handing out work allocates nothing.
#pragma once

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

#include "parallel/latch.hpp"

namespace caustica::parallel::detail {

class WorkerThread;

class Job {
 public:
  // Never throws: a failure is kept in the job for the thread that joins it.
  virtual void execute(WorkerThread& on) noexcept = 0;

 protected:
  ~Job() = default;
};

// What one half of a join produced: a value, or whatever it threw.
template <class R>
struct Outcome {
  std::optional<R> value;
  std::exception_ptr error;

  template <class F, class... Args>
  void capture(F& f, Args&&... args) noexcept {
    try {
      value.emplace(f(std::forward<Args>(args)...));
    } catch (...) {
      error = std::current_exception();
    }
  }

  R take() {
    if (error) std::rethrow_exception(error);
    return std::move(*value);
  }
};

// Sets the latch of a job owned by `owner`, then wakes the owner if it sleeps. Defined with
// the sleep protocol (pool.cpp).
void set_spin_latch(CoreLatch& latch, WorkerThread& owner, WorkerThread& setter) noexcept;

// The right half of a join, offered to thieves while the owner runs the left half.
// f(worker running it, migrated) -> result.
template <class F>
class StackJob final : public Job {
 public:
  using Result = std::invoke_result_t<F&, WorkerThread*, bool>;

  StackJob(F& f, WorkerThread& owner) noexcept : f_(f), owner_(owner) {}

  void execute(WorkerThread& on) noexcept override {
    outcome.capture(f_, &on, &on != &owner_);
    set_spin_latch(latch_, owner_, on);  // last touch: the owner may return at once
  }

  // The owner took the job back before anyone stole it.
  void run_inline() noexcept { outcome.capture(f_, &owner_, false); }

  const CoreLatch& latch() const noexcept { return latch_; }

  Outcome<Result> outcome;

 private:
  F& f_;
  WorkerThread& owner_;
  CoreLatch latch_;
};

// A batch submitted from a thread outside the pool; that thread blocks on `latch`.
// f(worker running it) -> result.
template <class F>
class InjectedJob final : public Job {
 public:
  using Result = std::invoke_result_t<F&, WorkerThread&>;

  InjectedJob(F& f, LockLatch& latch) noexcept : f_(f), latch_(latch) {}

  void execute(WorkerThread& on) noexcept override {
    outcome.capture(f_, on);
    latch_.set();  // last touch: the submitter may return at once
  }

  void wait() noexcept { latch_.wait_and_reset(); }

  Outcome<Result> outcome;

 private:
  F& f_;
  LockLatch& latch_;
};

}  // namespace caustica::parallel::detail
