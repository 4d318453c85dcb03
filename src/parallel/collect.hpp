// Where a batch writes its results: storage for every slot, allocated once and constructed
// slot by slot, so the element type needs no default constructor and order needs no sorting.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

#include "core/panic.hpp"

namespace caustica::parallel::detail {

template <class Out>
class SlotBuffer {
 public:
  explicit SlotBuffer(std::size_t n) : n_(n), slots_(n != 0 ? std::allocator<Out>().allocate(n) : nullptr) {}
  ~SlotBuffer() {
    if (slots_ != nullptr) std::allocator<Out>().deallocate(slots_, n_);
  }
  SlotBuffer(const SlotBuffer&) = delete;
  SlotBuffer& operator=(const SlotBuffer&) = delete;

  Out* data() const noexcept { return slots_; }

 private:
  std::size_t n_;
  Out* slots_;
};

// The slots [start, start + written) of a chunk's range [start, start + total), which this
// object has constructed and destroys unless it hands them on.
template <class Out>
class CollectResult {
 public:
  CollectResult(Out* start, std::size_t total) noexcept : start_(start), total_(total) {}
  CollectResult(CollectResult&& other) noexcept
      : start_(other.start_), total_(other.total_), written_(std::exchange(other.written_, 0)) {}
  CollectResult& operator=(CollectResult&&) = delete;
  ~CollectResult() { std::destroy_n(start_, written_); }

  template <class F, class In>
  void push(F& f, const In& x) {
    if (written_ == total_) panic("too many values pushed to consumer");
    ::new (static_cast<void*>(start_ + written_)) Out(f(x));
    ++written_;
  }

  std::size_t written() const noexcept { return written_; }
  Out* begin() const noexcept { return start_; }
  Out* end() const noexcept { return start_ + written_; }

  // Takes over `right` if its slots begin where this one's writes end; otherwise `right`
  // goes out of scope here and releases its slots uncounted.
  void append(CollectResult right) noexcept {
    if (end() != right.start_) return;
    total_ += right.total_;
    written_ += std::exchange(right.written_, 0);
  }

 private:
  Out* start_;
  std::size_t total_;
  std::size_t written_ = 0;
};

}  // namespace caustica::parallel::detail
