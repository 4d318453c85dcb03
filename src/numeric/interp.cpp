#include "numeric/interp.hpp"

#include <algorithm>
#include <cstddef>

namespace caustica::numeric {
namespace {

// Number of abscissae strictly below x in an ascending table (0 for a NaN x).
std::size_t count_below(std::span<const double> x_table, double x) {
  std::size_t size = x_table.size();
  std::size_t base = 0;
  while (size > 1) {
    const std::size_t half = size / 2;
    const std::size_t mid = base + half;
    if (x_table[mid] < x) base = mid;
    size -= half;
  }
  return x_table[base] < x ? base + 1 : base;
}

// The line of segment k, [x_table[k], x_table[k + 1]], at x.
double segment_line(std::span<const double> x_table, std::span<const double> y_table,
                    std::size_t k, double x) {
  const double dx = x_table[k + 1] - x_table[k];
  const double dy = y_table[k + 1] - y_table[k];
  const double m = dy / dx;
  const double c = y_table[k] - x_table[k] * m;
  return x * m + c;
}

double outside(OutOfRangeRule rule, double t, double end_value) {
  switch (rule.kind) {
    case OutOfRangeRule::Kind::ExtendSegment: return t;
    case OutOfRangeRule::Kind::HoldEndValue: return end_value;
    case OutOfRangeRule::Kind::Constant: return rule.value;
  }
  return t;
}

}  // namespace

double interp(std::span<const double> x_table, std::span<const double> y_table, double x,
              OutOfRangeRule rule) {
  const std::size_t n = std::min(x_table.size(), y_table.size());
  if (n == 0) return 0.0;
  if (n == 1) return y_table[0];

  // A tie with an inner abscissa takes the segment to its left.
  const std::size_t pos = count_below(x_table, x);
  const std::size_t i = std::min(n - 2, pos == 0 ? 0 : pos - 1);
  const double t = segment_line(x_table, y_table, i, x);

  if (x == x_table[0]) return y_table[0];
  if (x < x_table[0]) return outside(rule, t, y_table[0]);
  if (x == x_table[n - 1]) return y_table[n - 1];
  if (x > x_table[n - 1]) return outside(rule, t, y_table[n - 1]);
  return t;
}

}  // namespace caustica::numeric
