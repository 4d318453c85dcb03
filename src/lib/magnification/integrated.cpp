// Magnification of a source with a radial brightness profile I(x): the magnified flux of each
// annulus of the source, weighted by I and divided by the profile's total flux.
//
// Ring form: A = integral of 2 pi x I(x) g(x) dx / flux, g the magnification of the ring of
// radius x. Disk form, by parts: with Q(x) = x^2 A_disk(x), pi Q the magnified flux of the
// uniform inner disk of radius x,
//   A = pi [I(1) Q(1) - sum over steps dI Q(x_j) - integral of Q(x) I'(x) dx] / flux,
// which needs no derivative of a magnification.
#include "magnification/integrated.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <vector>

#include "magnification/heyrovsky.hpp"
#include "magnification/kernel_batch.hpp"
#include "magnification/kernel_lanes.hpp"
#include "magnification/piece_forms.hpp"
#include "magnification/piece_rules.hpp"
#include "magnification/profile_far_field.hpp"
#include "magnification/quadrature_plan.hpp"
#include "magnification/source_radius.hpp"
#include "magnification/table_form.hpp"
#include "magnification/witt_mao.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

namespace {

using piece_rules::Nodes;

constexpr double PI = 3.141592653589793;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
// A disk this small (a table may start there) holds no flux to speak of, Q < 2x / rho, beside
// Q(1) > 2 / rho; its rho_x^2 may underflow.
constexpr double NO_FLUX = 1e-140;

// A NaN, infinite or negative separation has no magnification.
bool is_valid_separation(double l) { return std::isfinite(l) && l >= 0; }

// The piece's graded end and direction into it.
struct GradedEnd {
  double end, dir;
};
GradedEnd graded_end(const QuadraturePiece& piece) {
  const bool at_v0 = piece.grading == Grading::TowardV0 || piece.grading == Grading::LensAtV0;
  return at_v0 ? GradedEnd{piece.v0, 1.0} : GradedEnd{piece.v1, -1.0};
}

bool lens_at_end(const QuadraturePiece& piece) {
  return piece.grading == Grading::LensAtV0 || piece.grading == Grading::LensAtV1;
}

// The radius x, never exactly on the lens, where a ring's magnification is infinite and a
// graded node can land by rounding: there the next double towards the piece serves.
double off_lens(double x, double l, double dir) {
  if (x != l) return x;
  // x rises with v in both source variables.
  return std::nextafter(x, dir > 0 ? HUGE_VAL : -HUGE_VAL);
}

}  // namespace

double ring_log_coefficient(double x, double l, double s) {
  // The coefficient of ln|x - l| in g: -4 s^2 / (2 pi p sqrt(h^2 + 4 s^2)) from K(m) ~ -ln k'
  // as the ring nears the lens; what is left is of order h^2 ln|h|.
  const double h = x - l;
  const double p = l + x;
  const double z = h / (s + s);
  return -(s + s) / ((PI * p) * std::sqrt(1 + z * z));
}

