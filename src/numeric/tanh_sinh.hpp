// Double-exponential (tanh-sinh) quadrature over a finite interval with a fixed seven-level table.
//
// After x = tanh(pi/2 sinh t) the integrand decays double-exponentially in t, so the trapezoid
// rule in t converges fast and each halving of the step only adds the odd nodes of the finer
// level (Takahasi and Mori 1974).
#pragma once

#include <cmath>
#include <cstdint>

#include "numeric/de_levels.hpp"

namespace caustica::numeric {

struct IntegrationResult {
  double integral;
  double error_estimate;  // scaled to [a, b] like the integral, so it carries the sign of b - a
  std::uint32_t evaluations;
};

namespace tanh_sinh_detail {

inline constexpr double PI = 3.141592653589793;  // the centre weight at the coarsest step h = 2
inline constexpr double LARGEST = 1.7976931348623157e308;  // no error estimate yet
// Levels 0 and 1 give no stable difference to test against.
inline constexpr std::uint32_t UNTESTED_EVALUATIONS = 13;

// While the number of correct digits doubles per level (ln delta / ln prev_delta near 2), the
// next difference is about diff^2, and that is the error; otherwise the difference itself is.
inline double level_error(double diff, double delta, double prev_delta) {
  const double r = std::log(delta) / std::log(prev_delta);
  return (r > 1.9 && r < 2.1) ? diff * diff : delta;
}

}  // namespace tanh_sinh_detail

// f: callable double -> double. Non-finite values of f count as 0, so an integrable
// singularity at an end point does no harm; the end points themselves are never evaluated.
template <class F>
IntegrationResult integrate(F&& f, double a, double b, double target_error) {
  using namespace tanh_sinh_detail;
  const double c = (a + b) * 0.5;
  const double half = (b - a) * 0.5;
  const double threshold = (target_error * 0.25) / half;
  const auto g = [&](double mapped) {
    const double y = f(mapped);
    return std::isfinite(y) ? y : 0.0;
  };

  double I = PI * g(c + half * 0.0);
  std::uint32_t evaluations = 1;
  double error = LARGEST;
  double prev_delta = LARGEST;
  for (const auto& level : DE_LEVELS) {
    double sum = 0.0;
    for (const DeNode& node : level) {
      const double p = g(c + half * node.x);
      const double m = g(c - half * node.x);
      sum = sum + node.w * (p + m);
    }
    evaluations += 2 * static_cast<std::uint32_t>(level.size());

    const double halfI = I * 0.5;
    const double diff = halfI - sum;
    I = halfI + sum;
    const double delta = std::fabs(diff);
    if (evaluations <= UNTESTED_EVALUATIONS) {
      prev_delta = delta;
      continue;
    }
    if (diff == 0.0) {
      error = 0.0;
      break;
    }
    error = level_error(diff, delta, prev_delta);
    if (error < threshold) break;
    prev_delta = delta;
  }
  return {I * half, error * half, evaluations};
}

}  // namespace caustica::numeric
