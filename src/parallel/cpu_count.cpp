// CPUs available to the process: the affinity mask, limited by a cgroup CPU quota.
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "parallel/pool_size.hpp"

namespace caustica::parallel {

namespace {

std::size_t affinity_cpus() {
  // The mask may be wider than cpu_set_t on large machines; grow it until the kernel accepts it.
  for (int cpus = CPU_SETSIZE; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return 0;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    const int rc = sched_getaffinity(0, size, set);
    const int count = rc == 0 ? CPU_COUNT_S(size, set) : 0;
    CPU_FREE(set);
    if (rc == 0) return static_cast<std::size_t>(count);
    if (errno != EINVAL) break;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<std::size_t>(online) : 0;
}

std::optional<std::uint64_t> parse_u64(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  return parse_thread_count(text);
}

std::optional<std::size_t> cpus_for_quota(std::uint64_t quota, std::uint64_t period) {
  if (period == 0) return std::nullopt;
  return static_cast<std::size_t>(std::max<std::uint64_t>(1, quota / period + (quota % period != 0)));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);) parts.push_back(part);
  return parts;
}

// mountinfo escapes blanks in paths as octal, e.g. "\\040".
std::string unescape(const std::string& path) {
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const bool octal = path[i] == '\\' && i + 3 < path.size() &&
                       std::all_of(path.begin() + i + 1, path.begin() + i + 4,
                                   [](char c) { return c >= '0' && c <= '7'; });
    if (octal) {
      out += static_cast<char>((path[i + 1] - '0') * 64 + (path[i + 2] - '0') * 8 + (path[i + 3] - '0'));
      i += 3;
    } else {
      out += path[i];
    }
  }
  return out;
}

struct Hierarchy {
  std::string directory;   // the process's own cgroup
  std::string mount_point;  // the top of what is visible
};

bool has_token(const std::string& list, const std::string& token) {
  const std::vector<std::string> items = split(list, ',');
  return std::find(items.begin(), items.end(), token) != items.end();
}

// The cgroup of this process in the v2 hierarchy, or in the v1 hierarchy holding "cpu".
std::optional<Hierarchy> find_hierarchy(bool v2) {
  std::optional<std::string> cgroup_path;
  std::istringstream cgroups(read_file("/proc/self/cgroup"));
  for (std::string line; std::getline(cgroups, line);) {
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    if (v2 ? (line.compare(0, first, "0") == 0 && controllers.empty())
           : has_token(controllers, "cpu")) {
      cgroup_path = line.substr(second + 1);
    }
  }
  if (!cgroup_path) return std::nullopt;

  std::istringstream mounts(read_file("/proc/self/mountinfo"));
  for (std::string line; std::getline(mounts, line);) {
    const std::vector<std::string> fields = split(line, ' ');
    const auto dash = std::find(fields.begin(), fields.end(), "-");
    if (fields.size() < 5 || fields.end() - dash < 4) continue;
    const std::string& type = dash[1];
    if (v2 ? type != "cgroup2" : (type != "cgroup" || !has_token(dash[3], "cpu"))) continue;
    const std::string root = unescape(fields[3]);
    const std::string point = unescape(fields[4]);
    // Inside a cgroup namespace the path may not lie under the mount's root: only the top counts.
    std::string relative;
    if (root == "/") {
      relative = *cgroup_path;
    } else if (cgroup_path->compare(0, root.size(), root) == 0) {
      relative = cgroup_path->substr(root.size());
    }
    if (relative == "/") relative.clear();
    return Hierarchy{point + relative, point};
  }
  return std::nullopt;
}

// The tightest quota on the way from the process's cgroup up to the top of the hierarchy.
template <class ReadLimit>
std::optional<std::size_t> tightest_limit(const Hierarchy& h, ReadLimit read_limit) {
  std::optional<std::size_t> tightest;
  std::string dir = h.directory;
  while (true) {
    if (const auto limit = read_limit(dir)) tightest = std::min(tightest.value_or(*limit), *limit);
    if (dir.size() <= h.mount_point.size()) break;
    dir.erase(dir.rfind('/'));
  }
  return tightest;
}

std::optional<std::size_t> cgroup_cpu_limit() {
  std::optional<std::size_t> limit;
  const auto tighten = [&limit](std::optional<std::size_t> l) {
    if (l) limit = std::min(limit.value_or(*l), *l);
  };
  if (const auto v2 = find_hierarchy(true)) {
    tighten(tightest_limit(*v2, [](const std::string& dir) {
      return cpu_limit_from_cpu_max(read_file(dir + "/cpu.max"));
    }));
  }
  if (const auto v1 = find_hierarchy(false)) {
    tighten(tightest_limit(*v1, [](const std::string& dir) {
      return cpu_limit_from_cfs(read_file(dir + "/cpu.cfs_quota_us"),
                                read_file(dir + "/cpu.cfs_period_us"));
    }));
  }
  return limit;
}

}  // namespace

std::optional<std::size_t> cpu_limit_from_cpu_max(std::string_view contents) {
  const std::size_t blank = contents.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const auto quota = parse_u64(contents.substr(0, blank));  // "max" does not parse: no limit
  const auto period = parse_u64(contents.substr(blank + 1));
  if (!quota || !period) return std::nullopt;
  return cpus_for_quota(*quota, *period);
}

std::optional<std::size_t> cpu_limit_from_cfs(std::string_view quota_us,
                                              std::string_view period_us) {
  const auto quota = parse_u64(quota_us);  // "-1" does not parse: no limit
  const auto period = parse_u64(period_us);
  if (!quota || !period) return std::nullopt;
  return cpus_for_quota(*quota, *period);
}

std::size_t available_cpus() {
  const std::size_t cpus = affinity_cpus();
  const auto limit = cgroup_cpu_limit();
  if (cpus == 0) return limit.value_or(0);
  return limit ? std::min(cpus, *limit) : cpus;
}

}  // namespace caustica::parallel
