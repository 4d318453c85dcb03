// A profile's magnification far outside the source: the profile-weighted mean of the
// point-source magnification A(u),
//   sum_k (rho^2 / 4)^k / (k!)^2 <x^2k> Lap^k A(u),
// which is the uniform disk's series (<x^2k> = 1 / (k + 1)) with its k-th term scaled by
// (k + 1) <x^2k>. Written once over the number type V: a double for one separation, W doubles
// for the lanes (kernel_lanes.hpp). Everything here is always inlined, since the lanes'
// translation units compile it for wider instruction sets.
#pragma once

#include <array>
#include <cstddef>

#include "magnification/profile_far_field_series.hpp"
#include "magnification/profile.hpp"
#include "magnification/witt_mao_far_field.hpp"
#include "numeric/error_free.hpp"
#include "numeric/lanes.hpp"

namespace caustica {

// What the series takes of a profile, as plain data: its factors (k + 1) <x^2k>, k = 1 ...
// TERMS, the square of its reach and the separation from which it serves, in source radii.
struct ProfileFarField {
  const double* moment_factors;
  double reach2, start;
};

[[gnu::always_inline]] inline ProfileFarField far_field_of(const RadialProfile& profile) {
  return {profile.moment_factors().data(), profile.far_field_reach2(), profile.far_field_start()};
}

// A point takes term k exactly where z > Q_FOR_TERMS[k - 1] and the power w^j (j >= 1)
// exactly where w > W_FOR_DEGREES[j - 1]: a lane's own K and J are masks.
static_assert(far_field::detail::increasing(profile_far_field::Q_FOR_TERMS) &&
              far_field::detail::increasing(profile_far_field::W_FOR_DEGREES));

// How many of the first n thresholds (increasing) lie below v: by bisection, since a large source
// (w near 1) passes all 45 powers' thresholds. A NaN passes none.
template <std::size_t N>
[[gnu::always_inline]] inline int thresholds_below(const std::array<double, N>& thresholds, int n,
                                                   double v) {
  int below = 0, above = n;  // thresholds[i] < v for i < below, not for i >= above
  while (below < above) {
    const int mid = (below + above) / 2;
    if (thresholds[mid] < v) {
      below = mid + 1;
    } else {
      above = mid;
    }
  }
  return below;
}

// (1 + t / 2 + S / (y (y + 4))) / sqrt(1 + t), t = 4 / y, y = (x rho)^2: the series' closing
// expression, each of y, t, the root and the quotient carried with its rounding error, so that
// the result is rounded once (within 0.51 ulp, where the plain expression lands up to 2.5 ulp
// off). S is a correction of a few per cent and takes no such care.
template <class V>
[[gnu::always_inline]] inline V profile_far_field_closing(V x, V rho, V S) {
  using numeric::Exact, numeric::two_product, numeric::two_sum;
  const V one = lanes::broadcast<V>(1.0);
  const Exact<V> u = two_product(x, rho);
  Exact<V> y = two_product(u.hi, u.hi);
  y = two_sum(y.hi, y.lo + 2.0 * u.hi * u.lo);
  const V t = 4.0 / y.hi;
  const Exact<V> ty = two_product(t, y.hi);
  const V t_lo = (((4.0 - ty.hi) - ty.lo) - t * y.lo) * (t * 0.25);
  const Exact<V> a = two_sum(one, t);
  const V a_lo = a.lo + t_lo;
  const V d = lanes::sqrt(a.hi), inverse = 1.0 / d;
  const Exact<V> dd = two_product(d, d);
  const V d_lo = (((a.hi - dd.hi) - dd.lo) + a_lo) * (0.5 * inverse);
  const Exact<V> n1 = two_sum(one, 0.5 * t);
  const Exact<V> n = two_sum(n1.hi, S / (y.hi * (y.hi + 4.0)));
  const V n_lo = (n1.lo + n.lo) + 0.5 * t_lo;
  const V A = n.hi * inverse;
  const Exact<V> Ad = two_product(A, d);
  return A + ((((n.hi - Ad.hi) - Ad.lo) + n_lo) - A * d_lo) * inverse;
}

// x >= profile.start: separation in source radii; rho: source radius in Einstein radii.
//
// The lanes run to the largest K and J of their group, and each lane's own are masks, as in
// far_field::far_from_source: past a lane's own top power its coefficient is an exact 0, and
// Horner from 0 gives +0 (w finite, at least +0) until that power, where 0 * w + R_j = R_j as
// in the scalar sum; the powers below the group's smallest J (w^0 among them) every lane takes.
// A term past the lane's own K adds an exact +0 in place of its product (whatever the factor: a
// NaN one must not reach a point that never takes it), so S = (+0 + +0) * q = +0 (q finite, at
// least +0) until the lane's own K, where the scalar sum starts from S = 0. Each of the three
// closings is made where some lane takes it, and each lane keeps the one the scalar function
// takes: every lane takes exactly the scalar operations on its own values.
template <class V>
[[gnu::always_inline]] inline V far_from_profile(const ProfileFarField& profile, V x, V rho) {
  using lanes::Mask;
  using profile_far_field::Q_FOR_TERMS, profile_far_field::R, profile_far_field::TERMS,
      profile_far_field::W_FOR_DEGREES;
  const V u = x * rho;
  const V y = u * u;
  const V w = 1.0 / (1.0 + 4.0 / y);
  const V q = 1.0 / (x * x);
  // The k-th term is at most the uniform disk's in z = reach^2 q: the terms that cannot reach
  // 1e-17 of the result are dropped. The group's K and J are those of its largest z and w
  // (x >= start and a valid rho leave neither NaN).
  const V z = q * profile.reach2;
  const int K = thresholds_below(Q_FOR_TERMS, TERMS, lanes::max_lane(z));
  // For a small source w < u^2 / 4 is small too, and the high powers of w do not count.
  const int J = 1 + thresholds_below(W_FOR_DEGREES, 2 * TERMS - 1, lanes::max_lane(w));
  // The powers below every lane's own J need no mask: along a light curve, most of them.
  const int J_all =
      lanes::is_scalar<V> ? J : 1 + thresholds_below(W_FOR_DEGREES, 2 * TERMS - 1, lanes::min_lane(w));
  V S = lanes::broadcast<V>(0.0);
  for (int k = K; k >= 1; --k) {
    const std::array<double, 2 * TERMS>& Rk = R[k - 1];
    const int top = 2 * k < J ? 2 * k : J;
    V R_w = lanes::broadcast<V>(0.0);
    if constexpr (lanes::is_scalar<V>) {
      for (int j = top - 1; j >= 0; --j) R_w = R_w * w + Rk[j];
      S = (S + profile.moment_factors[k - 1] * R_w) * q;
    } else {
      int j = top - 1;
      for (; j >= J_all; --j) {
        R_w = R_w * w + lanes::select(w > W_FOR_DEGREES[j - 1], lanes::broadcast<V>(Rk[j]),
                                      lanes::broadcast<V>(0.0));
      }
      for (; j >= 0; --j) R_w = R_w * w + Rk[j];
      const V term = profile.moment_factors[k - 1] * R_w;
      S = (S + lanes::select(z > Q_FOR_TERMS[k - 1], term, lanes::broadcast<V>(0.0))) * q;
    }
  }
  // ((y + 2) + S / (y + 4)) / (u sqrt(y + 4)). Up to twice the series' start, where it stands
  // in for quadrature that lands within an ulp or so, to the last bit (where products split
  // safely: x < 1e280 there); farther out, where it costs a third of the series, as before. For
  // a tiny source, whose y would lose digits to underflow, as it is; else divided through by y,
  // so that it tends to 1.
  const Mask<V> exact = (x < 2.0 * profile.start) & (u > 1e-100) & (u < 1e100);
  const Mask<V> tiny = u <= 1e-100;
  V A = lanes::broadcast<V>(0.0);
  if (!lanes::all(exact)) A = ((1.0 + 2.0 / y) + S / (y * (y + 4.0))) / lanes::sqrt(1.0 + 4.0 / y);
  if (lanes::any(exact)) A = lanes::select(exact, profile_far_field_closing(x, rho, S), A);
  if (lanes::any(tiny)) {
    A = lanes::select(tiny, ((y + 2.0) + S / (y + 4.0)) / (u * lanes::sqrt(y + 4.0)), A);
  }
  return A;
}

// The one-lane case, for one separation of the profile.
[[gnu::always_inline]] inline double far_from_profile(const RadialProfile& profile, double x,
                                                      double rho) {
  return far_from_profile(far_field_of(profile), x, rho);
}

}  // namespace caustica
