// Order-preserving parallel map on a pool of worker threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "core/panic.hpp"
#include "parallel/collect.hpp"
#include "parallel/pool.hpp"
#include "parallel/worker.hpp"

namespace caustica::parallel {

// On a worker thread, the size of its pool; elsewhere the size of the process-wide pool,
// which this creates if it does not exist yet.
std::size_t current_num_threads();

namespace detail {

template <class In, class Out, class F>
struct Batch {
  const In* input;
  Out* slots;
  F& f;
  std::size_t num_threads;
};

// About 2N chunks where the load is even; a half that moved to an idle thread starts again at
// N, so cutting goes on wherever threads are idle.
inline bool try_split(std::size_t& splits, std::size_t len, bool migrated,
                      std::size_t num_threads) noexcept {
  if (len / 2 < 1) return false;
  if (migrated) {
    splits = std::max(num_threads, splits / 2);
    return true;
  }
  if (splits == 0) return false;
  splits /= 2;
  return true;
}

template <class In, class Out, class F>
CollectResult<Out> produce(const Batch<In, Out, F>& batch, std::size_t begin, std::size_t len) {
  CollectResult<Out> written(batch.slots + begin, len);
  for (std::size_t i = begin; i != begin + len; ++i) written.push(batch.f, batch.input[i]);
  return written;
}

// Computes [begin, begin + len) on `worker` (nullptr: a pool without threads).
template <class In, class Out, class F>
CollectResult<Out> run_chunk(const Batch<In, Out, F>& batch, WorkerThread* worker,
                             std::size_t begin, std::size_t len, bool migrated,
                             std::size_t splits) {
  if (!try_split(splits, len, migrated, batch.num_threads)) return produce(batch, begin, len);
  const std::size_t mid = len / 2;
  auto left = [&batch, begin, mid, splits](WorkerThread* on, bool m) {
    return run_chunk(batch, on, begin, mid, m, splits);
  };
  auto right = [&batch, begin, mid, len, splits](WorkerThread* on, bool m) {
    return run_chunk(batch, on, begin + mid, len - mid, m, splits);
  };
  auto [l, r] = worker != nullptr ? worker->join(left, right, false) : serial_join(left, right);
  l.append(std::move(r));
  return std::move(l);
}

// `current`: the registry is the caller's own (the one the batches it nests would go to).
template <class In, class Out, class F>
CollectResult<Out> run_batch(Registry& registry, const Batch<In, Out, F>& batch, std::size_t n,
                             bool current) {
  const std::size_t num_threads = batch.num_threads;
  // A pool of one thread would only take the batch over while its caller waits: its own caller
  // runs it, without waking a sleeping worker (tens of microseconds a call on a virtual machine).
  if (registry.runs_on_callers() || (num_threads == 1 && current)) {
    return run_chunk(batch, nullptr, 0, n, false, num_threads);
  }
  if (WorkerThread* worker = current_worker(); worker && &worker->registry() == &registry) {
    return run_chunk(batch, worker, 0, n, false, num_threads);
  }
  // From outside the pool: the first cut is decided here; a single chunk stays here.
  std::size_t splits = num_threads;
  if (!try_split(splits, n, false, num_threads)) return produce(batch, 0, n);
  const std::size_t mid = n / 2;
  auto left = [&batch, mid, splits](WorkerThread* on, bool m) {
    return run_chunk(batch, on, 0, mid, m, splits);
  };
  auto right = [&batch, mid, n, splits](WorkerThread* on, bool m) {
    return run_chunk(batch, on, mid, n - mid, m, splits);
  };
  auto pair = [&left, &right](WorkerThread& worker) {
    auto [l, r] = worker.join(left, right, true);
    l.append(std::move(r));
    return std::move(l);
  };
  return registry.run_injected(pair);
}

template <class In, class F, class Out>
void map_on(Registry& registry, bool current, std::span<const In> input, F& f,
            std::vector<Out>& output) {
  const std::size_t n = input.size();
  const std::size_t start = output.size();
  output.reserve(start + n);
  if (output.capacity() - start < n) panic("assertion failed: vec.capacity() - start >= len");
  SlotBuffer<Out> slots(n);
  const Batch<In, Out, F> batch{input.data(), slots.data(), f, registry.num_threads()};
  CollectResult<Out> written = run_batch(registry, batch, n, current);
  if (written.written() != n) {
    panic("expected " + std::to_string(n) + " total writes, but got " +
          std::to_string(written.written()));
  }
  if constexpr (std::is_move_assignable_v<Out>) {
    output.insert(output.end(), std::make_move_iterator(written.begin()),
                  std::make_move_iterator(written.end()));
  } else {
    for (Out& result : written) output.push_back(std::move(result));
  }
}

}  // namespace detail

// Appends f(input[i]) for every i to output, in input order. f is called concurrently from
// the pool's threads. If f throws, the exception reaches the caller once the whole batch has
// stopped, output keeps its old length, and the results already made are destroyed.
template <class In, class F, class Out>
void parallel_map(std::span<const In> input, F&& f, std::vector<Out>& output) {
  detail::map_on(detail::current_registry(), true, input, f, output);
}

template <class In, class F, class Out>
void Pool::map(std::span<const In> input, F&& f, std::vector<Out>& output) {
  detail::map_on(*registry_, false, input, f, output);
}

}  // namespace caustica::parallel
