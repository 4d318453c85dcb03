#include <gtest/gtest.h>

#include <cmath>

#include "magnification/legendre_tails.hpp"

namespace caustica::legendre_tails {
namespace {

// The tail of a polynomial below the rule's degree is its integral from tau to 1, at every tau:
// f(t) = sum_k c_k t^k has tail sum_k c_k (1 - tau^(k+1)) / (k + 1).
TEST(LegendreTails, AreThePolynomialsOwnIntegralsToTheEnd) {
  for (const int n : {4, 6, 8, 12, 16}) {
    const DenseRule& rule = dense_rule(n);
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

}  // namespace
}  // namespace caustica::legendre_tails
