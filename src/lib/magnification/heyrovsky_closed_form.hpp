// The closed form of the ring magnification (Heyrovsky 2003, ApJ 594, 464), written once over
// the number type V: a double for heyrovsky_kernel, W doubles for its lanes.
#pragma once

#include "elliptic/cel.hpp"
#include "numeric/lanes.hpp"

namespace caustica::closed_form {

// With p = l + r, h = r - l, o = h^2 + 4 s^2 the closed form is
//   g = (4 / (p sqrt(o))) (2 s^2 K(m) + h^2 Pi(n, m)) / (2 pi),
// and its complements follow from h directly: 1 - n = (h / p)^2, 1 - m = (1 - n) (p^2 + 4 s^2) / o,
// so that the ring's neighbourhood, where n and m round towards 1, needs no form of its own: the
// integrals stay within a few ulp right up to the ring, closer than any expansion in h would.
// Lengths are measured in s where the Einstein radius is the larger (s >= 1), so that s^2 is not
// formed where it would overflow. For a ring off the lens (h != 0) and not point-like.
template <class V>
[[gnu::always_inline]] inline V heyrovsky(V l, V r, double s) {
  constexpr double TWO_PI = 6.283185307179586;
  const V h = r - l;
  const V p = l + r;
  const V pc = lanes::abs(h) / p;
  V g;
  if (s >= 1) {
    const V ps = p / s, hs = h / s;
    const V os = hs * hs + 4.0;  // o / s^2
    const elliptic::KPiOf<V> I = elliptic::kpi(pc * lanes::sqrt((ps * ps + 4.0) / os), pc);
    g = (4.0 / (p * lanes::sqrt(os))) * ((s + s) * I.K + (h * hs) * I.Pi);
  } else {
    const double s2 = s * s;
    const V o = h * h + s2 * 4;
    const elliptic::KPiOf<V> I = elliptic::kpi(pc * lanes::sqrt((p * p + s2 * 4) / o), pc);
    const V root_o = lanes::sqrt(o);
    const V B = (s2 + s2) * I.K + (h * h) * I.Pi;
    // For a ring and lens a few 1e-303 from the centre of a large source, 4 / (p sqrt(o))
    // overflows though g does not: there B / sqrt(o), about s K, is formed first.
    constexpr double SMALLEST_DIVISOR = 0x1p-1021;  // the least d for which 4 / d is finite
    g = lanes::select(p * root_o >= SMALLEST_DIVISOR, (4.0 / (p * root_o)) * B,
                      (4.0 * (B / root_o)) / p);
  }
  // Every average of the point-lens magnification is at least 1; where the ring is far from the
  // lens in Einstein radii, rounding may leave less.
  const V A = g / TWO_PI;
  return lanes::select(A < 1.0, lanes::broadcast<V>(1.0), A);
}

}  // namespace caustica::closed_form
