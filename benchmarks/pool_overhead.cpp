// What a batch costs beyond its elements: trivial elements, pools of a few sizes, batches
// from a thread outside the pool (as from Python) and from a worker (as a nested batch).
// Prints one line per case: pool size, batch length, where it starts, median microseconds.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <span>
#include <vector>

#include "parallel/parallel_map.hpp"

namespace {

using caustica::parallel::Pool;
using Clock = std::chrono::steady_clock;

double trivial(double x) { return x + 1.0; }

template <class Batch>
double median_microseconds(int repetitions, Batch batch) {
  std::vector<double> times;
  for (int r = 0; r != repetitions; ++r) {
    const auto start = Clock::now();
    batch();
    times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

void measure(Pool& pool, std::size_t n, int repetitions) {
  const std::vector<double> input(n, 0.5);
  std::vector<double> output;
  const double outside = median_microseconds(repetitions, [&] {
    output.clear();
    pool.map(std::span<const double>(input), trivial, output);
  });
  // Many nested batches from one worker, so that the submission is not what is measured.
  double nested = 0;
  std::vector<double> unused;
  pool.map(std::span<const int>(std::vector<int>{0, 1}),
           [&](int k) {
             if (k != 0) return 0.0;
             nested = median_microseconds(repetitions, [&] {
               std::vector<double> inner;
               caustica::parallel::parallel_map(std::span<const double>(input), trivial, inner);
             });
             return 0.0;
           },
           unused);
  std::printf("%4zu %8zu %10.2f %10.2f\n", pool.num_threads(), n, outside, nested);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizes = {1, 2, 4};
  if (argc > 1) {
    sizes.clear();
    for (int i = 1; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
  }
  std::printf("%4s %8s %10s %10s\n", "N", "elements", "outside_us", "nested_us");
  for (const std::size_t num_threads : sizes) {
    Pool pool(num_threads);
    for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{1000}}) {
      measure(pool, n, 2000);
    }
  }
}
