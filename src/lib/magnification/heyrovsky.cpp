// Magnification of a thin source ring by a point-mass lens, in the form of Heyrovsky (2003,
// ApJ 594, 464) in the complete elliptic integrals of the first and third kind.
#include "magnification/heyrovsky.hpp"

#include <cmath>
#include <limits>
#include <optional>

#include "magnification/heyrovsky_closed_form.hpp"

namespace caustica {

namespace {

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

}  // namespace

namespace {

// Where the closed form does not serve. Each is rare in a batch: an invalid radius is a caller's
// slip, a ring a billionth of the separation across (or about the lens) only meets a table's
// first or last radius, and the ring through the lens only a node that lands on it by rounding.
[[gnu::always_inline]] inline std::optional<double> outside_closed_form(double l, double r, double s) {
  if (!(l >= 0 && r >= 0)) return NaN;
  const double h = r - l;
  const double p = l + r;
  // fmax may give either zero of a +0, -0 pair: the distance is +0 (a magnification +inf).
  if (std::fmin(l, r) <= POINT_LIKE * p) return point_source(std::fabs(std::fmax(l, r)) / s);
  // The ring through the lens.
  if (h == 0) return HUGE_VAL;
  return std::nullopt;
}

}  // namespace

std::optional<double> heyrovsky_outside_closed_form(double l, double r, double s) {
  return outside_closed_form(l, r, s);
}

double heyrovsky_kernel(double l, double r, double s) {
  if (const std::optional<double> A = outside_closed_form(l, r, s)) return *A;
  return closed_form::heyrovsky(l, r, s);
}

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  // A negative or NaN radius or separation has no ring: the elliptic layer's word for it.
  if (!(l >= 0 && r >= 0)) return EllipticError{"ellipk: Arguments cannot be NAN."};
  return heyrovsky_kernel(l, r, re / rstar);
}

}  // namespace caustica
