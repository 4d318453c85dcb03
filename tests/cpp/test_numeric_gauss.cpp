#include <gtest/gtest.h>

#include <cmath>
#include <span>

#include "numeric/gauss_rules.hpp"
#include "rule_shape.hpp"

namespace caustica::numeric::gauss {
namespace {

struct Rule {
  const char* name;
  std::span<const Node> nodes;
  // The exact integral of t^k against the rule's weight on [0, 1].
  double (*moment)(int k);
  int exact_degree;
};

double legendre_moment(int k) { return 1.0 / (k + 1); }
double log_moment(int k) { return 1.0 / ((k + 1.0) * (k + 1.0)); }

class GaussRule : public ::testing::TestWithParam<Rule> {};

// An n-point Gauss rule is exact for every degree below 2n; a wrong node or weight in the table
// breaks that for the higher degrees first.
TEST_P(GaussRule, IsExactUpToItsDegree) {
  const Rule& rule = GetParam();
  for (int k = 0; k <= rule.exact_degree; ++k) {
    double sum = 0;
    for (const Node& node : rule.nodes) sum += node.w * std::pow(node.t, k);
    EXPECT_NEAR(sum / rule.moment(k), 1.0, 4e-15) << "degree " << k;
  }
}

TEST_P(GaussRule, NodesAscendInsideTheInterval) {
  expect_nodes_ascending_inside_with_positive_weights(GetParam().nodes);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, GaussRule,
    ::testing::Values(Rule{"legendre3", LEGENDRE_3, legendre_moment, 5},
                      Rule{"legendre4", LEGENDRE_4, legendre_moment, 7},
                      Rule{"legendre6", LEGENDRE_6, legendre_moment, 11},
                      Rule{"legendre8", LEGENDRE_8, legendre_moment, 15},
                      Rule{"legendre12", LEGENDRE_12, legendre_moment, 23},
                      Rule{"legendre16", LEGENDRE_16, legendre_moment, 31},
                      Rule{"legendre20", LEGENDRE_20, legendre_moment, 39},
                      Rule{"legendre24", LEGENDRE_24, legendre_moment, 47},
                      Rule{"legendre32", LEGENDRE_32, legendre_moment, 63},
                      Rule{"log12", LOG_12, log_moment, 23}),
    [](const ::testing::TestParamInfo<Rule>& rule) { return std::string(rule.param.name); });

}  // namespace
}  // namespace caustica::numeric::gauss
