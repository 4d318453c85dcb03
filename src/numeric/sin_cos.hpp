// sin v and cos v together for v in [0, pi/2], the angle variable of a source (x = sin v): the
// Taylor series on [0, pi/4], beyond it the series at pi/2 - v. Within about half an ulp, and
// plain arithmetic, so that a loop of them runs in the compiler's vector lanes.
#pragma once

#include <cstddef>

#include "numeric/sin_cos_series.hpp"

namespace caustica::numeric {

struct SinCos {
  double sin, cos;
};

[[gnu::always_inline]] inline SinCos sin_cos_quadrant(double v) {
  namespace sc = sin_cos;
  const bool high = v > sc::PIO4;
  // w + y = pi/2 - v: w exact (v is within a factor 2 of pi/2), y the low part of pi/2, taken
  // in to first order: sin(w + y) = sin w + y cos w, cos(w + y) = cos w - y sin w.
  const double w = high ? sc::PIO2_HI - v : v;
  const double y = high ? sc::PIO2_LO : 0.0;
  const double z = w * w;
  double s = sc::S[sc::S.size() - 1], c = sc::C[sc::C.size() - 1];
  for (std::size_t k = sc::S.size() - 1; k-- > 0;) s = s * z + sc::S[k];
  for (std::size_t k = sc::C.size() - 1; k-- > 0;) c = c * z + sc::C[k];
  // 1 - z/2 with its rounding error carried into the small terms.
  const double hz = 0.5 * z, t = 1 - hz;
  const double sin_w = w + ((w * z) * s + y * t);
  const double cos_w = t + (((1 - t) - hz) + ((z * z) * c - y * w));
  return high ? SinCos{cos_w, sin_w} : SinCos{sin_w, cos_w};
}

}  // namespace caustica::numeric
