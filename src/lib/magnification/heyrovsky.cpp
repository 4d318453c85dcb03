// Magnification of a thin source ring by a point-mass lens, in the form of Heyrovsky (2003,
// ApJ 594, 464) in the complete elliptic integrals of the first and third kind.
#include "magnification/heyrovsky.hpp"

#include <cmath>

#include "magnification/heyrovsky_closed_form.hpp"
#include "magnification/heyrovsky_route.hpp"

namespace caustica {

double heyrovsky_point_source(double u) {
  if (u < 1) return (u * u + 2) / (u * std::sqrt(u * u + 4));
  const double q = 1 / (u * u);  // 0 where u * u overflows: the limit 1
  return (1 + q * 2) / std::sqrt(1 + q * 4);
}

double heyrovsky_kernel(double l, double r, double s) {
  const Route route = heyrovsky_route(l, r, s);
  if (route.form == Form::value) return route.value;
  return closed_form::heyrovsky(l, r, s);
}

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  // A negative or NaN radius or separation has no ring: the elliptic layer's word for it.
  if (!(l >= 0 && r >= 0)) return EllipticError{"ellipk: Arguments cannot be NAN."};
  return heyrovsky_kernel(l, r, re / rstar);
}

}  // namespace caustica
