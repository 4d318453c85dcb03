// The ring and uniform-disk kernels over many points at once, for the drivers that evaluate a
// quadrature piece's nodes together, and for a batch's consecutive separations. The points go
// through the kernels' lanes (kernel_lanes.hpp); each value is the one-at-a-time kernel's, bit
// for bit, whatever the path, the lane it lands in and its neighbours.
#pragma once

#include <span>

namespace caustica {

// out[i] = heyrovsky_kernel(l, r[i], s); out is as long as r.
void heyrovsky_kernels(double l, std::span<const double> r, double s, std::span<double> out);

// out[i] = witt_mao_kernel(x[i], rho[i], c[i]); all four are as long as x.
void witt_mao_kernels(std::span<const double> x, std::span<const double> rho,
                      std::span<const double> c, std::span<double> out);

// out[i] = witt_mao_kernel(x[i], rho, c); out is as long as x.
void witt_mao_kernels(std::span<const double> x, double rho, double c, std::span<double> out);

}  // namespace caustica
