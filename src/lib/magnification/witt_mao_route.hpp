// Where the uniform-disk kernel takes which form. Inline, so that a batch sorting its points
// into the lanes pays no call per point; the rare values themselves stay out of line.
#pragma once

#include <limits>

#include "magnification/far_field_series.hpp"
#include "magnification/kernel_route.hpp"

namespace caustica {

// Lens exactly on the limb (rho = x * rho): the limit of the closed form there.
double witt_mao_on_limb(double rho, double c);

// Outside the source the three terms of the closed form grow like x^2 and cancel to O(1), losing
// eps x^2 (4.7e-15 at x = 3, 1.35e-14 at x = 5 for a small source, 1e-7 at x = 3e4). There the
// disk average of the point-source magnification converges like x^-2k instead, and takes only
// the terms that still count at this x: fourteen at x = 3, ten at x = 5, three at x = 100, two
// from x = 370 on. A source of an Einstein radius or more loses less (3.5e-15 up to x = 5),
// and its w near 1 needs every power of w: there the closed form is the cheaper up to x = 5.
inline double far_field_start(double rho) { return rho < 1 ? far_field::FAR_FIELD : 5.0; }

// x: separation in source radii; rho: source radius in Einstein radii; c = rho * rho. An invalid
// separation is a caller's slip and the limb is hit exactly only by a chosen value: both rare.
// The far field is not rare on a long light curve: it has lanes of its own.
[[gnu::always_inline]] inline Route witt_mao_route(double x, double rho, double c) {
  // A negative or NaN separation has no magnification.
  if (!(x >= 0)) return {Form::value, std::numeric_limits<double>::quiet_NaN()};
  const double u = x * rho;
  const double d = u - rho;
  if (d == 0) return {Form::value, witt_mao_on_limb(rho, c)};
  if (x >= far_field_start(rho) && rho > 0) return {Form::far_field, 0.0};
  return {Form::closed_form, 0.0};
}

}  // namespace caustica
