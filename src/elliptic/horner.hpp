// Horner's rule over a fixed coefficient table, unrolled at compile time: no loop, no call.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

namespace caustica::elliptic {

namespace detail {
template <std::size_t N, std::size_t... J>
[[gnu::always_inline]] inline double horner(const std::array<double, N>& c, double x,
                                            std::index_sequence<J...>) {
  double p = c[N - 1];
  ((p = p * x + c[N - 2 - J]), ...);
  return p;
}
}  // namespace detail

// c[0] + c[1] x + ... + c[N-1] x^(N-1), from the highest coefficient down.
template <std::size_t N>
[[gnu::always_inline]] inline double horner(const std::array<double, N>& c, double x) {
  static_assert(N >= 1);
  return detail::horner(c, x, std::make_index_sequence<N - 1>{});
}

}  // namespace caustica::elliptic
