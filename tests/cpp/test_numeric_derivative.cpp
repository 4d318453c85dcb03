// Tests of the central difference: where f is called, the step and the denominator.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>

#include "numeric/derivative.hpp"

namespace caustica::numeric {
namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(Sderivative, DefaultStepIsTheCorrectlyRoundedCubeRootOfEpsilon) {
  EXPECT_EQ(bits(CBRT_EPS), 0x3ED965FEA53D6E3DULL);
  EXPECT_EQ(CBRT_EPS, 6.0554544523933395e-06);
}

// Records where f was called and returns a value that says which call it was.
struct CallLog {
  std::array<double, 3> points{};
  int count = 0;
  double operator()(double x) {
    if (count < 3) points[count] = x;
    ++count;
    return count == 1 ? 1.0 : 0.0;
  }
};

TEST(Sderivative, CallsThePlusSideFirstWithAStepGrowingWithTheSizeOfX) {
  struct Case {
    double x, step, h;
  };
  const std::array<Case, 4> cases{{
      {0.0, CBRT_EPS, CBRT_EPS},
      {-3.0, CBRT_EPS, 4.0 * CBRT_EPS},
      {3.0, CBRT_EPS, 4.0 * CBRT_EPS},
      {9.0, 0.001, 0.01},
  }};
  for (const Case& c : cases) {
    CallLog log;
    const double d = c.step == CBRT_EPS ? sderivative(std::ref(log), c.x)
                                        : sderivative(std::ref(log), c.x, c.step);
    ASSERT_EQ(log.count, 2) << c.x;
    EXPECT_EQ(log.points[0], c.x + c.h) << c.x;
    EXPECT_EQ(log.points[1], c.x - c.h) << c.x;
    // f is 1 at the first call and 0 at the second, so the result is 1 / (h + h).
    EXPECT_EQ(d, 1.0 / (c.h + c.h)) << c.x;
  }
}

TEST(Sderivative, DenominatorIsTwiceTheStepNotTheDifferenceOfTheArguments) {
  // At x = 9 with step 0.001, (9 + h) - (9 - h) differs from h + h = 0.02.
  const double d = sderivative([](double y) { return y; }, 9.0, 0.001);
  EXPECT_EQ(d, ((9.0 + 0.01) - (9.0 - 0.01)) / 0.02);
  EXPECT_NE((9.0 + 0.01) - (9.0 - 0.01), 0.02);
}

TEST(Sderivative, ExactForLinesAndQuadraticsUpToRounding) {
  EXPECT_NEAR(sderivative([](double x) { return x * x; }, 1.0), 2.0, 1e-9);
  for (const double x : {-1e3, -2.5, 0.0, 0.125, 7.0, 1e4}) {
    const double d = sderivative([](double y) { return 3.0 * y + 1.0; }, x);
    EXPECT_NEAR(d, 3.0, 3e-10 * (std::fabs(x) + 1.0)) << x;
  }
}

TEST(Sderivative, AccurateForSmoothFunctions) {
  for (const double x : {-4.0, -1.0, 0.0, 0.3, 1.0, 2.5, 10.0}) {
    const double scale = std::fabs(x) + 1.0;
    const double d_sin = sderivative([](double y) { return std::sin(y); }, x);
    const double d_exp = sderivative([](double y) { return std::exp(y); }, x);
    EXPECT_NEAR(d_sin, std::cos(x), 1e-10 * scale) << x;
    EXPECT_NEAR(d_exp, std::exp(x), 1e-10 * scale * std::exp(std::fabs(x))) << x;
  }
}

TEST(Sderivative, NonFiniteInputsPropagate) {
  const auto line = [](double y) { return 2.0 * y; };
  EXPECT_TRUE(std::isnan(sderivative([](double) { return NaN; }, 1.0)));
  EXPECT_FALSE(std::isfinite(sderivative([](double y) { return y > 0 ? Inf : 0.0; }, 0.0)));
  EXPECT_TRUE(std::isnan(sderivative(line, NaN)));
  EXPECT_FALSE(std::isfinite(sderivative(line, Inf)));
  EXPECT_TRUE(std::isnan(sderivative(line, 1.0, NaN)));
  EXPECT_TRUE(std::isnan(sderivative(line, 1.0, 0.0)));
}

}  // namespace
}  // namespace caustica::numeric
