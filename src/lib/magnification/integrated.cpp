// Magnification of a source with a radial brightness profile I(x): the magnified flux of each
// annulus of the source, weighted by I and divided by the profile's total flux.
#include "magnification/integrated.hpp"

#include <cmath>
#include <limits>
#include <span>
#include <utility>

#include "magnification/heyrovsky.hpp"
#include "magnification/over_source.hpp"
#include "magnification/witt_mao.hpp"
#include "numeric/derivative.hpp"

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double TWO_PI = 6.283185307179586;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The integrand's non-finite values count as 0 in the quadrature, which would turn a meaningless
// separation into a plausible-looking 0; such separations get NaN, as in the uniform-disk batch.
bool is_valid_separation(double l) { return std::isfinite(l) && l >= 0; }

// For each separation in order, on this thread: the integral over the source of the integrand
// that integrand_at(l_i) makes, divided by the profile's flux.
template <class IntegrandAt>
Magnifications over_each_separation(const std::vector<double>& l, double norm,
                                    std::span<const double> breaks, IntegrandAt integrand_at) {
  Magnifications magnifications;
  magnifications.reserve(l.size());
  for (const double l_i : l) {
    const double A = is_valid_separation(l_i)
                         ? over_source(integrand_at(l_i), l_i, breaks) / norm
                         : NaN;
    magnifications.push_back(A);
  }
  return magnifications;
}

}  // namespace

double limb_darkening_profile(double x) { return (1 - std::sqrt(1 - x * x)) * (-0.6) + 1; }

BatchResult _integrated_heyrovsky_magnification(std::vector<double> l, ProfileRef profile,
                                                double re, double rstar, double norm,
                                                std::span<const double> breaks) {
  return over_each_separation(l, norm, breaks, [re, rstar, profile](double l_i) {
    // g(x): magnification of the ring of radius x; a failing ring counts as 0 in the integral.
    const auto g = [l_i, re, rstar](double x) {
      const EllipticResult ring = heyrovsky_magnification(l_i, x, re, rstar);
      return ring ? *ring : NaN;
    };
    return [g, profile](double x) {
      const double G = g(x);
      return ((x * TWO_PI) * G) * profile(x);
    };
  });
}

BatchResult _integrated_witt_mao_magnification(std::vector<double> l, ProfileRef profile,
                                               double re, double rstar, double norm,
                                               std::span<const double> breaks) {
  const double rho = rstar / re;
  // pi q(x) = pi x^2 g(x) is the magnified flux of the uniform inner disk of radius x, with g
  // its magnification in that disk's own units; an annulus adds pi q'(x) dx. q is
  // differentiated rather than g, which grows like 1/x about a central lens. Through the
  // centre q is extended as the smooth function it is on the scale of the difference step
  // (CBRT_EPS there): odd about a lens closer to the centre than that (q ~ 2x / rho outside
  // radius l), even about any other (q ~ x^2 times the point-source magnification inside l).
  return over_each_separation(l, norm, breaks, [rho, profile](double l_i) {
    const bool odd = l_i < numeric::CBRT_EPS;
    const auto q = [l_i, rho, odd](double x) {
      const double r = std::fabs(x);
      if (r == 0) return 0.0;
      const double rho_r = r * rho;
      const double x_or_r = odd ? x : r;
      return (x_or_r * r) * witt_mao_kernel(l_i / r, rho_r, rho_r * rho_r);
    };
    return [q, profile](double x) {
      const double D = numeric::sderivative(q, x);
      return (PI * D) * profile(x);
    };
  });
}

BatchResult _integrated_heyrovsky_magnification(std::vector<double> l, ProfileRef profile,
                                                double re, double rstar, double norm) {
  return _integrated_heyrovsky_magnification(std::move(l), profile, re, rstar, norm, {});
}

BatchResult _integrated_witt_mao_magnification(std::vector<double> l, ProfileRef profile,
                                               double re, double rstar, double norm) {
  return _integrated_witt_mao_magnification(std::move(l), profile, re, rstar, norm, {});
}

}  // namespace caustica
