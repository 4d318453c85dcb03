// How many workers the process-wide pool gets, and the CPU count it falls back on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace caustica::parallel {

// An unsigned decimal: an optional '+', then one or more digits and nothing else, in 64 bits.
std::optional<std::uint64_t> parse_thread_count(std::string_view text);

// The size rule over the values of RAYON_NUM_THREADS and RAYON_RS_NUM_CPUS (nullopt when a
// variable is unset) and the CPUs available to the process (0 when unknown).
std::size_t pool_size(std::optional<std::string_view> num_threads,
                      std::optional<std::string_view> rs_num_cpus, std::size_t available_cpus);

// The size rule over this process's environment and CPUs.
std::size_t pool_size_from_environment();

// CPUs this process may run on: its affinity mask, limited by a cgroup CPU quota where one
// applies; 0 when the platform cannot tell.
std::size_t available_cpus();

// The CPUs a quota grants, rounded up, at least 1; nullopt for no limit or unreadable text.
// cgroup v2 cpu.max holds "max 100000" or "150000 100000".
std::optional<std::size_t> cpu_limit_from_cpu_max(std::string_view contents);
// cgroup v1: cpu.cfs_quota_us (-1 for no limit) and cpu.cfs_period_us.
std::optional<std::size_t> cpu_limit_from_cfs(std::string_view quota_us,
                                              std::string_view period_us);

}  // namespace caustica::parallel
