#include "magnification/table_form.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

#include "magnification/heyrovsky.hpp"
#include "magnification/kernel_batch.hpp"
#include "magnification/legendre_tails.hpp"
#include "magnification/piece_forms.hpp"
#include "magnification/piece_rules.hpp"
#include "magnification/quadrature_plan.hpp"
#include "numeric/gauss_rules.hpp"

namespace caustica {

namespace {

namespace gauss = numeric::gauss;
using piece_rules::Nodes;
using namespace legendre_tails;

constexpr double TWO_PI = 6.283185307179586;
// Table pieces on each side of the lens integrated piece by piece. With the lens inside
// l = WIDE_FROM, the one that holds it: beyond, every breakpoint is met in a step in ln t no
// closer to the lens than the step's own start. From there on, and off the source, two: next to
// the limb a law steepens (I' ~ x / mu) and its largest slope changes lie beside the lens's piece
// (with one, dense tables of the usual laws lost up to 2.5e-14 at l = 0.99989, and a table 1e6
// times brighter at the limb than at its centre came 1.2e-13 above 1 where it lies 1e4 Einstein
// radii from the lens).
constexpr std::size_t WINDOW_INSIDE = 1, WINDOW_AT_LIMB = 2;
constexpr double WIDE_FROM = 0.9;
// Rings this small (a table may have a radius there) carry no flux to speak of, at most about
// their radius of the whole, and next to a central lens their magnification overflows.
constexpr double NO_FLUX = 1e-140;
constexpr double PI = 3.141592653589793;
// The generalized Gaussian rule at the lens takes at least this many nodes on a table piece:
// with fewer it held the powers of the distance too loosely where the singular points lie
// far beyond a short piece (5 nodes lost 2e-13 on a five-point table, 4 at a central lens
// 1.8e-13 on a ramp, 8 still 6e-15 on the reference annulus; 10 keep every reference table
// within 1.5e-15). A central lens leaves no logarithm, and the rule serves it as well: the graded
// rule, whose cubic grading brings branch points 2i / rho next to its piece, lost 2.8e-13 at
// rho = 2.8 on a three-point table.
constexpr int TABLE_LENS_NODES = 10;
// ... and reads the kernel at radii rounded by up to 1.1e-16 B, which costs a share S of the
// flux about 1e-16 B S / (B - A) of the whole: the piece takes the graded rule where that
// passes 2e-15 (a lit annulus 1e-3 wide lost 2.6e-14).
constexpr double ROUNDED_SHARE = 0.05;

// A plan piece as a map of tau in [0, 1] onto the radius: x = a + (b - a) tau, or on a piece in
// ln t, x = origin + dir exp(a + (b - a) tau); x rises with tau.
struct PieceMap {
  bool logarithmic;
  double a, b, origin, dir;
  explicit PieceMap(const QuadraturePiece& q) : logarithmic(q.grading == Grading::Logarithmic) {
    dir = q.v0 > q.origin ? 1.0 : -1.0;
    origin = q.origin;
    a = logarithmic ? std::log(std::fabs(q.v0 - origin)) : q.v0;
    b = logarithmic ? std::log(std::fabs(q.v1 - origin)) : q.v1;
  }
  double x(double tau) const {
    const double u = a + (b - a) * tau;
    return logarithmic ? origin + dir * std::exp(u) : u;
  }
  double tau(double y) const {
    return logarithmic ? (std::log(std::fabs(y - origin)) - a) / (b - a) : (y - a) / (b - a);
  }
};

// Where a plan piece's integrand is singular, in a variable of the piece: the lens x = l, its
// mirror x = -l and the branch points x = l +- 2i / rho in the radius; in u = ln t, t = dir (x - l)
// the distance from the lens, the mirror at ln 2l (on the axis towards the centre, pi up towards
// the limb) and the branch points at ln(2 / rho) + i pi / 2, the lens at -infinity. With each,
// the log of the share of the integrand its singular part carries (at most 0).
struct Singular {
  double re, im, share;
};
struct Singulars {
  std::array<Singular, 3> at{};
  std::size_t n = 0;
  void add(double re, double im, double share) { at[n++] = {re, std::fabs(im), share}; }
};
Singulars in_radius(const LensPoint& lens) {
  Singulars s;
  s.add(lens.v, 0.0, 0.0);
  if (lens.v > 0) s.add(-lens.v, 0.0, 0.0);
  if (lens.branch_x < HUGE_VAL) s.add(lens.v, lens.branch_x, lens.branch_share);
  return s;
}
Singulars in_log(const LensPoint& lens, const PieceMap& map) {
  Singulars s;
  const auto add = [&](double x, double y, double share) {
    const double t = map.dir * (x - map.origin);
    if (t != 0 || y != 0) s.add(0.5 * std::log(t * t + y * y), std::atan2(y, t), share);
  };
  if (lens.v > 0) add(-lens.v, 0.0, 0.0);
  if (lens.branch_x < HUGE_VAL) add(lens.v, lens.branch_x, lens.branch_share);
  return s;
}

// The Gauss-Legendre nodes whose interpolant on [z0, z1] (either order), in the singular points'
// variable, holds to 1e-16: R^(-n) for the ellipse R through the nearest of them. A breakpoint's
// tail is only as accurate as the interpolant, and its hinge may outweigh the piece's integral.
constexpr double LN_INTERPOLANT = 36.841361487904734;  // ln 1e16
double interpolant_nodes(const Singulars& s, double z0, double z1) {
  const double mid = 0.5 * (z0 + z1), half = 0.5 * std::fabs(z1 - z0);
  double need = 0;
  for (std::size_t i = 0; i < s.n; ++i) {
    const double a = detail::ellipse((s.at[i].re - mid) / half, s.at[i].im / half);
    need = std::max(need, (LN_INTERPOLANT + s.at[i].share) / detail::ln_radius(a));
  }
  return need;
}

// A plan piece holding many breakpoints is cut into equal parts of its own variable, each
// interpolated with fewer nodes: a breakpoint costs about its part's degree, a part's nodes
// cost once. Each part takes the nodes that the singular points ask of it where it lies (a part
// next to the mirror sees it no farther than the piece's end does: with parts taken to see
// every singular point k times as far, a ten-point table lost 1.1e-12 at rho = 0.001). Where
// cells sum the breakpoints (a piece in the radius itself), a breakpoint costs nothing and
// cutting only brings the rule down to what a cell reproduces (the largest rule's, with cells
// of 34 points: cells of 18 cut every long piece to 16 nodes, and a 10000-point table took 1.7
// times the kernel evaluations).
constexpr std::size_t CELL_NODES = BreakpointCells::POINTS - 2;
// Fewer breakpoints than this in a part are summed one by one (from 512, a 1000-point table took
// about 13 % longer).
constexpr std::size_t BY_CELLS_FROM = 256;

template <class Visit>
void for_each_part(const QuadraturePiece& q, const LensPoint& lens, std::size_t breakpoints,
                   bool by_cells, Visit visit) {
  constexpr std::size_t PER_PART = 128;
  constexpr std::size_t MOST_PARTS = 64;
  const PieceMap map(q);
  const Singulars radius = in_radius(lens);
  const Singulars own = map.logarithmic ? in_log(lens, map) : radius;
  // Cut i of k ends at i / k of the piece's own variable.
  const auto end = [&](std::size_t k, std::size_t i) {
    return i == 0 ? q.v0 : i == k ? q.v1 : map.x(static_cast<double>(i) / static_cast<double>(k));
  };
  const auto at = [&](std::size_t k, std::size_t i) {
    return map.a + (map.b - map.a) * (static_cast<double>(i) / static_cast<double>(k));
  };
  // Far from every singular point the integrand still grows or turns (an exponential in ln t
  // with the lens at the centre): no part takes fewer nodes than the plan's own rule implies for
  // a piece of its length, twice the piece's nodes for the whole of it. With the ellipse
  // parameter R of that rule (its error R^(-2n) to 1e-15), a part 1/k of the piece sees it at
  // R_k = a_k + sqrt(a_k^2 - 1), a_k = k (R + 1 / R) / 2. (Without it, a ramp lit from 0.0625 to
  // 0.5 lost 5e-10 with the lens at the centre.)
  const double R = std::pow(10.0, 7.5 / q.n);
  const auto least = [&](std::size_t k) {
    if (k == 1) return 2.0 * q.n;
    const double a = (0.5 * (R + 1 / R)) * static_cast<double>(k);
    return detail::LN_TOLERANCE / detail::ln_radius(a);
  };
  // The nodes of cut i, as a part in the piece's own variable or in the radius.
  const auto need = [&](std::size_t k, std::size_t i, bool in_x) {
    const double singular = in_x || !map.logarithmic
                                ? interpolant_nodes(radius, end(k, i - 1), end(k, i))
                                : interpolant_nodes(own, at(k, i - 1), at(k, i));
    return std::max(singular, least(k));
  };
  // The most any cut needs. Cuts equal in the singular points' variable: the nearest to each
  // point needs the most for it, the one holding its projection or an end cut. Cuts of a piece
  // in ln t taken in the radius differ in length: each is counted.
  const auto worst = [&](std::size_t k, bool in_x) {
    double most = need(k, 1, in_x);
    if (k == 1) return most;
    most = std::max(most, need(k, k, in_x));
    if (in_x && map.logarithmic) {
      for (std::size_t i = 2; i < k; ++i) most = std::max(most, need(k, i, in_x));
      return most;
    }
    const double z0 = map.logarithmic ? map.a : q.v0, z1 = map.logarithmic ? map.b : q.v1;
    for (std::size_t p = 0; p < own.n; ++p) {
      const double f = (own.at[p].re - z0) / (z1 - z0) * static_cast<double>(k);
      if (f > 1 && f < static_cast<double>(k) - 1) {
        most = std::max(most, need(k, static_cast<std::size_t>(f) + 1, in_x));
      }
    }
    return most;
  };
  const auto cut = [&](std::size_t k, Grading grading, bool in_x) {
    for (std::size_t i = 1; i <= k; ++i) {
      QuadraturePiece part = q;
      part.v0 = end(k, i - 1);
      part.v1 = end(k, i);
      part.grading = grading;
      if (part.v0 < part.v1) visit(part, rule_with(need(k, i, in_x)));
    }
  };
  const double cells = static_cast<double>(CELL_NODES), largest = static_cast<double>(MAX_NODES);
  if (by_cells && q.grading == Grading::Logarithmic) {
    // Cuts short enough beside their distance from the lens are as smooth in the radius itself,
    // where cells sum their breakpoints.
    std::size_t k = 1;
    double needed = worst(k, true);
    while (needed > cells && k < MOST_PARTS) {
      k = k + k;
      needed = worst(k, true);
    }
    if (needed <= cells) {
      cut(k, Grading::None, true);
      return;
    }
  }
  std::size_t k = 1;
  const double most = by_cells && q.grading == Grading::None ? cells : largest;
  if (!(by_cells && q.grading == Grading::None)) {
    while (breakpoints / k > PER_PART && k < MOST_PARTS) k = k + k;
  }
  double needed = worst(k, false);
  while (needed > most && k < MOST_PARTS) {
    k = k + k;
    needed = worst(k, false);
  }
  if (k == 1) {
    visit(q, rule_with(needed));
    return;
  }
  cut(k, q.grading, false);
}

// The hinges of a plan piece's breakpoints, or of a cell's points standing for them, summed in
// the order given, BLOCK at a time through the tails: sum of wd (P1 - (y - q0) P0) + ws P0 for
// the ring form, of wd P0 for the disk form (no T1).
class Hinges {
 public:
  Hinges(const Tail& T0, const Tail* T1, const PieceMap& map, double q0)
      : T0_(T0), T1_(T1), map_(map), q0_(q0) {}
  void push(double y, double wd, double ws) {
    tau_[m_] = map_.tau(y);
    y_[m_] = y;
    wd_[m_] = wd;
    ws_[m_] = ws;
    if (++m_ == BLOCK) flush();
  }
  double sum() {
    flush();
    return sum_;
  }

