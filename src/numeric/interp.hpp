// Piecewise-linear interpolation of a table.
#pragma once

#include <span>

namespace caustica::numeric {

// What interp returns outside the table.
struct OutOfRangeRule {
  enum class Kind { ExtendSegment, HoldEndValue, Constant };
  Kind kind;
  double value = 0.0;  // used by Constant only

  static constexpr OutOfRangeRule extend_segment() { return {Kind::ExtendSegment}; }
  static constexpr OutOfRangeRule hold_end_value() { return {Kind::HoldEndValue}; }
  static constexpr OutOfRangeRule constant(double v) { return {Kind::Constant, v}; }
};

// x_table is expected ascending (not checked). Only the first min(len x_table, len y_table)
// points form the function, but the segment search runs over the whole x_table.
double interp(std::span<const double> x_table, std::span<const double> y_table, double x,
              OutOfRangeRule rule);

}  // namespace caustica::numeric
