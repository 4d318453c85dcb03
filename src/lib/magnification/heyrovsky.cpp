// Magnification of a thin source ring by a point-mass lens, in the form of Heyrovsky (2003,
// ApJ 594, 464) in the complete elliptic integrals of the first and third kind.
#include "magnification/heyrovsky.hpp"

#include <cmath>

#include "elliptic/complete.hpp"

namespace caustica {

namespace {

constexpr double TWO_PI = 6.283185307179586;

// Within 1e-5 source radii of the ring the elliptic form cancels badly; its expansion in
// h = r - l about the lens position replaces it. The ring through the lens (h = 0) gives +inf.
double near_ring(double l, double h, double s, double s2) {
  const double a2 = l * l;
  const double q = a2 + s2;
  const double L = std::log((l * (s * 8)) / (std::fabs(h) * std::sqrt(q)));
  const double T = std::atan(l / s);
  const double B = (1 - h / (l + l)) * ((s + s) / l);
  return h * ((s * ((a2 + a2) + s2)) / (a2 * q)) + (B * L + T * 4);
}

}  // namespace

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar) {
  const double s = re / rstar;  // Einstein radius in source radii
  const double h = r - l;
  const double s2 = s * s;
  if (std::fabs(h) < 1e-05) return near_ring(l, h, s, s2) / TWO_PI;

  const double h2 = h * h;
  const double p = l + r;
  const double o = h2 + s2 * 4;
  const double k = ((s * 4) / p) * std::sqrt((l * r) / o);
  const double m = k * k;
  const EllipticResult K = elliptic::ellipk(m);
  if (!K) return K.error();

  const double n = ((l * 4) * r) / (p * p);
  const EllipticResult P = elliptic::ellippi(n, m);
  if (!P) return P.error();

  const double g = (4 / (p * std::sqrt(o))) * ((s2 + s2) * *K + h2 * *P);
  return g / TWO_PI;
}

}  // namespace caustica
