// What a table's profile is, as the ring and disk forms of a table meet it at every separation:
// its breakpoints, slope changes and steps, and what the disk form leaves to rings. Built once
// per call, from the table alone.
#pragma once

#include <cstddef>
#include <vector>

#include "magnification/breakpoint_cells.hpp"
#include "magnification/profile.hpp"
#include "magnification/quadrature_plan.hpp"

namespace caustica {

// A table's breakpoints inside (0, 1), ascending: where its slope changes by dslope and its value
// steps by step (0 outside its radii). What depends on the table alone, built once per call.
struct TableBreaks {
  TableBreaks(const RadialProfile& profile, Route route);
  std::vector<double> x, dslope, step;
  // line_after[j]: the table piece between breakpoints j - 1 and j (0 and 1 at the ends), null
  // in a gap of the table.
  std::vector<const ProfilePiece*> line_after;
  // The value and slope just beyond each breakpoint.
  std::vector<double> value, slope;
  // The disk form builds a lit run of pieces [A, B] between steps from Q(B) - Q(A), which cancels
  // like 1e-16 B / (B - A): a narrow run (narrow[k] for its pieces) takes the ring form instead,
  // and the disk form's slope changes and steps leave it out.
  std::vector<bool> narrow;
  std::vector<std::size_t> narrow_pieces;
  std::vector<double> disk_dslope, disk_step;
  double disk_limb = 0;
  // The disk form's terms outgrow the flux they sum to (a table bright at the limb: I(1) Q(1)
  // against the integral of I' Q) by more than it can lose: the disk form is then the ring form.
  bool disk_by_rings = false;
  // Sums over the breakpoints before j of |dslope|, |disk_dslope| and |step|, and the profile's
  // integral from 0 to x[j]: a plan piece's conditioning at the cost of a few look-ups.
  std::vector<double> abs_dslope, abs_disk_dslope, abs_step, mass;
  // The hinges' weights by cells, for a dense table: dslope and step where the form is the ring
  // form, disk_dslope where it is the disk form.
  BreakpointCells cells;
};

}  // namespace caustica
