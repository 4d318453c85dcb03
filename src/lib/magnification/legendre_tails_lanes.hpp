// The Legendre tails at a block of points, W points to a vector: always inlined, so that each
// translation unit (the wider instruction sets' included) has its own copy and no copy built for
// one set stands in for another's. Every point takes the operations of the one-point loop.
#pragma once

#include <cstddef>

#include "numeric/lanes.hpp"

namespace caustica::legendre_tails::lanes {

constexpr std::size_t POINTS = 32;

// Tails of the coefficients ea and eb (n of each) at POINTS values of tau, or of ea alone when
// eb is null.
template <int W>
[[gnu::always_inline]] inline void tails_block(const double* ea, const double* eb, std::size_t n,
                                               const double* A, const double* B,
                                               const double* tau, double* value_a,
                                               double* value_b) {
  using V = caustica::lanes::Of<W>;
  constexpr std::size_t G = POINTS / W;
  V t[G], P_prev[G], P[G], va[G], vb[G];
  for (std::size_t g = 0; g < G; ++g) {
    V x;
    __builtin_memcpy(&x, tau + g * W, sizeof x);
    t[g] = 2 * x - 1;
    P_prev[g] = t[g] * 0 + 1;
    P[g] = t[g];
    va[g] = ea[0] + ea[1] * t[g];
    if (eb != nullptr) vb[g] = eb[0] + eb[1] * t[g];
  }
  for (std::size_t k = 1; k + 1 < n; ++k) {
    const double Ak = A[k], Bk = B[k], a = ea[k + 1];
    if (eb != nullptr) {
      const double b = eb[k + 1];
      for (std::size_t g = 0; g < G; ++g) {
        const V P_next = (Ak * t[g]) * P[g] - Bk * P_prev[g];
        va[g] = va[g] + a * P_next;
        vb[g] = vb[g] + b * P_next;
        P_prev[g] = P[g];
        P[g] = P_next;
      }
    } else {
      for (std::size_t g = 0; g < G; ++g) {
        const V P_next = (Ak * t[g]) * P[g] - Bk * P_prev[g];
        va[g] = va[g] + a * P_next;
        P_prev[g] = P[g];
        P[g] = P_next;
      }
    }
  }
  for (std::size_t g = 0; g < G; ++g) {
    __builtin_memcpy(value_a + g * W, &va[g], sizeof va[g]);
    if (eb != nullptr) __builtin_memcpy(value_b + g * W, &vb[g], sizeof vb[g]);
  }
}

// The sums d_s[k] = sum over i < n, in order, of Dt[i * stride + k] f_s[i] for k < n: a rule's
// Legendre coefficients of one set of node values (f1 and d1 null) or of two. W coefficients to
// a vector, the rest one by one.
template <int W>
[[gnu::always_inline]] inline void coefficients(const double* Dt, std::size_t stride,
                                                std::size_t n, const double* f0, const double* f1,
                                                double* d0, double* d1) {
  using V = caustica::lanes::Of<W>;
  std::size_t k = 0;
  for (; k + W <= n; k += W) {
    V s0{}, s1{};
    for (std::size_t i = 0; i < n; ++i) {
      V row;
      __builtin_memcpy(&row, Dt + i * stride + k, sizeof row);
      s0 = s0 + row * f0[i];
      if (f1 != nullptr) s1 = s1 + row * f1[i];
    }
    __builtin_memcpy(d0 + k, &s0, sizeof s0);
    if (f1 != nullptr) __builtin_memcpy(d1 + k, &s1, sizeof s1);
  }
  for (; k < n; ++k) {
    double s0 = 0, s1 = 0;
    for (std::size_t i = 0; i < n; ++i) {
      s0 = s0 + Dt[i * stride + k] * f0[i];
      if (f1 != nullptr) s1 = s1 + Dt[i * stride + k] * f1[i];
    }
    d0[k] = s0;
    if (f1 != nullptr) d1[k] = s1;
  }
}

}  // namespace caustica::legendre_tails::lanes
