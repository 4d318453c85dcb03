#include "magnification/profile.hpp"

#include <algorithm>
#include <cmath>

#include "magnification/kernel_lanes.hpp"
#include "magnification/piece_rules.hpp"
#include "numeric/gauss_rules.hpp"
#include "numeric/interp.hpp"

namespace caustica {

namespace {

constexpr double TWO_PI = 6.283185307179586;
constexpr double HALF_PI = 1.5707963267948966;

// The far-field series of a uniform disk, at its length, is exact to rounding from x = START
// (its omitted terms below 1e-17); a profile whose moments exceed the disk's reaches that
// accuracy where its own terms are as small.
double reach_of(const std::array<double, profile_far_field::TERMS>& factors) {
  double reach = 1;
  for (int k = 1; k <= profile_far_field::TERMS; ++k) {
    reach = std::max(reach, std::pow(std::fabs(factors[k - 1]), 0.5 / k));
  }
  // A NaN factor (no flux) leaves the series NaN, as every other result of such a profile.
  return reach;
}

constexpr std::size_t TERMS = profile_far_field::TERMS;

// sin v from c = cos v, with 1 - c exact next to the centre.
double sine_of(double c) { return std::sqrt((1 - c) * (1 + c)); }

// The integrals of x^(2k+1) I(x), k = 1 ... TERMS, over a table's lines, each node's terms
// summed over the pieces on their own (in lanes: a long table's pieces cost a few products
// each), the nodes' sums added in order at the end. On a piece [a, b] of spread
// (b - a) / (b + a) at most SPREAD, the N-point rule's error on (1 + spread t)^m (1 + s t),
// m <= 47, |s| <= 1, is below 7e-19 (mpmath; 32 points are exact for every piece).
template <std::size_t N>
struct LineMoments {
  static constexpr double SPREAD = N == 8 ? 0.02 : N == 16 ? 0.25 : 1.0;
  static_assert(N < 32 || 2 * TERMS + 2 <= 2 * N - 1);
  std::array<std::array<double, N>, TERMS> by_node{};
  void add(const ProfilePiece& piece, const std::array<numeric::gauss::Node, N>& rule) {
    const double a = piece.v0, b = piece.v1;
    std::array<double, N> x, x2, w;
    for (std::size_t i = 0; i < N; ++i) {
      x[i] = a + (b - a) * rule[i].t;
      x2[i] = x[i] * x[i];
      w[i] = ((b - a) * rule[i].w) * line_between(piece, x[i]);
    }
    for (std::size_t k = 0; k < TERMS; ++k) {
      for (std::size_t i = 0; i < N; ++i) {
        x[i] = x[i] * x2[i];
        by_node[k][i] = by_node[k][i] + w[i] * x[i];
      }
    }
  }
  double sum(std::size_t k) const {
    double total = 0;
    for (std::size_t i = 0; i < N; ++i) total = total + by_node[k][i];
    return total;
  }
};

}  // namespace

double line_at(const ProfilePiece& p, double x) {
  if (x == p.a) return p.fa;
  if (x == p.b) return p.fb;
  return line_between(p, x);
}

double slope_of(const ProfilePiece& p) { return (p.fb - p.fa) / (p.b - p.a); }

double line_moment(const ProfilePiece& p) {
  const double a = p.v0, b = p.v1;
  const double fa = line_between(p, a), fb = line_between(p, b);
  return (b - a) * (a * (fa + fa + fb) + b * (fa + fb + fb)) / 6;
}

void RadialProfile::ring_points(const ProfilePiece& piece, std::span<const double> v, double* x,
                                double* weight) const {
  const std::size_t n = v.size();
  if (variable_ == SourceVariable::Radius) {
    for (std::size_t i = 0; i < n; ++i) {
      const Point point = ring_point(piece, v[i]);
      x[i] = point.x;
      weight[i] = point.weight;
    }
    return;
  }
  piece_rules::Nodes mu;
  lane_kernels().sin_cos(v.data(), x, mu.data(), n);
  for (std::size_t i = 0; i < n; ++i) weight[i] = angle_ring_weight(x[i], mu[i]);
}

void RadialProfile::disk_points(const ProfilePiece& piece, std::span<const double> v, double* x,
                                double* weight) const {
  const std::size_t n = v.size();
  if (variable_ == SourceVariable::Radius) {
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = v[i];
      weight[i] = -((piece.fb - piece.fa) / (piece.b - piece.a));
    }
    return;
  }
  piece_rules::Nodes mu;
  lane_kernels().sin_cos(v.data(), x, mu.data(), n);
  for (std::size_t i = 0; i < n; ++i) weight[i] = limb_darkening_ * x[i];
}

void RadialProfile::ring_points_in_cosine(std::span<const double> c, double* x, double* weight) const {
  for (std::size_t i = 0; i < c.size(); ++i) {
    x[i] = sine_of(c[i]);
    weight[i] = (c[i] * TWO_PI_) * ((1 - c[i]) * (-limb_darkening_) + 1);
  }
}

