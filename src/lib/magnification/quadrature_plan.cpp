#include "magnification/quadrature_plan.hpp"

#include <algorithm>
#include <cmath>
#include <complex>

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;
constexpr double LN_2 = 0.6931471805599453;
constexpr double MIRROR_RATE_DISKS = 1.9;
// In angle, a lens closer to the centre than this is taken to be on it.
constexpr double CENTRAL = 1e-10;
// ln 1e4, ln 100, ln 10, ln 3: the step lengths in ln t to choose from.
constexpr double LOG_STEPS[] = {9.210340371976184, 4.605170185988092, 2.302585092994046,
                                1.0986122886681098};

// The lens's point, multiplicity and clearance, with its branch points' distance as in radius.
LensPoint placed(const RadialProfile& profile, double l, double branch) {
  // A lens this close to the centre acts as a central one: what it changes within its own
  // distance of the centre is about l of the integral, below rounding. In angle, about 5e3 l^2
  // (measured on the ring route from l = 1e-8 to 1e-7, rho = 0.01 to 100).
  const double central = profile.variable() == SourceVariable::Angle ? CENTRAL : detail::FLOOR;
  if (l < central) return {0.0, 0.0, 0.0, branch};
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

// A branch point x = l + 2i / rho at c = sqrt(1 - x^2), the root nearer the axis (the others
// are its conjugate and their mirrors).
std::complex<double> branch_in_cosine(double l, const LensPoint& lens) {
  const std::complex<double> x(l, lens.branch_x);
  return std::sqrt(1.0 - x * x);
}

}  // namespace

using detail::ellipse;
using detail::ellipse_on_axis;
using detail::LN_TOLERANCE;
using detail::ln_radius;

LensPoint lens_point(const RadialProfile& profile, double l, double rho, Route route) {
  // The branch points l +- 2i / rho of the point-lens magnification, in radius; in angle they
  // are at least as far.
  const double branch = 2 / rho;
  LensPoint lens = placed(profile, l, branch);
  lens.branch_distance = branch;
  lens.branch_x = branch;
  lens.x = l;
  if (l < 1) lens.c = std::sqrt((1 - l) * (1 + l));
  if (profile.variable() == SourceVariable::Angle) {
    // The disk route's integrand, a power of x - l smoother at the lens, lets the rule there
    // meet the mirror ahead faster (measured: 1.9 moves the results by at most 1.7e-15; 2.0
    // loses 9e-14 at rho = 0.01, and 1.7 on the ring route 1.8e-14).
    // (Not on the limb, where the rule carries the logarithm twice over.)
    if (route == Route::Disks && l < 1) lens.mirror_rate = MIRROR_RATE_DISKS;
    // The centre side in c = cos v (measured against 30-digit references for rho = 1e-4 to 30:
    // within 2.8e-15 for rings from l = 0.3, 2.0e-15 for disks from l = 0.05; rings nearer the
    // centre, or at 2 lengths, lose up to 9e-15, disks at 2.5 lengths nothing yet).
    lens.cosine_ahead = route == Route::Disks ? 2.0 : 1.5;
    lens.cosine_from = route == Route::Disks ? 0.05 : 0.3;
    // Farther out, acosh(A) > 3.4 leaves them farther from every piece than the mirror.
    if (branch > 16) {
      lens.branch_distance = HUGE_VAL;
      return lens;
    }
    // In angle they lie where sin v = l + 2i / rho, at asin(B) + i acosh(A) with A and B the half
    // sum and difference of the distances to +-1. Next to the limb the square root there turns
    // them to as little as pi / 4 off the axis as seen from the lens.
    const double r1 = std::sqrt((l + 1) * (l + 1) + branch * branch);
    const double r2 = std::sqrt((l - 1) * (l - 1) + branch * branch);
    const double A = std::max(0.5 * (r1 + r2), 1.0), B = std::min(0.5 * (r1 - r2), 1.0);
    const double along = std::fabs(std::asin(B) - lens.v), across = std::acosh(A);
    lens.branch_distance = std::hypot(along, across);
    // Close to the lens, where along and across cancel to nothing, |d asin / dz| >= 1 / sqrt(5)
    // bounds their distance below.
    if (branch <= 1) lens.branch_distance = std::max(lens.branch_distance, 0.4 * branch);
    lens.branch_angle = std::atan2(across, along);
    // Their singular part is the magnified arc of the rings within about 2 / rho of the lens,
    // a share of about (2 / rho) / l of a ring of radius l: so much less resolution it needs
    // (measured: the results move by at most 9e-16 for rho >= 3).
    lens.branch_share = std::min(0.0, std::log(branch / l));
    // Where that share is small, the rule at the lens meets them faster than its rate for a
    // singular point of full strength: R^(-1.9 n) for rings, R^(-2.4 n) for the disk route's
    // smoother integrand (measured for rho = 1 to 100: the results move by at most 1.5e-15 and
    // 1.3e-15; at 2.2 and 3.0 rings and disks lose 7e-14 and 4e-14).
    if (lens.branch_share < 0 && l < 1) lens.branch_rate = route == Route::Disks ? 2.4 : 1.9;
    lens.look_ahead = true;
    // Graded towards the lens, a piece reaching obliquely placed branch points would bring them
    // next to it in the graded variable.
    lens.clearance = std::min(lens.clearance, 0.5 * lens.branch_distance);
  }
  lens.branch_along = lens.branch_distance * std::cos(lens.branch_angle);
  lens.branch_across = lens.branch_distance * std::sin(lens.branch_angle);
  return lens;
}

