// The high-precision reference table of the elliptic layer (tests/data/elliptic_reference.txt,
// made by tools/gen_elliptic_reference.py) and the error of a result in units in the last place.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace caustica::elliptic::testing {

struct ReferenceRow {
  std::array<double, 4> args;  // unused arguments are NaN
  double nearest;              // the reference rounded to the nearest double
  double residual;             // the reference minus `nearest`
};

// The rows of one routine ("ellipk", "elliprj", ...), in file order; fails the test if none.
std::vector<ReferenceRow> reference_rows(const std::string& routine);

// (computed - reference) / ulp(reference), exact to far below one unit.
double ulp_error(double computed, const ReferenceRow& row);

// The arguments of a row as text, for failure messages.
std::string describe(const ReferenceRow& row);

}  // namespace caustica::elliptic::testing
