// The Legendre tails' blocks on avx2 lanes: this file alone is compiled for it, and runs only
// where the processor has it.
#include "magnification/legendre_tails_lanes.hpp"

namespace caustica::legendre_tails {

void tails_block_avx2(const double* ea, const double* eb, std::size_t n, const double* A,
                      const double* B, const double* tau, double* value_a, double* value_b) {
  lanes::tails_block<4>(ea, eb, n, A, B, tau, value_a, value_b);
}

void coefficients_avx2(const double* Dt, std::size_t stride, std::size_t n, const double* f0,
                       const double* f1, double* d0, double* d1) {
  lanes::coefficients<4>(Dt, stride, n, f0, f1, d0, d1);
}

}  // namespace caustica::legendre_tails
