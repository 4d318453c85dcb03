#include "magnification/kernel_batch.hpp"

#include <cstddef>

#include "magnification/heyrovsky.hpp"
#include "magnification/witt_mao.hpp"

namespace caustica {

void heyrovsky_kernels(double l, std::span<const double> r, double s, std::span<double> out) {
  for (std::size_t i = 0; i < r.size(); ++i) out[i] = heyrovsky_kernel(l, r[i], s);
}

void witt_mao_kernels(std::span<const double> x, std::span<const double> rho,
                      std::span<const double> c, std::span<double> out) {
  for (std::size_t i = 0; i < x.size(); ++i) out[i] = witt_mao_kernel(x[i], rho[i], c[i]);
}

}  // namespace caustica
