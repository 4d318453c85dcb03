// The one place that knows which lane path runs.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "magnification/kernel_lanes.hpp"

namespace caustica {

namespace {

// The paths this processor runs, narrowest first.
std::vector<const LaneKernels*> find_runnable() {
  std::vector<const LaneKernels*> paths{&lane_paths::scalar, &lane_paths::baseline};
#if defined(CAUSTICA_X86_LANES)
  // Also checks that the operating system saves the wider registers.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) paths.push_back(&lane_paths::avx2);
  if (__builtin_cpu_supports("avx512f")) paths.push_back(&lane_paths::avx512);
#endif
  return paths;
}

const std::vector<const LaneKernels*>& runnable() {
  static const std::vector<const LaneKernels*> paths = find_runnable();
  return paths;
}

// CAUSTICA_SIMD names a path for testing; one this processor cannot run, or no name, leaves
// the widest it runs.
const LaneKernels& choose() {
  const std::vector<const LaneKernels*>& paths = runnable();
  if (const char* wanted = std::getenv("CAUSTICA_SIMD")) {
    for (const LaneKernels* path : paths) {
      if (std::strcmp(path->name, wanted) == 0) return *path;
    }
  }
  return *paths.back();
}

}  // namespace

const LaneKernels& lane_kernels() {
  static const LaneKernels& chosen = choose();
  return chosen;
}

std::span<const LaneKernels* const> runnable_lane_kernels() { return runnable(); }

}  // namespace caustica
