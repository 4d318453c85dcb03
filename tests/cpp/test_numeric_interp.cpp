// Tests of table interpolation: segment choice, ties, end values and the out-of-range rules.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

#include "numeric/interp.hpp"

namespace caustica::numeric {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

constexpr std::array<double, 3> kX{0.0, 1.0, 2.0};
constexpr std::array<double, 3> kY{0.0, 10.0, 20.0};
const OutOfRangeRule kExtend = OutOfRangeRule::extend_segment();
const OutOfRangeRule kHold = OutOfRangeRule::hold_end_value();
const OutOfRangeRule kZero = OutOfRangeRule::constant(0.0);

TEST(Interp, EmptyTablesGiveZero) {
  const std::array<double, 2> some{1.0, 2.0};
  const std::span<const double> none;
  for (const OutOfRangeRule rule : {kExtend, kHold, OutOfRangeRule::constant(7.0)}) {
    EXPECT_EQ(bits(interp(none, none, 1.5, rule)), bits(0.0));
    EXPECT_EQ(bits(interp(some, none, 1.5, rule)), bits(0.0));
    EXPECT_EQ(bits(interp(none, some, 1.5, rule)), bits(0.0));
  }
}

TEST(Interp, OnePointIsConstantEverywhereUnderEveryRule) {
  const std::array<double, 1> x{2.0};
  const std::array<double, 1> y{-4.5};
  for (const OutOfRangeRule rule : {kExtend, kHold, OutOfRangeRule::constant(7.0)}) {
    for (const double at : {-Inf, 0.0, 2.0, 3.0, Inf, NaN}) {
      EXPECT_EQ(interp(x, y, at, rule), -4.5) << at;
    }
  }
}

TEST(Interp, ThreePointTableUnderEachRule) {
  struct Case {
    double x;
    OutOfRangeRule rule;
    double want;
  };
  const std::array<Case, 12> cases{{
      {0.5, kZero, 5.0},    {1.0, kZero, 10.0},  {2.0, kZero, 20.0},   {1.5, kHold, 15.0},
      {3.0, kExtend, 30.0}, {3.0, kHold, 20.0},  {3.0, kZero, 0.0},    {-1.0, kExtend, -10.0},
      {-1.0, kHold, 0.0},   {-1.0, kZero, 0.0},  {0.0, kExtend, 0.0},
      {-1.0, OutOfRangeRule::constant(-2.5), -2.5},
  }};
  for (const Case& c : cases) {
    EXPECT_EQ(bits(interp(kX, kY, c.x, c.rule)), bits(c.want))
        << c.x << " rule " << static_cast<int>(c.rule.kind);
  }
}

TEST(Interp, TieWithAnInnerAbscissaUsesTheSegmentToItsLeft) {
  // At x = 0.1 the left line rounds to 0.09999999999999998, the right one to 0.1.
  const std::array<double, 3> x{0.0, 0.1, 0.2};
  const std::array<double, 3> y{0.7, 0.1, 0.0};
  EXPECT_EQ(interp(x, y, 0.1, kZero), 0.09999999999999998);

  // Jumps written as repeated abscissae: at each jump the value is the one from the left.
  const std::array<double, 8> steps_x{0.0, 1.0, 1.0, 2.0, 2.0, 3.0, 3.0, 4.0};
  const std::array<double, 8> steps_y{0.0, 1.0, 5.0, 6.0, 10.0, 11.0, 15.0, 16.0};
  const std::array<std::pair<double, double>, 5> expected{
      {{1.0, 1.0}, {2.0, 6.0}, {3.0, 11.0}, {1.5, 5.5}, {3.5, 15.5}}};
  for (const auto& [at, want] : expected) {
    EXPECT_EQ(interp(steps_x, steps_y, at, kZero), want) << at;
  }
}

TEST(Interp, EndAbscissaeReturnTheStoredOrdinatesExactly) {
  const std::array<double, 3> x{0.1, 0.7, 1.3};
  const std::array<double, 3> y{0.3, 1.9, 0.7};
  for (const OutOfRangeRule rule : {kExtend, kHold, kZero}) {
    EXPECT_EQ(interp(x, y, 0.1, rule), 0.3);
    EXPECT_EQ(interp(x, y, 1.3, rule), 0.7);
  }
}

TEST(Interp, LongerXTableUsesOnlyThePairedPrefix) {
  const std::array<double, 5> x{0.0, 1.0, 2.0, 3.0, 4.0};
  // The ordinates past the third are not part of the table; they only make a read of them show.
  const std::array<double, 5> y_storage{0.0, 10.0, 20.0, -99.0, -99.0};
  const std::span<const double> y(y_storage.data(), 3);
  EXPECT_EQ(interp(x, y, 2.0, kZero), 20.0);  // upper end is x[2], not x[4]
  EXPECT_EQ(interp(x, y, 3.5, kZero), 0.0);
  EXPECT_EQ(interp(x, y, 3.5, kHold), 20.0);
  EXPECT_EQ(interp(x, y, 3.5, kExtend), 35.0);  // the last paired segment, [1, 2]
  EXPECT_EQ(interp(x, y, 1.5, kZero), 15.0);
  // A longer y_table changes nothing either.
  const std::array<double, 5> y_long{0.0, 10.0, 20.0, 99.0, 99.0};
  EXPECT_EQ(interp(kX, y_long, 3.0, kExtend), 30.0);
}

TEST(Interp, NaNPointGivesNaN) {
  for (const OutOfRangeRule rule : {kExtend, kHold, kZero}) {
    EXPECT_TRUE(std::isnan(interp(kX, kY, NaN, rule)));
  }
}

TEST(Interp, RepeatedAbscissaGivesANonFiniteValueOnlyInsideItsSegment) {
  const std::array<double, 4> x{0.0, 1.0, 1.0, 2.0};
  const std::array<double, 4> y{0.0, 1.0, 3.0, 4.0};
  EXPECT_EQ(interp(x, y, 0.5, kZero), 0.5);
  EXPECT_EQ(interp(x, y, 1.5, kZero), 3.5);
  EXPECT_EQ(interp(x, y, 0.0, kZero), 0.0);
  EXPECT_EQ(interp(x, y, 2.0, kZero), 4.0);
  const std::array<double, 3> flat{1.0, 1.0, 2.0};
  EXPECT_FALSE(std::isfinite(interp(flat, y, 0.5, kExtend)));
}

}  // namespace
}  // namespace caustica::numeric
