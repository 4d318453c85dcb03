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
#pragma once

#include <cmath>

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
struct Channel {
  double a, b, p;
  // A step with r = 1 / p and g = e r given: channels whose p is the same share them.
  [[gnu::always_inline]] void step(double r, double g) {
    const double f = a;
    a = a + b * r;
    b = (b + f * g) * 2;
    p = g + p;
  }
  [[gnu::always_inline]] void step(double e) {
    const double r = 1 / p;
    step(r, e * r);
  }
  [[gnu::always_inline]] double value(double em) const {
    return HALF_PI * ((b + a * em) / (em * (em + p)));
  }
};

// The Gauss transformation of kc that every channel rides on: e = kc * em and the running mean
// em. advance() takes one step and says whether another is needed.
struct Modulus {
  double e, em, qc;
  explicit Modulus(double kc) : e(kc), em(1), qc(kc) {}
  [[gnu::always_inline]] bool advance() {
    const double em_old = em;
    em = em + qc;
    if (!(std::abs(em_old - qc) > em_old * GAP)) return false;
    qc = std::sqrt(e);
    qc = qc + qc;
    e = qc * em;
    return true;
  }
};

}  // namespace cel_detail

struct KEPi {
  double K, E, Pi;
};

struct KPi {
  double K, Pi;
};

// K(m), E(m), Pi(n, m) for kc = sqrt(1 - m) and pc = sqrt(1 - n), 0 < pc <= kc <= 1.
[[gnu::always_inline]] inline KEPi kepi(double kc, double pc) {
  using namespace cel_detail;
  // K and E share p = 1; Pi starts from b = 1 / sqrt(1 - n) at p = sqrt(1 - n).
  Channel k{1, 1, 1}, e2{1, kc * kc, 1}, pi{1, 1 / pc, pc};
  Modulus mod(kc);
  for (int step = 0; step < MAX_STEPS; ++step) {
    // K and E keep one p: one reciprocal serves both.
    const double r = 1 / k.p;
    const double g = mod.e * r;
    k.step(r, g);
    e2.step(r, g);
    pi.step(mod.e);
    if (!mod.advance()) break;
  }
  return {k.value(mod.em), e2.value(mod.em), pi.value(mod.em)};
}

// K(m) and Pi(n, m) alone, for the ring.
[[gnu::always_inline]] inline KPi kpi(double kc, double pc) {
  using namespace cel_detail;
  Channel k{1, 1, 1}, pi{1, 1 / pc, pc};
  Modulus mod(kc);
  for (int step = 0; step < MAX_STEPS; ++step) {
    k.step(mod.e);
    pi.step(mod.e);
    if (!mod.advance()) break;
  }
  return {k.value(mod.em), pi.value(mod.em)};
}

}  // namespace caustica::elliptic
