// Magnification of a source whose radial profile is a caller's table (bl radii, bf values).
#pragma once

#include <string>

#include "magnification/batch.hpp"

namespace caustica {

// A table that describes no profile; the message names the argument and the first offending
// entries.
struct TableError {
  std::string message;
};
using TableResult = Expected<Magnifications, TableError>;

// The table as thin rings weighted by bf; the first ring error in the order of separations, then
// of table entries, ends the call.
BatchResult discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                      std::vector<double> bl,
                                                      std::vector<double> bf, double re,
                                                      double rstar);
// The table as its piecewise-linear profile, integrated over the source. Radii must be finite
// and ascending (equal neighbours make a step); a value that is not finite makes every result
// NaN.
TableResult integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                        std::vector<double> bl,
                                                        std::vector<double> bf, double re,
                                                        double rstar);
TableResult integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                       std::vector<double> bl,
                                                       std::vector<double> bf, double re,
                                                       double rstar);

}  // namespace caustica