 private:
  void flush() {
    if (m_ == 0) return;
    Block P0, P1;
    if (T1_ == nullptr) {
      tail_at(T0_, tau_, P0);
      for (std::size_t i = 0; i < m_; ++i) sum_ = sum_ + wd_[i] * P0[i];
    } else {
      tails_at(T0_, *T1_, tau_, P0, P1);
      for (std::size_t i = 0; i < m_; ++i) {
        sum_ = sum_ + (wd_[i] * (P1[i] - (y_[i] - q0_) * P0[i]) + ws_[i] * P0[i]);
      }
    }
    m_ = 0;
  }
  const Tail& T0_;
  const Tail* T1_;
  const PieceMap& map_;
  double q0_;
  Block tau_{}, y_{}, wd_{}, ws_{};
  std::size_t m_ = 0;
  double sum_ = 0;
};

// Whether a plan piece's breakpoints are many enough for cells, where a table has them.
bool by_cells(const TableBreaks& breaks, std::size_t breakpoints) {
  return !breaks.cells.empty() && breakpoints >= BY_CELLS_FROM;
}

// Pushes the hinges of a plan piece's breakpoints [j0, j1), weighted by wd and ws (the ring
// form) or wd alone (the disk form, ws null): by the cells, whose weight sets are the same,
// where the piece is in the radius itself and its interpolant's tails are of a degree the cells
// reproduce.
void push_hinges(Hinges& hinges, const TableBreaks& breaks, const QuadraturePiece& q,
                 std::size_t j0, std::size_t j1, std::size_t nodes, const std::vector<double>& wd,
                 const std::vector<double>* ws) {
  const auto run = [&](std::size_t jb, std::size_t je) {
    for (std::size_t j = jb; j < je; ++j) {
      hinges.push(breaks.x[j], wd[j], ws == nullptr ? 0.0 : (*ws)[j]);
    }
  };
  const BreakpointCells& cells = breaks.cells;
  if (!by_cells(breaks, j1 - j0) || q.grading != Grading::None || nodes > CELL_NODES) {
    run(j0, j1);
    return;
  }
  const auto cell = [&](std::size_t c) {
    const double *cd = cells.lambda(c, 0), *cs = ws == nullptr ? nullptr : cells.lambda(c, 1);
    for (std::size_t i = 0; i < BreakpointCells::POINTS; ++i) {
      hinges.push(cells.point(c, i), cd[i], cs == nullptr ? 0.0 : cs[i]);
    }
  };
  cells.cover(q.v0, q.v1, j0, j1, cell, run);
}

// The rule's nodes on the piece, with dx/dtau.
void place(const PieceMap& map, const DenseRule& rule, Nodes& x, Nodes& J) {
  const double L = map.b - map.a;
  for (std::size_t i = 0; i < rule.nodes.size(); ++i) {
    const double u = map.a + L * rule.nodes[i].t;
    if (!map.logarithmic) {
      x[i] = u;
      J[i] = L;
    } else {
      const double t = std::exp(u);
      x[i] = map.origin + map.dir * t;
      J[i] = (L * map.dir) * t;
    }
  }
}

// The breakpoints strictly inside (v0, v1), and the table piece under v0's right side (null in a
// gap of the table, where the profile is 0). Those of a part of a plan piece are among the
// piece's own, [lo, hi].
struct Inside {
  std::size_t j0, j1;
  const ProfilePiece* line;
};
Inside inside(const TableBreaks& breaks, double v0, double v1, std::size_t lo, std::size_t hi) {
  const auto X = breaks.x.begin();
  const std::size_t j0 = std::upper_bound(X + lo, X + hi, v0) - X;
  const std::size_t j1 = std::lower_bound(X + j0, X + hi, v1) - X;
  return {j0, std::max(j0, j1), breaks.line_after[j0]};
}
Inside inside(const TableBreaks& breaks, double v0, double v1) {
  return inside(breaks, v0, v1, 0, breaks.x.size());
}

// The ring form over a plan piece. On a piece narrow beside its radius, the nodes' radii are
// rounded by as much as a good share of the piece, and a line there that falls to 0 at one end
// would be read at the wrong place: the line is read at the nodes' exact offsets.
double ring_on_table(const RadialProfile& profile, const LensPoint& lens, double l, double s,
                     const QuadraturePiece& q) {
  constexpr double NARROW = 1e-6;
  const double w = q.v1 - q.v0;
  if (q.grading != Grading::None || !(w < NARROW * q.v1)) return ring_piece(profile, lens, l, s, q);
  const ProfilePiece& p = *q.profile;
  const std::span<const gauss::Node> rule = piece_rules::legendre_rule(q.n);
  const std::size_t n = rule.size();
  const double slope = slope_of(p), start = line_at(p, q.v0);
  Nodes x, g;
  for (std::size_t i = 0; i < n; ++i) x[i] = q.v0 + w * rule[i].t;
  heyrovsky_kernels(l, std::span<const double>(x.data(), n), s, std::span<double>(g.data(), n));
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double I = start + slope * (w * rule[i].t);
    sum = sum + rule[i].w * (((x[i] * TWO_PI) * I) * g[i]);
  }
  return sum * w;
}

// The hinges of a plan piece sum without cancelling when the size their terms reach stays
// within a factor of the piece's own integral of the profile (never negative here): each tail
// is had to rounding of the piece's whole integral, so a term weighs in by its slope change
// times the piece's length squared. A steep stretch that turns back within a long piece (a tent
// or a ramp between kinks) is split at its breakpoints instead.
bool well_conditioned(const TableBreaks& breaks, const Inside& in, const QuadraturePiece& q,
                      double I0, double b0, const std::vector<double>& abs_dslope) {
  // (At 1000 the routes parted by up to 1e-11 on random 20-point tables, whose long plan pieces
  // reach next to the lens; at 100, by at most 1.7e-13 over 2400 random tables of 3 to 200
  // points.)
  constexpr double SPREAD = 100;
  const double L = q.v1 - q.v0;
  const std::size_t j0 = in.j0, j1 = in.j1 - 1;
  const double dslopes = abs_dslope[j1 + 1] - abs_dslope[j0];
  const double steps = breaks.abs_step[j1 + 1] - breaks.abs_step[j0];
  const double terms = (std::fabs(I0) * L + std::fabs(b0) * (L * L)) + (dslopes * (L * L) + steps * L);
  const double first = breaks.x[j0] - q.v0, last = q.v1 - breaks.x[j1];
  const double I_last = breaks.value[j1] + breaks.slope[j1] * last;
  const double mass = (0.5 * (I0 + (breaks.value[j0] - breaks.step[j0])) * first +
                       (breaks.mass[j1] - breaks.mass[j0])) +
                      0.5 * (breaks.value[j1] + I_last) * last;
  return terms <= SPREAD * mass;
}

// The plan piece's table pieces one by one, each by the plan piece's rule, or plain nodes where
// it is FAR_FROM_LENS times its width from the lens: the logarithm's rounding loses 1e-16 times
// that ratio, and plain Gauss-Legendre nodes (4 from 100) reach rounding.
constexpr double FAR_FROM_LENS = 100;
template <class Integral>
void split_at_breaks(const TableBreaks& breaks, const Inside& in, const QuadraturePiece& q,
                     Integral integral) {
  double v0 = q.v0;
  for (std::size_t j = in.j0; j <= in.j1; ++j) {
    const double v1 = j < in.j1 ? breaks.x[j] : q.v1;
    const Inside at = inside(breaks, v0, v1, in.j0, in.j1);
    if (at.line != nullptr) {
      QuadraturePiece sub = q;
      sub.v0 = v0;
      sub.v1 = v1;
      sub.profile = at.line;
      // A table piece far from the lens beside its width is smooth there for plain nodes, where
      // the logarithms of its ends' distances would differ by little more than their rounding
      // (an annulus 1e-6 wide at 0.5, the lens at the centre, lost 3.5e-11 in ln t).
      const double d = std::min(std::fabs(v0 - q.origin), std::fabs(v1 - q.origin));
      if (q.grading == Grading::Logarithmic && d > FAR_FROM_LENS * (v1 - v0)) {
        sub.grading = Grading::None;
        sub.n = detail::nodes_for(d / (0.5 * (v1 - v0)));
      }
      integral(sub);
    }
    v0 = v1;
  }
}

// Whether the rule at the lens serves a table piece [A, B] holding the lens, of flux share
// `share`: the rounding of its radii stays within ROUNDED_SHARE.
bool lens_rule_serves(double A, double B, double share) {
  return B - A >= ROUNDED_SHARE * (B * share);
}

// The plan of one table piece next to the lens, as every profile piece is cut; flux: the
// profile's.
template <class Visit>
void plan_table_piece(const ProfilePiece& p, double flux, const LensPoint& lens, Visit& visit) {
  const double v_l = lens.v, A = p.v0, B = p.v1;
  const double mirror = v_l + v_l;
  if (A <= v_l && v_l <= B) {
    const double share = std::fabs(line_moment(p) * TWO_PI / flux);
    // Else graded towards the lens, the logarithm taken at each node's own distance from it.
    const bool by_rule = lens_rule_serves(A, B, share);
    const auto side = [&](double length, double ahead, double behind) {
      if (!by_rule) return detail::LensPiece{std::min(length, lens.clearance), 0};
      const detail::LensPiece piece = detail::lens_piece(length, ahead, detail::LENS_RATE, behind, lens);
      return detail::LensPiece{piece.length, std::max(piece.n, TABLE_LENS_NODES)};
    };
    if (A < v_l) {
      const auto [first, n] = side(v_l - A, mirror, HUGE_VAL);
      detail::geometric(v_l, A, first, true, n, 0.0, 0.0, HUGE_VAL, lens, &p, visit);
    }
    if (v_l < B) {
      const auto [first, n] = side(B - v_l, HUGE_VAL, mirror);
      detail::geometric(v_l, B, first, true, n, 0.0, 0.0, mirror, lens, &p, visit);
    }
    return;
  }
  const bool below = v_l < A;
  const double end = below ? A : B, other = below ? B : A;
  const double d0 = std::fabs(v_l - end);
  detail::geometric(end, other, std::max(d0, detail::FLOOR), false, 0, d0, 0.0,
                    below ? mirror : HUGE_VAL, lens, &p, visit);
}

// A table of a law steep at the limb (slope ~ 1 / mu) has its largest slope changes there, and a
// tail integral is only as accurate as its piece's whole integral: the piece that ends at the
// region's top next to the limb is cut towards it, each cut a hundred times nearer, down to the
// last breakpoint below the top, so that no steep change meets a long piece.
template <class Visit>
void cut_towards(double top, const QuadraturePiece& q, const TableBreaks& breaks,
                 const LensPoint& lens, Visit& visit) {
  constexpr double CUT = 0.01;
  const auto& X = breaks.x;
  const std::size_t j0 = std::upper_bound(X.begin(), X.end(), q.v0) - X.begin();
  const std::size_t j1 = std::lower_bound(X.begin(), X.end(), top) - X.begin();
  double delta = (top - q.v0) * CUT;
  if (q.v1 != top || j1 <= j0 || !(top - delta < X[j1 - 1])) {
    visit(q);
    return;
  }
  const double last = X[j1 - 1];
  QuadraturePiece piece = q;
  piece.v1 = top - delta;
  visit(piece);
  while (piece.v1 < top) {
    const double v0 = piece.v1;
    delta = delta * CUT;
    const double v1 = top - delta < last ? top - delta : top;
    const double d = std::fabs(v0 - lens.v);
    piece = QuadraturePiece{v0, v1, Grading::None, detail::nodes_for(d / (0.5 * (v1 - v0))), nullptr};
    visit(piece);
  }
}

// The window about the lens: W breakpoints on either side, or the centre or the limb.
struct Window {
  double lo, hi;
};
Window window_of(const TableBreaks& breaks, double v) {
  const auto& X = breaks.x;
  const std::size_t W = v < WIDE_FROM ? WINDOW_INSIDE : WINDOW_AT_LIMB;
  const std::size_t lo = std::lower_bound(X.begin(), X.end(), v) - X.begin();
  const std::size_t hi = std::upper_bound(X.begin(), X.end(), v) - X.begin();
  return {lo >= W ? X[lo - W] : 0.0, hi + W <= X.size() ? X[hi + W - 1] : 1.0};
}

// Visits the window's table pieces piece by piece (window_piece) and the plan pieces of the rest
// of the source, cut by the lens alone (outer_piece).
template <class WindowVisit, class OuterVisit>
void for_each_table_piece(const RadialProfile& profile, const TableBreaks& breaks,
                          const LensPoint& lens, WindowVisit window_piece, OuterVisit outer_piece) {
  const double v = lens.v;
  // Plain names, not a structured binding: the lambdas below capture them.
  const Window window = window_of(breaks, v);
  const double wL = window.lo, wR = window.hi;
  const auto pieces = profile.pieces();
  auto p = std::upper_bound(pieces.begin(), pieces.end(), wL,
                            [](double y, const ProfilePiece& q) { return y < q.v1; });
  for (; p != pieces.end() && p->v0 < wR; ++p) plan_table_piece(*p, profile.flux(), lens, window_piece);
  if (wL > 0) {
    const double d0 = v - wL;
    // With the lens off the source, the top of what is left is next to the limb.
    const auto cut = [&](const QuadraturePiece& q) {
      if (v < 1) return outer_piece(q);
      cut_towards(wL, q, breaks, lens, outer_piece);
    };
    detail::geometric(wL, 0.0, std::max(d0, detail::FLOOR), false, 0, d0, 0.0, HUGE_VAL, lens,
                      nullptr, cut);
  }
  if (wR < 1) {
    const double d0 = wR - v;
    const auto cut = [&](const QuadraturePiece& q) { cut_towards(1.0, q, breaks, lens, outer_piece); };
    detail::geometric(wR, 1.0, std::max(d0, detail::FLOOR), false, 0, d0, 0.0, v + v, lens, nullptr,
                      cut);
  }
}

}  // namespace

