// Placeholder until the driver lands.
#include "magnification/multi.hpp"

#include "core/panic.hpp"

namespace caustica {
CurvesResult multi_witt_mao_magnification(std::vector<double>, std::vector<double>, std::vector<double>) { panic("multi_witt_mao_magnification is not built yet"); }
}  // namespace caustica
