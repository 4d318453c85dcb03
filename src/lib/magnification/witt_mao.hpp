// Magnification of a uniform disk by a point-mass lens (Witt & Mao 1994).
#pragma once

#include "magnification/batch.hpp"

namespace caustica {

// x: separation in source radii; rho: source radius in Einstein radii; c = rho * rho.
double witt_mao_kernel(double x, double rho, double c);

// Maps the kernel over l on the worker pool; never returns an error.
BatchResult witt_mao_magnification(std::vector<double> l, double re, double rstar);

}  // namespace caustica
