// Magnification of a source with a radial brightness profile, integrated over the source radius.
#pragma once

#include <span>

#include "magnification/batch.hpp"
#include "magnification/profile.hpp"

namespace caustica {

// Linear limb darkening with coefficient 0.6: 1 at the centre, 0.4 at the limb.
double limb_darkening_profile(double x);
// Integral of 2 pi x limb_darkening_profile(x) over [0, 1], that is 0.8 pi.
inline constexpr double LIMB_DARKENING_FLUX = 2.5132741228717936;

// norm: the profile's flux, the integral of 2 pi x profile(x) over [0, 1].
BatchResult _integrated_heyrovsky_magnification(std::vector<double> l, ProfileRef profile,
                                                double re, double rstar, double norm);
BatchResult _integrated_witt_mao_magnification(std::vector<double> l, ProfileRef profile,
                                               double re, double rstar, double norm);

// The same for a profile that is not smooth at breaks: ascending, distinct points inside (0, 1),
// where the integrals are cut.
BatchResult _integrated_heyrovsky_magnification(std::vector<double> l, ProfileRef profile,
                                                double re, double rstar, double norm,
                                                std::span<const double> breaks);
BatchResult _integrated_witt_mao_magnification(std::vector<double> l, ProfileRef profile,
                                               double re, double rstar, double norm,
                                               std::span<const double> breaks);

}  // namespace caustica
