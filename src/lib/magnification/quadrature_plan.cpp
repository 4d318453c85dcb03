#include "magnification/quadrature_plan.hpp"

#include <algorithm>
#include <cmath>

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;
// tan(1.4): branch points this steeply off the axis as seen from the lens leave a long step in
// ln t within 5e-15.
constexpr double STEEP = 5.797883715482887;

// The lens's point, multiplicity and clearance, with its branch points' distance as in radius.
LensPoint placed(const RadialProfile& profile, double l, double branch) {
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

}  // namespace

LensPoint lens_point(const RadialProfile& profile, double l, double rho) {
  // The branch points l +- 2i / rho of the point-lens magnification, in radius; in angle they
  // are at least as far.
  const double branch = 2 / rho;
  LensPoint lens = placed(profile, l, branch);
  if (profile.variable() == SourceVariable::Angle) {
    // In angle they lie where sin v = l + 2i / rho, at asin(B) + i acosh(A) with A and B the half
    // sum and difference of the distances to +-1. Next to the limb the square root there turns
    // them to as little as pi / 4 off the axis as seen from the lens.
    const double r1 = std::sqrt((l + 1) * (l + 1) + branch * branch);
    const double r2 = std::sqrt((l - 1) * (l - 1) + branch * branch);
    const double A = std::max(0.5 * (r1 + r2), 1.0), B = std::min(0.5 * (r1 - r2), 1.0);
    const double along = std::fabs(std::asin(B) - lens.v), across = std::acosh(A);
    if (across < STEEP * along) lens.oblique_branch = std::hypot(along, across);
  }
  return lens;
}

}  // namespace caustica
