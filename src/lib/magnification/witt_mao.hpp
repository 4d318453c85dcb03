// Magnification of a uniform disk by a point-mass lens (Witt & Mao 1994).
#pragma once

#include <optional>

#include "magnification/batch.hpp"

namespace caustica {

// x: separation in source radii; rho: source radius in Einstein radii; c = rho * rho.
double witt_mao_kernel(double x, double rho, double c);

// The kernel's value where it does not take the closed form (closed_form::witt_mao), nullopt
// where it does: the lanes take those.
std::optional<double> witt_mao_outside_closed_form(double x, double rho, double c);

// Maps the kernel over l on the worker pool; never returns an error.
BatchResult witt_mao_magnification(std::vector<double> l, double re, double rstar);

}  // namespace caustica
