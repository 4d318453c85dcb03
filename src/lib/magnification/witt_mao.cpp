// Placeholder until the driver lands.
#include "magnification/witt_mao.hpp"

#include "core/panic.hpp"

namespace caustica {
double witt_mao_kernel(double, double, double) { panic("witt_mao_kernel is not built yet"); }
BatchResult witt_mao_magnification(std::vector<double>, double, double) { panic("witt_mao_magnification is not built yet"); }
}  // namespace caustica
