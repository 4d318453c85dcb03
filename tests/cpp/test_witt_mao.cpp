#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "magnification/witt_mao.hpp"
#include "reference_table.hpp"

namespace caustica {
namespace {

using testing::read_table;
using testing::relative_error;

constexpr std::uint64_t QUIET_NAN_BITS = 0x7ff8000000000000;

Magnifications batch(std::vector<double> l, double re, double rstar) {
  BatchResult result = witt_mao_magnification(std::move(l), re, rstar);
  EXPECT_TRUE(result.has_value());
  return std::move(result).value();
}

TEST(WittMao, EmptyBatchIsEmpty) { EXPECT_TRUE(batch({}, 1.0, 0.1).empty()); }

TEST(WittMao, LensAtTheCentreGivesTheClosedForm) {
  const double rho = 0.5;
  EXPECT_NEAR(batch({0.0}, 1.0, rho)[0], 4.123105625617661, 4e-15);
  EXPECT_NEAR(batch({0.0}, 1.0, rho)[0], std::sqrt(rho * rho + 4) / rho, 4e-15);
}

TEST(WittMao, LensExactlyOnTheLimbTakesTheOnLimbForm) {
  const Magnifications a = batch({1.0, 1.0}, 1.0, 0.1);
  EXPECT_NEAR(a[0], 12.774752244647637, 2 * 1.8e-15);
  EXPECT_EQ(a[0], a[1]);
}

TEST(WittMao, InvalidSeparationsArePositiveQuietNaN) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const double x : batch({-0.5, -2.0, nan, -1e-300}, 1.0, 0.1)) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(x), QUIET_NAN_BITS) << x;
  }
}

TEST(WittMao, KeepsInputOrderAndLength) {
  std::vector<double> l;
  for (int i = 0; i < 5000; ++i) l.push_back(0.001 * i);
  const Magnifications a = batch(l, 2.0, 0.3);
  ASSERT_EQ(a.size(), l.size());
  for (std::size_t i = 0; i < l.size(); i += 97) {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(a[i]),
              std::bit_cast<std::uint64_t>(witt_mao_kernel(l[i], 0.15, 0.15 * 0.15)));
  }
}

TEST(WittMao, OnlyTheRatioOfTheRadiiEnters) {
  EXPECT_EQ(batch({0.3, 1.7}, 2.0, 0.5), batch({0.3, 1.7}, 4.0, 1.0));
}

// Across the limb the magnification is continuous: no step where the evaluation changes form.
TEST(WittMao, ContinuousWhereTheEvaluationChangesForm) {
  for (const double rho : {1e-3, 0.1, 3.0}) {
    const double c = rho * rho;
    for (const double edge : {0.9, 1.1, 1.0, 10.0}) {
      const double below = witt_mao_kernel(std::nextafter(edge, 0.0), rho, c);
      const double above = witt_mao_kernel(std::nextafter(edge, 20.0), rho, c);
      EXPECT_LT(relative_error(below, above), 1e-12) << rho << " " << edge;
    }
  }
}

struct Reference {
  double rho, l, A;
};

std::vector<Reference> reference() {
  std::vector<Reference> rows;
  for (const auto& row : read_table("witt_mao_reference.txt")) rows.push_back({row[0], row[1], row[2]});
  return rows;
}

TEST(WittMaoAccuracy, NearTheLimbWithin1e13) {
  const auto rows = reference();
  ASSERT_FALSE(rows.empty());
  double worst = 0;
  for (const Reference& r : rows) {
    if (r.l == 1.0 || std::fabs(r.l - 1) > 0.02) continue;
    const double e = relative_error(batch({r.l}, 1.0, r.rho)[0], r.A);
    EXPECT_LE(e, 1e-13) << "rho " << r.rho << " l " << r.l;
    worst = std::max(worst, e);
  }
  RecordProperty("worst_near_limb", std::to_string(worst));
}

// Far outside the source the closed form would cancel like eps x^2; the far-field series is
// exact to rounding there.
TEST(WittMaoAccuracy, AwayFromTheLimb) {
  for (const Reference& r : reference()) {
    if (std::fabs(r.l - 1) <= 0.02 && r.l != 1.0) continue;
    EXPECT_LE(relative_error(batch({r.l}, 1.0, r.rho)[0], r.A), 1e-13)
        << "rho " << r.rho << " l " << r.l;
  }
}

TEST(WittMao, TendsToOneFarAway) {
  EXPECT_EQ(batch({1e300, HUGE_VAL}, 1.0, 1.0), (Magnifications{1.0, 1.0}));
}

}  // namespace
}  // namespace caustica
