// Sums over a table's breakpoints of weights times a polynomial of the radius, at the cost of a
// cell's interpolation points instead of its breakpoints.
//
// The radius [0, 1] is halved into cells until each holds few breakpoints. For a cell [c - h,
// c + h] and a weight w_j on each breakpoint y_j inside it, lambda_i = sum_j w_j l_i(u_j), with l_i
// the Lagrange polynomials of the cell's Chebyshev points c + h U_i and u_j = (y_j - c) / h. Then
//   sum_j w_j p(y_j) = sum_i lambda_i p(c + h U_i)
// for every polynomial p of degree below POINTS: exactly, and as well conditioned as the sum over
// the breakpoints (Chebyshev points interpolate with a Lebesgue constant below 3). A cell's
// lambda come from its halves' through two fixed matrices, so the whole tree costs a few
// products per breakpoint, once per call.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "numeric/cell_rule.hpp"

namespace caustica {

class BreakpointCells {
 public:
  static constexpr std::size_t POINTS = numeric::cell::POINTS;

  BreakpointCells() = default;
  // x: the breakpoints, ascending inside (0, 1); weights: sets of weights, each as long as x.
  BreakpointCells(std::span<const double> x, std::span<const std::span<const double>> weights);

  bool empty() const { return cells_.empty(); }
  // The cell's interpolation point i, and its lambda of weight set s.
  double point(std::size_t cell, std::size_t i) const {
    const Cell& c = cells_[cell];
    return c.centre + c.half * numeric::cell::U[i];
  }
  const double* lambda(std::size_t cell, std::size_t s) const {
    return &lambda_[(cell * sets_ + s) * POINTS];
  }

  // Covers the breakpoints of [j0, j1), all inside (v0, v1), in order: by the largest cells that
  // lie inside [v0, v1] and hold only breakpoints of the range (on_cell(cell)), and by runs of
  // breakpoints between them (on_run(jb, je)).
  template <class OnCell, class OnRun>
  void cover(double v0, double v1, std::size_t j0, std::size_t j1, OnCell on_cell,
             OnRun on_run) const {
    if (!cells_.empty()) visit(0, v0, v1, j0, j1, on_cell, on_run);
  }

 private:
  struct Cell {
    double lo, hi, centre, half;
    std::size_t jb, je;
    int left = -1, right = -1;
  };
  static std::size_t cells_in(std::span<const double> x, double lo, double hi, std::size_t jb,
                              std::size_t je, int depth);
  int build(std::span<const double> x, std::span<const std::span<const double>> weights,
            double lo, double hi, std::size_t jb, std::size_t je, int depth);

  template <class OnCell, class OnRun>
  void visit(int index, double v0, double v1, std::size_t j0, std::size_t j1, OnCell& on_cell,
             OnRun& on_run) const {
    const Cell& c = cells_[static_cast<std::size_t>(index)];
    if (c.je <= j0 || c.jb >= j1) return;
    if (v0 <= c.lo && c.hi <= v1 && j0 <= c.jb && c.je <= j1) {
      on_cell(static_cast<std::size_t>(index));
      return;
    }
    if (c.left < 0 && c.right < 0) {
      on_run(c.jb < j0 ? j0 : c.jb, c.je > j1 ? j1 : c.je);
      return;
    }
    if (c.left >= 0) visit(c.left, v0, v1, j0, j1, on_cell, on_run);
    if (c.right >= 0) visit(c.right, v0, v1, j0, j1, on_cell, on_run);
  }

  std::vector<Cell> cells_;
  std::vector<double> lambda_;
  std::size_t sets_ = 0;
};

}  // namespace caustica
