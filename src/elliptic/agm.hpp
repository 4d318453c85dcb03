// The stopping test shared by every arithmetic-geometric mean of the elliptic layer.
#pragma once

#include <cmath>

namespace caustica::elliptic {

// 2.7 epsilon: the relative gap below which one more step no longer changes (a + g).
inline constexpr double AGM_TOLERANCE = 5.995204332975846e-16;

// True once |a - g| < tolerance * |a|, and also when a NaN makes the comparison unordered,
// so that a NaN argument ends the loop instead of spinning it.
inline bool agm_converged(double a, double g) {
  return !(std::fabs(a - g) >= AGM_TOLERANCE * std::fabs(a));
}

}  // namespace caustica::elliptic
