#include <gtest/gtest.h>

#include "magnification/multi.hpp"
#include "magnification/witt_mao.hpp"

namespace caustica {
namespace {

std::vector<Magnifications> curves(std::vector<double> l, std::vector<double> re,
                                   std::vector<double> rstar) {
  CurvesResult a = multi_witt_mao_magnification(std::move(l), std::move(re), std::move(rstar));
  EXPECT_TRUE(a.has_value());
  return std::move(a).value();
}

TEST(MultiCurve, OneCurvePerPairReMajorEachEqualToItsOwnBatch) {
  const std::vector<double> l = {0.0, 0.5, 1.0, 1.5, 3.0};
  const std::vector<double> re = {1.0, 2.0}, rstar = {0.1, 0.2, 0.3};
  const auto all = curves(l, re, rstar);
  ASSERT_EQ(all.size(), 6u);
  std::size_t k = 0;
  for (const double re_k : re) {
    for (const double rstar_j : rstar) {
      EXPECT_EQ(all[k++], witt_mao_magnification(l, re_k, rstar_j).value()) << re_k << rstar_j;
    }
  }
}

TEST(MultiCurve, EmptyRadiiGiveNoCurves) {
  EXPECT_TRUE(curves({0.5}, {}, {0.1}).empty());
  EXPECT_TRUE(curves({0.5}, {1.0}, {}).empty());
}

TEST(MultiCurve, EmptySeparationsGiveEmptyCurves) {
  const auto all = curves({}, {1.0, 2.0}, {0.1, 0.2});
  ASSERT_EQ(all.size(), 4u);
  for (const auto& curve : all) EXPECT_TRUE(curve.empty());
}

TEST(MultiCurve, ManyCurvesOfManyPointsKeepTheirOrder) {
  std::vector<double> l(20000);
  for (std::size_t i = 0; i < l.size(); ++i) l[i] = 1e-4 * static_cast<double>(i);
  std::vector<double> re(7), rstar(5);
  for (std::size_t k = 0; k < re.size(); ++k) re[k] = 1.0 + static_cast<double>(k);
  for (std::size_t j = 0; j < rstar.size(); ++j) rstar[j] = 0.05 * static_cast<double>(j + 1);
  const auto all = curves(l, re, rstar);
  ASSERT_EQ(all.size(), re.size() * rstar.size());
  EXPECT_EQ(all[3 * rstar.size() + 2], witt_mao_magnification(l, re[3], rstar[2]).value());
}

}  // namespace
}  // namespace caustica
