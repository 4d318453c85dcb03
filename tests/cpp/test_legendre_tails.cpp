#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "magnification/legendre_tails.hpp"

namespace caustica::legendre_tails {
namespace {

// The tail of a polynomial below the rule's degree is its integral from tau to 1, at every tau:
// f(t) = sum_k c_k t^k has tail sum_k c_k (1 - tau^(k+1)) / (k + 1).
TEST(LegendreTails, AreThePolynomialsOwnIntegralsToTheEnd) {
  for (const double n : {8, 12, 16, 20, 24, 32}) {
    const DenseRule& rule = rule_with(n);
    const std::size_t nodes = rule.nodes.size();
    const std::size_t degree = nodes - 1;
    Nodes f{};
    for (std::size_t i = 0; i < nodes; ++i) {
      const double t = rule.nodes[i].t;
      for (std::size_t k = degree + 1; k-- > 0;) f[i] = f[i] * t + (k % 3 == 0 ? 1.0 : -0.5);
    }
    const Tail tail = tail_of(rule, std::span<const double>(f.data(), nodes));
    Block tau{}, value, same;
    for (std::size_t i = 0; i < BLOCK; ++i) tau[i] = static_cast<double>(i) / (BLOCK - 1);
    tails_at(tail, tail, tau, value, same);
    for (std::size_t i = 0; i < BLOCK; ++i) {
      double exact = 0;
      for (std::size_t k = 0; k <= degree; ++k) {
        exact = exact + (k % 3 == 0 ? 1.0 : -0.5) * (1 - std::pow(tau[i], k + 1)) / (k + 1);
      }
      EXPECT_NEAR(value[i], exact, 1e-14) << nodes << " nodes, tau = " << tau[i];
      EXPECT_EQ(value[i], same[i]);
    }
  }
}

// Every lane width gives the one-point loop's bits, at every degree of the tails used, for two
// tails and for one.
TEST(LegendreTails, EveryLaneWidthGivesTheOnePointBits) {
  [[maybe_unused]] bool avx2 = false, avx512 = false;
  for (const LaneKernels* path : runnable_lane_kernels()) {
    avx2 = avx2 || std::strcmp(path->name, "avx2") == 0;
    avx512 = avx512 || std::strcmp(path->name, "avx512") == 0;
  }
  const double *A = RECURRENCE.A.data(), *B = RECURRENCE.B.data();
  double ea[MAX_NODES + 2], eb[MAX_NODES + 2], tau[BLOCK];
  for (std::size_t k = 0; k < MAX_NODES + 2; ++k) {
    ea[k] = std::sin(1.0 + static_cast<double>(k)) / static_cast<double>(k + 1);
    eb[k] = std::cos(3.0 * static_cast<double>(k)) / static_cast<double>(k * k + 1);
  }
  for (std::size_t i = 0; i < BLOCK; ++i) tau[i] = std::fmod(0.37 * static_cast<double>(i * i) + 0.01, 1.0);
  for (const std::size_t n : {9, 13, 17, 25, 33}) {
    double a[BLOCK], b[BLOCK], one[BLOCK], wa[BLOCK], wb[BLOCK], wone[BLOCK];
    lanes::tails_block<1>(ea, eb, n, A, B, tau, a, b);
    lanes::tails_block<1>(ea, nullptr, n, A, B, tau, one, nullptr);
    EXPECT_EQ(std::memcmp(a, one, sizeof a), 0) << n << " terms";
    using Block = void (*)(const double*, const double*, std::size_t, const double*, const double*,
                           const double*, double*, double*);
    const auto same = [&](const std::string& path, Block block) {
      block(ea, eb, n, A, B, tau, wa, wb);
      block(ea, nullptr, n, A, B, tau, wone, nullptr);
      EXPECT_EQ(std::memcmp(a, wa, sizeof a), 0) << path << ", " << n << " terms";
      EXPECT_EQ(std::memcmp(b, wb, sizeof b), 0) << path << ", " << n << " terms";
      EXPECT_EQ(std::memcmp(one, wone, sizeof one), 0) << path << ", " << n << " terms";
    };
    same("baseline", lanes::tails_block<2>);
#if defined(CAUSTICA_X86_LANES)
    if (avx2) same("avx2", tails_block_avx2);
    if (avx512) same("avx512", tails_block_avx512);
#endif
  }
}

}  // namespace
}  // namespace caustica::legendre_tails
