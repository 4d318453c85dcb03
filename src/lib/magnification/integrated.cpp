// Placeholder until the driver lands.
#include "magnification/integrated.hpp"

#include "core/panic.hpp"

namespace caustica {
double limb_darkening_profile(double) { panic("limb_darkening_profile is not built yet"); }
BatchResult _integrated_heyrovsky_magnification(std::vector<double>, ProfileRef, double, double, double) { panic("integrated_heyrovsky_magnification is not built yet"); }
BatchResult _integrated_witt_mao_magnification(std::vector<double>, ProfileRef, double, double, double) { panic("integrated_witt_mao_magnification is not built yet"); }
}  // namespace caustica
