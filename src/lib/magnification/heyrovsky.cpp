// Placeholder until the driver lands.
#include "magnification/heyrovsky.hpp"

#include "core/panic.hpp"

namespace caustica {
EllipticResult heyrovsky_magnification(double, double, double, double) { panic("heyrovsky_magnification is not built yet"); }
}  // namespace caustica
