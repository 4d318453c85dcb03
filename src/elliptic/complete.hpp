// Complete elliptic integrals in the parameter convention (m = k^2, n the characteristic).
#pragma once

#include "elliptic/error.hpp"

namespace caustica::elliptic {

// K(m) = integral over [0, pi/2] of 1 / sqrt(1 - m sin^2 t).
EllipticResult ellipk(double m);
// E(m) = integral over [0, pi/2] of sqrt(1 - m sin^2 t).
EllipticResult ellipe(double m);
// Pi(n, m) = integral over [0, pi/2] of 1 / ((1 - n sin^2 t) sqrt(1 - m sin^2 t));
// the Cauchy principal value for n > 1.
EllipticResult ellippi(double n, double m);

}  // namespace caustica::elliptic