double table_ring_form(const RadialProfile& profile, const TableBreaks& breaks, double l, double s,
                       double rho) {
  const LensPoint lens = lens_point(profile, l, rho);
  double sum = 0;
  const auto window_piece = [&](const QuadraturePiece& q) {
    if (q.v1 < NO_FLUX) return;
    sum = sum + ring_on_table(profile, lens, l, s, q);
  };
  // A plan piece by its interpolant and the hinges of its breakpoints.
  const auto ring_dense = [&](const QuadraturePiece& q, const Inside& in, const DenseRule& rule) {
    const double I0 = in.line == nullptr ? 0.0 : line_at(*in.line, q.v0);
    const double b0 = in.line == nullptr ? 0.0 : slope_of(*in.line);
    const PieceMap map(q);
    const std::size_t n = rule.nodes.size();
    Nodes x, J, g, psi, psi_x;
    place(map, rule, x, J);
    heyrovsky_kernels(l, std::span<const double>(x.data(), n), s, std::span<double>(g.data(), n));
    double S0 = 0, S1 = 0;
    for (std::size_t i = 0; i < n; ++i) {
      psi[i] = ((x[i] * TWO_PI) * g[i]) * J[i];
      psi_x[i] = (x[i] - q.v0) * psi[i];
      S0 = S0 + rule.nodes[i].w * psi[i];
      S1 = S1 + rule.nodes[i].w * psi_x[i];
    }
    Tail T0, T1;
    tails_of(rule, psi.data(), psi_x.data(), T0, &T1);
    Hinges hinges(T0, &T1, map, q.v0);
    push_hinges(hinges, breaks, q, in.j0, in.j1, n, breaks.dslope, &breaks.step);
    return (I0 * S0 + b0 * S1) + hinges.sum();
  };
  const auto outer_piece = [&](const QuadraturePiece& q) {
    if (q.v1 < NO_FLUX) return;
    const Inside in = inside(breaks, q.v0, q.v1);
    if (in.j0 == in.j1) {
      if (in.line == nullptr) return;
      QuadraturePiece on_line = q;
      on_line.profile = in.line;
      sum = sum + ring_on_table(profile, lens, l, s, on_line);
      return;
    }
    const double I0 = in.line == nullptr ? 0.0 : line_at(*in.line, q.v0);
    const double b0 = in.line == nullptr ? 0.0 : slope_of(*in.line);
    if (!well_conditioned(breaks, in, q, I0, b0, breaks.abs_dslope)) {
      split_at_breaks(breaks, in, q, [&](const QuadraturePiece& sub) {
        sum = sum + ring_on_table(profile, lens, l, s, sub);
      });
      return;
    }
    const bool cells = by_cells(breaks, in.j1 - in.j0);
    for_each_part(q, lens, in.j1 - in.j0, cells, [&](const QuadraturePiece& part, const DenseRule& rule) {
      const bool whole = part.v0 == q.v0 && part.v1 == q.v1;
      const Inside in_part = whole ? in : inside(breaks, part.v0, part.v1, in.j0, in.j1);
      sum = sum + ring_dense(part, in_part, rule);
    });
  };
  for_each_table_piece(profile, breaks, lens, window_piece, outer_piece);
  return sum;
}

