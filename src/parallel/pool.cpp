// Starting and stopping the workers, and where a worker finds its next job.
#include "parallel/pool.hpp"

#include <pthread.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "parallel/worker.hpp"

namespace caustica::parallel::detail {

namespace {

// Rounds of searching, with a yield between, before an idle worker goes to sleep.
constexpr unsigned kSpinRounds = 32;

// "Cannot create threads at all", as opposed to running short of them.
bool threads_unsupported(const std::error_code& code) {
  return code == std::errc::function_not_supported || code == std::errc::not_supported ||
         code == std::errc::operation_not_supported;
}

std::size_t startable(std::size_t num_threads) {
  if (num_threads > kMaxThreads) {
    throw PoolStartError("cannot start " + std::to_string(num_threads) +
                         " worker threads, more than the " + std::to_string(kMaxThreads) +
                         " a pool may have");
  }
  return num_threads;
}

}  // namespace

std::thread start_std_thread(std::function<void()> body) { return std::thread(std::move(body)); }

Registry::Registry(std::size_t num_threads, const ThreadStarter& start)
    : num_threads_(startable(num_threads)), sleep_(num_threads_) {
  workers_.reserve(num_threads);
  for (std::size_t i = 0; i != num_threads; ++i) {
    workers_.push_back(std::make_unique<WorkerThread>(*this, i));
  }
  threads_.reserve(num_threads);
  for (std::size_t i = 0; i != num_threads; ++i) {
    try {
      threads_.push_back(start([w = workers_[i].get()] { w->run_main_loop(); }));
    } catch (const std::exception& e) {
      stop();
      const auto* failure = dynamic_cast<const std::system_error*>(&e);
      if (i == 0 && failure && threads_unsupported(failure->code())) {
        workers_.clear();
        num_threads_ = 1;
        return;
      }
      throw PoolStartError("could not start worker thread " + std::to_string(i + 1) + " of " +
                           std::to_string(num_threads) + " (" + e.what() + ")");
    } catch (...) {
      stop();
      throw;
    }
  }
}

Registry::Registry(RunsOnCallers) : num_threads_(1), sleep_(0) {}

Registry::~Registry() { stop(); }

void Registry::stop() noexcept {
  stop_.set();
  sleep_.wake_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void Registry::inject(Job* job) {
  {
    std::lock_guard lock(injected_mutex_);
    injected_.push_back(job);
    injected_count_.store(injected_.size(), std::memory_order_relaxed);
  }
  sleep_.wake_one_for_new_work();
}

Job* Registry::take_injected() noexcept {
  if (!has_injected()) return nullptr;
  std::lock_guard lock(injected_mutex_);
  if (injected_.empty()) return nullptr;
  Job* job = injected_.front();
  injected_.pop_front();
  injected_count_.store(injected_.size(), std::memory_order_relaxed);
  return job;
}

WorkerThread::WorkerThread(Registry& registry, std::size_t index)
    : registry_(registry), index_(index), rng_state_(0x9E3779B97F4A7C15ull * (index + 1)) {}

void WorkerThread::run_main_loop() noexcept {
  set_current_worker(this);
  const std::string name = "caustica-w" + std::to_string(index_);
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
  wait_until_cold(registry_.stop_latch());
  set_current_worker(nullptr);
}

void WorkerThread::wait_until_cold(const CoreLatch& latch) noexcept {
  unsigned idle_rounds = 0;
  while (!latch.probe()) {
    if (Job* job = find_work()) {
      job->execute(*this);
      idle_rounds = 0;
    } else if (idle_rounds < kSpinRounds) {
      ++idle_rounds;
      std::this_thread::yield();
    } else {
      registry_.sleep().sleep(*this, latch);
      idle_rounds = 0;
    }
  }
}

void WorkerThread::push(Job* job) {
  deque_.push(job);
  registry_.sleep().wake_one_for_new_work();
}

Job* WorkerThread::find_work() noexcept {
  if (Job* job = deque_.pop()) return job;
  if (Job* job = steal()) return job;
  return registry_.take_injected();
}

Job* WorkerThread::steal() noexcept {
  const std::size_t n = registry_.num_workers();
  if (n < 2) return nullptr;
  bool lost_race;
  do {
    lost_race = false;
    const std::size_t first = next_victim();
    for (std::size_t k = 0; k != n; ++k) {
      const std::size_t victim = (first + k) % n;
      if (victim == index_) continue;
      Job* job = nullptr;
      switch (registry_.worker(victim).deque().steal(job)) {
        case WorkDeque<Job*>::Steal::kTaken: return job;
        case WorkDeque<Job*>::Steal::kLostRace: lost_race = true; break;
        case WorkDeque<Job*>::Steal::kEmpty: break;
      }
    }
  } while (lost_race);
  return nullptr;
}

// xorshift64: victims in a different order on every search spread the thieves out.
std::size_t WorkerThread::next_victim() noexcept {
  rng_state_ ^= rng_state_ << 13;
  rng_state_ ^= rng_state_ >> 7;
  rng_state_ ^= rng_state_ << 17;
  return static_cast<std::size_t>(rng_state_ % registry_.num_workers());
}

bool WorkerThread::has_work_in_sight() const noexcept {
  for (std::size_t i = 0; i != registry_.num_workers(); ++i) {
    if (!registry_.worker(i).deque().empty()) return true;
  }
  return registry_.has_injected();
}

void set_spin_latch(CoreLatch& latch, WorkerThread& owner, WorkerThread& setter) noexcept {
  if (&owner == &setter) {
    latch.set();
    return;
  }
  // Once the latch is set the owner may return and its frame may go; take what is needed first.
  Sleep& sleep = owner.registry().sleep();
  const std::size_t index = owner.index();
  latch.set();
  sleep.wake_worker(index);
}

}  // namespace caustica::parallel::detail
