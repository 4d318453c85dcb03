// Work-stealing deque: Chase and Lev, "Dynamic Circular Work-Stealing Deque" (SPAA 2005),
// with the memory orders of Lê, Pop, Cohen and Zappa Nardelli, "Correct and Efficient
// Work-Stealing for Weak Memory Models" (PPoPP 2013), figure 1.
//
// The owning worker pushes and pops at the bottom; any other thread steals from the top.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <vector>

namespace caustica::parallel::detail {

inline constexpr std::size_t kCacheLine = 64;

template <class T>
class WorkDeque {
  static_assert(std::is_pointer_v<T>, "an item is a pointer, so that a slot is one atomic word");

 public:
  enum class Steal { kEmpty, kLostRace, kTaken };

  WorkDeque() : array_(arrays_.emplace_back(std::make_unique<Array>(kInitialCapacity)).get()) {}
  WorkDeque(const WorkDeque&) = delete;
  WorkDeque& operator=(const WorkDeque&) = delete;

  // Owner only.
  void push(T item) {
    const std::int64_t b = bottom_.load(std::memory_order_relaxed);
    const std::int64_t t = top_.load(std::memory_order_acquire);
    Array* a = array_.load(std::memory_order_relaxed);
    if (b - t > a->capacity() - 1) a = grow(a, t, b);
    a->put(b, item);
    std::atomic_thread_fence(std::memory_order_release);
    // The paper stores bottom relaxed after the fence. The release store adds nothing on the
    // hardware but lets ThreadSanitizer, which does not model fences, see the item published.
    bottom_.store(b + 1, std::memory_order_release);
  }

  // Owner only. Returns nullptr when the deque is empty or a thief took the last item.
  T pop() noexcept {
    const std::int64_t b = bottom_.load(std::memory_order_relaxed) - 1;
    Array* a = array_.load(std::memory_order_relaxed);
    bottom_.store(b, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::int64_t t = top_.load(std::memory_order_relaxed);
    if (t > b) {
      bottom_.store(b + 1, std::memory_order_relaxed);
      return nullptr;
    }
    T item = a->get(b);
    if (t == b) {
      // The last item: thieves may be reaching for it too, and the top decides.
      if (!top_.compare_exchange_strong(t, t + 1, std::memory_order_seq_cst,
                                        std::memory_order_relaxed)) {
        item = nullptr;
      }
      bottom_.store(b + 1, std::memory_order_relaxed);
    }
    return item;
  }

  // Any thread.
  Steal steal(T& item) noexcept {
    std::int64_t t = top_.load(std::memory_order_acquire);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    const std::int64_t b = bottom_.load(std::memory_order_acquire);
    if (t >= b) return Steal::kEmpty;
    // The paper loads the array with consume, which compilers implement as acquire anyway.
    const Array* a = array_.load(std::memory_order_acquire);
    T candidate = a->get(t);
    if (!top_.compare_exchange_strong(t, t + 1, std::memory_order_seq_cst,
                                      std::memory_order_relaxed)) {
      return Steal::kLostRace;
    }
    item = candidate;
    return Steal::kTaken;
  }

  // Any thread; a hint. While the owner pops, bottom may dip by one, but only for the item
  // the owner is taking, so a remaining item is never hidden.
  bool empty() const noexcept {
    const std::int64_t b = bottom_.load(std::memory_order_relaxed);
    const std::int64_t t = top_.load(std::memory_order_relaxed);
    return b <= t;
  }

 private:
  static constexpr std::int64_t kInitialCapacity = 64;

  class Array {
   public:
    explicit Array(std::int64_t capacity)
        : mask_(capacity - 1), slots_(std::make_unique<std::atomic<T>[]>(capacity)) {}
    std::int64_t capacity() const noexcept { return mask_ + 1; }
    void put(std::int64_t i, T item) noexcept {
      slots_[i & mask_].store(item, std::memory_order_relaxed);
    }
    T get(std::int64_t i) const noexcept { return slots_[i & mask_].load(std::memory_order_relaxed); }

   private:
    std::int64_t mask_;
    std::unique_ptr<std::atomic<T>[]> slots_;
  };

  // A thief may still be reading the old array, so it is kept until the deque goes.
  Array* grow(Array* old, std::int64_t t, std::int64_t b) {
    auto bigger = std::make_unique<Array>(2 * old->capacity());
    for (std::int64_t i = t; i != b; ++i) bigger->put(i, old->get(i));
    Array* a = arrays_.emplace_back(std::move(bigger)).get();
    array_.store(a, std::memory_order_release);
    return a;
  }

  alignas(kCacheLine) std::atomic<std::int64_t> top_{0};
  alignas(kCacheLine) std::atomic<std::int64_t> bottom_{0};
  alignas(kCacheLine) std::vector<std::unique_ptr<Array>> arrays_;  // owner only
  std::atomic<Array*> array_;
};

}  // namespace caustica::parallel::detail
