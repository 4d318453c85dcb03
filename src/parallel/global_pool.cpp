// The process-wide pool: created once on first use, and again in a forked child.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "core/panic.hpp"
#include "core/static_tls.hpp"
#include "parallel/pool.hpp"
#include "parallel/pool_size.hpp"
#include "parallel/worker.hpp"

namespace caustica::parallel::detail {

namespace {

std::atomic<Registry*> global{nullptr};
std::mutex creation_mutex;          // serialises creation; remade in a forked child
std::size_t global_num_threads = 0;  // decided once per process, kept across fork
bool cannot_start = false;           // the pool failed to start once; kept across fork
bool fork_handler_installed = false;

CAUSTICA_STATIC_TLS thread_local WorkerThread* this_worker = nullptr;

// Only the forking thread lives on in the child. The parent's workers are gone, and any lock
// one of them held stays held, so the child leaks the old pool untouched and makes its own,
// of the same size, on first use.
void forget_pool_in_child() noexcept {
  new (&creation_mutex) std::mutex;
  global.store(nullptr, std::memory_order_relaxed);
  this_worker = nullptr;
}

Registry& create_global_registry() {
  std::lock_guard lock(creation_mutex);
  if (Registry* existing = global.load(std::memory_order_relaxed)) return *existing;
  if (!fork_handler_installed) {
    if (const int rc = pthread_atfork(nullptr, nullptr, forget_pool_in_child); rc != 0) {
      panic(std::string("The global thread pool has not been initialized.: ") +
            "could not install the fork handler (" + std::strerror(rc) + ")");
    }
    fork_handler_installed = true;
  }
  if (global_num_threads == 0) global_num_threads = pool_size_from_environment();
  // A pool that could not be started is not tried again: a retry costs as much as the failure
  // (hundreds of threads started and joined) and fails the same way.
  Registry* registry = cannot_start ? new Registry(RunsOnCallers{})
                                    : new_global_registry(global_num_threads, start_std_thread);
  cannot_start = registry->runs_on_callers();
  global.store(registry, std::memory_order_release);
  return *registry;
}

void write_notice(const std::string& text) noexcept {
  (void)!::write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace

Registry* new_global_registry(std::size_t num_threads, const ThreadStarter& start) {
  try {
    return new Registry(num_threads, start);
  } catch (const std::exception& e) {  // a worker that cannot start, or no memory for them
    // Results do not depend on the pool size, so the process goes on, only slower.
    write_notice(std::string("caustica: could not start the worker pool (") + e.what() +
                 "); every batch runs on the thread that calls it\n");
    return new Registry(RunsOnCallers{});
  }
}

Registry& global_registry() {
  if (Registry* registry = global.load(std::memory_order_acquire)) return *registry;
  return create_global_registry();
}

Registry& current_registry() {
  if (this_worker != nullptr) return this_worker->registry();
  return global_registry();
}

WorkerThread* current_worker() noexcept { return this_worker; }

void set_current_worker(WorkerThread* worker) noexcept { this_worker = worker; }

}  // namespace caustica::parallel::detail

namespace caustica::parallel {

std::size_t current_num_threads() { return detail::current_registry().num_threads(); }

}  // namespace caustica::parallel
