// Piecewise-linear interpolation of a table.
// (Placeholder interface; the implementation lands with the numeric layer.)
#pragma once

#include <span>

namespace caustica::numeric {

struct OutOfRangeRule {
  enum class Kind { ExtendSegment, HoldEndValue, Constant };
  Kind kind;
  double value = 0.0;  // used by Constant only
};

double interp(std::span<const double> x_table, std::span<const double> y_table, double x,
              OutOfRangeRule rule);

}  // namespace caustica::numeric
