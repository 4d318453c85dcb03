// Magnification of a source with a radial brightness profile, integrated over the source radius.
#pragma once

#include "magnification/batch.hpp"
#include "magnification/profile.hpp"

namespace caustica {

struct TableBreaks;

// Linear limb darkening with coefficient 0.6: 1 at the centre, 0.4 at the limb.
inline const RadialProfile limb_darkening_profile = RadialProfile::linear_limb_darkening();
// Integral of 2 pi x limb_darkening_profile(x) over [0, 1]: 0.8 pi, correctly rounded. (The
// tanh-sinh rule gives 2.5132741228717936, 1.6e-14 lower: dividing by that biased every result.)
inline constexpr double LIMB_DARKENING_FLUX = 2.5132741228718345;

// norm: the profile's flux, the integral of 2 pi x profile(x) over [0, 1]. The separations are
// shared out over the pool, those of the far-field series in its lanes: each result depends on
// nothing but l_i, the radii and the profile. NaN for every element unless rstar / re is finite
// and positive.
BatchResult _integrated_heyrovsky_magnification(std::vector<double> l,
                                                const RadialProfile& profile, double re,
                                                double rstar, double norm);
BatchResult _integrated_witt_mao_magnification(std::vector<double> l,
                                               const RadialProfile& profile, double re,
                                               double rstar, double norm);
// A table's profile with its breakpoints for the route, prepared beforehand.
BatchResult integrated_table_heyrovsky_magnification(std::vector<double> l,
                                                     const RadialProfile& profile,
                                                     const TableBreaks& breaks, double re,
                                                     double rstar, double norm);
BatchResult integrated_table_witt_mao_magnification(std::vector<double> l,
                                                    const RadialProfile& profile,
                                                    const TableBreaks& breaks, double re,
                                                    double rstar, double norm);

}  // namespace caustica
