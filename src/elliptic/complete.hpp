// Complete elliptic integrals in the parameter convention (m = k^2, n the characteristic).
// K and E are inline for the parameters their Taylor tables cover, the case of every kernel call;
// the AGM near m = 1, E's transformation of negative m, and every failure are out of line.
#pragma once

#include <cstdint>

#include "elliptic/error.hpp"
#include "elliptic/horner.hpp"
#include "elliptic/taylor_tables.hpp"

namespace caustica::elliptic {

namespace detail {

// The Taylor polynomial of interval i = trunc(20 m), 0 <= i <= 17, about the midpoint of its row.
[[gnu::always_inline]] inline double k_taylor(std::int64_t i, double m) {
  using namespace taylor;
  switch (i) {
    case 0: case 1: return elliptic::horner(K0, m + -MC[0]);  // also -0.05 < m < 0, extrapolated
    case 2: case 3: return elliptic::horner(K1, m + -MC[1]);
    case 4: case 5: return elliptic::horner(K2, m + -MC[2]);
    case 6: case 7: return elliptic::horner(K3, m + -MC[3]);
    case 8: case 9: return elliptic::horner(K4, m + -MC[4]);
    case 10: case 11: return elliptic::horner(K5, m + -MC[5]);
    case 12: case 13: return elliptic::horner(K6, m + -MC[6]);
    case 14: case 15: return elliptic::horner(K7, m + -MC[7]);
    case 16: return elliptic::horner(K8, m + -MC[8]);
    default: return elliptic::horner(K9, m + -MC[9]);
  }
}

[[gnu::always_inline]] inline double e_taylor(std::int64_t i, double m) {
  using namespace taylor;
  switch (i) {
    case 0: case 1: return elliptic::horner(E0, m + -MC[0]);
    case 2: case 3: return elliptic::horner(E1, m + -MC[1]);
    case 4: case 5: return elliptic::horner(E2, m + -MC[2]);
    case 6: case 7: return elliptic::horner(E3, m + -MC[3]);
    case 8: case 9: return elliptic::horner(E4, m + -MC[4]);
    case 10: case 11: return elliptic::horner(E5, m + -MC[5]);
    case 12: case 13: return elliptic::horner(E6, m + -MC[6]);
    case 14: case 15: return elliptic::horner(E7, m + -MC[7]);
    case 16: return elliptic::horner(E8, m + -MC[8]);
    default: return elliptic::horner(E9, m + -MC[9]);
  }
}

// Every parameter the inline paths below do not take.
EllipticResult ellipk_rest(double m);
EllipticResult ellipe_rest(double m);

}  // namespace detail

// K(m) = integral over [0, pi/2] of 1 / sqrt(1 - m sin^2 t).
[[gnu::always_inline]] inline EllipticResult ellipk(double m) {
  const double t = 20.0 * m;
  if (t > -1.0 && t < 18.0) return detail::k_taylor(static_cast<std::int64_t>(t), m);
  return detail::ellipk_rest(m);
}

// E(m) = integral over [0, pi/2] of sqrt(1 - m sin^2 t).
[[gnu::always_inline]] inline EllipticResult ellipe(double m) {
  const double t = 20.0 * m;
  if (m >= 0.0 && t < 18.0) return detail::e_taylor(static_cast<std::int64_t>(t), m);
  return detail::ellipe_rest(m);
}

// Pi(n, m) = integral over [0, pi/2] of 1 / ((1 - n sin^2 t) sqrt(1 - m sin^2 t));
// the Cauchy principal value for n > 1.
EllipticResult ellippi(double n, double m);

}  // namespace caustica::elliptic