namespace detail {

// In u = ln t the integrand is singular where the mirror of the lens or its image across the limb
// lies on the axis, at least a factor 2 beyond the far end of the pieces; pi up where the other
// one lies behind the lens; at the lens off the axis, pi / 2 up; and at the branch points. The
// step taken is the one with the fewest nodes per unit of ln t.
LogStep log_step(double ta, double t1, double eta, double behind, const LensPoint& lens) {
  const double ua = std::log(ta), u1 = std::log(t1);
  const double u_mirror = u1 + LN_2;
  // Behind the lens at no distance (on the limb, at the centre) the point is the lens's own.
  const bool has_behind = 0 < behind && behind < HUGE_VAL;
  const double u_behind = has_behind ? std::log(behind) : 0.0;
  const double u_lens = eta > 0 ? std::log(eta) : -HUGE_VAL;
  const double u_branch = std::log(lens.branch_distance);
  // The Gauss-Legendre nodes a step [u0, ub] in ln t needs (33: more than 32).
  const auto nodes = [&](double u0, double ub) {
    const double half = 0.5 * (ub - u0), mid = u0 + half;
    double a = ellipse_on_axis((u_mirror - mid) / half);
    if (has_behind) a = std::min(a, ellipse((u_behind - mid) / half, PI / half));
    if (eta > 0) a = std::min(a, ellipse((u_lens - mid) / half, HALF_PI / half));
    double needed = LN_TOLERANCE / (2 * ln_radius(a));
    if (u_branch < HUGE_VAL) {
      const double b = ellipse((u_branch - mid) / half, lens.branch_angle / half);
      needed = std::max(needed, (LN_TOLERANCE + lens.branch_share) /
                                    (2 * ln_radius(b)));
    }
    if (!(needed <= 32)) return 33;
    return needed <= 12 ? 12 : needed <= 16 ? 16 : needed <= 20 ? 20 : needed <= 24 ? 24 : 32;
  };
  LogStep best{std::min(ta * 3, t1), 32};
  double best_cost = HUGE_VAL;
  for (const double step : LOG_STEPS) {
    const double ub = std::min(ua + step, u1);
    const int n = nodes(ua, ub);
    if (n > 32) continue;
    // Its nodes per unit of ln t; looking ahead, what it costs with what it leaves: the rest in
    // one more step if one serves, else at this step's rate.
    double cost = n / (ub - ua);
    if (lens.look_ahead) {
      const int rest = ub < u1 ? nodes(ub, u1) : 0;
      cost = rest <= 32 ? n + rest : cost * (u1 - ua);
    }
    if (cost < best_cost) {
      best = {ub == u1 ? t1 : std::exp(ub), n};
      best_cost = cost;
    }
  }
  // A step of ln 3 always serves: branch points pi / 4 off the axis leave 9e-17 with 16 nodes.
  return best;
}

int cosine_piece_nodes(const LensPoint& lens) {
  // On [0, 1] about its middle: z = 2c - 1. The lens and its mirror at c = +-i sinh(eta).
  const double a = ellipse(-1.0, 2 * std::sinh(lens.eta));
  double needed = LN_TOLERANCE / (2 * ln_radius(a));
  // Beyond 2 / rho = 16 they lie farther from the source than the lens (as in v).
  if (lens.branch_x <= 16) {
    const std::complex<double> c = branch_in_cosine(std::cosh(lens.eta), lens);
    const double b = ellipse(2 * std::fabs(c.real()) - 1, 2 * std::fabs(c.imag()));
    needed = std::max(needed, (LN_TOLERANCE + lens.branch_share) / (2 * ln_radius(b)));
  }
  needed = needed + 1;
  return needed <= 12 ? 12 : needed <= 16 ? 16 : needed <= 20 ? 20 : 0;
}

constexpr int LENS_MIN_NODES = 4, LENS_MAX_NODES = 16;

int cosine_lens_nodes(const LensPoint& lens) {
  // Next to the centre c_l rounds towards 1, and the centre's branch point weighs the more.
  if (!(lens.cosine_ahead > 0 && lens.x >= lens.cosine_from && lens.x < 1 && lens.eta == 0)) return 0;
  const double c_l = lens.c, L = 1 - c_l;
  // The centre, where x = sqrt(1 - c^2) branches, lies at the piece's end: the rule meets it as
  // a point cosine_ahead lengths beyond. The image, at -c_l, costs what a point at half its
  // distance behind the lens would, as in v.
  const double a = ellipse_on_axis(2 * (1 + lens.cosine_ahead) - 1);
  double needed = LN_TOLERANCE / (LENS_RATE * ln_radius(a));
  const double b0 = ellipse_on_axis(2 * (c_l / L) + 1);
  needed = std::max(needed, LN_TOLERANCE / (LENS_RATE * ln_radius(b0)));
  if (lens.branch_x <= 16) {
    const std::complex<double> c = branch_in_cosine(lens.x, lens);
    const double b = ellipse(2 * ((c.real() - c_l) / L) - 1, 2 * (std::fabs(c.imag()) / L));
    needed = std::max(needed, (LN_TOLERANCE + lens.branch_share) /
                                  (lens.branch_rate * ln_radius(b)));
  }
  const int n = std::max(LENS_MIN_NODES, static_cast<int>(std::ceil(needed)));
  return n <= LENS_MAX_NODES ? n : 0;
}

// Nodes of the rule on [lens, lens + L] (t = distance / L in [0, 1]) for the singular points.
double lens_nodes(double L, double ahead, double ahead_rate, double behind, const LensPoint& lens) {
  const double a = ellipse_on_axis(2 * (ahead / L) - 1);
  double needed = LN_TOLERANCE / (ahead_rate * ln_radius(a));
  // A point at distance 0 behind the lens is the lens itself, at the centre or on the limb.
  if (0 < behind && behind < HUGE_VAL) {
    const double c = ellipse_on_axis(2 * (behind / L) + 1);
    needed = std::max(needed, LN_TOLERANCE / (LENS_RATE * ln_radius(c)));
  }
  if (lens.branch_distance < HUGE_VAL) {
    const double b = ellipse(2 * (lens.branch_along / L) - 1, 2 * (lens.branch_across / L));
    needed = std::max(needed, (LN_TOLERANCE + lens.branch_share) /
                                  (lens.branch_rate * ln_radius(b)));
  }
  return needed;
}

LensPiece lens_piece(double length, double ahead, double ahead_rate, double behind,
                     const LensPoint& lens) {
  double L = length;
  double needed = lens_nodes(L, ahead, ahead_rate, behind, lens);
  // Halved until the largest rule serves (down to nothing, when the branch points sit within
  // a double of the lens: the steps in ln t then take it all).
  while (!(needed <= LENS_MAX_NODES) && L > 0) {
    L = 0.5 * L;
    needed = lens_nodes(L, ahead, ahead_rate, behind, lens);
  }
  const int n = std::max(LENS_MIN_NODES, static_cast<int>(std::ceil(needed)));
  return {L, n};
}

}  // namespace detail

}  // namespace caustica
