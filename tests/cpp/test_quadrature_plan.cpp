#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "magnification/integrated.hpp"
#include "magnification/quadrature_plan.hpp"

namespace caustica {
namespace {

const std::vector<double> TABLE_RADII = {0.0, 0.25, 0.5, 0.5, 0.75, 1.0};
const std::vector<double> TABLE_VALUES = {1.0, 0.9, 0.8, 0.6, 0.5, 0.3};

struct Case {
  double l, rho;
};

class Plan : public ::testing::TestWithParam<Case> {};

std::vector<QuadraturePiece> plan(const RadialProfile& profile, Case c, Route route) {
  std::vector<QuadraturePiece> pieces;
  for_each_piece(profile, lens_point(profile, c.l, c.rho, route),
                 [&](const QuadraturePiece& piece) { pieces.push_back(piece); });
  return pieces;
}

// The pieces cover each smooth piece of the profile exactly once, with no gap or overlap: a
// lost sliver is a plainly wrong magnification. The nodes stay within a budget, and a graded
// end, or the generalized Gaussian rule's end point, is the lens.
void check(const RadialProfile& profile, Case c, Route route = Route::Rings) {
  std::vector<QuadraturePiece> pieces = plan(profile, c, route);
  int nodes = 0;
  for (const ProfilePiece& p : profile.pieces()) {
    std::vector<QuadraturePiece> mine;
    for (const QuadraturePiece& q : pieces) {
      if (q.profile == &p) mine.push_back(q);
    }
    std::sort(mine.begin(), mine.end(), [](auto& a, auto& b) { return a.v0 < b.v0; });
    ASSERT_FALSE(mine.empty());
    EXPECT_EQ(mine.front().v0, p.v0);
    EXPECT_EQ(mine.back().v1, p.v1);
    for (std::size_t i = 0; i < mine.size(); ++i) {
      EXPECT_LT(mine[i].v0, mine[i].v1);
      if (i > 0) {
        EXPECT_EQ(mine[i].v0, mine[i - 1].v1);
      }
      nodes += mine[i].n;
      const double v_l = lens_point(profile, c.l, c.rho).v;
      if (mine[i].grading == Grading::TowardV0 || mine[i].grading == Grading::LensAtV0) {
        EXPECT_EQ(mine[i].v0, v_l);
      }
      if (mine[i].grading == Grading::TowardV1 || mine[i].grading == Grading::LensAtV1) {
        EXPECT_EQ(mine[i].v1, v_l);
      }
      // The generalized Gaussian rules exist for 4 to 16 nodes.
      if (mine[i].grading == Grading::LensAtV0 || mine[i].grading == Grading::LensAtV1) {
        EXPECT_GE(mine[i].n, 4);
        EXPECT_LE(mine[i].n, 16);
      }
    }
  }
  EXPECT_LE(nodes, 300) << "l = " << c.l;
}

TEST_P(Plan, TilesTheSourceOnceForTheBuiltInLaw) { check(limb_darkening_profile, GetParam()); }

// The disk route's plan takes the rule at the lens faster: its own pieces must tile as well.
TEST_P(Plan, TilesTheSourceOnceForTheDiskRoute) {
  check(limb_darkening_profile, GetParam(), Route::Disks);
}

TEST_P(Plan, TilesTheSourceOnceForATable) {
  check(RadialProfile::table(TABLE_RADII, TABLE_VALUES), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Separations, Plan,
    ::testing::Values(Case{0.0, 0.1}, Case{1e-14, 0.1}, Case{1e-9, 0.1}, Case{0.25, 0.1},
                      Case{0.5, 100.0}, Case{0.3, 1e6}, Case{1 - 1e-14, 0.1}, Case{1.0, 0.1},
                      Case{1 + 1e-14, 0.1}, Case{1.5, 1e-12}, Case{9.99, 0.1},
                      // Branch points within a double of the lens: steps in ln t from nothing.
                      Case{0.5, 1e16}, Case{1.0, 1e300}));

}  // namespace
}  // namespace caustica
