// Where and how the integrals over the source are cut for one separation.
//
// As functions of the radius, the ring and disk magnifications are analytic except at the lens
// x = l (a logarithm for a ring, (x - l) ln|x - l| for a disk), at its mirror x = -l, and at
// l +- 2i / rho, where the point-lens magnification has its branch points. A Gauss-Legendre rule
// on a piece converges like R^(-2n), with R growing with the piece's distance from the nearest
// such point over its half-length. So the pieces touching the lens are graded towards it, the
// others grow geometrically away from it (each as long as twice its distance), and each gets the
// fewest nodes that its distance allows.
#pragma once

#include <algorithm>
#include <cmath>

#include "magnification/profile.hpp"

namespace caustica {

enum class Grading { None, TowardV0, TowardV1 };

struct QuadraturePiece {
  double v0, v1;
  Grading grading;
  int n;  // Gauss-Legendre nodes
  const ProfilePiece* profile;
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
};

LensPoint lens_point(const RadialProfile& profile, double l, double rho);

namespace detail {

constexpr double GROWTH = 3;
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

// Pieces of [from, to] (either order) growing geometrically away from `from`; the first is
// `first` long and graded towards `from` when `graded`.
template <class Visit>
void geometric(double from, double to, double first, bool graded, double d0, double eta,
               const ProfilePiece* profile, Visit& visit) {
  const double dir = to > from ? 1.0 : -1.0;
  const double length = std::fabs(to - from);
  double a = 0;
  double b = std::min(first, length);
  bool adjacent = true;
  while (a < length) {
    if (length - b < 0.5 * (b - a)) b = length;  // no sliver at the end
    const double va = from + dir * a, vb = b == length ? to : from + dir * b;
    const double v0 = std::min(va, vb), v1 = std::max(va, vb);
    if (adjacent && graded) {
      visit(QuadraturePiece{v0, v1, dir > 0 ? Grading::TowardV0 : Grading::TowardV1, 16, profile});
    } else {
      const double d = std::hypot(d0 + a, eta);
      visit(QuadraturePiece{v0, v1, Grading::None, nodes_for(d / (0.5 * (b - a))), profile});
    }
    adjacent = false;
    a = b;
    b = std::max(b * GROWTH, b + first);
    if (d0 > 0 || eta > 0) b = std::max(b, a + (d0 + a) * (GROWTH - 1));
  }
}

}  // namespace detail

// Calls visit(QuadraturePiece) for every piece of the source, in a fixed order.
template <class Visit>
void for_each_piece(const RadialProfile& profile, const LensPoint& lens, Visit visit) {
  const double v_l = lens.v;
  for (const ProfilePiece& p : profile.pieces()) {
    const double A = p.v0, B = p.v1;
    if (lens.eta == 0 && A <= v_l && v_l <= B) {
      if (A < v_l) {
        const double first = std::min(v_l - A, lens.clearance);
        detail::geometric(v_l, A, first, true, 0.0, 0.0, &p, visit);
      }
      if (v_l < B) {
        const double first = std::min(B - v_l, lens.clearance);
        detail::geometric(v_l, B, first, true, 0.0, 0.0, &p, visit);
      }
      continue;
    }
    // The lens beyond this piece: pieces grow away from the nearer end.
    const bool below = lens.eta == 0 ? v_l < A : std::fabs(v_l - A) < std::fabs(v_l - B);
    const double end = below ? A : B, other = below ? B : A;
    const double d0 = std::fabs(v_l - end);
    const double first = std::max(std::hypot(d0, lens.eta), detail::FLOOR);
    detail::geometric(end, other, first, false, d0, lens.eta, &p, visit);
  }
}

}  // namespace caustica
