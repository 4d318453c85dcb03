#include "magnification/breakpoint_cells.hpp"

#include <algorithm>

namespace caustica {

namespace {

namespace cell = numeric::cell;
static_assert(cell::POINTS % 2 == 0, "the Lagrange sums pair the points");

// A cell with no more breakpoints than this is not halved: its breakpoints cost less one by one
// than its points do (and each cell costs POINTS^2 products a weight set to build).
constexpr std::size_t LEAF = 128;
// Below 2^-60 of the radius, halving separates nothing more that a double can tell apart.
constexpr int DEEPEST = 60;

// The Lagrange values l_i(u) of every point, as q_i / S: q_i = b_i / (u - u_i) and S their sum
// by the barycentric formula, or q the unit vector and S = 1 at a point itself.
double lagrange_at(double u, double* q) {
  for (std::size_t i = 0; i < cell::POINTS; ++i) {
    if (u == cell::U[i]) {
      for (std::size_t k = 0; k < cell::POINTS; ++k) q[k] = k == i ? 1.0 : 0.0;
      return 1.0;
    }
  }
  for (std::size_t i = 0; i < cell::POINTS; ++i) q[i] = cell::BARYCENTRIC[i] / (u - cell::U[i]);
  // Two interleaved sums, added at the end: half the chain of dependent additions.
  double even = 0, odd = 0;
  for (std::size_t i = 0; i < cell::POINTS; i += 2) {
    even = even + q[i];
    odd = odd + q[i + 1];
  }
  return even + odd;
}

}  // namespace

BreakpointCells::BreakpointCells(std::span<const double> x,
                                 std::span<const std::span<const double>> weights)
    : sets_(weights.size()) {
  if (x.empty()) return;
  // Counted first, so that the cells and their lambda take one allocation each.
  const std::size_t count = cells_in(x, 0.0, 1.0, 0, x.size(), 0);
  cells_.reserve(count);
  lambda_.reserve(count * sets_ * POINTS);
  build(x, weights, 0.0, 1.0, 0, x.size(), 0);
}

std::size_t BreakpointCells::cells_in(std::span<const double> x, double lo, double hi,
                                      std::size_t jb, std::size_t je, int depth) {
  if (jb == je) return 0;
  if (je - jb <= LEAF || depth >= DEEPEST) return 1;
  const double centre = 0.5 * (lo + hi);
  const std::size_t split = std::lower_bound(x.begin() + jb, x.begin() + je, centre) - x.begin();
  return 1 + cells_in(x, lo, centre, jb, split, depth + 1) +
         cells_in(x, centre, hi, split, je, depth + 1);
}

int BreakpointCells::build(std::span<const double> x,
                           std::span<const std::span<const double>> weights, double lo, double hi,
                           std::size_t jb, std::size_t je, int depth) {
  if (jb == je) return -1;
  const int index = static_cast<int>(cells_.size());
  const double centre = 0.5 * (lo + hi), half = 0.5 * (hi - lo);
  cells_.push_back(Cell{lo, hi, centre, half, jb, je});
  lambda_.resize(lambda_.size() + sets_ * POINTS, 0.0);
  double* own = &lambda_[static_cast<std::size_t>(index) * sets_ * POINTS];
  if (je - jb <= LEAF || depth >= DEEPEST) {
    double q[cell::POINTS];
    for (std::size_t j = jb; j < je; ++j) {
      const double S = lagrange_at((x[j] - centre) / half, q);
      for (std::size_t s = 0; s < sets_; ++s) {
        const double w = weights[s][j] / S;
        double* lambda_s = own + s * POINTS;
        for (std::size_t i = 0; i < POINTS; ++i) lambda_s[i] = lambda_s[i] + w * q[i];
      }
    }
    return index;
  }
  const std::size_t split = std::lower_bound(x.begin() + jb, x.begin() + je, centre) - x.begin();
  const int left = build(x, weights, lo, centre, jb, split, depth + 1);
  const int right = build(x, weights, centre, hi, split, je, depth + 1);
  cells_[static_cast<std::size_t>(index)].left = left;
  cells_[static_cast<std::size_t>(index)].right = right;
  // The children's lambda_k stand for their points; each point's Lagrange values here pass it on.
  own = &lambda_[static_cast<std::size_t>(index) * sets_ * POINTS];
  for (const auto& [child, T] : {std::pair{left, &cell::LEFT}, std::pair{right, &cell::RIGHT}}) {
    if (child < 0) continue;
    for (std::size_t s = 0; s < sets_; ++s) {
      const double* from = lambda(static_cast<std::size_t>(child), s);
      double* to = own + s * POINTS;
      for (std::size_t k = 0; k < POINTS; ++k) {
        const double f = from[k];
        const auto& row = (*T)[k];
        for (std::size_t i = 0; i < POINTS; ++i) to[i] = to[i] + row[i] * f;
      }
    }
  }
  return index;
}

}  // namespace caustica
