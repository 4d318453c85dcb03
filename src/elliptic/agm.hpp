// The arithmetic-geometric means of the elliptic layer: their shared stopping test, and the AGM
// with the weighted sum of squared gaps that E(m) and RD(0, y, z) need beside the mean.
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

// The pair (a, g) at convergence and S = sum over the steps of 2^(j-1) (a_j - g_j)^2, taken
// with each new pair (DLMF 19.8.6). No step limit: the loop ends once the pair meets, or on NaN.
struct WeightedAgm {
  double a, g, S;
};

inline WeightedAgm weighted_agm(double a0, double g0) {
  double a = a0, g = g0, S = 0.0, w = 0.25;
  while (!agm_converged(a, g)) {
    const double a_next = (a + g) * 0.5;
    g = std::sqrt(a * g);
    a = a_next;
    w = 2.0 * w;
    S = S + w * ((a - g) * (a - g));
  }
  return {a, g, S};
}

}  // namespace caustica::elliptic
