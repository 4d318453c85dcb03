// Magnification of a thin source ring of radius r by a point-mass lens at separation l
// (Heyrovsky 2003), both in source radii.
#pragma once

#include "magnification/batch.hpp"

namespace caustica {

// The ring kernel with s = re / rstar, the Einstein radius in source radii, computed once by the
// caller; NaN where heyrovsky_magnification gives its error. Bit for bit the same value.
double heyrovsky_kernel(double l, double r, double s);

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar);

}  // namespace caustica
