// A failure inside a batch: which one reaches the caller, what happens to the results already
// made, and that the pool goes on serving.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <numeric>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/panic.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel_test_support.hpp"

namespace caustica::parallel {
namespace {

using testing::kPoolSizes;
using testing::pool_of;

constexpr std::size_t kLength = 1000;

std::vector<std::size_t> indices(std::size_t n) {
  std::vector<std::size_t> input(n);
  std::iota(input.begin(), input.end(), std::size_t{0});
  return input;
}

// Runs a batch whose element i throws Panic(message(i)) where message(i) is not empty, and
// returns the message that reached the caller.
template <class Message>
std::string failure_of(Pool& pool, std::size_t n, Message message) {
  const std::vector<std::size_t> input = indices(n);
  std::vector<std::size_t> output;
  try {
    pool.map(std::span<const std::size_t>(input),
             [&](std::size_t i) {
               if (const std::string text = message(i); !text.empty()) throw Panic(text);
               return i;
             },
             output);
  } catch (const Panic& p) {
    EXPECT_TRUE(output.empty());
    return p.message();
  }
  return "no failure";
}

// Counts live instances, to see that a failed batch destroys what it made.
struct Tracked {
  static inline std::atomic<long> live{0};
  explicit Tracked(std::size_t v) : value(v) { live.fetch_add(1); }
  Tracked(const Tracked& other) : value(other.value) { live.fetch_add(1); }
  Tracked(Tracked&& other) noexcept : value(other.value) { live.fetch_add(1); }
  ~Tracked() { live.fetch_sub(1); }
  std::size_t value;
};

class ParallelFailure : public ::testing::TestWithParam<std::size_t> {
 protected:
  Pool& pool() { return pool_of(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(PoolSizes, ParallelFailure, ::testing::ValuesIn(kPoolSizes));

TEST_P(ParallelFailure, InTheLeftHalfReachesTheCaller) {
  EXPECT_EQ(failure_of(pool(), kLength, [](std::size_t i) { return i == 0 ? "left" : ""; }),
            "left");
}

TEST_P(ParallelFailure, InTheRightHalfReachesTheCaller) {
  EXPECT_EQ(failure_of(pool(), kLength,
                       [](std::size_t i) { return i == kLength - 1 ? "right" : ""; }),
            "right");
}

TEST_P(ParallelFailure, InBothHalvesTheLeftOneWins) {
  EXPECT_EQ(failure_of(pool(), kLength,
                       [](std::size_t i) {
                         if (i == 0) return "left";
                         return i == kLength - 1 ? "right" : "";
                       }),
            "left");
}

TEST_P(ParallelFailure, InEveryElementTheFirstOneWins) {
  EXPECT_EQ(failure_of(pool(), kLength, [](std::size_t i) { return "element " + std::to_string(i); }),
            "element 0");
}

TEST_P(ParallelFailure, OfASingleElementReachesTheCaller) {
  EXPECT_EQ(failure_of(pool(), 1, [](std::size_t) { return "only"; }), "only");
}

TEST_P(ParallelFailure, InANestedBatchReachesTheOuterCaller) {
  const std::vector<std::size_t> outer = indices(20);
  const std::vector<std::size_t> inner = indices(500);
  std::vector<std::size_t> output;
  try {
    pool().map(std::span<const std::size_t>(outer),
               [&](std::size_t k) {
                 std::vector<std::size_t> row;
                 parallel_map(std::span<const std::size_t>(inner),
                              [k](std::size_t i) {
                                if (k == 13 && i == 250) throw Panic("inner 13/250");
                                return i;
                              },
                              row);
                 return row.size();
               },
               output);
    FAIL() << "the inner failure was lost";
  } catch (const Panic& p) {
    EXPECT_EQ(p.message(), "inner 13/250");
  }
  EXPECT_TRUE(output.empty());
}

TEST_P(ParallelFailure, OfAnyTypeReachesTheCaller) {
  const std::vector<std::size_t> input = indices(kLength);
  std::vector<std::size_t> output;
  EXPECT_THROW(pool().map(std::span<const std::size_t>(input),
                          [](std::size_t i) -> std::size_t {
                            if (i == 600) throw std::bad_alloc();
                            return i;
                          },
                          output),
               std::bad_alloc);
  EXPECT_THROW(pool().map(std::span<const std::size_t>(input),
                          [](std::size_t i) -> std::size_t {
                            if (i == 400) throw 42;
                            return i;
                          },
                          output),
               int);
  EXPECT_TRUE(output.empty());
}

TEST_P(ParallelFailure, LeavesTheOutputAsItWasAndDestroysWhatWasMade) {
  const std::vector<std::size_t> input = indices(kLength);
  std::vector<Tracked> output;
  output.emplace_back(1);
  output.emplace_back(2);
  const long live_before = Tracked::live.load();

  EXPECT_THROW(pool().map(std::span<const std::size_t>(input),
                          [](std::size_t i) {
                            if (i == 700) throw std::runtime_error("element 700");
                            return Tracked(i);
                          },
                          output),
               std::runtime_error);

  EXPECT_EQ(Tracked::live.load(), live_before);
  ASSERT_EQ(output.size(), 2u);
  EXPECT_EQ(output[0].value, 1u);
  EXPECT_EQ(output[1].value, 2u);
}

TEST_P(ParallelFailure, LeavesThePoolServingLaterBatches) {
  for (int round = 0; round != 3; ++round) {
    EXPECT_EQ(failure_of(pool(), kLength, [](std::size_t i) { return i % 3 == 1 ? "x" : ""; }), "x");
    const std::vector<std::size_t> input = indices(kLength);
    std::vector<std::size_t> output;
    pool().map(std::span<const std::size_t>(input), [](std::size_t i) { return 2 * i; }, output);
    ASSERT_EQ(output.size(), kLength);
    for (std::size_t i = 0; i != kLength; ++i) ASSERT_EQ(output[i], 2 * i);
  }
}

TEST(ParallelGlobalPoolFailure, ReachesTheCallerAndThePoolGoesOn) {
  const std::vector<std::size_t> input = indices(kLength);
  std::vector<std::size_t> output;
  EXPECT_THROW(parallel_map(std::span<const std::size_t>(input),
                            [](std::size_t i) -> std::size_t {
                              if (i == kLength / 2) throw Panic("middle");
                              return i;
                            },
                            output),
               Panic);
  EXPECT_TRUE(output.empty());
  parallel_map(std::span<const std::size_t>(input), [](std::size_t i) { return i + 1; }, output);
  ASSERT_EQ(output.size(), kLength);
  EXPECT_EQ(output.back(), kLength);
}

// A platform that runs short of threads after starting two.
struct ThreadsRunOut {
  std::atomic<int> started{0};
  std::thread operator()(std::function<void()> body) {
    if (started.fetch_add(1) >= 2) throw std::system_error(EAGAIN, std::generic_category(), "start");
    return std::thread(std::move(body));
  }
};

TEST(ParallelPoolStart, FailsNamingTheWorkerThatCouldNotStart) {
  auto run_out = std::make_shared<ThreadsRunOut>();
  try {
    Pool pool(5, [run_out](std::function<void()> body) { return (*run_out)(std::move(body)); });
    FAIL() << "the pool started";
  } catch (const detail::PoolStartError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("could not start worker thread 3 of 5 (", 0), 0u) << e.what();
  }
}

TEST(ParallelPoolStart, OfTheGlobalPoolFallsBackOnTheCallersWithANotice) {
  auto run_out = std::make_shared<ThreadsRunOut>();
  ::testing::internal::CaptureStderr();
  std::unique_ptr<detail::Registry> registry(detail::new_global_registry(
      5, [run_out](std::function<void()> body) { return (*run_out)(std::move(body)); }));
  const std::string notice = ::testing::internal::GetCapturedStderr();
  EXPECT_TRUE(registry->runs_on_callers());
  EXPECT_EQ(registry->num_threads(), 1u);
  const std::string expected =
      "caustica: could not start the worker pool (could not start worker thread 3 of 5 (";
  EXPECT_EQ(notice.rfind(expected, 0), 0u) << notice;
  EXPECT_TRUE(notice.ends_with("); every batch runs on the thread that calls it\n")) << notice;
}

// Sizes whose per-worker allocations would wrap (2^57 and up), and the largest of all.
class ParallelImpossibleSize : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ParallelImpossibleSize, IsRefusedBeforeAnythingStarts) {
  const std::size_t threads_before = testing::threads_in_process();
  try {
    Pool pool(GetParam());
    FAIL() << "the pool started";
  } catch (const detail::PoolStartError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot start " + std::to_string(GetParam()) +
                                         " worker threads, more than the 8192 a pool may have");
  }
  EXPECT_EQ(testing::threads_in_process(), threads_before);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ParallelImpossibleSize,
                         ::testing::Values(std::size_t{8193}, std::size_t{1} << 57,
                                           SIZE_MAX / 2 + 1, SIZE_MAX));

}  // namespace
}  // namespace caustica::parallel
