// Magnification of a thin source ring by a point-mass lens, in the form of Heyrovsky (2003,
// ApJ 594, 464) in the complete elliptic integrals of the first and third kind.
#include "magnification/heyrovsky.hpp"

#include <cmath>
#include <limits>

#include "elliptic/cel.hpp"

namespace caustica {

namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The point source at u: a ring of radius 0, or about the lens. For a ring about a distant lens,
// or a lens well inside a large ring, the average over the ring differs from the point source at
// the larger of l and r by about (r / l)^2 / 4, below rounding once the smaller is 1e-9 of it.
double point_source(double u) {
  if (u < 1) return (u * u + 2) / (u * std::sqrt(u * u + 4));
  const double q = 1 / (u * u);  // 0 where u * u overflows: the limit 1
  return (1 + q * 2) / std::sqrt(1 + q * 4);
}

constexpr double POINT_LIKE = 1e-9;

// The least d for which 4 / d is finite.
constexpr double SMALLEST_DIVISOR = 0x1p-1021;

}  // namespace

// With p = l + r, o = h^2 + 4 s^2 the closed form is
//   g = (4 / (p sqrt(o))) (2 s^2 K(m) + h^2 Pi(n, m)) / (2 pi),
// and its complements follow from h directly: 1 - n = (h / p)^2, 1 - m = (1 - n) (p^2 + 4 s^2) / o,
// so that the ring's neighbourhood, where n and m round towards 1, needs no form of its own: the
// integrals stay within a few ulp right up to the ring, closer than any expansion in h would.
// Lengths are measured in s where the Einstein radius is the larger (s >= 1), so that s^2 is not
// formed where it would overflow.
double heyrovsky_kernel(double l, double r, double s) {
  if (!(l >= 0 && r >= 0)) return NaN;
  const double h = r - l;
  const double p = l + r;
  if (std::fmin(l, r) <= POINT_LIKE * p) return point_source(std::fmax(l, r) / s);
  // The ring through the lens.
  if (h == 0) return HUGE_VAL;

  const double pc = std::fabs(h) / p;
  double g;
  if (s >= 1) {
    const double ps = p / s, hs = h / s;
    const double os = hs * hs + 4;  // o / s^2
    const elliptic::KPi I = elliptic::kpi(pc * std::sqrt((ps * ps + 4) / os), pc);
    g = (4 / (p * std::sqrt(os))) * ((s + s) * I.K + (h * hs) * I.Pi);
  } else {
    const double s2 = s * s;
    const double o = h * h + s2 * 4;
    const elliptic::KPi I = elliptic::kpi(pc * std::sqrt((p * p + s2 * 4) / o), pc);
    const double root_o = std::sqrt(o);
    const double B = (s2 + s2) * I.K + (h * h) * I.Pi;
    // For a ring and lens a few 1e-303 from the centre of a large source, 4 / (p sqrt(o))
    // overflows though g does not: there B / sqrt(o), about s K, is formed first.
    g = p * root_o >= SMALLEST_DIVISOR ? (4 / (p * root_o)) * B : (4 * (B / root_o)) / p;
  }
  // Every average of the point-lens magnification is at least 1; where the ring is far from the
  // lens in Einstein radii, rounding may leave less.
  const double A = g / TWO_PI;
  return A < 1 ? 1 : A;
}

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  // A negative or NaN radius or separation has no ring: the elliptic layer's word for it.
  if (!(l >= 0 && r >= 0)) return EllipticError{"ellipk: Arguments cannot be NAN."};
  return heyrovsky_kernel(l, r, re / rstar);
}

}  // namespace caustica
