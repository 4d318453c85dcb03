#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "magnification/integrated.hpp"
#include "magnification/profile.hpp"
#include "magnification/witt_mao.hpp"
#include "numeric/gauss_rules.hpp"
#include "numeric/tanh_sinh.hpp"

namespace caustica {
namespace {

constexpr std::uint64_t QUIET_NAN_BITS = 0x7ff8000000000000;

using Driver = BatchResult (*)(std::vector<double>, const RadialProfile&, double, double, double);

Magnifications limb_darkened(Driver driver, std::vector<double> l, double rho) {
  BatchResult a = driver(std::move(l), limb_darkening_profile, 1.0, rho, LIMB_DARKENING_FLUX);
  EXPECT_TRUE(a.has_value());
  return std::move(a).value();
}

TEST(LimbDarkeningProfile, IsOneAtTheCentreAndFourTenthsAtTheLimb) {
  EXPECT_EQ(limb_darkening_profile(0.0), 1.0);
  EXPECT_EQ(limb_darkening_profile(1.0), 0.4);
}

// The tanh-sinh rule's value of the flux, 1.6e-14 below 0.8 pi: a property of the rule, not
// the flux the law is normalised by.
TEST(LimbDarkeningProfile, FluxByTheQuadratureIsTheRulesStoredValue) {
  const auto annulus = [](double x) { return (x * 6.283185307179586) * limb_darkening_profile(x); };
  EXPECT_EQ(numeric::integrate(annulus, 0.0, 1.0, 1e-16).integral, 2.5132741228717936);
}

// A table's far-field moments take a smaller Gauss rule on its narrower pieces. A lit annulus
// of one piece, of spread (b - a) / (b + a) at each threshold and beyond, its brightness
// falling by 70 % across it: against the 32-point rule (exact for every degree the moments
// reach) in long double, within the roundings of the flux and factors; a rule too small for
// the spread (8 points at 0.25, 16 at 0.9) is off by 1e-11 or more in the highest moments.
class TableMoments : public ::testing::TestWithParam<double> {};

TEST_P(TableMoments, HoldOnAPieceOfEverySpread) {
  const double spread = GetParam(), a = 0.6 * (1 - spread) / (1 + spread);
  const std::vector<double> bl = {a, 0.6}, bf = {1.0, 0.3};
  const RadialProfile profile = RadialProfile::table(bl, bf);
  constexpr int TERMS = profile_far_field::TERMS;
  long double flux = 0, moments[TERMS] = {};
  for (const numeric::gauss::Node& node : numeric::gauss::LEGENDRE_32) {
    const long double x = a + (0.6L - a) * node.t;
    const long double w = (0.6L - a) * node.w * (1.0L - 0.7L * ((x - a) / (0.6L - a)));
    flux += w * x;
    long double xm = x;
    for (int k = 0; k < TERMS; ++k) {
      xm *= x * x;
      moments[k] += w * xm;
    }
  }
  for (int k = 1; k <= TERMS; ++k) {
    const double expected = static_cast<double>((k + 1) * (moments[k - 1] / flux));
    EXPECT_NEAR(profile.moment_factors()[k - 1] / expected, 1.0, 5e-15) << "k = " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(Spreads, TableMoments,
                         ::testing::Values(1e-6, 0.02, 0.25, 0.9));

struct Variant {
  const char* name;
  Driver driver;
};

class Integrated : public ::testing::TestWithParam<Variant> {};

TEST_P(Integrated, EmptyBatchIsEmpty) {
  EXPECT_TRUE(limb_darkened(GetParam().driver, {}, 0.1).empty());
}

TEST_P(Integrated, MeaninglessSeparationsArePositiveQuietNaN) {
  const double inf = std::numeric_limits<double>::infinity();
  const Magnifications a = limb_darkened(
      GetParam().driver, {std::numeric_limits<double>::quiet_NaN(), inf, -inf, -0.5, 0.5}, 0.1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(std::bit_cast<std::uint64_t>(a[i]), QUIET_NAN_BITS) << i;
  EXPECT_TRUE(std::isfinite(a[4]));
}

TEST_P(Integrated, ResultsComeInInputOrder) {
  const std::vector<double> l = {2.0, 0.5, 0.0, 1.0, 0.5};
  const Magnifications a = limb_darkened(GetParam().driver, l, 0.1);
  ASSERT_EQ(a.size(), l.size());
  for (std::size_t i = 0; i < l.size(); ++i) {
    EXPECT_EQ(a[i], limb_darkened(GetParam().driver, {l[i]}, 0.1)[0]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, Integrated,
    ::testing::Values(Variant{"rings", _integrated_heyrovsky_magnification},
                      Variant{"disks", _integrated_witt_mao_magnification}),
    [](const ::testing::TestParamInfo<Variant>& variant) { return std::string(variant.param.name); });

// Limb darkening brightens the centre: a lens over the centre magnifies more than for a uniform
// disk, one over the limb less.
TEST(IntegratedVariants, DifferFromTheUniformDisk) {
  const double uniform_centre = *witt_mao_magnification({0.0}, 1.0, 0.1).value().data();
  EXPECT_GT(limb_darkened(_integrated_heyrovsky_magnification, {0.0}, 0.1)[0], uniform_centre);
  const double uniform_limb = witt_mao_magnification({0.966}, 1.0, 0.1).value()[0];
  EXPECT_LT(limb_darkened(_integrated_witt_mao_magnification, {0.966}, 0.1)[0], uniform_limb);
}

}  // namespace
}  // namespace caustica
