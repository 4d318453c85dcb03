// A profile's magnification far outside the source: the profile-weighted mean of the
// point-source magnification A(u),
//   sum_k (rho^2 / 4)^k / (k!)^2 <x^2k> Lap^k A(u),
// which is the uniform disk's series (<x^2k> = 1 / (k + 1)) with its k-th term scaled by
// (k + 1) <x^2k>.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

#include "magnification/profile_far_field_series.hpp"
#include "magnification/profile.hpp"
#include "numeric/error_free.hpp"

namespace caustica {

// How many of the first n thresholds (increasing) lie below v: by bisection, since a large source
// (w near 1) passes all 45 powers' thresholds. A NaN passes none.
template <std::size_t N>
inline int thresholds_below(const std::array<double, N>& thresholds, int n, double v) {
  return static_cast<int>(std::lower_bound(thresholds.begin(), thresholds.begin() + n, v) -
                          thresholds.begin());
}

// (1 + t / 2 + S / (y (y + 4))) / sqrt(1 + t), t = 4 / y, y = (x rho)^2: the series' closing
// expression, each of y, t, the root and the quotient carried with its rounding error, so that
// the result is rounded once (within 0.51 ulp, where the plain expression lands up to 2.5 ulp
// off). S is a correction of a few per cent and takes no such care.
inline double profile_far_field_closing(double x, double rho, double S) {
  using numeric::two_product, numeric::two_sum;
  const numeric::Exact u = two_product(x, rho);
  numeric::Exact y = two_product(u.hi, u.hi);
  y = two_sum(y.hi, y.lo + 2 * u.hi * u.lo);
  const double t = 4 / y.hi;
  const numeric::Exact ty = two_product(t, y.hi);
  const double t_lo = (((4 - ty.hi) - ty.lo) - t * y.lo) * (t * 0.25);
  const numeric::Exact a = two_sum(1.0, t);
  const double a_lo = a.lo + t_lo;
  const double d = std::sqrt(a.hi), inverse = 1 / d;
  const numeric::Exact dd = two_product(d, d);
  const double d_lo = (((a.hi - dd.hi) - dd.lo) + a_lo) * (0.5 * inverse);
  const numeric::Exact n1 = two_sum(1.0, 0.5 * t);
  const numeric::Exact n = two_sum(n1.hi, S / (y.hi * (y.hi + 4)));
  const double n_lo = (n1.lo + n.lo) + 0.5 * t_lo;
  const double A = n.hi * inverse;
  const numeric::Exact Ad = two_product(A, d);
  return A + ((((n.hi - Ad.hi) - Ad.lo) + n_lo) - A * d_lo) * inverse;
}

// x: separation in source radii; rho: source radius in Einstein radii.
[[gnu::always_inline]] inline double far_from_profile(const RadialProfile& profile, double x, double rho) {
  const double u = x * rho;
  const double y = u * u;
  const double w = 1 / (1 + 4 / y);
  const double q = 1 / (x * x);
  // The k-th term is at most the uniform disk's in z = reach^2 q: the terms that cannot reach
  // 1e-17 of the result are dropped.
  const double z = q * profile.far_field_reach2();
  const int K = thresholds_below(profile_far_field::Q_FOR_TERMS, profile_far_field::TERMS, z);
  // For a small source w < u^2 / 4 is small too, and the high powers of w do not count.
  const int J = 1 + thresholds_below(profile_far_field::W_FOR_DEGREES, 2 * profile_far_field::TERMS - 1, w);
  double S = 0;
  for (int k = K; k >= 1; --k) {
    const auto& R = profile_far_field::R[k - 1];
    double R_w = 0;
    for (int j = std::min(2 * k, J) - 1; j >= 0; --j) R_w = R_w * w + R[j];
    S = (S + profile.moment_factors()[k - 1] * R_w) * q;
  }
  // ((y + 2) + S / (y + 4)) / (u sqrt(y + 4)). Up to twice the series' start, where it stands
  // in for quadrature that lands within an ulp or so, to the last bit (where products split
  // safely: x < 1e280 there); farther out, where it costs a third of the series, as before. For
  // a tiny source, whose y would lose digits to underflow, as it is; else divided through by y,
  // so that it tends to 1.
  if (x < 2 * profile.far_field_start() && u > 1e-100 && u < 1e100) {
    return profile_far_field_closing(x, rho, S);
  }
  if (u <= 1e-100) return ((y + 2) + S / (y + 4)) / (u * std::sqrt(y + 4));
  return ((1 + 2 / y) + S / (y * (y + 4))) / std::sqrt(1 + 4 / y);
}

}  // namespace caustica
