#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "numeric/log_gauss_rules.hpp"
#include "rule_shape.hpp"

namespace caustica::numeric::gauss {
namespace {

struct Rule {
  std::string name;
  std::span<const Node> nodes;
  // 0: exact for t^j and t^j ln t; 1: for t^j and t^(j + 1) ln t; j < n.
  int log_power;
};

class LogEndRule : public ::testing::TestWithParam<Rule> {};

// Every one of the 2n functions integrates to rounding; a wrong digit in a node or a weight
// shows in the highest powers first, and a log rule swapped for the t log one in the logarithms.
TEST_P(LogEndRule, IsExactForItsFunctions) {
  const Rule& rule = GetParam();
  const int n = static_cast<int>(rule.nodes.size());
  for (int j = 0; j < n; ++j) {
    const int k = j + rule.log_power;
    double power = 0, logarithm = 0;
    for (const Node& node : rule.nodes) {
      power += node.w * std::pow(node.t, j);
      logarithm += node.w * (std::pow(node.t, k) * std::log(node.t));
    }
    EXPECT_NEAR(power * (j + 1), 1.0, 4e-15) << "t^" << j;
    EXPECT_NEAR(logarithm * -((k + 1.0) * (k + 1.0)), 1.0, 4e-15) << "t^" << k << " ln t";
  }
}

TEST_P(LogEndRule, NodesAscendInsideTheIntervalWithPositiveWeights) {
  expect_nodes_ascending_inside_with_positive_weights(GetParam().nodes);
}

std::vector<Rule> rules() {
  const std::span<const Node> log[] = {LOG_END_4,  LOG_END_5,  LOG_END_6,  LOG_END_7,  LOG_END_8,
                                       LOG_END_9,  LOG_END_10, LOG_END_11, LOG_END_12, LOG_END_13,
                                       LOG_END_14, LOG_END_15, LOG_END_16};
  const std::span<const Node> t_log[] = {
      T_LOG_END_4,  T_LOG_END_5,  T_LOG_END_6,  T_LOG_END_7,  T_LOG_END_8,
      T_LOG_END_9,  T_LOG_END_10, T_LOG_END_11, T_LOG_END_12, T_LOG_END_13,
      T_LOG_END_14, T_LOG_END_15, T_LOG_END_16};
  std::vector<Rule> all;
  for (int n = 4; n <= 16; ++n) {
    all.push_back({"log" + std::to_string(n), log[n - 4], 0});
    all.push_back({"t_log" + std::to_string(n), t_log[n - 4], 1});
  }
  return all;
}

INSTANTIATE_TEST_SUITE_P(Tables, LogEndRule, ::testing::ValuesIn(rules()),
                         [](const ::testing::TestParamInfo<Rule>& rule) { return rule.param.name; });

}  // namespace
}  // namespace caustica::numeric::gauss
