#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "numeric/sin_cos.hpp"

namespace caustica::numeric {
namespace {

// Against long double over the quadrant, the switch at pi/4 and the approach to pi/2 (where the
// cosine is the small pi/2 - v, its low part included): within 1.2 units of 2^-53, relative.
TEST(SinCosQuadrant, IsWithinAboutHalfAnUlpOverTheQuadrant) {
  const double quarter = sin_cos::PIO4, half = sin_cos::PIO2_HI;
  double worst = 0;
  const auto check = [&](double v) {
    const SinCos r = sin_cos_quadrant(v);
    const long double s = std::sin(static_cast<long double>(v));
    const long double c = std::cos(static_cast<long double>(v));
    if (s != 0) worst = std::fmax(worst, static_cast<double>(std::fabs((r.sin - s) / s)));
    worst = std::fmax(worst, static_cast<double>(std::fabs((r.cos - c) / c)));
  };
  for (int i = 0; i <= 200000; ++i) check(half * i / 200000);
  for (int i = -1000; i <= 1000; ++i) check(std::nextafter(quarter, i < 0 ? 0.0 : 2.0) + i * 1e-15);
  for (int k = 1; k <= 15; ++k) check(half - std::ldexp(1.0, -3 * k));
  EXPECT_LE(worst, 1.2 * std::ldexp(1.0, -53));
  EXPECT_EQ(sin_cos_quadrant(0.0).sin, 0.0);
  EXPECT_EQ(sin_cos_quadrant(0.0).cos, 1.0);
  EXPECT_EQ(sin_cos_quadrant(half).sin, 1.0);
  EXPECT_EQ(sin_cos_quadrant(half).cos, 6.123233995736766e-17);
}

}  // namespace
}  // namespace caustica::numeric
