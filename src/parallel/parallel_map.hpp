// Order-preserving parallel map on the process-wide worker pool.
// (Placeholder: a serial map until the pool lands; same contract.)
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace caustica::parallel {

std::size_t current_num_threads();

// Appends f(input[i]) for every i to output, in input order.
template <class In, class F, class Out>
void parallel_map(std::span<const In> input, F&& f, std::vector<Out>& output) {
  output.reserve(output.size() + input.size());
  for (const In& x : input) output.push_back(f(x));
}

}  // namespace caustica::parallel
