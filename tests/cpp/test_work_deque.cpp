// The work-stealing deque alone: owner order, thief order, growth, and no item lost or taken
// twice while thieves race the owner.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "parallel/work_deque.hpp"

namespace caustica::parallel::detail {
namespace {

TEST(ParallelWorkDeque, OwnerTakesNewestThievesTakeOldest) {
  WorkDeque<int*> deque;
  int items[3] = {};
  for (int& item : items) deque.push(&item);
  int* stolen = nullptr;
  ASSERT_EQ(deque.steal(stolen), WorkDeque<int*>::Steal::kTaken);
  EXPECT_EQ(stolen, &items[0]);
  EXPECT_EQ(deque.pop(), &items[2]);
  EXPECT_EQ(deque.pop(), &items[1]);
  EXPECT_EQ(deque.pop(), nullptr);
  EXPECT_EQ(deque.steal(stolen), WorkDeque<int*>::Steal::kEmpty);
  EXPECT_TRUE(deque.empty());
}

TEST(ParallelWorkDeque, GrowsPastItsFirstArray) {
  WorkDeque<int*> deque;
  std::vector<int> items(1000);
  for (int& item : items) deque.push(&item);
  for (auto it = items.rbegin(); it != items.rend(); ++it) ASSERT_EQ(deque.pop(), &*it);
  EXPECT_EQ(deque.pop(), nullptr);
}

TEST(ParallelWorkDeque, HandsEveryItemToExactlyOneThread) {
  constexpr int kItems = 200000;
  constexpr int kThieves = 3;
  WorkDeque<int*> deque;
  std::vector<int> items(kItems);
  std::vector<std::atomic<int>> taken(kItems);
  std::atomic<bool> owner_done{false};
  const auto take = [&](int* item) { taken[item - items.data()].fetch_add(1); };

  std::vector<std::thread> thieves;
  for (int t = 0; t != kThieves; ++t) {
    thieves.emplace_back([&] {
      while (true) {
        const bool finished = owner_done.load(std::memory_order_acquire);
        int* item = nullptr;
        const auto result = deque.steal(item);
        if (result == WorkDeque<int*>::Steal::kTaken) take(item);
        if (finished && result == WorkDeque<int*>::Steal::kEmpty) return;
      }
    });
  }
  // The owner pushes in bursts and pops some back, so pops and steals meet at the last item.
  for (int i = 0; i != kItems; ++i) {
    deque.push(&items[i]);
    if (i % 3 == 2) {
      if (int* item = deque.pop()) take(item);
    }
  }
  while (int* item = deque.pop()) take(item);
  owner_done.store(true, std::memory_order_release);
  for (std::thread& t : thieves) t.join();

  for (int i = 0; i != kItems; ++i) ASSERT_EQ(taken[i].load(), 1) << "item " << i;
}

}  // namespace
}  // namespace caustica::parallel::detail
