// Uniform-disk magnification by a point-mass lens in the closed form of Witt & Mao (1994, ApJ 430,
// 505), eq. (9), in the complete elliptic integrals of the first, second and third kind.
#include "magnification/witt_mao.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>

#include "elliptic/cel.hpp"
#include "magnification/far_field_series.hpp"
#include "magnification/source_radius.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Lens exactly on the limb: the limit of the elliptic form as u -> rho,
//   (2 / rho + ((c + 1) / c) (asin((c - 1) / (c + 1)) + pi / 2)) / pi,
// where asin((c - 1) / (c + 1)) + pi / 2 = 2 atan(rho) is written so as not to cancel for small rho.
// Below rho = 1e-100 the factor is carried as atan(rho) / rho, since c may underflow; above
// rho = 1e100 as 1 + 1 / c, since c may overflow.
double on_limb(double rho, double c) {
  if (rho < 1e-100) return ((2 + (c + 1) * (2 * (std::atan(rho) / rho))) / rho) / PI;
  if (rho > 1e100) return (2 / rho + (1 + 1 / c) * (2 * std::atan(rho))) / PI;
  return (2 / rho + ((c + 1) / c) * (2 * std::atan(std::fabs(rho)))) / PI;
}

// Outside the source the three terms of the closed form grow like x^2 and cancel to O(1), losing
// eps x^2 (4.7e-15 at x = 3, 1.35e-14 at x = 5 for a small source, 1e-7 at x = 3e4). There the
// disk average of the point-source magnification converges like x^-2k instead, and takes only
// the terms that still count at this x: fourteen at x = 3, ten at x = 5, three at x = 100, two
// from x = 370 on. A source of an Einstein radius or more loses less (3.5e-15 up to x = 5),
// and its w near 1 needs every power of w: there the closed form is the cheaper up to x = 5.
double far_field_start(double rho) { return rho < 1 ? far_field::FAR_FIELD : 5.0; }

double far_from_source(double x, double u) {
  const double y = u * u;
  const double w = 1 / (1 + 4 / y);
  const double q = 1 / (x * x);
  int K = 0;
  while (K < far_field::TERMS && q > far_field::Q_FOR_TERMS[K]) ++K;
  // For a small source w < u^2 / 4 is small too, and the high powers of w do not count.
  int J = 1;
  while (J < 2 * far_field::TERMS && w > far_field::W_FOR_DEGREES[J - 1]) ++J;
  double S = 0;
  for (int k = K; k >= 1; --k) {
    const auto& R = far_field::R[k - 1];
    double R_w = 0;
    for (int j = std::min(2 * k, J) - 1; j >= 0; --j) R_w = R_w * w + R[j];
    S = (S + R_w) * q;
  }
  // ((y + 2) + S / (y + 4)) / (u sqrt(y + 4)); where y would lose digits to underflow, as it is.
  if (u < 1e-140) return ((y + 2) + S / (y + 4)) / (u * std::sqrt(y + 4));
  // Divided through by y, so that it tends to 1.
  return ((1 + 2 / y) + S / (y * (y + 4))) / std::sqrt(1 + 4 / y);
}

}  // namespace

// The closed form in x = u / rho, with the common factor 1 / rho taken out (for rho <= 1) or the
// Einstein radius measured in source radii (for rho > 1), so that neither rho^2 nor rho^4 is
// formed where it would overflow or underflow. With d = u - rho, s = u + rho, w = sqrt(d^2 + 4):
//   1 - n = (d / s)^2 = ((x - 1) / (x + 1))^2,   1 - m = (1 - n) (s^2 + 4) / w^2,
// which the integrals take directly: no cancellation towards the limb, no branch for it.
double witt_mao_kernel(double x, double rho, double c) {
  // A negative or NaN separation has no magnification.
  if (!(x >= 0)) return NaN;
  const double u = x * rho;
  const double d = u - rho;
  if (d == 0) return on_limb(rho, c);
  if (x >= far_field_start(rho) && rho > 0) return far_from_source(x, u);

  const double xm = x - 1, xp = x + 1;
  const double pc = std::fabs(xm) / xp;
  double A;
  if (rho <= 1) {
    const double s = rho * xp;
    const double w2 = d * d + 4;
    const double w = std::sqrt(w2);
    const elliptic::KEPi I = elliptic::kepi(pc * std::sqrt((s * s + 4) / w2), pc);
    const double e_term = ((xp * w) * 0.5) * I.E;
    const double k_term = ((xm * ((c * (x * x - 1)) * 0.5 + 4)) / w) * I.K;
    const double p_term = (((xm * xm) * 2) * (c + 1) / (w * xp)) * I.Pi;
    A = ((e_term - k_term + p_term) / rho) / PI;
  } else {
    const double t2 = 4 / c;  // (2 / rho)^2: the Einstein diameter in source radii, squared
    const double v2 = xm * xm + t2;
    const double v = std::sqrt(v2);
    const elliptic::KEPi I = elliptic::kepi(pc * std::sqrt((xp * xp + t2) / v2), pc);
    const double e_term = ((xp * v) * 0.5) * I.E;
    const double k_term = ((xm * ((x * x - 1) * 0.5 + t2)) / v) * I.K;
    const double p_term = (((xm * xm) * 2) * (1 + t2 * 0.25) / (v * xp)) * I.Pi;
    A = (e_term - k_term + p_term) / PI;
  }
  // Every average of the point-lens magnification is at least 1; where the three terms cancel
  // (a source much larger than the Einstein radius) rounding may leave less.
  return A < 1 ? 1 : A;
}

BatchResult witt_mao_magnification(std::vector<double> l, double re, double rstar) {
  const double rho = rstar / re;
  if (!is_valid_rho(rho)) return Magnifications(l.size(), NaN);
  const double c = rho * rho;
  Magnifications magnifications;
  parallel::parallel_map(
      std::span<const double>(l), [rho, c](double x) { return witt_mao_kernel(x, rho, c); },
      magnifications);
  return magnifications;
}

}  // namespace caustica
