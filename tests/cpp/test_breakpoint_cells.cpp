#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "magnification/breakpoint_cells.hpp"

namespace caustica {
namespace {

namespace cell = numeric::cell;

double chebyshev(int m, double u) {
  return std::cos(m * std::acos(std::fmax(-1.0, std::fmin(1.0, u))));
}

// The tables: the points are the Chebyshev points, and a half cell's Lagrange values carry every
// polynomial below POINTS to the parent exactly (a wrong entry spoils the high degrees first).
TEST(CellRule, HalvesCarryEveryPolynomialOfTheirDegree) {
  const std::size_t n = cell::POINTS;
  for (std::size_t i = 0; i < n; ++i) {
    const double angle = M_PI * static_cast<double>(i) / static_cast<double>(n - 1);
    EXPECT_NEAR(cell::U[i], -std::cos(angle), 1e-15);
  }
  for (int m = 0; m < static_cast<int>(n); ++m) {
    for (std::size_t k = 0; k < n; ++k) {
      double left = 0, right = 0;
      for (std::size_t i = 0; i < n; ++i) {
        left = left + cell::LEFT[k][i] * chebyshev(m, cell::U[i]);
        right = right + cell::RIGHT[k][i] * chebyshev(m, cell::U[i]);
      }
      EXPECT_NEAR(left, chebyshev(m, 0.5 * (cell::U[k] - 1)), 2e-14) << "degree " << m;
      EXPECT_NEAR(right, chebyshev(m, 0.5 * (cell::U[k] + 1)), 2e-14) << "degree " << m;
    }
  }
}

// Over any range of breakpoints and any interval holding them, the cells and runs that cover
// them sum a polynomial below POINTS as the breakpoints do: breakpoints crowding towards 1 as a
// table at sin(theta) does, weights of both signs, ranges from a few breakpoints to all.
TEST(BreakpointCells, SumPolynomialsAsTheirBreakpointsDo) {
  const std::size_t N = 5000;
  std::vector<double> x(N), a(N), b(N);
  for (std::size_t j = 0; j < N; ++j) {
    x[j] = std::sin(0.5 * M_PI * static_cast<double>(j + 1) / static_cast<double>(N + 1));
    a[j] = std::sin(7.0 * static_cast<double>(j)) + 0.5;
    b[j] = std::cos(3.0 * static_cast<double>(j));
  }
  const std::span<const double> weights[] = {a, b};
  const BreakpointCells cells(x, weights);
  for (const auto& [j0, j1] : {std::pair<std::size_t, std::size_t>{0, N}, {17, 4000}, {2500, 2600},
                              {4990, N}, {100, 164}}) {
    const double v0 = j0 == 0 ? 0.0 : x[j0 - 1], v1 = j1 == N ? 1.0 : x[j1];
    // A polynomial of degree POINTS - 1 in the interval's own variable.
    const auto p = [&](double y) {
      return chebyshev(cell::POINTS - 1, 2 * (y - v0) / (v1 - v0) - 1) + y;
    };
    double direct = 0, size = 0, covered = 0;
    for (std::size_t j = j0; j < j1; ++j) {
      direct = direct + (a[j] + 2 * b[j]) * p(x[j]);
      size = size + (std::fabs(a[j]) + 2 * std::fabs(b[j])) * std::fabs(p(x[j]));
    }
    std::size_t by_cells = 0, next = j0;
    cells.cover(v0, v1, j0, j1,
                [&](std::size_t c) {
                  ++by_cells;
                  for (std::size_t i = 0; i < cell::POINTS; ++i) {
                    const double w = cells.lambda(c, 0)[i] + 2 * cells.lambda(c, 1)[i];
                    covered = covered + w * p(cells.point(c, i));
                  }
                },
                [&](std::size_t jb, std::size_t je) {
                  EXPECT_GE(jb, next);
                  next = je;
                  for (std::size_t j = jb; j < je; ++j) {
                    covered = covered + (a[j] + 2 * b[j]) * p(x[j]);
                  }
                });
    EXPECT_NEAR(covered, direct, 1e-13 * size) << j0 << " to " << j1;
    if (j1 - j0 > 1000) {
      EXPECT_GT(by_cells, 0u);
    }
  }
}

}  // namespace
}  // namespace caustica
