// A profile's magnification far outside the source: the profile-weighted mean of the
// point-source magnification A(u),
//   sum_k (rho^2 / 4)^k / (k!)^2 <x^2k> Lap^k A(u),
// which is the uniform disk's series (<x^2k> = 1 / (k + 1)) with its k-th term scaled by
// (k + 1) <x^2k>.
#pragma once

#include <cmath>

#include "magnification/profile_far_field_series.hpp"
#include "magnification/profile.hpp"

namespace caustica {

// x: separation in source radii; rho: source radius in Einstein radii.
inline double far_from_profile(const RadialProfile& profile, double x, double rho) {
  const double u = x * rho;
  const double y = u * u;
  const double w = 1 / (1 + 4 / y);
  const double q = 1 / (x * x);
  // The k-th term is at most the uniform disk's in z = reach^2 q: the terms that cannot reach
  // 1e-17 of the result are dropped.
  const double z = q * profile.far_field_reach2();
  int K = 0;
  while (K < profile_far_field::TERMS && z > profile_far_field::Q_FOR_TERMS[K]) ++K;
  double S = 0;
  for (int k = K; k >= 1; --k) {
    const auto& R = profile_far_field::R[k - 1];
    double R_w = 0;
    for (int j = 2 * k - 1; j >= 0; --j) R_w = R_w * w + R[j];
    S = (S + profile.moment_factors()[k - 1] * R_w) * q;
  }
  // ((y + 2) + S / (y + 4)) / (u sqrt(y + 4)), divided through by y so that it tends to 1.
  return ((1 + 2 / y) + S / (y * (y + 4))) / std::sqrt(1 + 4 / y);
}

}  // namespace caustica