double ring_piece(const RadialProfile& profile, const LensPoint& lens, double l, double s,
                  const QuadraturePiece& piece) {
  const ProfilePiece& p = *piece.profile;
  // In c = cos v, where the radius falls as c rises (off the source no node is on the lens).
  const auto in_cosine = [&](std::span<const double> c, std::span<double> out) {
    Nodes x, weight, g;
    const std::size_t n = c.size();
    profile.ring_points_in_cosine(c, x.data(), weight.data());
    for (std::size_t i = 0; i < n; ++i) x[i] = off_lens(x[i], l, -1.0);
    heyrovsky_kernels(l, std::span<const double>(x.data(), n), s, std::span<double>(g.data(), n));
    for (std::size_t i = 0; i < n; ++i) out[i] = weight[i] * g[i];
  };
  if (piece.grading == Grading::Cosine) return piece_rules::legendre(piece.n, 0.0, 1.0, in_cosine);
  if (piece.grading == Grading::LensInCosine) {
    // The rule's logarithmic end point is the lens at c_l.
    const double c_l = piece.origin;
    return piece_rules::lens_end(piece_rules::lens_rule(Route::Rings, piece.n), c_l, 1.0, 1 - c_l,
                                 in_cosine);
  }
  // Radii here are never negative, so the kernel never meets its error.
  if (piece.grading == Grading::None || piece.grading == Grading::Logarithmic) {
    return piece_rules::ungraded(piece, [&](std::span<const double> v, std::span<double> out) {
      Nodes x, weight, g;
      const std::size_t n = v.size();
      profile.ring_points(p, v, x.data(), weight.data());
      heyrovsky_kernels(l, std::span<const double>(x.data(), n), s, std::span<double>(g.data(), n));
      for (std::size_t i = 0; i < n; ++i) out[i] = weight[i] * g[i];
    });
  }
  // Plain names, not a structured binding: the lambdas below capture them.
  const GradedEnd graded_at = graded_end(piece);
  const double end = graded_at.end, dir = graded_at.dir;
  if (lens_at_end(piece)) {
    // The rule itself carries the logarithm at the lens.
    const auto rule = piece_rules::lens_rule(Route::Rings, piece.n);
    return piece_rules::lens_end(rule, end, dir, piece.v1 - piece.v0,
                                 [&](std::span<const double> v, std::span<double> out) {
      Nodes weight, ring, g;
      const std::size_t n = v.size();
      profile.ring_points(p, v, ring.data(), weight.data());
      for (std::size_t i = 0; i < n; ++i) ring[i] = off_lens(ring[i], l, dir);
      heyrovsky_kernels(l, std::span<const double>(ring.data(), n), s, std::span<double>(g.data(), n));
      for (std::size_t i = 0; i < n; ++i) out[i] = weight[i] * g[i];
    });
  }
  const double L = piece.v1 - piece.v0;
  const double m = lens.multiplicity;
  // The weighted logarithm's coefficient, in the source variable.
  const auto C = [&](std::span<const double> v, std::span<double> out) {
    for (std::size_t i = 0; i < v.size(); ++i) {
      const auto [x, weight] = profile.ring_point(p, v[i]);
      out[i] = (m * weight) * ring_log_coefficient(x, l, s);
    }
  };
  const double regular = piece_rules::graded(
      end, dir, L, [&](std::span<const double> v, std::span<const double> t, std::span<double> out) {
        Nodes x, ring, weight, g;
        const std::size_t n = v.size();
        profile.ring_points(p, v, x.data(), weight.data());
        for (std::size_t i = 0; i < n; ++i) ring[i] = off_lens(x[i], l, dir);
        heyrovsky_kernels(l, std::span<const double>(ring.data(), n), s,
                          std::span<double>(g.data(), n));
        // In radius the logarithm is taken at the ring's own distance from the lens, exact where
        // the ring's radius was rounded by a good share of a narrow piece.
        const bool radius = profile.variable() == SourceVariable::Radius;
        for (std::size_t i = 0; i < n; ++i) {
          const double F = weight[i] * g[i];
          const double ln_t = std::log(radius ? std::fabs(ring[i] - l) : t[i]);
          out[i] = m == 0 ? F : F - ((m * weight[i]) * ring_log_coefficient(x[i], l, s)) * ln_t;
        }
      });
  return m == 0 ? regular : regular + piece_rules::log_moment(end, dir, L, C);
}

double disk_flux(double x, double l, double rho) {
  const double rho_x = x * rho;
  if (x < NO_FLUX) return 0.0;
  return (x * x) * witt_mao_kernel(l / x, rho_x, rho_x * rho_x);
}

