// Every lane path this processor runs gives every point the scalar kernel's bits: on the
// reference grids and on fuzzed inputs, in every lane position, beside neighbours of other
// frames and branches, and through the batch entry points.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "magnification/far_field_series.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/heyrovsky_route.hpp"
#include "magnification/integrated.hpp"
#include "magnification/kernel_batch.hpp"
#include "magnification/kernel_lanes.hpp"
#include "magnification/profile.hpp"
#include "magnification/profile_far_field.hpp"
#include "magnification/witt_mao.hpp"
#include "magnification/witt_mao_route.hpp"
#include "numeric/sin_cos.hpp"
#include "parallel/parallel_map.hpp"
#include "parallel/pool.hpp"
#include "reference_table.hpp"

namespace caustica {
namespace {

std::uint64_t bits(double v) {
  std::uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

struct DiskPoint {
  double x, rho, c;
};

bool closed_form_serves(double x, double rho, double c) {
  return witt_mao_route(x, rho, c).form == Form::closed_form;
}

bool ring_closed_form_serves(double l, double r, double s) {
  return heyrovsky_route(l, r, s).form == Form::closed_form;
}

struct RingPoint {
  double l, r, s;
};

// Points the closed form serves, from the reference grids and a fuzz over its whole range:
// the centre, the limb band, inside and outside, tiny to huge sources (both frames).
std::vector<DiskPoint> disk_points() {
  std::vector<DiskPoint> points;
  for (const auto& row : testing::read_table("witt_mao_reference.txt")) {
    const double rho = row[0], x = row[1] / rho;
    if (closed_form_serves(x, rho, rho * rho)) points.push_back({x, rho, rho * rho});
  }
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  while (points.size() < 60000) {
    const double rho = std::pow(10.0, -6 + 9 * unit(random));
    double x = 0;
    switch (random() % 4) {
      case 0: x = 5 * unit(random); break;
      case 1: x = 1 + (random() % 2 ? 1 : -1) * std::pow(10.0, -16 * unit(random)); break;
      case 2: x = std::pow(10.0, -12 * unit(random)); break;
      default: x = 4 + unit(random); break;  // up to the far field's start
    }
    if (closed_form_serves(x, rho, rho * rho)) points.push_back({x, rho, rho * rho});
  }
  return points;
}

std::vector<RingPoint> ring_points() {
  std::vector<RingPoint> points;
  for (const auto& row : testing::read_table("ring_reference.txt")) {
    const RingPoint p{row[0], row[1], 1 / row[2]};
    if (ring_closed_form_serves(p.l, p.r, p.s)) points.push_back(p);
  }
  std::mt19937_64 random(12);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  while (points.size() < 60000) {
    const double s = std::pow(10.0, -2 + 6 * unit(random));
    const double l = random() % 2 ? 3 * unit(random) : std::pow(10.0, -8 + 16 * unit(random));
    double r = 0;
    switch (random() % 3) {
      case 0: r = unit(random); break;
      case 1: r = l + (random() % 2 ? 1 : -1) * l * std::pow(10.0, -15 * unit(random)); break;
      default: r = std::pow(10.0, -8 + 16 * unit(random)); break;
    }
    if (ring_closed_form_serves(l, r, s)) points.push_back({l, r, s});
  }
  return points;
}

// Checks a kernel in lanes against its one-point form at every point placed at every lane
// position: the whole set, then shifted by one point at a time. lanes(x, rho, c, out, n) runs the
// lanes; one(x, rho, c) is the one-point form.
template <class Lanes, class One>
void expect_the_scalar_bits_in_every_lane(const LaneKernels& path, const std::vector<double>& x_all,
                                          const std::vector<double>& rho_all,
                                          const std::vector<double>& c_all, const Lanes& lanes,
                                          const One& one) {
  for (std::size_t shift = 0; shift < static_cast<std::size_t>(path.width); ++shift) {
    const std::vector<double> x(x_all.begin() + shift, x_all.end());
    const std::vector<double> rho(rho_all.begin() + shift, rho_all.end());
    const std::vector<double> c(c_all.begin() + shift, c_all.end());
    std::vector<double> out(x.size());
    lanes(x.data(), rho.data(), c.data(), out.data(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      ASSERT_EQ(bits(out[i]), bits(one(x[i], rho[i], c[i])))
          << path.name << " x " << x[i] << " rho " << rho[i] << " lane " << i % path.width;
    }
  }
}

// The series' own K (terms) and J (powers of w) at a point, as far_from_source chooses them.
std::pair<int, int> series_size(double x, double rho) {
  const double u = x * rho, q = 1 / (x * x), w = 1 / (1 + 4 / (u * u));
  int K = 0, J = 1;
  while (K < far_field::TERMS && q > far_field::Q_FOR_TERMS[K]) ++K;
  while (J < 2 * far_field::TERMS && w > far_field::W_FOR_DEGREES[J - 1]) ++J;
  return {K, J};
}

// Points the far-field series serves: both starts of the far field (rho below and above 1),
// sources so small that the form for tiny u takes over, x out to where q underflows, and
// light curves in order, along which K and J change from one point to the next.
std::vector<DiskPoint> far_field_points() {
  std::vector<DiskPoint> points;
  const auto add = [&points](double x, double rho) {
    if (witt_mao_route(x, rho, rho * rho).form == Form::far_field) points.push_back({x, rho, rho * rho});
  };
  for (const double rho : {1e-6, 1e-3, 0.01, 0.1, 0.5, 0.999, 1.0, 3.0, 10.0, 1e3}) {
    for (int i = 0; i < 4000; ++i) {
      const double t = -1.5 + 3.0 * i / 3999, u0 = 0.5 * rho;
      add(std::sqrt(u0 * u0 + t * t) / rho, rho);
    }
  }
  std::mt19937_64 random(16);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double specials[] = {3.0, 5.0, std::nextafter(3.0, 4.0), 1e154, 1e200, 1e300, HUGE_VAL};
  while (points.size() < 60000) {
    const double rho = random() % 8 == 0 ? std::pow(10.0, -160 + 25 * unit(random))
                                         : std::pow(10.0, -6 + 9 * unit(random));
    const double x = random() % 8 == 0 ? specials[random() % 7]
                                       : far_field_start(rho) * std::pow(10.0, 6 * unit(random));
    add(x, rho);
  }
  return points;
}

class LanePath : public ::testing::TestWithParam<const LaneKernels*> {};

// Each point once at every lane position, as the disk's closed form is checked; the light
// curves put points of different K and J into one group of lanes, which the check requires.
TEST_P(LanePath, FarFieldGivesTheScalarBits) {
  const LaneKernels& path = *GetParam();
  const std::vector<DiskPoint> points = far_field_points();
  std::size_t mixed_terms = 0, mixed_degrees = 0;
  for (std::size_t i = 0; i + 8 <= points.size(); i += 8) {
    const auto first = series_size(points[i].x, points[i].rho);
    const auto last = series_size(points[i + 7].x, points[i + 7].rho);
    if (points[i].rho != points[i + 7].rho) continue;
    mixed_terms += first.first != last.first;
    mixed_degrees += first.second != last.second;
  }
  ASSERT_GT(mixed_terms, 20u);
  ASSERT_GT(mixed_degrees, 20u);
  std::vector<double> xs, rhos, cs;
  for (const DiskPoint& p : points) {
    xs.push_back(p.x);
    rhos.push_back(p.rho);
    cs.push_back(p.rho * p.rho);
  }
  expect_the_scalar_bits_in_every_lane(
      path, xs, rhos, cs,
      [&](const double* x, const double* rho, const double*, double* out, std::size_t n) {
        path.witt_mao_far_field(x, rho, out, n);
      },
      [](double x, double rho, double c) { return witt_mao_kernel(x, rho, c); });
}

// A limb-brightened table: its moments exceed the uniform disk's, so its series starts beyond
// 2 source radii, and the exact closing's end (twice the start) with it.
const RadialProfile& brightened_table() {
  static const std::array<double, 5> bl = {0.0, 0.5, 0.8, 0.95, 1.0};
  static const std::array<double, 5> bf = {0.2, 0.3, 0.6, 1.0, 1.4};
  static const RadialProfile profile = RadialProfile::table(bl, bf);
  return profile;
}

// The series' own K (terms) and J (powers of w) at a separation, as far_from_profile takes them.
std::pair<int, int> profile_series_size(const RadialProfile& profile, double x, double rho) {
  const double u = x * rho, q = 1 / (x * x), w = 1 / (1 + 4 / (u * u));
  return {thresholds_below(profile_far_field::Q_FOR_TERMS, profile_far_field::TERMS,
                           q * profile.far_field_reach2()),
          1 + thresholds_below(profile_far_field::W_FOR_DEGREES, 2 * profile_far_field::TERMS - 1, w)};
}

// Separations the profile's series serves: light curves in order, along which K and J change
// from one point to the next; fuzzed x in [start, 1e6] and rho in [1e-4, 100], a point at a
// time, so that one group of lanes mixes them, with now and then a source so tiny or so huge
// that u leaves the exact closing (u <= 1e-100, u >= 1e100, y overflowing), and the ends of the
// series and of its exact closing.
std::vector<std::pair<double, double>> profile_far_field_points(const RadialProfile& profile) {
  const double start = profile.far_field_start();
  std::vector<std::pair<double, double>> points;
  for (const double rho : {1e-4, 1e-3, 0.01, 0.1, 0.3}) {
    for (int i = 0; i < 2000; ++i) {
      const double t = -1.5 + 3.0 * i / 1999, u0 = 0.5 * rho;
      const double x = std::sqrt(u0 * u0 + t * t) / rho;
      if (x >= start) points.push_back({x, rho});
    }
  }
  std::mt19937_64 random(17);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double specials[] = {start, std::nextafter(2 * start, 0.0), 2 * start, 1e6};
  while (points.size() < 40000) {
    double rho = std::pow(10.0, -4 + 6 * unit(random));
    switch (random() % 16) {
      case 0: rho = std::pow(10.0, -106 + 10 * unit(random)); break;
      case 1: rho = std::pow(10.0, 94 + 70 * unit(random)); break;
      default: break;
    }
    const double x = random() % 16 == 0 ? specials[random() % 4]
                                         : start * std::pow(1e6 / start, unit(random));
    points.push_back({x, rho});
  }
  return points;
}

// Each point once at every lane position, for the built-in law and a table.
TEST_P(LanePath, ProfileFarFieldGivesTheScalarBits) {
  const LaneKernels& path = *GetParam();
  ASSERT_GT(brightened_table().far_field_start(), 2.0);
  for (const RadialProfile* profile : {&limb_darkening_profile, &brightened_table()}) {
    const std::vector<std::pair<double, double>> points = profile_far_field_points(*profile);
    std::size_t mixed_terms = 0, mixed_degrees = 0, tiny = 0, huge = 0, exact_and_not = 0;
    for (std::size_t i = 0; i + 8 <= points.size(); i += 8) {
      const auto first = profile_series_size(*profile, points[i].first, points[i].second);
      const auto last = profile_series_size(*profile, points[i + 7].first, points[i + 7].second);
      mixed_terms += first.first != last.first;
      mixed_degrees += first.second != last.second;
      bool near = false, far = false;
      for (std::size_t j = i; j < i + 8; ++j) {
        const double u = points[j].first * points[j].second;
        tiny += u <= 1e-100;
        huge += u >= 1e100;
        (points[j].first < 2 * profile->far_field_start() ? near : far) = true;
      }
      exact_and_not += near && far;
    }
    ASSERT_GT(mixed_terms, 100u);
    ASSERT_GT(mixed_degrees, 100u);
    ASSERT_GT(tiny, 100u);
    ASSERT_GT(huge, 100u);
    ASSERT_GT(exact_and_not, 100u);
    const ProfileFarField far_field = far_field_of(*profile);
    std::vector<double> xs, rhos;
    for (const auto& [x, rho] : points) {
      xs.push_back(x);
      rhos.push_back(rho);
    }
    expect_the_scalar_bits_in_every_lane(
        path, xs, rhos, std::vector<double>(xs.size()),
        [&](const double* x, const double* rho, const double*, double* out, std::size_t n) {
          path.profile_far_field(far_field, x, rho, out, n);
        },
        [&](double x, double rho, double) { return far_from_profile(*profile, x, rho); });
  }
}

TEST_P(LanePath, DiskGivesTheScalarBits) {
  const LaneKernels& path = *GetParam();
  const std::vector<DiskPoint> points = disk_points();
  std::vector<double> xs, rhos, cs;
  for (const DiskPoint& p : points) {
    xs.push_back(p.x);
    rhos.push_back(p.rho);
    cs.push_back(p.c);
  }
  expect_the_scalar_bits_in_every_lane(
      path, xs, rhos, cs,
      [&](const double* x, const double* rho, const double* c, double* out, std::size_t n) {
        path.witt_mao(x, rho, c, out, n);
      },
      [](double x, double rho, double c) { return witt_mao_kernel(x, rho, c); });
}

TEST_P(LanePath, RingGivesTheScalarBits) {
  const LaneKernels& path = *GetParam();
  const std::vector<RingPoint> points = ring_points();
  // One call per (l, s), as the drivers make it, over many r.
  std::mt19937_64 random(13);
  for (std::size_t i = 0; i < points.size(); i += 17) {
    const RingPoint& p = points[i];
    std::vector<double> r;
    for (std::size_t j = 0; j < 1 + random() % 19; ++j) {
      const double rj = points[(i + j * 7919) % points.size()].r;
      if (ring_closed_form_serves(p.l, rj, p.s)) r.push_back(rj);
    }
    r.push_back(p.r);
    std::vector<double> out(r.size());
    path.heyrovsky(p.l, r.data(), p.s, out.data(), r.size());
    for (std::size_t j = 0; j < r.size(); ++j) {
      ASSERT_EQ(bits(out[j]), bits(heyrovsky_kernel(p.l, r[j], p.s)))
          << path.name << " l " << p.l << " r " << r[j] << " s " << p.s;
    }
  }
}

// Nodes across the quadrant, crowded at 0, pi/4 (where each lane picks its own series) and
// pi/2, in every lane position.
TEST_P(LanePath, SinCosGivesTheScalarBits) {
  const LaneKernels& path = *GetParam();
  const double quarter = numeric::sin_cos::PIO4, half = numeric::sin_cos::PIO2_HI;
  std::mt19937_64 random(15);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> v = {0.0, quarter, std::nextafter(quarter, 0.0), std::nextafter(quarter, 1.0), half};
  for (int i = 0; i < 3000; ++i) {
    const double u = unit(random);
    const double d = std::pow(10.0, -16 * unit(random));
    v.push_back(i % 4 == 0 ? half * u : i % 4 == 1 ? d : i % 4 == 2 ? quarter + (u - 0.5) * d : half - d);
  }
  for (std::size_t shift = 0; shift < static_cast<std::size_t>(path.width); ++shift) {
    for (std::size_t begin = shift; begin < v.size(); begin += 29) {
      const std::size_t n = std::min<std::size_t>(29, v.size() - begin);
      std::vector<double> s(n), c(n);
      path.sin_cos(v.data() + begin, s.data(), c.data(), n);
      for (std::size_t i = 0; i < n; ++i) {
        const numeric::SinCos r = numeric::sin_cos_quadrant(v[begin + i]);
        ASSERT_EQ(bits(s[i]), bits(r.sin)) << path.name << " v " << v[begin + i];
        ASSERT_EQ(bits(c[i]), bits(r.cos)) << path.name << " v " << v[begin + i];
      }
    }
  }
}

std::string path_name(const ::testing::TestParamInfo<const LaneKernels*>& info) {
  return info.param->name;
}

INSTANTIATE_TEST_SUITE_P(Runnable, LanePath, ::testing::ValuesIn(runnable_lane_kernels().begin(),
                                                                  runnable_lane_kernels().end()),
                         path_name);

TEST(LanePaths, ScalarAndBaselineAlwaysRun) {
  const auto paths = runnable_lane_kernels();
  ASSERT_GE(paths.size(), 2u);
  EXPECT_STREQ(paths[0]->name, "scalar");
  EXPECT_STREQ(paths[1]->name, "baseline");
  std::string names;
  for (const LaneKernels* p : paths) names += std::string(" ") + p->name;
  std::printf("[  paths   ]%s; this process runs %s\n", names.c_str(), lane_kernels().name);
}

// The batch entry points with the rare branches (NaN, negative, on the limb, far field, point-like
// rings, the ring through the lens) mixed in among the closed form's points.
TEST(KernelBatch, MixedBranchesGiveTheScalarBits) {
  const double nan = std::nan(""), inf = HUGE_VAL;
  std::vector<double> x, rho, c;
  std::mt19937_64 random(14);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double specials[] = {nan, -1.0, 1.0, 5.0, 7.5, 1e300, inf, 0.0, -0.0};
  for (int i = 0; i < 5000; ++i) {
    const double r = std::pow(10.0, -5 + 7 * unit(random));
    x.push_back(random() % 5 == 0 ? specials[random() % 9] : 6 * unit(random));
    rho.push_back(r);
    c.push_back(r * r);
  }
  std::vector<double> out(x.size()), uniform(x.size());
  witt_mao_kernels(x, rho, c, out);
  witt_mao_kernels(x, 0.05, 0.05 * 0.05, uniform);
  for (std::size_t i = 0; i < x.size(); ++i) {
    ASSERT_EQ(bits(out[i]), bits(witt_mao_kernel(x[i], rho[i], c[i]))) << x[i] << " " << rho[i];
    ASSERT_EQ(bits(uniform[i]), bits(witt_mao_kernel(x[i], 0.05, 0.05 * 0.05))) << x[i];
  }
  const double l = 0.7, s = 3.0;
  const double ring_specials[] = {nan, -0.5, 0.7, 0.0, 1e-12, 1e12, inf};
  std::vector<double> radii;
  for (int i = 0; i < 5000; ++i) {
    radii.push_back(random() % 5 == 0 ? ring_specials[random() % 7] : 2 * unit(random));
  }
  std::vector<double> g(radii.size());
  heyrovsky_kernels(l, radii, s, g);
  for (std::size_t i = 0; i < radii.size(); ++i) {
    ASSERT_EQ(bits(g[i]), bits(heyrovsky_kernel(l, radii[i], s))) << radii[i];
  }
}

// Light curves in order through the batch: blocks that cross the far field's start, so that
// one block fills the closed form's lanes and the series' both, with K and J changing within
// them; both entry points (one rho, and a rho per point as the integrated functions call it).
TEST(KernelBatch, LightCurvesGiveTheScalarBits) {
  for (const double rho : {1e-3, 0.01, 0.1, 0.7, 1.0, 2.0, 10.0}) {
    std::vector<double> x, rhos, c;
    for (int i = 0; i < 3001; ++i) {
      const double t = -1.5 + 3.0 * i / 3000, u0 = 0.5 * rho;
      x.push_back(std::sqrt(u0 * u0 + t * t) / rho);
      rhos.push_back(rho);
      c.push_back(rho * rho);
    }
    std::vector<double> uniform(x.size()), per_point(x.size());
    witt_mao_kernels(x, rho, rho * rho, uniform);
    witt_mao_kernels(x, rhos, c, per_point);
    for (std::size_t i = 0; i < x.size(); ++i) {
      const std::uint64_t expected = bits(witt_mao_kernel(x[i], rho, rho * rho));
      ASSERT_EQ(bits(uniform[i]), expected) << rho << " " << x[i];
      ASSERT_EQ(bits(per_point[i]), expected) << rho << " " << x[i];
    }
  }
}

// The batch hands blocks of consecutive separations to the pool: every length, whole blocks or
// not, gives each separation the kernel's own bits.
TEST(KernelBatch, UniformDiskBatchIsTheKernelAtEveryLength) {
  std::mt19937_64 random(15);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (const std::size_t n : {0, 1, 7, 63, 64, 65, 130, 1000}) {
    std::vector<double> l(n);
    for (double& x : l) x = random() % 7 == 0 ? 1.0 : 8 * unit(random);
    const BatchResult A = witt_mao_magnification(l, 2.0, 0.3);
    ASSERT_TRUE(A.has_value());
    ASSERT_EQ((*A).size(), n);
    for (std::size_t i = 0; i < n; ++i) {
      ASSERT_EQ(bits((*A)[i]), bits(witt_mao_kernel(l[i], 0.3 / 2.0, (0.3 / 2.0) * (0.3 / 2.0)))) << n << " " << i;
    }
  }
}

// The integrated drivers gather the series' separations from among NaN, negative, infinite and
// nearer ones into blocks for its lanes: each separation gets the value it gets alone, whatever
// its neighbours and the pool's size, for the built-in law and a table, on both routes.
TEST(ProfileBatch, EverySeparationGetsItsOwnValueOnEveryPoolSize) {
  const double specials[] = {std::nan(""), -1.0, HUGE_VAL, 0.0, 1.0};
  std::mt19937_64 random(18);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const double re = 1.0, rstar = 0.3;
  for (const RadialProfile* profile : {&limb_darkening_profile, &brightened_table()}) {
    const double start = profile->far_field_start();
    std::vector<double> l;
    for (int i = 0; i < 300; ++i) {
      switch (random() % 8) {
        case 0: l.push_back(specials[random() % 5]); break;
        case 1: l.push_back(start * unit(random)); break;
        default: l.push_back(start * std::pow(100.0, unit(random))); break;
      }
    }
    for (const auto driver : {_integrated_heyrovsky_magnification, _integrated_witt_mao_magnification}) {
      std::vector<double> alone;
      for (const double l_i : l) alone.push_back((*driver({l_i}, *profile, re, rstar, profile->flux()))[0]);
      for (const std::size_t threads : {1, 3}) {
        parallel::Pool pool(threads);
        const int once[] = {0};
        std::vector<Magnifications> batch;
        pool.map(std::span<const int>(once),
                 [&](int) { return *driver(l, *profile, re, rstar, profile->flux()); }, batch);
        ASSERT_EQ(batch[0].size(), l.size());
        for (std::size_t i = 0; i < l.size(); ++i) {
          ASSERT_EQ(std::memcmp(&batch[0][i], &alone[i], sizeof(double)), 0)
              << threads << " threads, l " << l[i] << ": " << batch[0][i] << " alone " << alone[i];
        }
      }
    }
  }
}

}  // namespace
}  // namespace caustica
