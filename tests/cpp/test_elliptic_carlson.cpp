// Carlson's RF, RD and RJ: closed forms, symmetry, limits of the duplication loops, and arguments
// outside the domain, which must end in a value rather than a hang or a crash.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"

namespace caustica::elliptic {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

double ulps_apart(double a, double b) {
  return std::fabs(a - b) / (std::nextafter(std::fabs(b), INF) - std::fabs(b));
}

TEST(Elliprf, EqualArgumentsAreOneOverSqrt) {
  for (double x : {0.25, 2.0, 1e-10, 1e10}) EXPECT_EQ(elliprf(x, x, x), 1.0 / std::sqrt(x)) << x;
}

TEST(Elliprf, TwoZerosDiverge) { EXPECT_EQ(elliprf(0.0, 0.0, 1.0), INF); }

TEST(Elliprf, DuplicationGivesUpAfterElevenSteps) {
  EXPECT_TRUE(std::isnan(elliprf(1e-300, 2e-300, 1.0)));
  EXPECT_LE(ulps_apart(elliprf(0.1, 0.2, 1.0), 1.7512527519061625), 1.0);
}

TEST(Elliprf, IsSymmetric) {
  const double args[][3] = {{0.1, 0.2, 1.0}, {0.0, 0.3, 1.0}, {2.0, 2.0, 5.0}, {1e-3, 40.0, 7.0}};
  for (const auto& a : args) {
    const double v = elliprf(a[0], a[1], a[2]);
    EXPECT_LE(ulps_apart(elliprf(a[1], a[2], a[0]), v), 1.0);
    EXPECT_LE(ulps_apart(elliprf(a[2], a[0], a[1]), v), 1.0);
    EXPECT_LE(ulps_apart(elliprf(a[1], a[0], a[2]), v), 1.0);
  }
}

TEST(Elliprf, WithOneZeroIsK) {
  EXPECT_LE(ulps_apart(elliprf(0.0, 1.0 - 0.95, 1.0), 2.908337248444552), 2.0);
  for (double m : {-5.0, 0.1, 0.5, 0.89, 0.95, 0.999999}) {
    EXPECT_LE(ulps_apart(elliprf(0.0, 1.0 - m, 1.0), *ellipk(m)), 3.0) << m;
  }
}

TEST(Elliprd, EqualArgumentsArePowerMinusThreeHalves) {
  for (double x : {0.25, 2.0, 1e-10, 1e10}) EXPECT_LE(ulps_apart(elliprd(x, x, x), std::pow(x, -1.5)), 1.0) << x;
}

TEST(Elliprd, ZeroAndAPairIsThreePiOverFourYSqrtY) {
  EXPECT_EQ(elliprd(0.0, 1.0, 1.0), 2.356194490192345);
  EXPECT_EQ(elliprd(0.0, 4.0, 4.0), 0.2945243112740431);
}

TEST(Elliprd, WithOneZeroIsThreeKMinusEOverM) {
  for (double m : {0.3, 0.7, 0.95}) {
    const double expected = 3.0 * (*ellipk(m) - *ellipe(m)) / m;
    EXPECT_LE(ulps_apart(elliprd(0.0, 1.0 - m, 1.0), expected), 8.0) << m;
  }
}

TEST(Elliprd, IsSymmetricInXAndY) {
  EXPECT_LE(ulps_apart(elliprd(0.3, 2.0, 1.0), elliprd(2.0, 0.3, 1.0)), 1.0);
  EXPECT_LE(ulps_apart(elliprd(0.0, 2.0, 1.0), elliprd(2.0, 0.0, 1.0)), 2.0);
}

TEST(Elliprd, TwoZerosDivergeInsteadOfLoopingForever) { EXPECT_EQ(elliprd(0.0, 0.0, 1.0), INF); }

TEST(Elliprj, EqualArgumentsArePowerMinusThreeHalves) {
  for (double x : {0.25, 2.0, 1e-10, 1e10}) EXPECT_LE(ulps_apart(elliprj(x, x, x, x), std::pow(x, -1.5)), 1.0) << x;
}

TEST(Elliprj, EqualToZIsRD) {
  EXPECT_EQ(elliprj(0.3, 2.0, 1.5, 1.5), elliprd(0.3, 2.0, 1.5));
  EXPECT_EQ(elliprj(0.3, 2.0, 2.0, 2.0), elliprd(0.3, 2.0, 2.0));
}

TEST(Elliprj, IsSymmetricInXYZ) {
  const double v = elliprj(0.3, 2.0, 1.5, 0.7);
  EXPECT_LE(ulps_apart(elliprj(2.0, 1.5, 0.3, 0.7), v), 2.0);
  EXPECT_LE(ulps_apart(elliprj(1.5, 0.3, 2.0, 0.7), v), 2.0);
}

TEST(Elliprj, PrincipalValueStaysFiniteAcrossTheSign) {
  // RJ is finite on both sides of p = 0 only as a principal value; both must be finite here.
  EXPECT_TRUE(std::isfinite(elliprj(0.5, 1.0, 2.0, -0.3)));
  EXPECT_TRUE(std::isfinite(elliprj(0.5, 1.0, 2.0, -1e-8)));
}

// Outside the domain the principal-value transformation can map p back to a non-positive p'; the
// recursion must not follow it.
TEST(Elliprj, PrincipalValueOutsideTheDomainEnds) {
  EXPECT_TRUE(std::isnan(elliprj(0.0, 0.0, 1.0, 0.0)));
  EXPECT_TRUE(std::isnan(elliprj(0.0, 0.0, 1.0, -0.0)));
  EXPECT_TRUE(std::isnan(elliprj(-1.0, 0.0, 1.0, -1.0)));
  EXPECT_TRUE(std::isnan(elliprj(0.0, -2.0, 1.0, -0.5)));
}

TEST(Carlson, NaNPropagates) {
  EXPECT_TRUE(std::isnan(elliprf(NaN, 1.0, 2.0)));
  EXPECT_TRUE(std::isnan(elliprf(0.0, NaN, 2.0)));
  EXPECT_TRUE(std::isnan(elliprd(NaN, 1.0, 2.0)));
  EXPECT_TRUE(std::isnan(elliprd(0.0, 1.0, NaN)));
  EXPECT_TRUE(std::isnan(elliprj(1.0, 2.0, 3.0, NaN)));
  EXPECT_TRUE(std::isnan(elliprj(NaN, 2.0, 3.0, -1.0)));
}

TEST(Carlson, NegativeArgumentsGiveNaN) {
  EXPECT_TRUE(std::isnan(elliprf(-1.0, 2.0, 3.0)));
  EXPECT_TRUE(std::isnan(elliprd(-1.0, 2.0, 3.0)));
  EXPECT_TRUE(std::isnan(elliprj(-1.0, 2.0, 3.0, 4.0)));
}

}  // namespace
}  // namespace caustica::elliptic
