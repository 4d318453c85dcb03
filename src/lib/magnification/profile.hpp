// A radial brightness profile I(x) of the source, x in source radii, as the integrators need it:
// its values, the pieces on which it is smooth, its slope and steps, its flux and its moments.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "numeric/sin_cos.hpp"
#include "magnification/profile_far_field_series.hpp"

namespace caustica {

// The variable v of the integrals over the source. Angle: x = sin(v) on [0, pi/2], in which
// the limb-darkening law's sqrt(1 - x^2) = cos(v) is smooth at the limb and x is smooth at the
// centre. Radius: x = v on [0, 1].
enum class SourceVariable { Angle, Radius };

// A piece of the source on which the profile is smooth: [v0, v1] in the source variable. For a
// table, the profile there is the line through (a, fa) and (b, fb), in x.
struct ProfilePiece {
  double v0, v1;
  double a, fa, b, fb;
};

// A table piece's line at x, exactly fa and fb at its radii, and its slope.
double line_at(const ProfilePiece& p, double x);
// The line between its radii, at any x.
inline double line_between(const ProfilePiece& p, double x) {
  return p.fa + (p.fb - p.fa) * ((x - p.a) / (p.b - p.a));
}
double slope_of(const ProfilePiece& p);
// The integral of x I(x) over a table piece, exactly: x I(x) is quadratic.
double line_moment(const ProfilePiece& p);

// A step of the profile at radius x, by dI.
struct ProfileStep {
  double x, dI;
};

class RadialProfile {
 public:
  // Linear limb darkening, I(x) = (1 - sqrt(1 - x^2)) (-u) + 1, with u = 0.6.
  static RadialProfile linear_limb_darkening();
  // The piecewise-linear profile of a table, 0 outside its range of radii; bl ascending and
  // finite, bf finite. One point is a constant profile.
  static RadialProfile table(std::span<const double> bl, std::span<const double> bf);

  double operator()(double x) const;

  SourceVariable variable() const { return variable_; }
  std::span<const ProfilePiece> pieces() const { return pieces_; }
  // Inside (0, 1), ascending.
  std::span<const ProfileStep> steps() const { return steps_; }
  // I just inside the limb.
  double limb_value() const { return limb_value_; }
  // No negative brightness anywhere.
  bool nonnegative() const { return nonnegative_; }
  // Integral of 2 pi x I(x) over [0, 1].
  double flux() const { return flux_; }

  // A point of the source at v: its radius, and the integrand weight there without the kernel,
  // in the source variable: ring form 2 pi x I(x) dx/dv; disk form -I'(x) dx/dv.
  struct Point {
    double x, weight;
  };
  Point ring_point(const ProfilePiece& piece, double v) const {
    if (variable_ == SourceVariable::Angle) {
      const auto [x, mu] = numeric::sin_cos_quadrant(v);
      return {x, angle_ring_weight(x, mu)};
    }
    return {v, (v * TWO_PI_) * line_between(piece, v)};
  }

  // The points at a rule's nodes v (at most piece_rules::MAX_NODES), the sines and cosines of
  // the angle variable in lanes: the ring form's each the bits of ring_point at its node; the
  // disk form's weight -I'(x) dx/dv, u sin v in angle (u x / sqrt(1 - x^2) times cos v).
  void ring_points(const ProfilePiece& piece, std::span<const double> v, double* x,
                   double* weight) const;
  void disk_points(const ProfilePiece& piece, std::span<const double> v, double* x,
                   double* weight) const;
  // The same at nodes c = cos v of the angle variable, with the weights per dc:
  // x = sin v = sqrt((1 - c)(1 + c)); ring form 2 pi c I(x) (2 pi x I(x) dx/dv over |dc/dv| = x),
  // disk form u (-I'(x) dx/dv = u x over x).
  void ring_points_in_cosine(std::span<const double> c, double* x, double* weight) const;
  void disk_points_in_cosine(std::span<const double> c, double* x, double* weight) const;

  // (k + 1) <x^2k>, k = 1 ... TERMS, with <.> the I-weighted mean over the source: the factors
  // by which the far-field series of a uniform disk (whose <x^2k> is 1 / (k + 1)) becomes this
  // profile's.
  const std::array<double, profile_far_field::TERMS>& moment_factors() const { return moment_factors_; }
  // From this separation on, in source radii, the far-field series is exact to rounding.
  double far_field_start() const { return far_field_start_; }
  // The square of the radius, in source radii, on whose scale the series' terms fall.
  double far_field_reach2() const { return far_field_reach2_; }

 private:
  RadialProfile() = default;
  void set_far_field_reach();
  // 2 pi x I(x) dx/dv with x = sin v and sqrt(1 - x^2) = dx/dv = mu = cos v.
  double angle_ring_weight(double x, double mu) const {
    return ((x * TWO_PI_) * ((1 - mu) * (-limb_darkening_) + 1)) * mu;
  }

  static constexpr double TWO_PI_ = 6.283185307179586;
  SourceVariable variable_ = SourceVariable::Radius;
  double limb_darkening_ = 0;
  std::vector<ProfilePiece> pieces_;
  std::vector<ProfileStep> steps_;
  std::span<const double> bl_, bf_;
  double limb_value_ = 0;
  double flux_ = 0;
  bool nonnegative_ = true;
  std::array<double, profile_far_field::TERMS> moment_factors_{};
  double far_field_start_ = 0;
  double far_field_reach2_ = 1;
};

}  // namespace caustica
