// Magnification of a thin source ring of radius r by a point-mass lens at separation l
// (Heyrovsky 2003), both in source radii.
#pragma once

#include "magnification/batch.hpp"

namespace caustica {

EllipticResult heyrovsky_magnification(double l, double r, double re, double rstar);

}  // namespace caustica
