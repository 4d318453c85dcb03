// Placeholder until the driver lands.
#include "magnification/flux_map.hpp"

#include "core/panic.hpp"

namespace caustica {
BatchResult discrete_flux_map_heyrovsky_magnification(std::vector<double>, std::vector<double>, std::vector<double>, double, double) { panic("discrete_flux_map_heyrovsky_magnification is not built yet"); }
BatchResult integrated_flux_map_heyrovsky_magnification(std::vector<double>, std::vector<double>, std::vector<double>, double, double) { panic("integrated_flux_map_heyrovsky_magnification is not built yet"); }
BatchResult integrated_flux_map_witt_mao_magnification(std::vector<double>, std::vector<double>, std::vector<double>, double, double) { panic("integrated_flux_map_witt_mao_magnification is not built yet"); }
}  // namespace caustica
