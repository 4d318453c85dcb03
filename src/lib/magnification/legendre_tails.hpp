// Cumulative integrals of a Legendre interpolant on [0, 1]: a Gauss rule's node values give the
// interpolant's coefficients, and its tail, the integral from tau to 1, is a Legendre series one
// degree higher, evaluated at many points at once.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "magnification/kernel_lanes.hpp"
#include "magnification/legendre_tails_lanes.hpp"
#include "magnification/piece_rules.hpp"
#include "numeric/gauss_rules.hpp"

namespace caustica::legendre_tails {

namespace gauss = numeric::gauss;
using piece_rules::MAX_NODES;
using piece_rules::Nodes;

// The Legendre recurrence (k + 1) P_{k+1} = (2k + 1) t P_k - k P_{k-1}, as stored factors.
struct Recurrence {
  std::array<double, MAX_NODES + 1> A{}, B{};
  constexpr Recurrence() {
    for (std::size_t k = 0; k <= MAX_NODES; ++k) {
      A[k] = static_cast<double>(2 * k + 1) / static_cast<double>(k + 1);
      B[k] = static_cast<double>(k) / static_cast<double>(k + 1);
    }
  }
};
inline constexpr Recurrence RECURRENCE;

// A Gauss rule on [0, 1] with D[k][i] = w_i P_k(2 t_i - 1): the Legendre coefficients of the
// interpolant through its nodes, times 2 / (2k + 1). Dt is its transpose, which a tail reads.
struct DenseRule {
  std::span<const gauss::Node> nodes;
  std::array<Nodes, MAX_NODES> D{}, Dt{};
  explicit DenseRule(std::span<const gauss::Node> rule) : nodes(rule) {
    for (std::size_t i = 0; i < rule.size(); ++i) {
      const double t = 2 * rule[i].t - 1;
      double P_prev = 1, P = t;
      D[0][i] = rule[i].w;
      for (std::size_t k = 1; k < rule.size(); ++k) {
        D[k][i] = rule[i].w * P;
        const double P_next = (RECURRENCE.A[k] * t) * P - RECURRENCE.B[k] * P_prev;
        P_prev = P;
        P = P_next;
      }
    }
    for (std::size_t k = 0; k < rule.size(); ++k) {
      for (std::size_t i = 0; i < rule.size(); ++i) Dt[i][k] = D[k][i];
    }
  }
};

// The smallest rule with at least `nodes` nodes, and no fewer than 8 (32 where more are asked).
inline const DenseRule& rule_with(double nodes) {
  static const std::array<DenseRule, 6> rules = {
      DenseRule(gauss::LEGENDRE_8),  DenseRule(gauss::LEGENDRE_12), DenseRule(gauss::LEGENDRE_16),
      DenseRule(gauss::LEGENDRE_20), DenseRule(gauss::LEGENDRE_24), DenseRule(gauss::LEGENDRE_32)};
  for (std::size_t i = 0; i + 1 < rules.size(); ++i) {
    if (nodes <= static_cast<double>(rules[i].nodes.size())) return rules[i];
  }
  return rules.back();
}

// The cumulative integral from tau to 1 of a Legendre interpolant, as its coefficients e_j of
// P_j(2 tau - 1), halved: integral_t^1 P_k = (P_{k-1} - P_{k+1}) / (2k + 1), with P_{-1} = P_0.
struct Tail {
  std::array<double, MAX_NODES + 2> e{};
  std::size_t n = 0;
};
#if defined(CAUSTICA_X86_LANES)
// The coefficient sums below on wider lanes (legendre_tails_avx2.cpp, legendre_tails_avx512.cpp).
void coefficients_avx2(const double* Dt, std::size_t stride, std::size_t n, const double* f0,
                       const double* f1, double* d0, double* d1);
void coefficients_avx512(const double* Dt, std::size_t stride, std::size_t n, const double* f0,
                         const double* f1, double* d0, double* d1);
#endif

// The tail of the interpolant whose coefficient sums are d (d[n] = d[n + 1] = 0).
inline Tail tail_from(const std::array<double, MAX_NODES + 2>& d, std::size_t n) {
  Tail tail;
  tail.n = n + 1;
  tail.e[0] = 0.5 * (d[0] + d[1]);
  for (std::size_t j = 1; j <= n; ++j) tail.e[j] = 0.5 * (d[j + 1] - d[j - 1]);
  return tail;
}

// The tails of the interpolants through f0 and, where f1 is not null, f1 at the rule's nodes.
// Every coefficient is its sum over the nodes in their order, in lanes on the widest path the
// kernels run (the same bits on each).
inline void tails_of(const DenseRule& rule, const double* f0, const double* f1, Tail& T0,
                     Tail* T1) {
  const std::size_t n = rule.nodes.size();
  std::array<double, MAX_NODES + 2> d0{}, d1{};
  static_assert(sizeof(rule.Dt) == MAX_NODES * MAX_NODES * sizeof(double), "rows side by side");
  const double* Dt = reinterpret_cast<const double*>(rule.Dt.data());
  double* out1 = f1 == nullptr ? nullptr : d1.data();
#if defined(CAUSTICA_X86_LANES)
  const int width = lane_kernels().width;
  if (width >= 4) {
    const auto wide = width >= 8 ? coefficients_avx512 : coefficients_avx2;
    wide(Dt, MAX_NODES, n, f0, f1, d0.data(), out1);
  } else {
    lanes::coefficients<2>(Dt, MAX_NODES, n, f0, f1, d0.data(), out1);
  }
#else
  lanes::coefficients<2>(Dt, MAX_NODES, n, f0, f1, d0.data(), out1);
#endif
  T0 = tail_from(d0, n);
  if (T1 != nullptr) *T1 = tail_from(d1, n);
}
inline Tail tail_of(const DenseRule& rule, std::span<const double> f) {
  Tail T;
  tails_of(rule, f.data(), nullptr, T, nullptr);
  return T;
}

#if defined(CAUSTICA_X86_LANES)
// The block below on wider lanes (legendre_tails_avx2.cpp, legendre_tails_avx512.cpp).
void tails_block_avx2(const double* ea, const double* eb, std::size_t n, const double* A,
                      const double* B, const double* tau, double* value_a, double* value_b);
void tails_block_avx512(const double* ea, const double* eb, std::size_t n, const double* A,
                        const double* B, const double* tau, double* value_a, double* value_b);
#endif

// Tails at BLOCK points at once, in lanes on the widest path the kernels run (the same bits on
// each: no fma, every point the one-point loop's operations in order). Of a alone when b is null.
inline constexpr std::size_t BLOCK = lanes::POINTS;
using Block = std::array<double, BLOCK>;
inline void tails_block(const Tail& a, const Tail* b, const Block& tau, double* value_a,
                        double* value_b) {
  const double *A = RECURRENCE.A.data(), *B = RECURRENCE.B.data();
  const double* eb = b == nullptr ? nullptr : b->e.data();
#if defined(CAUSTICA_X86_LANES)
  const int width = lane_kernels().width;
  if (width >= 4) {
    const auto wide = width >= 8 ? tails_block_avx512 : tails_block_avx2;
    wide(a.e.data(), eb, a.n, A, B, tau.data(), value_a, value_b);
    return;
  }
#endif
  lanes::tails_block<2>(a.e.data(), eb, a.n, A, B, tau.data(), value_a, value_b);
}
inline void tails_at(const Tail& a, const Tail& b, const Block& tau, Block& value_a,
                     Block& value_b) {
  tails_block(a, &b, tau, value_a.data(), value_b.data());
}
inline void tail_at(const Tail& a, const Block& tau, Block& value) {
  tails_block(a, nullptr, tau, value.data(), nullptr);
}

}  // namespace caustica::legendre_tails
