// sin v and cos v together for v in [0, pi/2], the angle variable of a source (x = sin v): the
// Taylor series on [0, pi/4], beyond it the series at pi/2 - v. Within about half an ulp, in
// plain arithmetic written once over the number type V: a double, or W doubles in lanes, each
// lane taking the scalar operations on its own v.
#pragma once

#include <cstddef>

#include "numeric/lanes.hpp"
#include "numeric/sin_cos_series.hpp"

namespace caustica::numeric {

template <class V>
struct SinCosOf {
  V sin, cos;
};
using SinCos = SinCosOf<double>;

template <class V>
[[gnu::always_inline]] inline SinCosOf<V> sin_cos_quadrant(V v) {
  namespace sc = sin_cos;
  using lanes::broadcast, lanes::select;
  const auto high = v > sc::PIO4;
  // w + y = pi/2 - v: w exact (v is within a factor 2 of pi/2), y the low part of pi/2, taken
  // in to first order: sin(w + y) = sin w + y cos w, cos(w + y) = cos w - y sin w.
  const V w = select(high, sc::PIO2_HI - v, v);
  const V y = select(high, broadcast<V>(sc::PIO2_LO), broadcast<V>(0.0));
  const V z = w * w;
  V s = broadcast<V>(sc::S[sc::S.size() - 1]), c = broadcast<V>(sc::C[sc::C.size() - 1]);
  for (std::size_t k = sc::S.size() - 1; k-- > 0;) s = s * z + sc::S[k];
  for (std::size_t k = sc::C.size() - 1; k-- > 0;) c = c * z + sc::C[k];
  // 1 - z/2 with its rounding error carried into the small terms.
  const V hz = 0.5 * z, t = 1 - hz;
  const V sin_w = w + ((w * z) * s + y * t);
  const V cos_w = t + (((1 - t) - hz) + ((z * z) * c - y * w));
  return {select(high, cos_w, sin_w), select(high, sin_w, cos_w)};
}

}  // namespace caustica::numeric
