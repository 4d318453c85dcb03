// The ring and disk forms of a table's profile at one separation, at a kernel cost that does not
// grow with the table's length.
//
// Next to the lens, a few table pieces on either side are integrated piece by piece, as any
// profile is. Beyond them the kernel is smooth, and the source is cut by the lens alone: on each
// such piece the kernel part of the integrand, psi, is sampled at one Gauss rule, and the
// profile's breakpoints inside are met through the cumulative integral of psi's Legendre
// interpolant. Writing the profile on a piece [q0, q1] as its line at q0 plus hinges,
//   I(x) = I(q0) + b0 (x - q0) + sum_j [dslope_j (x - y_j)_+ + step_j H(x - y_j)],
// every breakpoint costs one evaluation of two smooth functions, and the sum is as well
// conditioned as the profile's own slope changes.
#pragma once

#include "magnification/profile.hpp"
#include "magnification/table_breaks.hpp"

namespace caustica {

// The ring form, without the division by the flux; s = re / rstar.
double table_ring_form(const RadialProfile& profile, const TableBreaks& breaks, double l, double s,
                       double rho);
// The disk form, without the factors pi and 1 / flux.
double table_disk_form(const RadialProfile& profile, const TableBreaks& breaks, double l, double rho);

}  // namespace caustica