void disk_fluxes(double l, double rho, std::span<const double> x, std::span<double> Q) {
  Nodes lx, rho_x, c;
  const std::size_t n = x.size();
  for (std::size_t i = 0; i < n; ++i) {
    lx[i] = l / x[i];
    rho_x[i] = x[i] * rho;
    c[i] = rho_x[i] * rho_x[i];
  }
  witt_mao_kernels(std::span<const double>(lx.data(), n), std::span<const double>(rho_x.data(), n),
                   std::span<const double>(c.data(), n), Q);
  for (std::size_t i = 0; i < n; ++i) Q[i] = x[i] < NO_FLUX ? 0.0 : (x[i] * x[i]) * Q[i];
}

double disk_piece(const RadialProfile& profile, double l, double rho, const QuadraturePiece& piece) {
  const ProfilePiece& p = *piece.profile;
  // Q over a piece's nodes, weighted.
  const auto weighted_Q = [&](std::span<const double> v, std::span<double> out) {
    Nodes x, weight;
    const std::size_t n = v.size();
    profile.disk_points(p, v, x.data(), weight.data());
    disk_fluxes(l, rho, std::span<const double>(x.data(), n), out);
    for (std::size_t i = 0; i < n; ++i) out[i] = weight[i] * out[i];
  };
  const auto weighted_Q_in_cosine = [&](std::span<const double> c, std::span<double> out) {
    Nodes x, weight;
    const std::size_t n = c.size();
    profile.disk_points_in_cosine(c, x.data(), weight.data());
    disk_fluxes(l, rho, std::span<const double>(x.data(), n), out);
    for (std::size_t i = 0; i < n; ++i) out[i] = weight[i] * out[i];
  };
  if (piece.grading == Grading::Cosine) {
    return piece_rules::legendre(piece.n, 0.0, 1.0, weighted_Q_in_cosine);
  }
  if (piece.grading == Grading::LensInCosine) {
    const double c_l = piece.origin;
    return piece_rules::lens_end(piece_rules::lens_rule(Route::Disks, piece.n), c_l, 1.0, 1 - c_l,
                                 weighted_Q_in_cosine);
  }
  if (piece.grading == Grading::None || piece.grading == Grading::Logarithmic) {
    return piece_rules::ungraded(piece, weighted_Q);
  }
  const auto [end, dir] = graded_end(piece);
  if (lens_at_end(piece)) {
    return piece_rules::lens_end(piece_rules::lens_rule(Route::Disks, piece.n), end, dir,
                                 piece.v1 - piece.v0, weighted_Q);
  }
  return piece_rules::graded(end, dir, piece.v1 - piece.v0,
                             [&](std::span<const double> v, std::span<const double> /*t*/,
                                 std::span<double> out) { weighted_Q(v, out); });
}

