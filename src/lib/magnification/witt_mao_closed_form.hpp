// The closed form of the uniform-disk magnification (Witt & Mao 1994, ApJ 430, 505, eq. (9)),
// written once over the number type V: a double for witt_mao_kernel, W doubles for its lanes.
#pragma once

#include "elliptic/cel.hpp"
#include "numeric/lanes.hpp"

namespace caustica::closed_form {

// What the two frames of the closed form differ in: with d = u - rho, s = u + rho (rho <= 1,
// lengths in Einstein radii, the common factor 1 / rho taken out) or d = x - 1, s = x + 1 and
// the Einstein diameter t = 2 / rho (rho > 1, lengths in source radii),
//   q2 = s^2 + 4 or s^2 + t^2,  w2 = d^2 + 4 or d^2 + t^2,  and the factors of the K and Pi
//   terms and of the sum.
template <class V>
struct DiskFrame {
  V q2, w2, k_factor, pi_factor, scale;
};

template <class V>
[[gnu::always_inline]] inline DiskFrame<V> einstein_frame(V x, V rho, V c) {
  const V d = x * rho - rho;
  const V s = rho * (x + 1.0);
  return {s * s + 4.0, d * d + 4.0, (c * (x * x - 1.0)) * 0.5 + 4.0, c + 1.0, rho};
}

template <class V>
[[gnu::always_inline]] inline DiskFrame<V> source_frame(V x, V c) {
  const V xm = x - 1.0, xp = x + 1.0;
  const V t2 = 4.0 / c;  // (2 / rho)^2: the Einstein diameter in source radii, squared
  return {xp * xp + t2, xm * xm + t2, (x * x - 1.0) * 0.5 + t2, 1.0 + t2 * 0.25,
          lanes::broadcast<V>(1.0)};
}

template <class V>
[[gnu::always_inline]] inline DiskFrame<V> select(lanes::Mask<V> m, const DiskFrame<V>& a,
                                                  const DiskFrame<V>& b) {
  using lanes::select;
  return {select(m, a.q2, b.q2), select(m, a.w2, b.w2), select(m, a.k_factor, b.k_factor),
          select(m, a.pi_factor, b.pi_factor), select(m, a.scale, b.scale)};
}

// The closed form in x = u / rho, so that neither rho^2 nor rho^4 is formed where it would
// overflow or underflow. With pc = |x - 1| / (x + 1),
//   1 - n = pc^2,   1 - m = pc^2 q2 / w2,
// which the integrals take directly: no cancellation towards the limb, no branch for it.
// For x >= 0 off the limb; c = rho * rho.
template <class V>
[[gnu::always_inline]] inline V witt_mao(V x, V rho, V c) {
  constexpr double PI = 3.141592653589793;
  const lanes::Mask<V> small = rho <= 1.0;
  // A batch's lanes usually share one frame; a limb-darkened disk's inner disks may not.
  const DiskFrame<V> f = lanes::all(small)   ? einstein_frame(x, rho, c)
                         : !lanes::any(small) ? source_frame(x, c)
                                              : select(small, einstein_frame(x, rho, c), source_frame(x, c));
  const V xm = x - 1.0, xp = x + 1.0;
  const V pc = lanes::abs(xm) / xp;
  const V w = lanes::sqrt(f.w2);
  const elliptic::KEPiOf<V> I = elliptic::kepi(pc * lanes::sqrt(f.q2 / f.w2), pc);
  const V e_term = ((xp * w) * 0.5) * I.E;
  const V k_term = ((xm * f.k_factor) / w) * I.K;
  const V p_term = (((xm * xm) * 2.0) * f.pi_factor / (w * xp)) * I.Pi;
  const V A = ((e_term - k_term + p_term) / f.scale) / PI;
  // Every average of the point-lens magnification is at least 1; where the three terms cancel
  // (a source much larger than the Einstein radius) rounding may leave less.
  return lanes::select(A < 1.0, lanes::broadcast<V>(1.0), A);
}

}  // namespace caustica::closed_form
