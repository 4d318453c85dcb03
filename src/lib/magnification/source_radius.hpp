// The source radius in Einstein radii, rho = rstar / re.
#pragma once

#include <cmath>

namespace caustica {

// Only a finite, positive rho describes a source: for any other every magnification is NaN, so
// that a fitting sampler that wanders there sees no plausible number.
inline bool is_valid_rho(double rho) { return std::isfinite(rho) && rho > 0; }

}  // namespace caustica
