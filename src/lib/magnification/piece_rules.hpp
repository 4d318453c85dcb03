// The rules that integrate one quadrature piece. An integrand takes the piece's nodes at once,
// f(v, out) with out[i] its value at v[i], so that the kernel can be evaluated over them
// together; the sums run over the nodes in their order, as a node-by-node loop would.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <span>

#include "magnification/quadrature_plan.hpp"
#include "numeric/gauss_rules.hpp"
#include "numeric/log_gauss_rules.hpp"

namespace caustica::piece_rules {

namespace gauss = numeric::gauss;

// The most nodes any rule of a piece has.
inline constexpr std::size_t MAX_NODES = 32;

using Nodes = std::array<double, MAX_NODES>;

template <class F>
double legendre(std::span<const gauss::Node> rule, double v0, double v1, const F& f) {
  const double L = v1 - v0;
  const std::size_t n = rule.size();
  Nodes v, y;
  for (std::size_t i = 0; i < n; ++i) v[i] = v0 + L * rule[i].t;
  f(std::span<const double>(v.data(), n), std::span<double>(y.data(), n));
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum = sum + rule[i].w * y[i];
  return sum * L;
}

inline std::span<const gauss::Node> legendre_rule(int n) {
  switch (n) {
    case 3: return gauss::LEGENDRE_3;
    case 4: return gauss::LEGENDRE_4;
    case 6: return gauss::LEGENDRE_6;
    case 8: return gauss::LEGENDRE_8;
    case 12: return gauss::LEGENDRE_12;
    case 16: return gauss::LEGENDRE_16;
    case 20: return gauss::LEGENDRE_20;
    case 24: return gauss::LEGENDRE_24;
    default: return gauss::LEGENDRE_32;
  }
}

template <class F>
double legendre(int n, double v0, double v1, const F& f) {
  return legendre(legendre_rule(n), v0, v1, f);
}

// Integral over [v0, v1] in u = ln t, t = |v - origin|: dv = t du.
template <class F>
double logarithmic(int n, double origin, double v0, double v1, const F& f) {
  const double dir = v0 > origin ? 1.0 : -1.0;
  const double u0 = std::log(std::fabs(v0 - origin)), u1 = std::log(std::fabs(v1 - origin));
  const auto g = [&](std::span<const double> u, std::span<double> out) {
    Nodes t, v;
    for (std::size_t i = 0; i < u.size(); ++i) {
      t[i] = std::exp(u[i]);
      v[i] = origin + dir * t[i];
    }
    f(std::span<const double>(v.data(), u.size()), out);
    for (std::size_t i = 0; i < u.size(); ++i) out[i] = t[i] * out[i];
  };
  return dir * legendre(n, u0, u1, g);
}

// The generalized Gaussian rule of n nodes (4 ... 16) for the route's singularity at the lens.
inline std::span<const gauss::Node> lens_rule(Route route, int n) {
  static constexpr std::array<std::span<const gauss::Node>, 13> RINGS = {
      gauss::LOG_END_4,  gauss::LOG_END_5,  gauss::LOG_END_6,  gauss::LOG_END_7,
      gauss::LOG_END_8,  gauss::LOG_END_9,  gauss::LOG_END_10, gauss::LOG_END_11,
      gauss::LOG_END_12, gauss::LOG_END_13, gauss::LOG_END_14, gauss::LOG_END_15,
      gauss::LOG_END_16};
  static constexpr std::array<std::span<const gauss::Node>, 13> DISKS = {
      gauss::T_LOG_END_4,  gauss::T_LOG_END_5,  gauss::T_LOG_END_6,  gauss::T_LOG_END_7,
      gauss::T_LOG_END_8,  gauss::T_LOG_END_9,  gauss::T_LOG_END_10, gauss::T_LOG_END_11,
      gauss::T_LOG_END_12, gauss::T_LOG_END_13, gauss::T_LOG_END_14, gauss::T_LOG_END_15,
      gauss::T_LOG_END_16};
  return (route == Route::Rings ? RINGS : DISKS)[n - 4];
}

// Integral over a piece whose end `end` is the lens, by the generalized Gaussian rule in
// t = |v - end| / L: the rule's logarithmic end point is the lens. f(v, out) as for legendre.
template <class F>
double lens_end(std::span<const gauss::Node> rule, double end, double dir, double L, const F& f) {
  const std::size_t n = rule.size();
  Nodes v, y;
  for (std::size_t i = 0; i < n; ++i) v[i] = end + dir * (L * rule[i].t);
  f(std::span<const double>(v.data(), n), std::span<double>(y.data(), n));
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum = sum + rule[i].w * y[i];
  return sum * L;
}

// The integral of a piece by its rule, for a piece not graded towards the lens.
template <class F>
double ungraded(const QuadraturePiece& piece, const F& f) {
  if (piece.grading == Grading::Logarithmic) {
    return logarithmic(piece.n, piece.origin, piece.v0, piece.v1, f);
  }
  return legendre(piece.n, piece.v0, piece.v1, f);
}

// Integral over a piece graded towards its end `end`: v = end + dir L s^3, so that the
// integrand's singularity there, at most (v - end)^k ln|v - end|, becomes s^(3k + 2) ln s.
// f(v, t, out) with t = |v - end| exact.
template <class F>
double graded(double end, double dir, double L, const F& f) {
  constexpr std::size_t n = gauss::LEGENDRE_16.size();
  Nodes v, t, y;
  for (std::size_t i = 0; i < n; ++i) {
    const double s = gauss::LEGENDRE_16[i].t;
    t[i] = L * ((s * s) * s);
    v[i] = end + dir * t[i];
  }
  f(std::span<const double>(v.data(), n), std::span<const double>(t.data(), n),
    std::span<double>(y.data(), n));
  double sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double s = gauss::LEGENDRE_16[i].t;
    sum = sum + (gauss::LEGENDRE_16[i].w * ((s * s) * 3)) * y[i];
  }
  return sum * L;
}

// Integral of C(end + dir t) ln t over t in [0, L], for a smooth C: Gauss-Legendre for the
// ln L part, Gauss with the weight -ln for the rest.
template <class F>
double log_moment(double end, double dir, double L, const F& C) {
  const auto sum_over = [&](std::span<const gauss::Node> rule) {
    const std::size_t n = rule.size();
    Nodes v, y;
    for (std::size_t i = 0; i < n; ++i) v[i] = end + dir * (L * rule[i].t);
    C(std::span<const double>(v.data(), n), std::span<double>(y.data(), n));
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum = sum + rule[i].w * y[i];
    return sum;
  };
  const double plain = sum_over(gauss::LEGENDRE_12);
  const double logarithmic = sum_over(gauss::LOG_12);
  return L * (std::log(L) * plain - logarithmic);
}

}  // namespace caustica::piece_rules
