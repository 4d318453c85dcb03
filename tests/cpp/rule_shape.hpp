// What every quadrature rule on [0, 1] of the node tables must be: nodes strictly ascending
// inside (0, 1), every weight positive.
#pragma once

#include <gtest/gtest.h>

#include <span>

#include "numeric/gauss_rules.hpp"

namespace caustica::numeric::gauss {

inline void expect_nodes_ascending_inside_with_positive_weights(std::span<const Node> nodes) {
  double previous = 0;
  for (const Node& node : nodes) {
    EXPECT_LT(previous, node.t);
    EXPECT_GT(node.w, 0);
    previous = node.t;
  }
  EXPECT_LT(previous, 1.0);
}

}  // namespace caustica::numeric::gauss
