// Uniform-disk magnification by a point-mass lens in the closed form of Witt & Mao (1994, ApJ 430,
// 505), eq. (9), in the complete elliptic integrals of the first, second and third kind.
#include "magnification/witt_mao.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <span>

#include "magnification/kernel_batch.hpp"
#include "magnification/source_radius.hpp"
#include "magnification/witt_mao_closed_form.hpp"
#include "magnification/witt_mao_far_field.hpp"
#include "magnification/witt_mao_route.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

namespace {

constexpr double PI = 3.141592653589793;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

// Lens exactly on the limb: the limit of the elliptic form as u -> rho,
//   (2 / rho + ((c + 1) / c) (asin((c - 1) / (c + 1)) + pi / 2)) / pi,
// where asin((c - 1) / (c + 1)) + pi / 2 = 2 atan(rho) is written so as not to cancel for small rho.
// Below rho = 1e-100 the factor is carried as atan(rho) / rho, since c may underflow; above
// rho = 1e100 as 1 + 1 / c, since c may overflow.
double witt_mao_on_limb(double rho, double c) {
  if (rho < 1e-100) return ((2 + (c + 1) * (2 * (std::atan(rho) / rho))) / rho) / PI;
  if (rho > 1e100) return (2 / rho + (1 + 1 / c) * (2 * std::atan(rho))) / PI;
  return (2 / rho + ((c + 1) / c) * (2 * std::atan(std::fabs(rho)))) / PI;
}

double witt_mao_kernel(double x, double rho, double c) {
  const Route route = witt_mao_route(x, rho, c);
  switch (route.form) {
    case Form::value: return route.value;
    case Form::far_field: return far_field::far_from_source(x, x * rho);
    case Form::closed_form: break;
  }
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
