#include "magnification/quadrature_plan.hpp"

#include <cmath>

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;

}  // namespace

LensPoint lens_point(const RadialProfile& profile, double l, double rho) {
  // The branch points l +- 2i / rho of the point-lens magnification, in radius; in angle they
  // are at least as far.
  const double branch = 2 / rho;
  // A lens this close to the centre acts as a central one: what it changes within its own
  // distance of the centre is about l of the integral, below rounding.
  if (l < detail::FLOOR) return {0.0, 0.0, 0.0, branch};
  if (profile.variable() == SourceVariable::Radius) {
    return {l, 0.0, 1.0, std::min(l + l, branch)};
  }
  if (l < 1) {
    const double v = std::asin(l);
    // The mirror -v and the image pi - v across the limb, where sin takes the value l again.
    return {v, 0.0, 1.0, std::min({v + v, PI - (v + v), branch})};
  }
  if (l == 1) return {HALF_PI, 0.0, 2.0, branch};
  return {HALF_PI, std::acosh(l), 1.0, branch};
}

}  // namespace caustica
