// How many workers the process-wide pool gets.
#include <gtest/gtest.h>

#include <sched.h>

#include <optional>
#include <ostream>
#include <string_view>
#include <tuple>

#include "parallel/pool_size.hpp"

namespace caustica::parallel {
namespace {

using Text = std::optional<std::string_view>;
constexpr std::size_t kCpus = 8;

struct SizeCase {
  Text num_threads;
  Text rs_num_cpus;
  std::size_t cpus;
  std::size_t expected;
};

// Readable test names: RAYON_NUM_THREADS, RAYON_RS_NUM_CPUS, CPU count.
void PrintTo(const SizeCase& c, std::ostream* out) {
  const auto show = [out](Text t) {
    if (t) {
      *out << '\'' << *t << '\'';
    } else {
      *out << "unset";
    }
  };
  show(c.num_threads);
  *out << ',';
  show(c.rs_num_cpus);
  *out << ',' << c.cpus;
}

class ParallelPoolSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ParallelPoolSize, FollowsTheEnvironment) {
  const SizeCase& c = GetParam();
  EXPECT_EQ(pool_size(c.num_threads, c.rs_num_cpus, c.cpus), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParallelPoolSize,
    ::testing::Values(
        SizeCase{"3", std::nullopt, kCpus, 3},
        SizeCase{"+3", std::nullopt, kCpus, 3},
        SizeCase{"3", "5", kCpus, 3},
        // 0 asks for the default even when the second variable is set.
        SizeCase{"0", "5", kCpus, kCpus},
        SizeCase{"-1", "5", kCpus, 5},
        SizeCase{"3x", "5", kCpus, 5},
        SizeCase{" 3", "5", kCpus, 5},
        SizeCase{"", "5", kCpus, 5},
        SizeCase{"18446744073709551616", "5", kCpus, 5},
        SizeCase{std::nullopt, "5", kCpus, 5},
        SizeCase{std::nullopt, "+5", kCpus, 5},
        SizeCase{std::nullopt, std::nullopt, kCpus, kCpus},
        SizeCase{std::nullopt, "0", kCpus, kCpus},
        SizeCase{"-1", "junk", kCpus, kCpus},
        SizeCase{std::nullopt, std::nullopt, 0, 1},
        SizeCase{"0", std::nullopt, 0, 1}));

TEST(ParallelThreadCount, ParsesUnsignedDecimalsOnly) {
  EXPECT_EQ(parse_thread_count("3"), 3u);
  EXPECT_EQ(parse_thread_count("+3"), 3u);
  EXPECT_EQ(parse_thread_count("007"), 7u);
  EXPECT_EQ(parse_thread_count("0"), 0u);
  EXPECT_EQ(parse_thread_count("18446744073709551615"), 18446744073709551615u);
  for (std::string_view bad : {"", "+", "++3", "-1", "-0", "3x", " 3", "3 ", "0x10", "1e3",
                               "18446744073709551616", "99999999999999999999"}) {
    EXPECT_EQ(parse_thread_count(bad), std::nullopt) << '"' << bad << '"';
  }
}

TEST(ParallelCpuQuota, ReadsCgroupV2CpuMax) {
  EXPECT_EQ(cpu_limit_from_cpu_max("max 100000\n"), std::nullopt);
  EXPECT_EQ(cpu_limit_from_cpu_max("200000 100000\n"), 2u);
  EXPECT_EQ(cpu_limit_from_cpu_max("150000 100000\n"), 2u);
  EXPECT_EQ(cpu_limit_from_cpu_max("50000 100000"), 1u);
  EXPECT_EQ(cpu_limit_from_cpu_max("100000 0"), std::nullopt);
  EXPECT_EQ(cpu_limit_from_cpu_max(""), std::nullopt);
}

TEST(ParallelCpuQuota, ReadsCgroupV1Cfs) {
  EXPECT_EQ(cpu_limit_from_cfs("-1\n", "100000\n"), std::nullopt);
  EXPECT_EQ(cpu_limit_from_cfs("300000\n", "100000\n"), 3u);
  EXPECT_EQ(cpu_limit_from_cfs("", ""), std::nullopt);
}

TEST(ParallelCpuCount, IsAtMostTheAffinityMask) {
  cpu_set_t set;
  ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
  const std::size_t cpus = available_cpus();
  EXPECT_GE(cpus, 1u);
  EXPECT_LE(cpus, static_cast<std::size_t>(CPU_COUNT(&set)));
}

}  // namespace
}  // namespace caustica::parallel
