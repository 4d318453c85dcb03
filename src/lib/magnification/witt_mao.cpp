// Uniform-disk magnification by a point-mass lens in the closed form of Witt & Mao (1994, ApJ 430,
// 505), eq. (9), in the complete elliptic integrals of the first, second and third kind.
#include "magnification/witt_mao.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>

#include "magnification/far_field_series.hpp"
#include "magnification/kernel_batch.hpp"
#include "magnification/source_radius.hpp"
#include "magnification/witt_mao_closed_form.hpp"
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

// Where the closed form does not serve; these points stay scalar. An invalid separation is a
// caller's slip and the limb is hit exactly only by a chosen value: both rare. The far field is
// not rare on a long light curve, but its series has no iteration for lanes to share.
[[gnu::always_inline]] inline std::optional<double> outside_closed_form(double x, double rho, double c) {
  // A negative or NaN separation has no magnification.
  if (!(x >= 0)) return NaN;
  const double u = x * rho;
  const double d = u - rho;
  if (d == 0) return on_limb(rho, c);
  if (x >= far_field_start(rho) && rho > 0) return far_from_source(x, u);
  return std::nullopt;
}

}  // namespace

std::optional<double> witt_mao_outside_closed_form(double x, double rho, double c) {
  return outside_closed_form(x, rho, c);
}

double witt_mao_kernel(double x, double rho, double c) {
  if (const std::optional<double> A = outside_closed_form(x, rho, c)) return *A;
  return closed_form::witt_mao(x, rho, c);
}

BatchResult witt_mao_magnification(std::vector<double> l, double re, double rstar) {
  const double rho = rstar / re;
  if (!is_valid_rho(rho)) return Magnifications(l.size(), NaN);
  const double c = rho * rho;
  // Consecutive separations fill the kernel's lanes: the pool hands out blocks of them. Each
  // value is the kernel's own wherever its block falls, so nothing depends on the pool size.
  constexpr std::size_t BLOCK = 64;
  const std::size_t n = l.size();
  std::vector<std::size_t> starts;
  for (std::size_t b = 0; b < n; b += BLOCK) starts.push_back(b);
  Magnifications magnifications(n);
  std::vector<char> done;
  parallel::parallel_map(
      std::span<const std::size_t>(starts),
      [&](std::size_t b) {
        const std::size_t len = std::min(BLOCK, n - b);
        witt_mao_kernels(std::span<const double>(l).subspan(b, len), rho, c,
                         std::span<double>(magnifications).subspan(b, len));
        return char{1};
      },
      done);
  return magnifications;
}

}  // namespace caustica
