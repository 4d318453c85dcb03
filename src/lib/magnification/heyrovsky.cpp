// Magnification of a thin source ring by a point-mass lens, in the form of Heyrovsky (2003,
// ApJ 594, 464) in the complete elliptic integrals of the first and third kind.
#include "magnification/heyrovsky.hpp"

#include <cmath>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"

namespace caustica {

namespace {

constexpr double TWO_PI = 6.283185307179586;

// The expansion of the ring magnification in h = r - l about the lens position, next to the
// ring. The ring through the lens (h = 0) gives +inf.
double near_ring(double l, double h, double s, double s2) {
  const double a2 = l * l;
  const double q = a2 + s2;
  const double L = std::log((l * (s * 8)) / (std::fabs(h) * std::sqrt(q)));
  const double T = std::atan(l / s);
  const double B = (1 - h / (l + l)) * ((s + s) / l);
  return h * ((s * ((a2 + a2) + s2)) / (a2 * q)) + (B * L + T * 4);
}

struct Integrals {
  double K, P;
};

// Within a tenth of p = l + r of the ring, n and m round towards 1 and K and Pi lose accuracy
// like eps / h^2; their complements follow directly from h instead.
Integrals near_ring_integrals(double h, double p, double o, double s2, double n) {
  const double one_minus_n = (h / p) * (h / p);
  const double one_minus_m = ((h * h) * (p * p + s2 * 4)) / ((p * p) * o);
  const double K = elliptic::elliprf(0, one_minus_m, 1);
  const double P = K + (n / 3) * elliptic::elliprj(0, one_minus_m, 1, one_minus_n);
  return {K, P};
}

}  // namespace

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double s = re / rstar;  // Einstein radius in source radii
  const double h = r - l;
  const double s2 = s * s;
  // The ring through the lens, also where l * l underflows and the expansion would give NaN.
  if (h == 0 && l > 0) return HUGE_VAL;
  // The expansion is in h / l, with an error of about (h / l)^2 / 4: it serves only while that
  // stays near 1e-10. Elsewhere the elliptic form, on complements next to the ring, is accurate
  // to rounding.
  if (std::fabs(h) < 1e-05 && (h == 0 || std::fabs(h) < 2e-05 * std::fabs(l))) {
    return near_ring(l, h, s, s2) / TWO_PI;
  }

  const double h2 = h * h;
  const double p = l + r;
  const double o = h2 + s2 * 4;
  double n = ((l * 4) * r) / (p * p);
  if (std::fabs(h) < 0.1 * p) {
    const Integrals I = near_ring_integrals(h, p, o, s2, n);
    return (4 / (p * std::sqrt(o))) * ((s2 + s2) * I.K + h2 * I.P) / TWO_PI;
  }

  const double k = ((s * 4) / p) * std::sqrt((l * r) / o);
  double m = k * k;
  // A ring about a central lens (or of radius 0) has n = m = 0, also where p * p underflows.
  if (l == 0 || r == 0) m = n = 0;

  const EllipticResult K = elliptic::ellipk(m);
  if (!K) return K.error();
  const EllipticResult P = elliptic::ellippi(n, m);
  if (!P) return P.error();

  const double g = (4 / (p * std::sqrt(o))) * ((s2 + s2) * *K + h2 * *P);
  return g / TWO_PI;
}

}  // namespace caustica