void RadialProfile::disk_points_in_cosine(std::span<const double> c, double* x, double* weight) const {
  for (std::size_t i = 0; i < c.size(); ++i) {
    x[i] = sine_of(c[i]);
    weight[i] = limb_darkening_;
  }
}

RadialProfile RadialProfile::linear_limb_darkening() {
  RadialProfile p;
  p.variable_ = SourceVariable::Angle;
  p.limb_darkening_ = 0.6;
  p.pieces_ = {ProfilePiece{0.0, HALF_PI, 0, 0, 0, 0}};
  p.limb_value_ = 0.4;
  p.flux_ = 2.5132741228718345;  // 0.8 pi, correctly rounded
  // <x^2k> = (0.4 / (k + 1) + 0.6 B(k + 1, 3/2)) / 0.8, with B(1, 3/2) = 2/3 and
  // B(k + 1, 3/2) = B(k, 3/2) k / (k + 3/2).
  double B = 2.0 / 3.0;
  for (int k = 1; k <= profile_far_field::TERMS; ++k) {
    B = B * (k / (k + 1.5));
    p.moment_factors_[k - 1] = (0.4 + 0.6 * ((k + 1) * B)) / 0.8;
  }
  p.set_far_field_reach();
  return p;
}

RadialProfile RadialProfile::table(std::span<const double> bl, std::span<const double> bf) {
  RadialProfile p;
  p.variable_ = SourceVariable::Radius;
  p.bl_ = bl;
  p.bf_ = bf;
  p.nonnegative_ = std::all_of(bf.begin(), bf.end(), [](double f) { return f >= 0; });
  const std::size_t n = bl.size();
  // One allocation: a table may be long, and a vector grown by doubling leaves its old blocks
  // to the allocator's arenas.
  p.pieces_.reserve(n > 1 ? n - 1 : n);
  if (n == 1) p.pieces_.push_back({0.0, 1.0, 0.0, bf[0], 1.0, bf[0]});
  for (std::size_t j = 0; j + 1 < n; ++j) {
    const double a = bl[j], b = bl[j + 1];
    const double v0 = std::max(a, 0.0), v1 = std::min(b, 1.0);
    if (a < b && v0 < v1) p.pieces_.push_back({v0, v1, a, bf[j], b, bf[j + 1]});
    // A step between equal radii.
    if (a == b && 0 < a && a < 1) p.steps_.push_back({a, bf[j + 1] - bf[j]});
  }
  if (n >= 2) {
    // The profile is 0 outside the table: a step up at its first radius, down at its last.
    if (0 < bl[0] && bl[0] < 1) p.steps_.insert(p.steps_.begin(), {bl[0], bf[0]});
    if (0 < bl[n - 1] && bl[n - 1] < 1) p.steps_.push_back({bl[n - 1], -bf[n - 1]});
  }
  if (!p.pieces_.empty() && p.pieces_.back().v1 == 1.0) {
    const ProfilePiece& last = p.pieces_.back();
    p.limb_value_ = last.b == 1.0 ? last.fb : line_between(last, 1.0);
  }

  // Flux of each line exactly: x I(x) is quadratic. Its moments, x^(2k+1) I(x) of degree
  // 2k + 2 <= 48, by the smallest Gauss rule that holds them to 1e-18 (see LineMoments).
  double flux = 0;
  LineMoments<8> narrow;
  LineMoments<16> middle;
  LineMoments<32> wide;
  for (const ProfilePiece& piece : p.pieces_) {
    const double a = piece.v0, b = piece.v1;
    flux = flux + line_moment(piece);
    const double spread = (b - a) / (b + a);
    if (spread <= LineMoments<8>::SPREAD) {
      narrow.add(piece, numeric::gauss::LEGENDRE_8);
    } else if (spread <= LineMoments<16>::SPREAD) {
      middle.add(piece, numeric::gauss::LEGENDRE_16);
    } else {
      wide.add(piece, numeric::gauss::LEGENDRE_32);
    }
  }
  std::array<double, TERMS> moments{};
  for (std::size_t k = 0; k < TERMS; ++k) moments[k] = (narrow.sum(k) + middle.sum(k)) + wide.sum(k);
  p.flux_ = flux * TWO_PI;
  // <x^2k> = 2 pi integral x^(2k+1) I / flux.
  for (int k = 1; k <= profile_far_field::TERMS; ++k) {
    p.moment_factors_[k - 1] = (k + 1) * ((moments[k - 1] * TWO_PI) / p.flux_);
  }
  p.set_far_field_reach();
  return p;
}

void RadialProfile::set_far_field_reach() {
  const double reach = reach_of(moment_factors_);
  far_field_start_ = profile_far_field::START * reach;
  far_field_reach2_ = reach * reach;
}

double RadialProfile::operator()(double x) const {
  if (variable_ == SourceVariable::Angle) {
    return (1 - std::sqrt(1 - x * x)) * (-limb_darkening_) + 1;
  }
  return numeric::interp(bl_, bf_, x, numeric::OutOfRangeRule::constant(0.0));
}

}  // namespace caustica
