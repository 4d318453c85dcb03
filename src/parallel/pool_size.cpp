// The size rule of the process-wide pool.
#include "parallel/pool_size.hpp"

#include <cstdlib>
#include <limits>

namespace caustica::parallel {

namespace {

std::optional<std::string_view> environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

std::size_t to_size(std::uint64_t value) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::size_t>::max();
  return static_cast<std::size_t>(value < kMax ? value : kMax);
}

}  // namespace

std::optional<std::uint64_t> parse_thread_count(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::size_t pool_size(std::optional<std::string_view> num_threads,
                      std::optional<std::string_view> rs_num_cpus, std::size_t available_cpus) {
  const std::size_t fallback = available_cpus != 0 ? available_cpus : 1;
  if (const auto n = num_threads ? parse_thread_count(*num_threads) : std::nullopt) {
    // An explicit 0 asks for the default and is not a cue to look further.
    return *n != 0 ? to_size(*n) : fallback;
  }
  if (const auto n = rs_num_cpus ? parse_thread_count(*rs_num_cpus) : std::nullopt) {
    if (*n != 0) return to_size(*n);
  }
  return fallback;
}

std::size_t pool_size_from_environment() {
  return pool_size(environment("RAYON_NUM_THREADS"), environment("RAYON_RS_NUM_CPUS"),
                   available_cpus());
}

}  // namespace caustica::parallel
