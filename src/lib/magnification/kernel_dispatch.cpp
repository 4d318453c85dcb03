// The one place that knows which lane path runs.
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "magnification/kernel_lanes.hpp"

namespace caustica {

namespace {

struct Runnable {
  std::array<const LaneKernels*, 4> paths;
  std::size_t count;
};

// The paths this processor runs, narrowest first.
Runnable find_runnable() {
  Runnable r{{&lane_paths::scalar, &lane_paths::baseline}, 2};
#if defined(CAUSTICA_X86_LANES)
  // Also checks that the operating system saves the wider registers.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) r.paths[r.count++] = &lane_paths::avx2;
  if (__builtin_cpu_supports("avx512f")) r.paths[r.count++] = &lane_paths::avx512;
#endif
  return r;
}

// CAUSTICA_SIMD names a path for testing; one this processor cannot run, or no name, leaves
// the widest it runs.
const LaneKernels* choose() {
  const Runnable r = find_runnable();
  if (const char* wanted = std::getenv("CAUSTICA_SIMD")) {
    for (std::size_t i = 0; i < r.count; ++i) {
      if (std::strcmp(r.paths[i]->name, wanted) == 0) return r.paths[i];
    }
  }
  return r.paths[r.count - 1];
}

// Constant-initialised, so no guard: threads that meet it unset at once all choose, and all
// choose the same. Taking no lock, it cannot leave a child forked meanwhile waiting on one.
std::atomic<const LaneKernels*> chosen{nullptr};

}  // namespace

const LaneKernels& lane_kernels() {
  const LaneKernels* path = chosen.load(std::memory_order_acquire);
  if (path == nullptr) {
    path = choose();
    chosen.store(path, std::memory_order_release);
  }
  return *path;
}

std::span<const LaneKernels* const> runnable_lane_kernels() {
  static const Runnable r = find_runnable();
  return {r.paths.data(), r.count};
}

}  // namespace caustica
