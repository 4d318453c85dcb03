#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "magnification/heyrovsky.hpp"
#include "reference_table.hpp"

namespace caustica {
namespace {

using testing::relative_error;

double point_source(double u) { return (u * u + 2) / (u * std::sqrt(u * u + 4)); }

double ring(double l, double r, double re, double rstar) {
  const EllipticResult a = heyrovsky_magnification(l, r, re, rstar);
  EXPECT_TRUE(a.has_value()) << (a ? "" : a.error().message);
  return a ? *a : std::numeric_limits<double>::quiet_NaN();
}

TEST(Ring, OfRadiusZeroIsThePointSource) {
  EXPECT_NEAR(ring(2.0, 0.0, 1.0, 1.0), 1.0606601717798212, 2e-16);
  EXPECT_NEAR(ring(0.7, 0.0, 2.0, 0.3), point_source(0.7 * 0.3 / 2.0), 4e-16);
}

TEST(Ring, CentredOnTheLensIsThePointSource) {
  for (const double r : {1e-05, 0.3, 1.0, 4.0}) {
    EXPECT_LT(relative_error(ring(0.0, r, 1.5, 0.2), point_source(r * 0.2 / 1.5)), 1e-15) << r;
  }
}

// The ring average is symmetric in l and r, right up to the ring: no expansion about one of them.
TEST(Ring, SymmetricInLensAndRadius) {
  for (const auto& [l, r] : {std::pair{0.3, 0.9}, {2.0, 0.1}, {1.0, 1.5}, {0.5, 0.5 + 5e-6},
                             {0.5, 0.5 + 1e-12}, {3e-10, 0.7}}) {
    EXPECT_EQ(ring(l, r, 1.0, 0.1), ring(r, l, 1.0, 0.1)) << l << " " << r;
  }
}

TEST(Ring, ThroughTheLensIsInfinite) { EXPECT_EQ(ring(0.4, 0.4, 1.0, 0.1), HUGE_VAL); }

TEST(Ring, CentredOnTheLensIsFiniteAlsoForTinyRings) {
  EXPECT_LT(relative_error(ring(0.0, 5e-06, 1.0, 0.1), point_source(5e-07)), 1e-15);
}

TEST(Ring, EllipticErrorsPassThroughUnchanged) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double l, r;
    const char* message;
  } cases[] = {
      {nan, 0.5, "ellipk: Arguments cannot be NAN."},
      {0.5, nan, "ellipk: Arguments cannot be NAN."},
      {-0.5, 0.7, "ellipk: Arguments cannot be NAN."},  // l r < 0 makes m NaN
  };
  for (const auto& c : cases) {
    const EllipticResult a = heyrovsky_magnification(c.l, c.r, 1.0, 0.1);
    ASSERT_FALSE(a.has_value()) << c.l << " " << c.r;
    EXPECT_EQ(std::string(a.error().message), c.message);
  }
}

// Within 1e-5 of the ring the expansion in h is accurate to O(h^2 log h); elsewhere the
// elliptic form is accurate to rounding, right up to the ring.
TEST(RingAccuracy, AgainstTheReference) {
  const auto rows = testing::read_table("ring_reference.txt");
  ASSERT_FALSE(rows.empty());
  for (const auto& row : rows) {
    const double l = row[0], r = row[1], rho = row[2], A = row[3];
    const double tolerance = std::fabs(r - l) < 1e-05 ? 1e-9 : 2e-14;
    EXPECT_LE(relative_error(ring(l, r, 1.0, rho), A), tolerance) << l << " " << r << " " << rho;
  }
}

}  // namespace
}  // namespace caustica
