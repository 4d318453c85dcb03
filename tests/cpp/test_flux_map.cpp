#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/panic.hpp"
#include "magnification/flux_map.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "reference_table.hpp"

namespace caustica {
namespace {

using testing::relative_error;
using Table = std::vector<double>;
using FluxMap = BatchResult (*)(std::vector<double>, Table, Table, double, double);

const FluxMap ALL[] = {discrete_flux_map_heyrovsky_magnification,
                       integrated_flux_map_heyrovsky_magnification,
                       integrated_flux_map_witt_mao_magnification};
const FluxMap INTEGRATED[] = {integrated_flux_map_heyrovsky_magnification,
                              integrated_flux_map_witt_mao_magnification};

Magnifications run(FluxMap f, std::vector<double> l, Table bl, Table bf, double rho = 0.1) {
  BatchResult a = f(std::move(l), std::move(bl), std::move(bf), 1.0, rho);
  EXPECT_TRUE(a.has_value());
  return a ? std::move(a).value() : Magnifications{};
}

TEST(FluxMap, UnequalTablesAreAnInternalFailureNamingBothLengths) {
  for (const FluxMap f : ALL) {
    try {
      (void)f({0.5}, {0.1, 0.2, 0.3}, {1.0, 2.0}, 1.0, 0.1);
      ADD_FAILURE() << "no panic";
    } catch (const Panic& p) {
      EXPECT_EQ(p.message(), "assertion `left == right` failed\n  left: 3\n right: 2");
    }
  }
}

TEST(FluxMap, EmptySeparationsGiveEmptyResults) {
  for (const FluxMap f : ALL) EXPECT_TRUE(run(f, {}, {0.5}, {1.0}).empty());
}

TEST(FluxMap, EmptyTableIsZeroAsRingsAndNaNIntegrated) {
  EXPECT_EQ(run(discrete_flux_map_heyrovsky_magnification, {0.5, 2.0}, {}, {}),
            (Magnifications{0.0, 0.0}));
  for (const FluxMap f : INTEGRATED) {
    for (const double a : run(f, {0.5, 2.0}, {}, {})) EXPECT_TRUE(std::isnan(a));
  }
}

TEST(FluxMap, OneRingIsItsWeightTimesTheRingMagnification) {
  for (const double l : {0.0, 0.3, 1.5}) {
    const double expected = *heyrovsky_magnification(l, 0.6, 1.0, 0.1) * 2.5;
    EXPECT_EQ(run(discrete_flux_map_heyrovsky_magnification, {l}, {0.6}, {2.5})[0], expected);
  }
}

TEST(FluxMap, RingErrorsEndTheDiscreteCall) {
  const BatchResult a =
      discrete_flux_map_heyrovsky_magnification({0.5, std::nan("")}, {0.2}, {1.0}, 1.0, 0.1);
  ASSERT_FALSE(a.has_value());
  EXPECT_EQ(std::string(a.error().message), "ellipk: Arguments cannot be NAN.");
}

// A one-point table is a constant profile, whatever its value: the uniform disk.
TEST(FluxMap, OnePointTableIsAUniformSource) {
  for (const FluxMap f : INTEGRATED) {
    const double uniform = run(f, {0.5}, {0.3}, {1.0})[0];
    EXPECT_LT(relative_error(run(f, {0.5}, {0.3}, {7.0})[0], uniform), 1e-14);
    EXPECT_LT(relative_error(uniform, 19.56), 0.05);
  }
}

TEST(FluxMap, RadiiBeyondTheSourceAreAllowed) {
  for (const FluxMap f : INTEGRATED) {
    const double inside = run(f, {0.4}, {0.0, 1.0}, {1.0, 1.0})[0];
    const double beyond = run(f, {0.4}, {-1.0, 3.0}, {1.0, 1.0})[0];
    EXPECT_LT(relative_error(beyond, inside), 1e-12);
  }
}

// A fine table of the built-in profile reproduces the built-in results to interpolation accuracy.
TEST(FluxMap, FineTableOfTheBuiltInProfileReproducesIt) {
  Table bl, bf;
  for (int j = 0; j <= 2000; ++j) {
    bl.push_back(j / 2000.0);
    bf.push_back(limb_darkening_profile(bl.back()));
  }
  const std::vector<double> l = {0.0, 0.5, 0.99, 1.2};
  const Magnifications rings = _integrated_heyrovsky_magnification(
                                   l, limb_darkening_profile, 1.0, 0.1, LIMB_DARKENING_FLUX)
                                   .value();
  for (const FluxMap f : INTEGRATED) {
    const Magnifications tabulated = run(f, l, bl, bf);
    for (std::size_t i = 0; i < l.size(); ++i) {
      EXPECT_LT(relative_error(tabulated[i], rings[i]), 1e-5) << l[i];
    }
  }
}

}  // namespace
}  // namespace caustica
