// Pools and helpers shared by the worker pool's tests.
#pragma once

#include <cstddef>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "parallel/parallel_map.hpp"

namespace caustica::parallel::testing {

// The pool sizes every behaviour is checked on: one worker, a few, more than there are cores.
inline constexpr std::size_t kPoolSizes[] = {1, 2, 3, 7, 16};

// One pool per size for the whole run: starting threads is not what the tests are about.
inline Pool& pool_of(std::size_t num_threads) {
  static std::mutex mutex;
  static std::map<std::size_t, std::unique_ptr<Pool>> pools;
  std::lock_guard lock(mutex);
  std::unique_ptr<Pool>& pool = pools[num_threads];
  if (!pool) pool = std::make_unique<Pool>(num_threads);
  return *pool;
}

inline std::size_t threads_in_process() {
  const std::filesystem::directory_iterator tasks("/proc/self/task");
  return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

}  // namespace caustica::parallel::testing
