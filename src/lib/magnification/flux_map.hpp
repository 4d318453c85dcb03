// Magnification of a source whose radial profile is a caller's table (bl radii, bf values).
#pragma once

#include "magnification/batch.hpp"

namespace caustica {

// The table as thin rings weighted by bf.
BatchResult discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                      std::vector<double> bl,
                                                      std::vector<double> bf, double re,
                                                      double rstar);
// The table as a linearly interpolated profile, integrated over the source.
BatchResult integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                        std::vector<double> bl,
                                                        std::vector<double> bf, double re,
                                                        double rstar);
BatchResult integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                       std::vector<double> bl,
                                                       std::vector<double> bf, double re,
                                                       double rstar);

}  // namespace caustica
