// The uniform disk far outside the source: the disk average of the point-source magnification
// as a series in q = 1 / x^2 whose k-th term is a polynomial R_k in w = 1 / (1 + 4 / u^2)
// (far_field_series.hpp), written once over the number type V: a double for witt_mao_kernel,
// W doubles for its lanes.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "magnification/far_field_series.hpp"
#include "numeric/lanes.hpp"

namespace caustica::far_field {

namespace detail {

template <std::size_t N>
constexpr bool increasing(const std::array<double, N>& a) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(a[i - 1] < a[i])) return false;
  }
  return true;
}

}  // namespace detail

// With both thresholds increasing, a point takes term k exactly where q > Q_FOR_TERMS[k - 1]
// and the power w^j (j >= 1) exactly where w > W_FOR_DEGREES[j - 1]: a lane's own K and J
// are masks, and the lanes of one group need not agree on them.
static_assert(detail::increasing(Q_FOR_TERMS) && detail::increasing(W_FOR_DEGREES));

// x >= FAR_FIELD (or 5 for rho >= 1) in source radii, u = x rho in Einstein radii.
//
// The series takes, at each point, only the terms (K of them, from q) and the powers of w (J,
// from w) that still count there. Lanes run to the largest K and J of the group; in a lane past
// its own, the coefficient is an exact 0. Horner from 0 then gives 0 * w + 0 = +0 (w is finite
// and at least +0) until the lane's own top power, where 0 * w + R_j = R_j as in the scalar
// sum, and a term past the lane's own K leaves S = (+0 + +0) * q = +0 (q finite, at least +0)
// until its own K, where the scalar sum starts from S = 0. The closing expression takes the
// lane's own S, y and u; where u is tiny in some lane, both forms are made and each lane keeps
// the one the scalar sum takes. So every lane takes exactly the scalar operations on its own
// values.
template <class V>
[[gnu::always_inline]] inline V far_from_source(V x, V u) {
  using lanes::Mask;
  const V y = u * u;
  const V w = 1.0 / (1.0 + 4.0 / y);
  const V q = 1.0 / (x * x);
  // The group's K and J are those of its largest q and w (x >= 3 and rho > 0 leave neither NaN).
  const double q_top = lanes::max_lane(q), w_top = lanes::max_lane(w);
  int K = 0;
  while (K < TERMS && q_top > Q_FOR_TERMS[K]) ++K;
  // For a small source w < u^2 / 4 is small too, and the high powers of w do not count.
  int J = 1;
  while (J < 2 * TERMS && w_top > W_FOR_DEGREES[J - 1]) ++J;
  V S = lanes::broadcast<V>(0.0);
  for (int k = K; k >= 1; --k) {
    const std::array<double, 2 * TERMS>& Rk = R[k - 1];
    V R_w = lanes::broadcast<V>(0.0);
    if constexpr (lanes::is_scalar<V>) {
      for (int j = std::min(2 * k, J) - 1; j >= 0; --j) R_w = R_w * w + Rk[j];
    } else {
      const Mask<V> term = q > Q_FOR_TERMS[k - 1];
      for (int j = std::min(2 * k, J) - 1; j >= 1; --j) {
        R_w = R_w * w + lanes::select(term & (w > W_FOR_DEGREES[j - 1]), lanes::broadcast<V>(Rk[j]),
                                      lanes::broadcast<V>(0.0));
      }
      R_w = R_w * w + lanes::select(term, lanes::broadcast<V>(Rk[0]), lanes::broadcast<V>(0.0));
    }
    S = (S + R_w) * q;
  }
  // Divided through by y, so that it tends to 1.
  const V A = ((1.0 + 2.0 / y) + S / (y * (y + 4.0))) / lanes::sqrt(1.0 + 4.0 / y);
  // ((y + 2) + S / (y + 4)) / (u sqrt(y + 4)); where y would lose digits to underflow, as it is.
  const Mask<V> tiny = u < 1e-140;
  if (!lanes::any(tiny)) return A;
  return lanes::select(tiny, ((y + 2.0) + S / (y + 4.0)) / (u * lanes::sqrt(y + 4.0)), A);
}

}  // namespace caustica::far_field
