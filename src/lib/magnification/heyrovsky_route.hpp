// Where the ring kernel takes which form. Inline, so that a batch sorting its rings into the
// lanes pays no call per ring; the rare values themselves stay out of line.
#pragma once

#include <cmath>
#include <limits>

#include "magnification/kernel_route.hpp"

namespace caustica {

// The point source at u (Einstein radii): a ring of radius 0, or about the lens.
double heyrovsky_point_source(double u);

// For a ring about a distant lens, or a lens well inside a large ring, the average over the
// ring differs from the point source at the larger of l and r by about (r / l)^2 / 4, below
// rounding once the smaller is 1e-9 of it.
inline constexpr double POINT_LIKE = 1e-9;

// Each branch is rare in a batch: an invalid radius is a caller's slip, a ring a billionth of
// the separation across (or about the lens) only meets a table's first or last radius, and the
// ring through the lens only a node that lands on it by rounding.
[[gnu::always_inline]] inline Route heyrovsky_route(double l, double r, double s) {
  if (!(l >= 0 && r >= 0)) return {Form::value, std::numeric_limits<double>::quiet_NaN()};
  const double h = r - l;
  const double p = l + r;
  // fmax may give either zero of a +0, -0 pair: the distance is +0 (a magnification +inf).
  if (std::fmin(l, r) <= POINT_LIKE * p) {
    return {Form::value, heyrovsky_point_source(std::fabs(std::fmax(l, r)) / s)};
  }
  // The ring through the lens.
  if (h == 0) return {Form::value, HUGE_VAL};
  return {Form::closed_form, 0.0};
}

}  // namespace caustica
