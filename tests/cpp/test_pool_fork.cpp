// The process-wide pool across fork(): the child gets a pool of its own, of the same size, and
// the parent's pool goes on as before.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <numeric>
#include <span>
#include <thread>
#include <vector>

#include "parallel/parallel_map.hpp"
#include "parallel_test_support.hpp"

namespace caustica::parallel {
namespace {

// A child that hangs is killed by this alarm, and the parent sees a signal instead of an exit.
constexpr unsigned kChildSeconds = 60;

constexpr int kChildOk = 0;
constexpr int kChildWrongResults = 1;
constexpr int kChildWrongSize = 2;
constexpr int kChildWrongThreads = 3;

bool batch_is_correct(std::size_t n) {
  std::vector<std::uint64_t> input(n);
  std::iota(input.begin(), input.end(), std::uint64_t{0});
  std::vector<std::uint64_t> output;
  parallel_map(std::span<const std::uint64_t>(input), [](std::uint64_t x) { return x * x + 1; },
               output);
  if (output.size() != n) return false;
  for (std::size_t i = 0; i != n; ++i) {
    if (output[i] != i * i + 1) return false;
  }
  return true;
}

// Forks; the child runs `child` and exits with its status. Returns the child's wait status.
template <class Child>
int in_child(Child child) {
  const pid_t pid = fork();
  if (pid == 0) {
    alarm(kChildSeconds);
    _exit(child());
  }
  EXPECT_GT(pid, 0);
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  return status;
}

void expect_exit_ok(int status) {
  ASSERT_TRUE(WIFEXITED(status)) << "child ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), kChildOk);
}

class ParallelFork : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "ThreadSanitizer does not support threads started after a multi-threaded fork";
#endif
  }
};

TEST_F(ParallelFork, ChildGetsAFreshPoolOfTheSameSize) {
  ASSERT_TRUE(batch_is_correct(10000));
  const std::size_t num_threads = current_num_threads();
  expect_exit_ok(in_child([num_threads] {
    if (!batch_is_correct(100000)) return kChildWrongResults;
    if (current_num_threads() != num_threads) return kChildWrongSize;
    // The forking thread and the child's own workers; none of the parent's came along.
    if (testing::threads_in_process() != num_threads + 1) return kChildWrongThreads;
    return kChildOk;
  }));
  EXPECT_TRUE(batch_is_correct(10000));
}

TEST_F(ParallelFork, ChildIsNotHeldByThreadsBusyInTheParent) {
  ASSERT_TRUE(batch_is_correct(1000));
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> busy;
  for (int t = 0; t != 2; ++t) {
    busy.emplace_back([&] {
      while (!stop.load()) {
        if (!batch_is_correct(5000)) wrong.fetch_add(1);
      }
    });
  }
  for (int round = 0; round != 5; ++round) {
    expect_exit_ok(in_child([] { return batch_is_correct(20000) ? kChildOk : kChildWrongResults; }));
  }
  stop.store(true);
  for (std::thread& t : busy) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ParallelFork, GrandchildGetsAPoolToo) {
  ASSERT_TRUE(batch_is_correct(1000));
  expect_exit_ok(in_child([] {
    if (!batch_is_correct(1000)) return kChildWrongResults;
    const int status = in_child([] { return batch_is_correct(1000) ? kChildOk : kChildWrongResults; });
    return WIFEXITED(status) ? WEXITSTATUS(status) : kChildWrongResults;
  }));
}

}  // namespace
}  // namespace caustica::parallel
