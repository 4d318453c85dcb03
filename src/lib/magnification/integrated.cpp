// Magnification of a source with a radial brightness profile I(x): the magnified flux of each
// annulus of the source, weighted by I and divided by the profile's total flux.
#include "magnification/integrated.hpp"

#include <cmath>
#include <limits>

#include "magnification/heyrovsky.hpp"
#include "magnification/witt_mao.hpp"
#include "numeric/derivative.hpp"
#include "numeric/tanh_sinh.hpp"

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double TWO_PI = 6.283185307179586;
constexpr double TARGET_ERROR = 1e-16;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The integrand's non-finite values count as 0 in the quadrature, which would turn a meaningless
// separation into a plausible-looking 0; such separations get NaN, as in the uniform-disk batch.
bool is_valid_separation(double l) { return std::isfinite(l) && l >= 0; }

// The integral of F over the source radius [0, 1]. A lens inside the source makes F
// logarithmically singular at x = l, where tanh-sinh converges slowly unless l is an end point.
template <class Integrand>
double over_source(const Integrand& F, double l) {
  if (0 < l && l < 1) {
    return numeric::integrate(F, 0.0, l, TARGET_ERROR).integral +
           numeric::integrate(F, l, 1.0, TARGET_ERROR).integral;
  }
  return numeric::integrate(F, 0.0, 1.0, TARGET_ERROR).integral;
}

}  // namespace

double limb_darkening_profile(double x) { return (1 - std::sqrt(1 - x * x)) * (-0.6) + 1; }

BatchResult _integrated_heyrovsky_magnification(std::vector<double> l, ProfileRef profile,
                                                double re, double rstar, double norm) {
  Magnifications magnifications;
  magnifications.reserve(l.size());
  for (const double l_i : l) {
    if (!is_valid_separation(l_i)) {
      magnifications.push_back(NaN);
      continue;
    }
    // g(x): magnification of the ring of radius x; a failing ring counts as 0 in the integral.
    const auto g = [l_i, re, rstar](double x) {
      const EllipticResult ring = heyrovsky_magnification(l_i, x, re, rstar);
      return ring ? *ring : NaN;
    };
    const auto F = [&g, &profile](double x) {
      const double G = g(x);
      return ((x * TWO_PI) * G) * profile(x);
    };
    magnifications.push_back(over_source(F, l_i) / norm);
  }
  return magnifications;
}

BatchResult _integrated_witt_mao_magnification(std::vector<double> l, ProfileRef profile,
                                               double re, double rstar, double norm) {
  const double rho = rstar / re;
  Magnifications magnifications;
  magnifications.reserve(l.size());
  for (const double l_i : l) {
    if (!is_valid_separation(l_i)) {
      magnifications.push_back(NaN);
      continue;
    }
    // pi q(x) = pi x^2 g(x) is the magnified flux of the uniform inner disk of radius x, with g
    // its magnification in that disk's own units; an annulus adds pi q'(x) dx. q is
    // differentiated rather than g, which grows like 1/x about a central lens: extended oddly
    // through the centre, q stays smooth there and the central difference stays accurate.
    const auto q = [l_i, rho](double x) {
      const double r = std::fabs(x);
      if (r == 0) return 0.0;
      const double rho_r = r * rho;
      return (x * r) * witt_mao_kernel(l_i / r, rho_r, rho_r * rho_r);
    };
    const auto F = [&q, &profile](double x) {
      const double D = numeric::sderivative(q, x);
      return (PI * D) * profile(x);
    };
    magnifications.push_back(over_source(F, l_i) / norm);
  }
  return magnifications;
}

}  // namespace caustica