double table_disk_form(const RadialProfile& profile, const TableBreaks& breaks, double l,
                       double rho) {
  if (breaks.disk_by_rings) return table_ring_form(profile, breaks, l, 1 / rho, rho) / PI;
  double sum = breaks.disk_limb * disk_flux(1.0, l, rho);
  for (std::size_t j = 0; j < breaks.x.size(); ++j) {
    if (breaks.disk_step[j] != 0) sum = sum - breaks.disk_step[j] * disk_flux(breaks.x[j], l, rho);
  }
  const LensPoint lens = lens_point(profile, l, rho);
  const ProfilePiece* first = profile.pieces().data();
  const auto narrow = [&](const ProfilePiece* p) { return breaks.narrow[p - first]; };
  const auto window_piece = [&](const QuadraturePiece& q) {
    // The narrow runs' magnified flux, pi Q(B) - pi Q(A) and what lies between, by rings.
    if (narrow(q.profile)) {
      if (q.v1 >= NO_FLUX) sum = sum + ring_on_table(profile, lens, l, 1 / rho, q) / PI;
      return;
    }
    sum = sum + disk_piece(profile, l, rho, q);
  };
  // A plan piece by its interpolant and the hinges of its breakpoints.
  const auto disk_dense = [&](const QuadraturePiece& q, const Inside& in, const DenseRule& rule) {
    const double b0 = in.line == nullptr || narrow(in.line) ? 0.0 : slope_of(*in.line);
    const PieceMap map(q);
    const std::size_t n = rule.nodes.size();
    Nodes x, J, Q, psi;
    place(map, rule, x, J);
    disk_fluxes(l, rho, std::span<const double>(x.data(), n), std::span<double>(Q.data(), n));
    double S0 = 0;
    for (std::size_t i = 0; i < n; ++i) {
      psi[i] = Q[i] * J[i];
      S0 = S0 + rule.nodes[i].w * psi[i];
    }
    const Tail T0 = tail_of(rule, std::span<const double>(psi.data(), n));
    Hinges hinges(T0, nullptr, map, q.v0);
    push_hinges(hinges, breaks, q, in.j0, in.j1, n, breaks.disk_dslope, nullptr);
    return b0 * S0 + hinges.sum();
  };
  const auto outer_piece = [&](const QuadraturePiece& q) {
    const Inside in = inside(breaks, q.v0, q.v1);
    if (in.j0 == in.j1) {
      if (in.line == nullptr || narrow(in.line)) return;
      QuadraturePiece on_line = q;
      on_line.profile = in.line;
      sum = sum + disk_piece(profile, l, rho, on_line);
      return;
    }
    const double b0 = in.line == nullptr || narrow(in.line) ? 0.0 : slope_of(*in.line);
    const double I0 = in.line == nullptr ? 0.0 : line_at(*in.line, q.v0);
    if (!well_conditioned(breaks, in, q, I0, b0, breaks.abs_disk_dslope)) {
      split_at_breaks(breaks, in, q, [&](const QuadraturePiece& sub) {
        if (!narrow(sub.profile)) sum = sum + disk_piece(profile, l, rho, sub);
      });
      return;
    }
    const bool cells = by_cells(breaks, in.j1 - in.j0);
    for_each_part(q, lens, in.j1 - in.j0, cells, [&](const QuadraturePiece& part, const DenseRule& rule) {
      const bool whole = part.v0 == q.v0 && part.v1 == q.v1;
      const Inside in_part = whole ? in : inside(breaks, part.v0, part.v1, in.j0, in.j1);
      sum = sum - disk_dense(part, in_part, rule);
    });
  };
  for_each_table_piece(profile, breaks, lens, window_piece, outer_piece);
  // Narrow runs beyond the window, which the disk form's slopes above left out.
  const auto ring_piece_of = [&](const QuadraturePiece& q) {
    if (q.v1 >= NO_FLUX) sum = sum + ring_on_table(profile, lens, l, 1 / rho, q) / PI;
  };
  const Window window = window_of(breaks, lens.v);
  for (const std::size_t k : breaks.narrow_pieces) {
    const ProfilePiece& p = first[k];
    if (p.v1 <= window.lo || p.v0 >= window.hi) plan_table_piece(p, profile.flux(), lens, ring_piece_of);
  }
  return sum;
}

}  // namespace caustica
