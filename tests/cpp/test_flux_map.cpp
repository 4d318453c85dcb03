#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/panic.hpp"
#include "magnification/flux_map.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "magnification/table_cache.hpp"
#include "magnification/witt_mao.hpp"
#include "reference_table.hpp"

namespace caustica {
namespace {

using testing::relative_error;
using Table = std::vector<double>;
using FluxMap = Magnifications (*)(std::vector<double>, Table, Table, double, double);

// The magnifications of a call expected to succeed.
template <auto driver>
Magnifications succeeding(std::vector<double> l, Table bl, Table bf, double re, double rstar) {
  auto a = driver(std::move(l), std::move(bl), std::move(bf), re, rstar);
  EXPECT_TRUE(a.has_value());
  return a ? std::move(a).value() : Magnifications{};
}

constexpr FluxMap DISCRETE = succeeding<discrete_flux_map_heyrovsky_magnification>;
const FluxMap INTEGRATED[] = {succeeding<integrated_flux_map_heyrovsky_magnification>,
                              succeeding<integrated_flux_map_witt_mao_magnification>};
const FluxMap ALL[] = {DISCRETE, INTEGRATED[0], INTEGRATED[1]};

Magnifications run(FluxMap f, std::vector<double> l, Table bl, Table bf, double rho = 0.1) {
  return f(std::move(l), std::move(bl), std::move(bf), 1.0, rho);
}

// The kept tables stay within their bounds, and a table is found again only with its own bits
// and route.
TEST(FluxMap, KeptTablesAreBoundedAndMatchedByTheirBits) {
  const auto table = [](std::size_t points, double top) {
    Table bl(points), bf(points);
    for (std::size_t j = 0; j < points; ++j) {
      bl[j] = static_cast<double>(j) / static_cast<double>(points - 1);
      bf[j] = top - 0.5 * bl[j];
    }
    return std::pair{bl, bf};
  };
  const auto [bl, bf] = table(100, 1.0);
  const auto first = prepared_table(bl, bf, Route::Rings);
  EXPECT_EQ(prepared_table(bl, bf, Route::Rings), first);
  EXPECT_NE(prepared_table(bl, bf, Route::Disks), first);
  Table zero = bf;
  zero.back() = 0.0;
  const auto positive = prepared_table(bl, zero, Route::Rings);
  zero.back() = -0.0;
  EXPECT_NE(prepared_table(bl, zero, Route::Rings), positive);
  // As many others as are kept push the first out; the most recent stay.
  std::vector<std::shared_ptr<const PreparedTable>> others;
  for (std::size_t k = 0; k < MOST_TABLES; ++k) {
    const auto [other_bl, other_bf] = table(100, 2.0 + static_cast<double>(k));
    others.push_back(prepared_table(other_bl, other_bf, Route::Rings));
  }
  EXPECT_NE(prepared_table(bl, bf, Route::Rings), first);
  const auto [last_bl, last_bf] = table(100, 1.0 + static_cast<double>(MOST_TABLES));
  EXPECT_EQ(prepared_table(last_bl, last_bf, Route::Rings), others.back());
  // A table longer than all that is kept is not kept, and two that pass it together are not both.
  const auto [long_bl, long_bf] = table(MOST_POINTS + 1, 1.0);
  const auto long_table = prepared_table(long_bl, long_bf, Route::Rings);
  EXPECT_NE(prepared_table(long_bl, long_bf, Route::Rings), long_table);
  const auto [half_bl, half_bf] = table(MOST_POINTS / 2 + 1, 1.0);
  const auto [half_bl2, half_bf2] = table(MOST_POINTS / 2 + 1, 2.0);
  const auto half = prepared_table(half_bl, half_bf, Route::Rings);
  const auto half2 = prepared_table(half_bl2, half_bf2, Route::Rings);
  EXPECT_EQ(prepared_table(half_bl2, half_bf2, Route::Rings), half2);
  EXPECT_NE(prepared_table(half_bl, half_bf, Route::Rings), half);
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
  EXPECT_EQ(run(DISCRETE, {0.5, 2.0}, {}, {}),
            (Magnifications{0.0, 0.0}));
  for (const FluxMap f : INTEGRATED) {
    for (const double a : run(f, {0.5, 2.0}, {}, {})) EXPECT_TRUE(std::isnan(a));
  }
}

TEST(FluxMap, OneRingIsItsWeightTimesTheRingMagnification) {
  for (const double l : {0.0, 0.3, 1.5}) {
    const double expected = *heyrovsky_magnification(l, 0.6, 1.0, 0.1) * 2.5;
    EXPECT_EQ(run(DISCRETE, {l}, {0.6}, {2.5})[0], expected);
  }
}

// The ring through the lens is infinite; with no light on it, it adds nothing (not 0 x inf).
TEST(FluxMap, UnlitRingThroughTheLensAddsNothing) {
  const double lit = *heyrovsky_magnification(0.5, 0.2, 1.0, 0.1) * 1.5;
  EXPECT_EQ(run(DISCRETE, {0.5}, {0.2, 0.5}, {1.5, 0.0})[0], lit);
  EXPECT_EQ(run(DISCRETE, {0.5}, {0.5, 0.2}, {-0.0, 1.5})[0], lit);
  EXPECT_EQ(run(DISCRETE, {0.5}, {0.2, 0.5}, {1.5, 1.0})[0], HUGE_VAL);
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

// A uniform annulus r1 < x < r2 is the disk of radius r2 less the disk of radius r1, each with
// its uniform-disk magnification, weighted by their areas.
// The magnified flux of the uniform disk of radius r (source radii), in units of pi.
double disk_flux(double l, double r, double rho) {
  return r * r * witt_mao_kernel(l / r, rho * r, (rho * r) * (rho * r));
}

double uniform_annulus(double l, double r1, double r2, double rho) {
  return (disk_flux(l, r2, rho) - disk_flux(l, r1, rho)) / (r2 * r2 - r1 * r1);
}

// Narrow profiles, and profiles that are zero over parts of the source: integrated over the whole
// source at once, the first levels' nodes missed them, and the results were inf, NaN or 0.
TEST(FluxMap, ProfilesOnPartOfTheSourceAreNotMissed) {
  struct Case {
    Table bl, bf;
    double r1, r2;  // the uniform annulus the table describes
  };
  const Case cases[] = {
      {{0.3, 0.32}, {1.0, 1.0}, 0.3, 0.32},
      {{0.6909043751635227, 0.7912735767252415}, {2.0, 2.0}, 0.6909043751635227,
       0.7912735767252415},
      {{0.0, 0.5, 0.5, 0.52, 0.52, 1.0}, {0.0, 0.0, 3.0, 3.0, 0.0, 0.0}, 0.5, 0.52},
      {{0.95, 2.0}, {1.0, 1.0}, 0.95, 1.0},
  };
  const std::vector<double> l = {0.0, 0.31, 0.5, 0.7, 1.0, 1.5, 3.0};
  for (const Case& c : cases) {
    for (const FluxMap f : INTEGRATED) {
      const Magnifications a = run(f, l, c.bl, c.bf, 0.76);
      for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_LT(relative_error(a[i], uniform_annulus(l[i], c.r1, c.r2, 0.76)), 1e-12)
            << "l = " << l[i] << ", table from " << c.bl.front();
      }
    }
  }
}

// A step in the profile (a repeated radius), or a kink, inside the source: tanh-sinh over the
// whole source was off by up to 0.4 %.
TEST(FluxMap, StepsInsideTheSourceAreIntegratedAccurately) {
  const double rho = 0.5;
  for (const double l : {0.2, 0.5, 0.7, 1.3}) {
    // Brightness 1 inside radius 0.5 and 2 outside: the disk of radius 1 at brightness 2 less
    // the disk of radius 0.5 at brightness 1.
    const double expected = (2 * disk_flux(l, 1.0, rho) - disk_flux(l, 0.5, rho)) / (2 - 0.25);
    for (const FluxMap f : INTEGRATED) {
      const double a = run(f, {l}, {0.0, 0.5, 0.5, 1.0}, {1.0, 1.0, 2.0, 2.0}, rho)[0];
      EXPECT_LT(relative_error(a, expected), 1e-12) << l;
    }
  }
}

}  // namespace
}  // namespace caustica