namespace {

// The ring form at one separation.
double ring_form(const RadialProfile& profile, double l, double re, double rstar, double rho) {
  const double s = re / rstar;
  const LensPoint lens = lens_point(profile, l, rho, Route::Rings);
  double sum = 0;
  for_each_piece(profile, lens, [&](const QuadraturePiece& piece) {
    sum = sum + ring_piece(profile, lens, l, s, piece);
  });
  return sum;
}

// The disk form at one separation, without the factor pi.
double disk_form(const RadialProfile& profile, double l, double rho) {
  double sum = profile.limb_value() * disk_flux(1.0, l, rho);
  for (const ProfileStep& step : profile.steps()) sum = sum - step.dI * disk_flux(step.x, l, rho);
  const LensPoint lens = lens_point(profile, l, rho, Route::Disks);
  for_each_piece(profile, lens, [&](const QuadraturePiece& piece) {
    sum = sum + disk_piece(profile, l, rho, piece);
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

// The series' separations go through its lanes, BLOCK at a time: gathered in order from the
// batch, the pool hands them out in blocks. The others, a quadrature each, take the form one at
// a time on the pool, so that a short batch of them still spreads over its threads. Each value
// depends on its own separation alone: not on the pool's size, the lane path or its neighbours.
constexpr std::size_t BLOCK = 64;

template <class Form>
BatchResult over_separations(const std::vector<double>& l, const RadialProfile& profile,
                             double rho, double norm, const Form& form) {
  const std::size_t n = l.size();
  Magnifications magnifications(n, NaN);
  if (!is_valid_rho(rho)) return magnifications;
  const double far = profile.far_field_start();
  const bool nonnegative = profile.nonnegative();
  std::vector<std::size_t> series, integrals;
  for (std::size_t i = 0; i < n; ++i) {
    if (!is_valid_separation(l[i])) continue;
    (l[i] >= far ? series : integrals).push_back(i);
  }
  std::vector<char> done;
  if (!series.empty()) {
    const ProfileFarField far_field = far_field_of(profile);
    const LaneKernels& paths = lane_kernels();
    std::vector<std::size_t> starts;
    for (std::size_t b = 0; b < series.size(); b += BLOCK) starts.push_back(b);
    parallel::parallel_map(
        std::span<const std::size_t>(starts),
        [&](std::size_t b) {
          const std::size_t m = std::min(BLOCK, series.size() - b);
          double x[BLOCK] = {}, rhos[BLOCK], A[BLOCK];
          std::fill(rhos, rhos + BLOCK, rho);
          for (std::size_t j = 0; j < m; ++j) x[j] = l[series[b + j]];
          paths.profile_far_field(far_field, x, rhos, A, m);
          for (std::size_t j = 0; j < m; ++j) {
            magnifications[series[b + j]] = settled(A[j], nonnegative);
          }
          return char{1};
        },
        done);
  }
  done.clear();
  parallel::parallel_map(
      std::span<const std::size_t>(integrals),
      [&](std::size_t i) {
        magnifications[i] = settled(form(l[i]) / norm, nonnegative);
        return char{1};
      },
      done);
  return magnifications;
}

}  // namespace

BatchResult _integrated_heyrovsky_magnification(std::vector<double> l,
                                                const RadialProfile& profile, double re,
                                                double rstar, double norm) {
  if (profile.variable() == SourceVariable::Radius) {
    const TableBreaks breaks(profile, Route::Rings);
    return integrated_table_heyrovsky_magnification(std::move(l), profile, breaks, re, rstar, norm);
  }
  const double rho = rstar / re;
  return over_separations(l, profile, rho, norm, [&](double l_i) {
    return ring_form(profile, l_i, re, rstar, rho);
  });
}

BatchResult _integrated_witt_mao_magnification(std::vector<double> l,
                                               const RadialProfile& profile, double re,
                                               double rstar, double norm) {
  if (profile.variable() == SourceVariable::Radius) {
    const TableBreaks breaks(profile, Route::Disks);
    return integrated_table_witt_mao_magnification(std::move(l), profile, breaks, re, rstar, norm);
  }
  const double rho = rstar / re;
  return over_separations(l, profile, rho, norm, [&](double l_i) {
    return PI * disk_form(profile, l_i, rho);
  });
}

BatchResult integrated_table_heyrovsky_magnification(std::vector<double> l,
                                                     const RadialProfile& profile,
                                                     const TableBreaks& breaks, double re,
                                                     double rstar, double norm) {
  const double rho = rstar / re, s = re / rstar;
  return over_separations(l, profile, rho, norm, [&](double l_i) {
    return table_ring_form(profile, breaks, l_i, s, rho);
  });
}

BatchResult integrated_table_witt_mao_magnification(std::vector<double> l,
                                                    const RadialProfile& profile,
                                                    const TableBreaks& breaks, double re,
                                                    double rstar, double norm) {
  const double rho = rstar / re;
  return over_separations(l, profile, rho, norm, [&](double l_i) {
    return PI * table_disk_form(profile, breaks, l_i, rho);
  });
}

}  // namespace caustica
