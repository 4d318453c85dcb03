// The Legendre tails' blocks on avx512 lanes: this file alone is compiled for it, and runs only
// where the processor has it.
#include "magnification/legendre_tails_lanes.hpp"

namespace caustica::legendre_tails {

void tails_block_avx512(const double* ea, const double* eb, std::size_t n, const double* A,
                      const double* B, const double* tau, double* value_a, double* value_b) {
  lanes::tails_block<8>(ea, eb, n, A, B, tau, value_a, value_b);
}

}  // namespace caustica::legendre_tails
