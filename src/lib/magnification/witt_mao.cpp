// Uniform-disk magnification by a point-mass lens in the closed form of Witt & Mao (1994, ApJ 430,
// 505), eq. (9), in the complete elliptic integrals of the first, second and third kind.
#include "magnification/witt_mao.hpp"

#include <cmath>
#include <limits>
#include <optional>
#include <span>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"
#include "magnification/far_field_series.hpp"
#include "magnification/source_radius.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// The three integrals at the characteristic n and parameter m.
struct Integrals {
  double E, K, P;
};

// Lens exactly on the limb: the limit of the elliptic form as u -> rho,
//   (2 / rho + ((c + 1) / c) (asin((c - 1) / (c + 1)) + pi / 2)) / pi,
// where asin((c - 1) / (c + 1)) + pi / 2 = 2 atan(rho) is written so as not to cancel for small rho.
double on_limb(double rho, double c) {
  return (2 / rho + ((c + 1) / c) * (2 * std::atan(std::fabs(rho)))) / PI;
}

// Within a tenth of the source radius of the limb, n and m round towards 1 and the integrals
// lose accuracy like eps / d^2; their complements follow directly from d instead.
Integrals near_limb_integrals(double d, double s, double w, double n, double m) {
  const double one_minus_n = (d / s) * (d / s);
  const double one_minus_m = ((d * d) * (s * s + 4)) / ((s * s) * (w * w));
  const double K = elliptic::elliprf(0, one_minus_m, 1);
  const double E = K - (m / 3) * elliptic::elliprd(0, one_minus_m, 1);
  const double P = K + (n / 3) * elliptic::elliprj(0, one_minus_m, 1, one_minus_n);
  return {E, K, P};
}

// Far outside the source the three terms of the closed form grow like x^2 and cancel to O(1),
// losing eps x^2 (1e-7 at x = 3e4, a point one Einstein radius from a small source). There the
// disk average of the point-source magnification converges like x^-2k instead; seven terms are
// exact to rounding from x = 10 on.
constexpr double FAR_FIELD = 10;

double far_from_source(double x, double u) {
  const double y = u * u;
  const double w = 1 / (1 + 4 / y);
  const double q = 1 / (x * x);
  double S = 0;
  for (int k = far_field::TERMS; k >= 1; --k) {
    const auto& R = far_field::R[k - 1];
    double R_w = 0;
    for (int j = 2 * k - 1; j >= 0; --j) R_w = R_w * w + R[j];
    S = (S + R_w) * q;
  }
  // ((y + 2) + S / (y + 4)) / (u sqrt(y + 4)), divided through by y so that it tends to 1.
  return ((1 + 2 / y) + S / (y * (y + 4))) / std::sqrt(1 + 4 / y);
}

// Empty when the elliptic layer fails; the first failure ends the evaluation.
std::optional<Integrals> complete_integrals(double n, double m) {
  const EllipticResult E = elliptic::ellipe(m);
  if (!E) return std::nullopt;
  const EllipticResult K = elliptic::ellipk(m);
  if (!K) return std::nullopt;
  const EllipticResult P = elliptic::ellippi(n, m);
  if (!P) return std::nullopt;
  return Integrals{*E, *K, *P};
}

}  // namespace

double witt_mao_kernel(double x, double rho, double c) {
  const double u = x * rho;
  const double d = u - rho;
  if (d == 0) return on_limb(rho, c);
  if (x >= FAR_FIELD && rho > 0) return far_from_source(x, u);

  const double d2 = d * d;
  const double w = std::sqrt(d2 + 4);
  const double s = rho + u;
  const double n = ((rho * 4) * u) / (s * s);
  const double k = std::sqrt(n * 4) / w;
  const double m = k * k;

  const std::optional<Integrals> integrals = std::fabs(d) < 0.1 * rho
                                                 ? near_limb_integrals(d, s, w, n, m)
                                                 : complete_integrals(n, m);
  // An elliptic-integral failure (a negative or NaN separation, say) is a NaN magnification.
  if (!integrals) return NaN;
  const Integrals& I = *integrals;

  const double e_term = ((s * w) / (c + c)) * I.E;
  const double k_term = ((d * ((u * u - c) * 0.5 + 4)) / (w * c)) * I.K;
  const double p_term = (((d2 + d2) * (c + 1)) / (w * (s * c))) * I.P;
  return (e_term - k_term + p_term) / PI;
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
