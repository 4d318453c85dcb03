// The integrals of the ring and disk forms over one quadrature piece, shared by the drivers of
// the built-in law and of tables.
#pragma once

#include <span>

#include "magnification/profile.hpp"
#include "magnification/quadrature_plan.hpp"

namespace caustica {

// The ring form's integral of 2 pi x I(x) g(x) over the piece; s = re / rstar.
double ring_piece(const RadialProfile& profile, const LensPoint& lens, double l, double s,
                  const QuadraturePiece& piece);
// The disk form's integral of -I'(x) Q(x) over the piece.
double disk_piece(const RadialProfile& profile, double l, double rho, const QuadraturePiece& piece);

// Q(x) = x^2 A_disk(x): pi Q is the magnified flux of the uniform inner disk of radius x.
double disk_flux(double x, double l, double rho);
// Q[i] = disk_flux(x[i], l, rho), through the batch kernel; at most piece_rules::MAX_NODES.
void disk_fluxes(double l, double rho, std::span<const double> x, std::span<double> Q);

}  // namespace caustica
