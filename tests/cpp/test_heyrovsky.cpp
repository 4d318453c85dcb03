#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
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

// A ring of radius zero on the lens, whichever of the two is the negative zero: +inf, never -inf.
TEST(Ring, OfRadiusZeroOnTheLensIsPlusInfinity) {
  for (const auto& [l, r] : {std::pair{0.0, -0.0}, {-0.0, 0.0}, {-0.0, -0.0}}) {
    EXPECT_EQ(ring(l, r, 1.0, 0.1), HUGE_VAL) << l << " " << r;
  }
}

TEST(Ring, CentredOnTheLensIsFiniteAlsoForTinyRings) {
  EXPECT_LT(relative_error(ring(0.0, 5e-06, 1.0, 0.1), point_source(5e-07)), 1e-15);
}

// A NaN or negative radius or separation is the elliptic layer's NaN error, never a number (a
// negative one would pass for a magnification).
TEST(Ring, OutsideTheDomainIsTheNaNError) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double l, r;
    const char* message;
  } cases[] = {
      {nan, 0.5, "ellipk: Arguments cannot be NAN."},
      {0.5, nan, "ellipk: Arguments cannot be NAN."},
      {-0.5, 0.7, "ellipk: Arguments cannot be NAN."},
      {-0.5, -0.7, "ellipk: Arguments cannot be NAN."},
      {-0.5, 0.0, "ellipk: Arguments cannot be NAN."},
  };
  for (const auto& c : cases) {
    const EllipticResult a = heyrovsky_magnification(c.l, c.r, 1.0, 0.1);
    ASSERT_FALSE(a.has_value()) << c.l << " " << c.r;
    EXPECT_EQ(std::string(a.error().message), c.message);
  }
}

// Accurate to rounding everywhere but on the ring itself: right up to it (h = 2^-53), for
// sources up to 100 Einstein radii, and where one radius is 1e-9 of the other.
TEST(RingAccuracy, AgainstTheReference) {
  const auto rows = testing::read_table("ring_reference.txt");
  ASSERT_FALSE(rows.empty());
  double worst = 0;
  for (const auto& row : rows) {
    const double l = row[0], r = row[1], rho = row[2], A = row[3];
    const double e = relative_error(ring(l, r, 1.0, rho), A);
    EXPECT_LE(e, 2e-15) << l << " " << r << " " << rho;
    // The entry point for callers that hold s = re / rstar gives the same bits.
    EXPECT_EQ(heyrovsky_kernel(l, r, 1.0 / rho), ring(l, r, 1.0, rho)) << l << " " << r << " " << rho;
    worst = std::max(worst, e);
  }
  std::printf("[  worst   ] %.2e over %zu points\n", worst, rows.size());
}

// For source radii from 1e-12 to 1e6 a ring's magnification is finite and at least 1 at any
// separation; beyond them too it is at least 1 (infinite where the value overflows), never NaN,
// below 1, zero or negative.
class RingExtremes : public ::testing::TestWithParam<double> {};

TEST_P(RingExtremes, AtLeastOne) {
  const double rho = GetParam();
  const bool in_range = rho >= 1e-12 && rho <= 1e6;
  for (const double r : {1e-5, 0.3, 1.0}) {
    for (const double l : {0.0, 1e-300, 1e-9, 0.5, 1 - 1e-9, 1.0 + 1e-9, 2.0, 1e3, 1e9, 1e154,
                           1.8e154, 1e300}) {
      const double a = ring(l, r, 1.0, rho);
      if (in_range) {
        EXPECT_TRUE(std::isfinite(a)) << l << " " << r << " = " << a;
      }
      EXPECT_TRUE(a >= 1) << l << " " << r << " = " << a;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SourceRadii, RingExtremes,
                         ::testing::Values(5e-324, 1e-320, 1e-300, 1e-154, 1e-12, 1e-3, 1.0, 1e6,
                                           1e154, 1e300, 1.7e308));

}  // namespace
}  // namespace caustica
