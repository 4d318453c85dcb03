// parallel_map: every element computed once and stored at its index, on any pool size, from
// any thread, nested or not.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <numeric>
#include <span>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "core/expected.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel_test_support.hpp"

namespace caustica::parallel {
namespace {

using testing::kPoolSizes;
using testing::pool_of;

std::vector<std::uint64_t> iota_input(std::size_t n) {
  std::vector<std::uint64_t> input(n);
  std::iota(input.begin(), input.end(), std::uint64_t{0});
  return input;
}

std::uint64_t scramble(std::uint64_t x) { return x * 0x9E3779B97F4A7C15ull + 7; }

class ParallelMapOrder
    : public ::testing::TestWithParam<std::tuple<std::size_t, std::size_t>> {};

TEST_P(ParallelMapOrder, WritesEachResultOnceAtItsIndex) {
  const auto [num_threads, n] = GetParam();
  const std::vector<std::uint64_t> input = iota_input(n);
  std::vector<std::atomic<int>> calls(n);
  std::vector<std::uint64_t> output;

  pool_of(num_threads).map(std::span<const std::uint64_t>(input),
                           [&calls](std::uint64_t i) {
                             calls[i].fetch_add(1, std::memory_order_relaxed);
                             return scramble(i);
                           },
                           output);

  ASSERT_EQ(output.size(), n);
  for (std::size_t i = 0; i != n; ++i) {
    ASSERT_EQ(output[i], scramble(i)) << "index " << i;
    ASSERT_EQ(calls[i].load(), 1) << "index " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(PoolSizesAndLengths, ParallelMapOrder,
                         ::testing::Combine(::testing::ValuesIn(kPoolSizes),
                                            ::testing::Values(0, 1, 2, 3, 1000, 1000000)));

class ParallelMapOnPool : public ::testing::TestWithParam<std::size_t> {
 protected:
  Pool& pool() { return pool_of(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(PoolSizes, ParallelMapOnPool, ::testing::ValuesIn(kPoolSizes));

TEST_P(ParallelMapOnPool, AppendsAfterWhatTheOutputHeld) {
  const std::vector<std::uint64_t> input = iota_input(500);
  std::vector<std::uint64_t> output = {11, 22, 33};
  pool().map(std::span<const std::uint64_t>(input), scramble, output);
  ASSERT_EQ(output.size(), 503u);
  EXPECT_EQ(output[0], 11u);
  EXPECT_EQ(output[2], 33u);
  for (std::size_t i = 0; i != 500; ++i) ASSERT_EQ(output[3 + i], scramble(i));
}

TEST_P(ParallelMapOnPool, StoresResultsThatHaveNoDefaultConstructor) {
  struct Failure {
    const char* text;
  };
  using Curve = Expected<std::vector<double>, Failure>;
  const std::vector<std::uint64_t> input = iota_input(300);
  std::vector<Curve> output;

  pool().map(std::span<const std::uint64_t>(input),
             [](std::uint64_t i) -> Curve {
               if (i % 3 == 0) return Failure{"divisible by three"};
               return std::vector<double>(i % 7, static_cast<double>(i));
             },
             output);

  ASSERT_EQ(output.size(), 300u);
  for (std::size_t i = 0; i != 300; ++i) {
    ASSERT_EQ(output[i].has_value(), i % 3 != 0) << "index " << i;
    if (output[i]) {
      EXPECT_EQ(*output[i], std::vector<double>(i % 7, static_cast<double>(i)));
    }
  }
}

TEST_P(ParallelMapOnPool, KeepsOrderUnderUnevenLoad) {
  // A few expensive elements make idle threads steal in the middle of the range.
  const std::vector<std::uint64_t> input = iota_input(4000);
  std::vector<std::uint64_t> output;
  pool().map(std::span<const std::uint64_t>(input),
             [](std::uint64_t i) {
               std::uint64_t x = i;
               const int rounds = i % 500 == 0 ? 200000 : 10;
               for (int r = 0; r != rounds; ++r) x = scramble(x);
               return x;
             },
             output);
  ASSERT_EQ(output.size(), input.size());
  for (std::size_t i = 0; i != input.size(); ++i) {
    std::uint64_t x = i;
    const int rounds = i % 500 == 0 ? 200000 : 10;
    for (int r = 0; r != rounds; ++r) x = scramble(x);
    ASSERT_EQ(output[i], x) << "index " << i;
  }
}

TEST_P(ParallelMapOnPool, RunsNestedBatchesOnTheSamePool) {
  const std::size_t num_threads = GetParam();
  const std::vector<std::uint64_t> outer = iota_input(40);
  const std::vector<std::uint64_t> inner = iota_input(1000);
  std::vector<std::vector<std::uint64_t>> output;

  pool().map(std::span<const std::uint64_t>(outer),
             [&](std::uint64_t k) {
               EXPECT_EQ(current_num_threads(), num_threads);
               std::vector<std::uint64_t> row;
               parallel_map(std::span<const std::uint64_t>(inner),
                            [k](std::uint64_t i) { return scramble(k * 1000 + i); }, row);
               return row;
             },
             output);

  ASSERT_EQ(output.size(), outer.size());
  for (std::size_t k = 0; k != outer.size(); ++k) {
    ASSERT_EQ(output[k].size(), inner.size());
    for (std::size_t i = 0; i != inner.size(); ++i) ASSERT_EQ(output[k][i], scramble(k * 1000 + i));
  }
}

TEST_P(ParallelMapOnPool, ComputesOneElementOnTheCallingThread) {
  const std::vector<int> one = {5};
  std::vector<std::thread::id> ran_on;
  pool().map(std::span<const int>(one), [](int) { return std::this_thread::get_id(); }, ran_on);
  ASSERT_EQ(ran_on.size(), 1u);
  EXPECT_EQ(ran_on[0], std::this_thread::get_id());
}

TEST_P(ParallelMapOnPool, ComputesOneElementOnTheWorkerThatAsks) {
  const std::vector<int> two = {1, 2};
  const std::vector<int> one = {5};
  std::vector<bool> same_thread;
  pool().map(std::span<const int>(two),
             [&one](int) {
               std::vector<std::thread::id> ran_on;
               parallel_map(std::span<const int>(one),
                            [](int) { return std::this_thread::get_id(); }, ran_on);
               return ran_on.at(0) == std::this_thread::get_id();
             },
             same_thread);
  EXPECT_EQ(same_thread, std::vector<bool>({true, true}));
}

TEST_P(ParallelMapOnPool, ServesManyOutsideThreadsAtOnce) {
  constexpr int kCallers = 6;
  constexpr int kBatchesEach = 25;
  std::atomic<int> wrong{0};
  std::vector<std::thread> callers;
  for (int c = 0; c != kCallers; ++c) {
    callers.emplace_back([&, c] {
      for (int b = 0; b != kBatchesEach; ++b) {
        const std::vector<std::uint64_t> input = iota_input(static_cast<std::size_t>(b * 97 + c));
        std::vector<std::uint64_t> output;
        pool().map(std::span<const std::uint64_t>(input), scramble, output);
        for (std::size_t i = 0; i != input.size(); ++i) {
          if (output.at(i) != scramble(i)) wrong.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ParallelGlobalPool, MapsInOrderFromManyThreads) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> callers;
  for (int c = 0; c != 4; ++c) {
    callers.emplace_back([&] {
      for (std::size_t n : {0, 1, 2, 3, 1000, 20000}) {
        const std::vector<std::uint64_t> input = iota_input(n);
        std::vector<std::uint64_t> output;
        parallel_map(std::span<const std::uint64_t>(input), scramble, output);
        if (output.size() != n) wrong.fetch_add(1);
        for (std::size_t i = 0; i != std::min(n, output.size()); ++i) {
          if (output[i] != scramble(i)) wrong.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GE(current_num_threads(), 1u);
}

// A platform that cannot create threads at all: every batch runs on the thread that starts it.
std::thread no_threads_at_all(std::function<void()>) {
  throw std::system_error(ENOSYS, std::generic_category(), "thread creation");
}

TEST(ParallelPoolWithoutThreads, RunsEveryBatchOnItsCaller) {
  Pool pool(4, no_threads_at_all);
  EXPECT_EQ(pool.num_threads(), 1u);
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int c = 0; c != 3; ++c) {
    callers.emplace_back([&] {
      const std::vector<std::uint64_t> input = iota_input(5000);
      std::vector<std::thread::id> ran_on;
      pool.map(std::span<const std::uint64_t>(input),
               [](std::uint64_t) { return std::this_thread::get_id(); }, ran_on);
      if (ran_on.size() != input.size()) wrong.fetch_add(1);
      for (const std::thread::id id : ran_on) {
        if (id != std::this_thread::get_id()) wrong.fetch_add(1);
      }
    });
  }
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace caustica::parallel
