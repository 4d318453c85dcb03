// Where and how the integrals over the source are cut for one separation.
//
// As functions of the radius, the ring and disk magnifications are analytic except at the lens
// x = l (a logarithm for a ring, (x - l) ln|x - l| for a disk), at its mirror x = -l, and at
// l +- 2i / rho, where the point-lens magnification has its branch points. A Gauss-Legendre rule
// on a piece converges like R^(-2n), with R growing with the piece's distance from the nearest
// such point over its half-length. So the pieces touching the lens are graded towards it; beyond
// the first piece the integrand is smooth in the logarithm of the distance t from the lens, so the
// others are steps in ln t, about half the nodes per decade of pieces growing geometrically in t,
// and a short last piece far from the lens gets the fewest nodes that its distance allows.
#pragma once

#include <algorithm>
#include <cmath>

#include "magnification/profile.hpp"

namespace caustica {

// TowardV0, TowardV1: graded towards the lens at that end (the radius variable). LensAtV0,
// LensAtV1: the generalized Gaussian rule of the route, whose logarithmic end point is the lens
// at that end (the angle variable). Cosine: the whole source of the angle variable by a Gauss
// rule in c = cos v on [0, 1], with the lens off the source. LensInCosine: the centre side
// [0, v_l] by the generalized Gaussian rule in c on [c_l, 1], the lens at c_l (the piece's origin).
enum class Grading { None, TowardV0, TowardV1, Logarithmic, LensAtV0, LensAtV1, Cosine, LensInCosine };

// Which integral a piece at the lens is for, and so which rule: a ring's magnification has
// ln|x - l| there, the disk route's Q(x) = x^2 A_disk(x) has (x - l) ln|x - l|.
enum class Route { Rings, Disks };

struct QuadraturePiece {
  double v0, v1;
  Grading grading;
  int n;  // Gauss-Legendre nodes, or the generalized Gaussian rule's
  const ProfilePiece* profile;
  // Logarithmic: the nodes are equally spaced in ln |v - origin|, origin outside [v0, v1].
  // LensInCosine: the lens's cosine c_l.
  double origin = 0;
};

// The lens in the source variable: at v (with eta = 0), or off the source at v + i eta.
struct LensPoint {
  double v;
  double eta;
  // The graded integrand's logarithm, in the source variable: 2 where the lens sits on the limb
  // of the angle variable, where x - 1 ~ -(v - pi/2)^2 / 2.
  double multiplicity;
  // Distance from v to the nearest other singular point (mirror, limb image, branch points).
  double clearance;
  // The branch points as seen from v: their distance and their angle off the axis.
  double branch_distance = HUGE_VAL;
  double branch_angle = 1.5707963267948966;
  // Their offset along the axis and across it, branch_distance times the cosine and the sine of
  // branch_angle (where the distance is finite).
  double branch_along = 0, branch_across = HUGE_VAL;
  // The logarithm of the branch points' share of the integrand: ln of the fraction of it that
  // their singular part carries, at most 0.
  double branch_share = 0;
  // Their distance from the axis in radius, 2 / rho.
  double branch_x = HUGE_VAL;
  // The lens's radius x = l and, inside the source, its cosine c = sqrt(1 - l^2).
  double x = 0, c = 1;
  // The centre side in c = cos v from l = cosine_from on, its rule meeting the centre as a
  // point cosine_ahead piece lengths beyond it (0: not in c).
  double cosine_ahead = 0, cosine_from = 1;
  // The rates R^(-rate n) at which the generalized Gaussian rule at the lens converges for
  // them, and for the mirror ahead of it on the centre side.
  double branch_rate = 1.5;
  double mirror_rate = 1.5;
  // Steps in ln t chosen for what they leave as well as for their own rate (the angle variable).
  bool look_ahead = false;
};

// For the route's integrand; without a route, the ring route's (which the disk route's, a
// power of x - l smoother at the lens, needs no more than).
LensPoint lens_point(const RadialProfile& profile, double l, double rho, Route route);
inline LensPoint lens_point(const RadialProfile& profile, double l, double rho) {
  return lens_point(profile, l, rho, Route::Rings);
}

namespace detail {

constexpr double PI = 3.141592653589793;

// The half sum of the distances of z = x + iy from -1 and 1: the Gauss-Legendre rule on [-1, 1]
// converges like (a + sqrt(a^2 - 1))^(-2n) for an integrand singular at z.
inline double ellipse(double x, double y) {
  return 0.5 * (std::sqrt((x - 1) * (x - 1) + y * y) + std::sqrt((x + 1) * (x + 1) + y * y));
}
// The same for a point on the axis: the root of a rounded square is the number itself.
inline double ellipse_on_axis(double x) { return 0.5 * (std::fabs(x - 1) + std::fabs(x + 1)); }
// ln R of that ellipse, R = a + sqrt(a^2 - 1): its rule's error is R^(-2n), an interpolant's R^(-n).
inline double ln_radius(double a) { return std::log(a + std::sqrt(a * a - 1)); }
// ln(1e15): the error a piece of the plan is held to, relative to its own integral.
constexpr double LN_TOLERANCE = 34.538776394910684;

// Below this, a singular point beyond a piece's end is not resolved: for a logarithm the
// quadrature then misses at most about FLOOR ln(FLOOR) of the integral.
constexpr double FLOOR = 1e-13;

// r: the distance from the lens over the half-length. The integrands carry a weight of degree up
// to 2 in x (x^2 near the centre), which costs an n-point rule two of its 2n degrees: the error
// goes like (1 / 2r)^(2n - 2), 3.6e-9 for two points on [0, 1e-3] with the lens at 1.
inline int nodes_for(double r) {
  if (r >= 3000) return 3;
  if (r >= 40) return 4;
  if (r >= 16) return 6;
  if (r >= 5) return 8;
  if (r >= 1.8) return 12;
  return 16;
}

// The next step in ln t from ta towards t1, and its Gauss-Legendre nodes.
struct LogStep {
  double tb;
  int n;
};
LogStep log_step(double ta, double t1, double eta, double behind, const LensPoint& lens);

// The Gauss-Legendre nodes (12, 16 or 20) that take the whole source [0, pi/2] of the angle
// variable at once in c = cos v with the lens off the source, or 0 where more would be needed.
// The lens, at sin v = cosh(eta), lies at c = i sinh(eta): farther from the piece, beside its
// length, than at pi/2 + i eta in v.
int cosine_piece_nodes(const LensPoint& lens);

// The generalized Gaussian rules converge like R^(-LENS_RATE n) in the ellipse parameter R of
// the nearest other singular point, not R^(-2n) as Gauss-Legendre does on a smooth integrand
// (1.5: measured against the reference next to the limb, where the limb image lies behind the
// lens).
constexpr double LENS_RATE = 1.5;

// The first piece from the lens in the angle variable, for the generalized Gaussian rule of the
// route: its length, at most `length`, and nodes. `ahead`, `behind`: the distances from the lens
// to the nearest singular point on the axis beyond the piece's far end and behind the lens;
// `ahead_rate`: the rule's rate for the one ahead.
struct LensPiece {
  double length;
  int n;
};
LensPiece lens_piece(double length, double ahead, double ahead_rate, double behind,
                     const LensPoint& lens);

// The rule at the lens for the centre side [0, v_l] in c = cos v, on [c_l, 1]: its nodes, or 0
// where it would need more than the largest rule.
int cosine_lens_nodes(const LensPoint& lens);

// Pieces of [from, to] (either order) away from `from`: the first is `first` long and graded
// towards `from` when `graded`, by the generalized Gaussian rule of `lens_n` nodes if lens_n > 0;
// the rest are steps in ln t, t the distance from the point d0
// before `from` (the lens's projection on the axis, eta off it). `behind`: the distance from
// that point to the nearest singular point on the other side of it, if any.
template <class Visit>
void geometric(double from, double to, double first, bool graded, int lens_n, double d0,
               double eta, double behind, const LensPoint& lens, const ProfilePiece* profile,
               Visit& visit) {
  const double dir = to > from ? 1.0 : -1.0;
  const double length = std::fabs(to - from);
  // No sliver after the first piece: it takes what is left if that is less than half its length.
  // (The generalized Gaussian rule's piece is as long as its nodes allow.)
  const double b = lens_n == 0 && length - first < 0.5 * first ? length : std::min(first, length);
  const double vb = b == length ? to : from + dir * b;
  if (graded && vb == from) {
    // Shorter than the spacing of doubles at the lens: nothing to grade.
  } else if (graded && lens_n > 0) {
    const Grading lens_at = dir > 0 ? Grading::LensAtV0 : Grading::LensAtV1;
    visit(QuadraturePiece{std::min(from, vb), std::max(from, vb), lens_at, lens_n, profile});
  } else if (graded) {
    const Grading towards = dir > 0 ? Grading::TowardV0 : Grading::TowardV1;
    visit(QuadraturePiece{std::min(from, vb), std::max(from, vb), towards, 16, profile});
  } else {
    const double d = std::hypot(d0, eta);
    visit(QuadraturePiece{std::min(from, vb), std::max(from, vb), Grading::None,
                          nodes_for(d / (0.5 * b)), profile});
  }
  if (b == length) return;
  const double origin = from - dir * d0;
  const double t1 = d0 + length;
  double ta = d0 + b, va = vb;
  while (ta < t1) {
    // What is left, far from the lens for its length, takes the plain rule as it is.
    const int n_rest = nodes_for(std::hypot(ta, eta) / (0.5 * (t1 - ta)));
    if (n_rest < 16) {
      visit(QuadraturePiece{std::min(va, to), std::max(va, to), Grading::None, n_rest, profile});
      return;
    }
    auto [tb, log_n] = log_step(ta, t1, eta, behind, lens);
    // A step that would not advance (from t = 0, or in overflow) takes the rest at once.
    if (!(ta < tb && tb <= t1)) tb = t1;
    const double vb_k = tb == t1 ? to : origin + dir * tb;
    const double v0 = std::min(va, vb_k), v1 = std::max(va, vb_k);
    // A short piece far from the lens (the last one) may be cheaper in t itself.
    const int n = nodes_for(std::hypot(ta, eta) / (0.5 * (tb - ta)));
    if (v0 == v1) {
      // Shorter than the spacing of doubles at v (branch points a hair from the lens): nothing.
    } else if (va == origin || (n < 16 && n < log_n)) {
      // Where the steps before fell within one double of the lens, ln t has no start.
      visit(QuadraturePiece{v0, v1, Grading::None, va == origin ? 16 : n, profile});
    } else {
      visit(QuadraturePiece{v0, v1, Grading::Logarithmic, log_n, profile, origin});
    }
    ta = tb;
    va = vb_k;
  }
}

}  // namespace detail

// Calls visit(QuadraturePiece) for every piece of the source, in a fixed order.
template <class Visit>
void for_each_piece(const RadialProfile& profile, const LensPoint& lens, Visit visit) {
  const double v_l = lens.v;
  // Behind the lens as seen from below it: its image across the limb; from above: its mirror.
  const bool angle = profile.variable() == SourceVariable::Angle;
  const double image = angle ? detail::PI - (v_l + v_l) : HUGE_VAL;
  const double mirror = v_l + v_l;
  for (const ProfilePiece& p : profile.pieces()) {
    const double A = p.v0, B = p.v1;
    if (lens.eta == 0 && A <= v_l && v_l <= B) {
      // Towards the centre the mirror lies ahead and the image behind; towards the limb the
      // other way round. Behind the lens, where the rule's nodes crowd, the image costs what a
      // point at half its distance would (l = 1 - 1.3e-10 lost 6e-14 otherwise), and the
      // mirror, across the centre, what one at twice its distance would (both measured against
      // the reference and the other route; at three times l = 0.195 loses 6e-14).
      if (A < v_l && angle) {
        const auto [first, n] = detail::lens_piece(v_l - A, mirror, lens.mirror_rate, 0.5 * image, lens);
        // In c = cos v the mirror folds onto the lens: the centre side may take fewer nodes.
        // The plan in v takes at least its rule at the lens, and no more where that reaches
        // the centre; else its steps are counted.
        const int in_cosine = A == 0 ? detail::cosine_lens_nodes(lens) : 0;
        int steps = n;
        const auto count = [&steps](const QuadraturePiece& q) { steps += q.n; };
        if (in_cosine >= n && first < v_l - A) {
          steps = 0;
          detail::geometric(v_l, A, first, true, n, 0.0, 0.0, image, lens, &p, count);
        }
        if (in_cosine > 0 && in_cosine < steps) {
          visit(QuadraturePiece{A, v_l, Grading::LensInCosine, in_cosine, &p, lens.c});
        } else {
          detail::geometric(v_l, A, first, true, n, 0.0, 0.0, image, lens, &p, visit);
        }
      } else if (A < v_l) {
        const double first = std::min(v_l - A, lens.clearance);
        detail::geometric(v_l, A, first, true, 0, 0.0, 0.0, image, lens, &p, visit);
      }
      if (v_l < B && angle) {
        const auto [first, n] = detail::lens_piece(B - v_l, image, detail::LENS_RATE, 2 * mirror, lens);
        detail::geometric(v_l, B, first, true, n, 0.0, 0.0, mirror, lens, &p, visit);
      } else if (v_l < B) {
        const double first = std::min(B - v_l, lens.clearance);
        detail::geometric(v_l, B, first, true, 0, 0.0, 0.0, mirror, lens, &p, visit);
      }
      continue;
    }
    // The lens beyond this piece: pieces grow away from the nearer end.
    const bool below = lens.eta == 0 ? v_l < A : std::fabs(v_l - A) < std::fabs(v_l - B);
    const double end = below ? A : B, other = below ? B : A;
    const double d0 = std::fabs(v_l - end);
    const double first = std::max(std::hypot(d0, lens.eta), detail::FLOOR);
    // Off the source the lens has nothing behind it but itself.
    const double behind = lens.eta > 0 ? HUGE_VAL : below ? mirror : image;
    if (lens.eta > 0 && angle) {
      // Seen from across the limb, the source may be one piece in c = cos v for fewer nodes
      // than the steps away from the limb take in v.
      const bool source = A == 0 && B == 0.5 * detail::PI;
      if (const int cosine = source ? detail::cosine_piece_nodes(lens) : 0; cosine > 0) {
        int steps = 0;
        const auto count = [&steps](const QuadraturePiece& q) { steps += q.n; };
        detail::geometric(end, other, first, false, 0, d0, lens.eta, behind, lens, &p, count);
        if (cosine < steps) {
          visit(QuadraturePiece{A, B, Grading::Cosine, cosine, &p});
          continue;
        }
      }
    }
    detail::geometric(end, other, first, false, 0, d0, lens.eta, behind, lens, &p, visit);
  }
}

}  // namespace caustica
