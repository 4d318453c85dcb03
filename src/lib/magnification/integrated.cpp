// Magnification of a source with a radial brightness profile I(x): the magnified flux of each
// annulus of the source, weighted by I and divided by the profile's total flux.
//
// Ring form: A = integral of 2 pi x I(x) g(x) dx / flux, g the magnification of the ring of
// radius x. Disk form, by parts: with Q(x) = x^2 A_disk(x), pi Q the magnified flux of the
// uniform inner disk of radius x,
//   A = pi [I(1) Q(1) - sum over steps dI Q(x_j) - integral of Q(x) I'(x) dx] / flux,
// which needs no derivative of a magnification.
#include "magnification/integrated.hpp"

#include <cmath>
#include <limits>
#include <span>

#include "magnification/heyrovsky.hpp"
#include "magnification/profile_far_field.hpp"
#include "magnification/quadrature_plan.hpp"
#include "magnification/source_radius.hpp"
#include "magnification/witt_mao.hpp"
#include "numeric/gauss_rules.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

namespace {

namespace gauss = numeric::gauss;

constexpr double PI = 3.141592653589793;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A NaN, infinite or negative separation has no magnification.
bool is_valid_separation(double l) { return std::isfinite(l) && l >= 0; }

template <class F>
double legendre(std::span<const gauss::Node> rule, double v0, double v1, const F& f) {
  const double L = v1 - v0;
  double sum = 0;
  for (const gauss::Node& node : rule) sum = sum + node.w * f(v0 + L * node.t);
  return sum * L;
}

template <class F>
double legendre(int n, double v0, double v1, const F& f) {
  switch (n) {
    case 3: return legendre(gauss::LEGENDRE_3, v0, v1, f);
    case 4: return legendre(gauss::LEGENDRE_4, v0, v1, f);
    case 6: return legendre(gauss::LEGENDRE_6, v0, v1, f);
    case 8: return legendre(gauss::LEGENDRE_8, v0, v1, f);
    case 12: return legendre(gauss::LEGENDRE_12, v0, v1, f);
    case 16: return legendre(gauss::LEGENDRE_16, v0, v1, f);
    case 20: return legendre(gauss::LEGENDRE_20, v0, v1, f);
    case 24: return legendre(gauss::LEGENDRE_24, v0, v1, f);
    default: return legendre(gauss::LEGENDRE_32, v0, v1, f);
  }
}

// Integral over [v0, v1] in u = ln t, t = |v - origin|: dv = t du.
template <class F>
double logarithmic(int n, double origin, double v0, double v1, const F& f) {
  const double dir = v0 > origin ? 1.0 : -1.0;
  const double u0 = std::log(std::fabs(v0 - origin)), u1 = std::log(std::fabs(v1 - origin));
  const auto g = [&](double u) {
    const double t = std::exp(u);
    return t * f(origin + dir * t);
  };
  return dir * legendre(n, u0, u1, g);
}

// The integral of a piece by its rule, for a piece not graded towards the lens.
template <class F>
double ungraded(const QuadraturePiece& piece, const F& f) {
  if (piece.grading == Grading::Logarithmic) {
    return logarithmic(piece.n, piece.origin, piece.v0, piece.v1, f);
  }
  return legendre(piece.n, piece.v0, piece.v1, f);
}

// Integral over a piece graded towards its end `end`: v = end + dir L s^3, so that the
// integrand's singularity there, at most (v - end)^k ln|v - end|, becomes s^(3k + 2) ln s.
// f(v, t) with t = |v - end| exact.
template <class F>
double graded(double end, double dir, double L, const F& f) {
  double sum = 0;
  for (const gauss::Node& node : gauss::LEGENDRE_16) {
    const double s = node.t;
    const double t = L * ((s * s) * s);
    sum = sum + (node.w * ((s * s) * 3)) * f(end + dir * t, t);
  }
  return sum * L;
}

// Integral of C(end + dir t) ln t over t in [0, L], for a smooth C: Gauss-Legendre for the
// ln L part, Gauss with the weight -ln for the rest.
template <class F>
double log_moment(double end, double dir, double L, const F& C) {
  double plain = 0;
  for (const gauss::Node& node : gauss::LEGENDRE_12) plain = plain + node.w * C(end + dir * (L * node.t));
  double logarithmic = 0;
  for (const gauss::Node& node : gauss::LOG_12) {
    logarithmic = logarithmic + node.w * C(end + dir * (L * node.t));
  }
  return L * (std::log(L) * plain - logarithmic);
}

// The piece's graded end and direction into it.
struct GradedEnd {
  double end, dir;
};
GradedEnd graded_end(const QuadraturePiece& piece) {
  return piece.grading == Grading::TowardV0 ? GradedEnd{piece.v0, 1.0} : GradedEnd{piece.v1, -1.0};
}

// The radius x, never exactly on the lens, where a ring's magnification is infinite and a
// graded node can land by rounding: there the next double towards the piece serves.
double off_lens(double x, double l, double dir) {
  if (x != l) return x;
  // x rises with v in both source variables.
  return std::nextafter(x, dir > 0 ? HUGE_VAL : -HUGE_VAL);
}

// The ring form at one separation.
double ring_form(const RadialProfile& profile, double l, double re, double rstar, double rho) {
  const double s = re / rstar;
  // Radii here are never negative, so the kernel never meets its error.
  const auto g = [l, s](double x) { return heyrovsky_kernel(l, x, s); };
  // The coefficient of ln|x - l| in g: -4 s^2 / (2 pi p sqrt(h^2 + 4 s^2)) from K(m) ~ -ln k'
  // as the ring nears the lens; what is left is of order h^2 ln|h|.
  const auto log_coefficient = [l, s](double x) {
    const double h = x - l;
    const double p = l + x;
    const double z = h / (s + s);
    return -(s + s) / ((PI * p) * std::sqrt(1 + z * z));
  };
  const LensPoint lens = lens_point(profile, l, rho);
  double sum = 0;
  for_each_piece(profile, lens, [&](const QuadraturePiece& piece) {
    const ProfilePiece& p = *piece.profile;
    if (piece.grading == Grading::None || piece.grading == Grading::Logarithmic) {
      sum = sum + ungraded(piece, [&](double v) {
        const auto [x, weight] = profile.ring_point(p, v);
        return weight * g(x);
      });
      return;
    }
    // Plain names, not a structured binding: the lambdas below capture them.
    const GradedEnd graded_at = graded_end(piece);
    const double end = graded_at.end, dir = graded_at.dir;
    const double L = piece.v1 - piece.v0;
    const double m = lens.multiplicity;
    // The weighted logarithm's coefficient, in the source variable.
    const auto C = [&](double v) {
      const auto [x, weight] = profile.ring_point(p, v);
      return (m * weight) * log_coefficient(x);
    };
    const double regular = graded(end, dir, L, [&](double v, double t) {
      const auto [x, weight] = profile.ring_point(p, v);
      const double F = weight * g(off_lens(x, l, dir));
      return m == 0 ? F : F - ((m * weight) * log_coefficient(x)) * std::log(t);
    });
    sum = sum + (m == 0 ? regular : regular + log_moment(end, dir, L, C));
  });
  return sum;
}

// The disk form at one separation, without the factor pi.
double disk_form(const RadialProfile& profile, double l, double rho) {
  const auto Q = [l, rho](double x) {
    const double rho_x = x * rho;
    // A disk this small (a table may start there) holds no flux to speak of, Q < 2x / rho,
    // beside Q(1) > 2 / rho; its rho_x^2 may underflow.
    if (x < 1e-140) return 0.0;
    return (x * x) * witt_mao_kernel(l / x, rho_x, rho_x * rho_x);
  };
  double sum = profile.limb_value() * Q(1.0);
  for (const ProfileStep& step : profile.steps()) sum = sum - step.dI * Q(step.x);
  const LensPoint lens = lens_point(profile, l, rho);
  for_each_piece(profile, lens, [&](const QuadraturePiece& piece) {
    const ProfilePiece& p = *piece.profile;
    if (piece.grading == Grading::None || piece.grading == Grading::Logarithmic) {
      sum = sum + ungraded(piece, [&](double v) {
        const auto [x, weight] = profile.disk_point(p, v);
        return weight * Q(x);
      });
      return;
    }
    const auto [end, dir] = graded_end(piece);
    sum = sum + graded(end, dir, piece.v1 - piece.v0, [&](double v, double /*t*/) {
      const auto [x, weight] = profile.disk_point(p, v);
      return weight * Q(x);
    });
  });
  return sum;
}

// What a computed magnification may be handed back as. Every point of a source that is
// nowhere dark is magnified at least once over, so a value a few roundings below 1 is 1; an
// overflow inside the sums (for radii far outside the working range) is no magnification.
double settled(double A, bool nonnegative) {
  if (!std::isfinite(A)) return NaN;
  constexpr double ROUNDING = 1e-12;
  if (nonnegative && A < 1 && A >= 1 - ROUNDING) return 1.0;
  return A;
}

// Maps the form over the separations on the pool; far from the source, the series.
template <class Form>
BatchResult over_separations(const std::vector<double>& l, const RadialProfile& profile,
                             double rho, double norm, const Form& form) {
  Magnifications magnifications;
  const double far = profile.far_field_start();
  const bool valid_rho = is_valid_rho(rho);
  const bool nonnegative = profile.nonnegative();
  parallel::parallel_map(
      std::span<const double>(l),
      [&](double l_i) {
        if (!valid_rho || !is_valid_separation(l_i)) return NaN;
        const double A = l_i >= far ? far_from_profile(profile, l_i, rho) : form(l_i) / norm;
        return settled(A, nonnegative);
      },
      magnifications);
  return magnifications;
}

}  // namespace

BatchResult _integrated_heyrovsky_magnification(std::vector<double> l,
                                                const RadialProfile& profile, double re,
                                                double rstar, double norm) {
  const double rho = rstar / re;
  return over_separations(l, profile, rho, norm, [&](double l_i) {
    return ring_form(profile, l_i, re, rstar, rho);
  });
}

BatchResult _integrated_witt_mao_magnification(std::vector<double> l,
                                               const RadialProfile& profile, double re,
                                               double rstar, double norm) {
  const double rho = rstar / re;
  return over_separations(l, profile, rho, norm, [&](double l_i) {
    return PI * disk_form(profile, l_i, rho);
  });
}

}  // namespace caustica
