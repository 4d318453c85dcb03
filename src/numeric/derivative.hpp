// Central-difference derivative with a step scaled to the size of the point.
// (Placeholder interface; the implementation lands with the numeric layer.)
#pragma once

namespace caustica::numeric {

// The correctly rounded cube root of 2^-52.
inline constexpr double CBRT_EPS = 6.0554544523933395e-06;

template <class F>
double sderivative(F&& f, double x, double step = CBRT_EPS) {
  const double h = (x < 0 ? -x : x) + 1.0;
  return (f(x + h * step) - f(x - h * step)) / (h * step + h * step);
}

}  // namespace caustica::numeric
