// K(m), E(m) and Pi(n, m) together, from the complements kc = sqrt(1 - m) and pc = sqrt(1 - n),
// by Bulirsch's general complete elliptic integral
//   cel(kc, p, a, b) = integral over [0, pi/2] of (a cos^2 t + b sin^2 t)
//                      / ((cos^2 t + p sin^2 t) sqrt(cos^2 t + kc^2 sin^2 t)),
// R. Bulirsch, "Numerical calculation of elliptic integrals and elliptic functions. III",
// Numer. Math. 13 (1969) 305-315; the loop as in Numerical Recipes (2nd ed.) section 6.11.
//   K(m) = cel(kc, 1, 1, 1),  E(m) = cel(kc, 1, 1, kc^2),  Pi(n, m) = cel(kc, 1 - n, 1, 1).
// The sequence of kc (a Gauss transformation, quadratically convergent) does not depend on p, a
// or b, so every integral at one m rides on one loop: one square root per step, shared. Each
// channel (a, b, p) adds only products and sums of positive terms, which is why the complements
// can go to 0 (m and n towards 1) without cancellation: within 6 ulp of mpmath for
// 2^-54 <= pc <= kc <= 1, the whole range of the magnification kernels (m <= n < 1 there, and
// pc = |x - 1| / (x + 1) or |r - l| / (r + l) is at least 2^-54).
//
// Written once over the number type V: a double, or W doubles in the lanes of a vector (see
// numeric/lanes.hpp). Each lane stops at its own step: a lane that has converged keeps its values
// by a mask while the loop runs on for the others, so every lane's bits are the scalar bits.
#pragma once

#include "numeric/lanes.hpp"

namespace caustica::elliptic {

namespace cel_detail {

inline constexpr double HALF_PI = 1.5707963267948966;
// The loop ends once the relative gap of the kc pair is below 2^-26: its square, the error of the
// next step, is then below 2^-52.
inline constexpr double GAP = 1.4901161193847656e-08;  // 2^-26
// kc = 2^-1074 needs 13 steps; the cap keeps a NaN or zero kc from looping for ever.
inline constexpr int MAX_STEPS = 16;

// One channel of cel: a, b and the running p. One reciprocal of p serves both quotients (as
// accurate as two divisions, measured, and cheaper).
template <class V>
struct Channel {
  V a, b, p;
  // A step with r = 1 / p and g = e r given: channels whose p is the same share them. Lanes
  // outside `active` keep their values.
  [[gnu::always_inline]] void step(lanes::Mask<V> active, V r, V g) {
    const V f = a;
    a = lanes::select(active, a + b * r, a);
    b = lanes::select(active, (b + f * g) * 2.0, b);
    p = lanes::select(active, g + p, p);
  }
  [[gnu::always_inline]] void step(lanes::Mask<V> active, V e) {
    const V r = 1.0 / p;
    step(active, r, e * r);
  }
  [[gnu::always_inline]] V value(V em) const {
    return HALF_PI * ((b + a * em) / (em * (em + p)));
  }
};

// The Gauss transformation of kc that every channel rides on: e = kc * em and the running mean
// em. advance() takes one step in the active lanes and says which need another.
template <class V>
struct Modulus {
  V e, em, qc;
  explicit Modulus(V kc) : e(kc), em(lanes::broadcast<V>(1.0)), qc(kc) {}
  [[gnu::always_inline]] lanes::Mask<V> advance(lanes::Mask<V> active) {
    const V em_old = em;
    em = lanes::select(active, em + qc, em);
    const lanes::Mask<V> more = active & (lanes::abs(em_old - qc) > em_old * GAP);
    if (!lanes::any(more)) return more;
    V q = lanes::sqrt(e);
    q = q + q;
    qc = lanes::select(more, q, qc);
    e = lanes::select(more, q * em, e);
    return more;
  }
};

template <class V> [[gnu::always_inline]] inline lanes::Mask<V> every_lane() {
  const V one = lanes::broadcast<V>(1.0);
  return one == one;
}

}  // namespace cel_detail

template <class V>
struct KEPiOf {
  V K, E, Pi;
};

template <class V>
struct KPiOf {
  V K, Pi;
};

using KEPi = KEPiOf<double>;
using KPi = KPiOf<double>;

// K(m), E(m), Pi(n, m) for kc = sqrt(1 - m) and pc = sqrt(1 - n), 0 < pc <= kc <= 1.
template <class V>
[[gnu::always_inline]] inline KEPiOf<V> kepi(V kc, V pc) {
  using namespace cel_detail;
  const V one = lanes::broadcast<V>(1.0);
  // K and E share p = 1; Pi starts from b = 1 / sqrt(1 - n) at p = sqrt(1 - n).
  Channel<V> k{one, one, one}, e2{one, kc * kc, one}, pi{one, 1.0 / pc, pc};
  Modulus<V> mod(kc);
  lanes::Mask<V> active = every_lane<V>();
  for (int step = 0; step < MAX_STEPS && lanes::any(active); ++step) {
    // K and E keep one p: one reciprocal serves both.
    const V r = 1.0 / k.p;
    const V g = mod.e * r;
    k.step(active, r, g);
    e2.step(active, r, g);
    pi.step(active, mod.e);
    active = mod.advance(active);
  }
  return {k.value(mod.em), e2.value(mod.em), pi.value(mod.em)};
}

// K(m) and Pi(n, m) alone, for the ring.
template <class V>
[[gnu::always_inline]] inline KPiOf<V> kpi(V kc, V pc) {
  using namespace cel_detail;
  const V one = lanes::broadcast<V>(1.0);
  Channel<V> k{one, one, one}, pi{one, 1.0 / pc, pc};
  Modulus<V> mod(kc);
  lanes::Mask<V> active = every_lane<V>();
  for (int step = 0; step < MAX_STEPS && lanes::any(active); ++step) {
    k.step(active, mod.e);
    pi.step(active, mod.e);
    active = mod.advance(active);
  }
  return {k.value(mod.em), pi.value(mod.em)};
}

}  // namespace caustica::elliptic
