#include "magnification/table_breaks.hpp"

#include <algorithm>
#include <cmath>

namespace caustica {

namespace {

// A run of pieces between steps narrower than this share of its outer radius.
constexpr double NARROW_RUN = 0.01;
// A table with fewer breakpoints sums its hinges one by one.
constexpr std::size_t CELLS_FROM = 64;
// The largest size of the disk form's terms, unlensed, over the table's flux: it loses some ten
// times this many roundings of the result (1200 random brightnesses, terms 270 times the flux,
// lost 3.1e-13; a profile that falls towards the limb, as every limb-darkening law, has 1).
constexpr double DISK_SPREAD = 30;

}  // namespace

TableBreaks::TableBreaks(const RadialProfile& profile, Route route) {
  const auto pieces = profile.pieces();
  narrow.assign(pieces.size(), false);
  for (std::size_t k0 = 0, k1; k0 < pieces.size(); k0 = k1) {
    for (k1 = k0 + 1; k1 < pieces.size() && pieces[k1].v0 == pieces[k1 - 1].v1 &&
                      line_at(pieces[k1], pieces[k1].v0) == line_at(pieces[k1 - 1], pieces[k1].v0);
         ++k1) {
    }
    const double A = pieces[k0].v0, B = pieces[k1 - 1].v1;
    if (B - A < NARROW_RUN * B) {
      for (std::size_t k = k0; k < k1; ++k) {
        narrow[k] = true;
        narrow_pieces.push_back(k);
      }
    }
  }
  // At most two breakpoints a piece: one allocation for each column.
  const std::size_t most = 2 * pieces.size();
  for (auto* column : {&x, &value, &slope, &dslope, &step, &disk_dslope, &disk_step}) {
    column->reserve(most);
  }
  line_after.reserve(most + 1);
  const auto point = [&](double y) -> std::size_t {
    if (x.empty() || x.back() != y) {
      x.push_back(y);
      for (auto* column : {&value, &slope, &dslope, &step, &disk_dslope, &disk_step}) {
        column->push_back(0.0);
      }
    }
    return x.size() - 1;
  };
  // A breakpoint meets the piece that ends there before the one that starts there: the changes
  // are (0 - left) + right, the right side's value less the left's.
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const ProfilePiece& p = pieces[k];
    const double piece_slope = slope_of(p);
    const double by_parts = narrow[k] ? 0.0 : 1.0;
    if (0 < p.v0) {
      const std::size_t j = point(p.v0);
      const double right = line_at(p, p.v0);
      value[j] = right;
      slope[j] = piece_slope;
      dslope[j] = dslope[j] + piece_slope;
      step[j] = step[j] + right;
      disk_dslope[j] = disk_dslope[j] + by_parts * piece_slope;
      disk_step[j] = disk_step[j] + by_parts * right;
    }
    if (p.v1 < 1) {
      const std::size_t j = point(p.v1);
      const double left = line_at(p, p.v1);
      dslope[j] = dslope[j] - piece_slope;
      step[j] = step[j] - left;
      disk_dslope[j] = disk_dslope[j] - by_parts * piece_slope;
      disk_step[j] = disk_step[j] - by_parts * left;
    } else if (!narrow[k]) {
      disk_limb = line_at(p, 1.0);
    }
  }
  // Unlensed, Q(x) = x^2: the terms |I(1)|, |step| y^2 and |slope| (b^3 - a^3) / 3 against the
  // flux, the integral of 2 x I.
  double terms = std::fabs(disk_limb), flux = 0;
  for (std::size_t j = 0; j < x.size(); ++j) terms = terms + std::fabs(disk_step[j]) * (x[j] * x[j]);
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const ProfilePiece& p = pieces[k];
    const double a = p.v0, b = p.v1;
    const double I_a = line_at(p, a), I_b = line_at(p, b);
    if (!narrow[k]) terms = terms + std::fabs(slope_of(p)) * ((b * b * b - a * a * a) / 3);
    flux = flux + (b - a) * ((2 * a + b) * I_a + (a + 2 * b) * I_b) / 3;
  }
  disk_by_rings = terms > DISK_SPREAD * flux;
  // The piece under each stretch between breakpoints: piece ends inside (0, 1) are breakpoints,
  // so one piece covers all of a stretch or none of it.
  // The first piece that ends beyond a, a rising with j.
  auto p = pieces.begin();
  for (std::size_t j = 0; j <= x.size(); ++j) {
    const double a = j == 0 ? 0.0 : x[j - 1];
    while (p != pieces.end() && !(a < p->v1)) ++p;
    line_after.push_back(p != pieces.end() && p->v0 <= a ? &*p : nullptr);
  }
  abs_dslope.assign(x.size() + 1, 0.0);
  abs_disk_dslope.assign(x.size() + 1, 0.0);
  abs_step.assign(x.size() + 1, 0.0);
  mass.assign(x.size(), 0.0);
  for (std::size_t j = 0; j < x.size(); ++j) {
    abs_dslope[j + 1] = abs_dslope[j] + std::fabs(dslope[j]);
    abs_disk_dslope[j + 1] = abs_disk_dslope[j] + std::fabs(disk_dslope[j]);
    abs_step[j + 1] = abs_step[j] + std::fabs(step[j]);
    if (j > 0) mass[j] = mass[j - 1] + 0.5 * (value[j - 1] + (value[j] - step[j])) * (x[j] - x[j - 1]);
  }
  if (x.size() >= CELLS_FROM) {
    const bool rings = route == Route::Rings || disk_by_rings;
    const std::span<const double> ring_weights[] = {dslope, step};
    const std::span<const double> disk_weights[] = {disk_dslope};
    cells = rings ? BreakpointCells(x, ring_weights) : BreakpointCells(x, disk_weights);
  }
}

}  // namespace caustica
