// Integrals over the source radius [0, 1], in pieces between the points where the integrand is
// not smooth.
#pragma once

#include <span>

#include "numeric/tanh_sinh.hpp"

namespace caustica {

// The integral of F over [0, 1], cut at the lens l when 0 < l < 1 (F is logarithmically
// singular at x = l, where tanh-sinh converges slowly unless l is an end point) and at every
// break: ascending, distinct points inside (0, 1) where the profile has a kink or ends. Over the
// whole interval, a feature of the profile narrower than the spacing of the first levels' nodes
// would be missed, and the quadrature would stop at 0.
template <class Integrand>
double over_source(const Integrand& F, double l, std::span<const double> breaks) {
  constexpr double TARGET_ERROR = 1e-16;
  double sum = 0.0;
  bool first = true;
  double lo = 0.0;
  const auto piece = [&](double hi) {
    const double integral = numeric::integrate(F, lo, hi, TARGET_ERROR).integral;
    sum = first ? integral : sum + integral;
    first = false;
    lo = hi;
  };
  bool lens_inside = 0 < l && l < 1;
  for (const double b : breaks) {
    if (lens_inside && l <= b) {
      if (l < b) piece(l);
      lens_inside = false;
    }
    piece(b);
  }
  if (lens_inside) piece(l);
  piece(1.0);
  return sum;
}

}  // namespace caustica
