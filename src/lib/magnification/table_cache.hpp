// A table as the integrated functions meet it, prepared once per table rather than once per
// call: a fit calls again and again with one table (its limb darkening held fixed, or one table
// per band), and a table of 10^4 points costs about 1.7 ms to prepare, the time of fifty
// separations. The last few are kept, keyed by their bits.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "magnification/profile.hpp"
#include "magnification/quadrature_plan.hpp"
#include "magnification/table_breaks.hpp"

namespace caustica {

// A checked table (radii ascending and finite, every value finite and non-negative) with its
// brightness scaled exactly by its largest value's power of two, its profile and, where it has
// flux, the route's breakpoints. Never copied or moved: the profile reads the vectors here, and
// the breakpoints the profile's pieces.
struct PreparedTable {
  PreparedTable(const std::vector<double>& bl, const std::vector<double>& bf, Route route);
  PreparedTable(const PreparedTable&) = delete;
  PreparedTable& operator=(const PreparedTable&) = delete;

  const Route route;
  // The caller's radii and brightness, as the key.
  const std::vector<double> bl, bf;
  const std::vector<double> scaled;
  const RadialProfile profile;
  // Only with a positive flux: without it every result is NaN.
  std::optional<TableBreaks> breaks;
};

// The prepared table of (bl, bf) for the route: a kept one whose radii and brightness match bit
// for bit (-0.0 is not 0.0), else a new one, kept in place of the least recently used once more
// than MOST_TABLES or MOST_POINTS are kept (a longer table is prepared and not kept). Safe from
// any thread; a forked child starts with none kept.
inline constexpr std::size_t MOST_TABLES = 8;
inline constexpr std::size_t MOST_POINTS = std::size_t{1} << 17;
std::shared_ptr<const PreparedTable> prepared_table(const std::vector<double>& bl,
                                                    const std::vector<double>& bf, Route route);

}  // namespace caustica
