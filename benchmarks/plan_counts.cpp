// Kernel evaluations per separation of the two limb-darkened routes, by region of l, read off
// the quadrature plan: a piece of n nodes costs n kernel calls, the disk route one more for the
// limb, a separation past the far-field start none. Counting the plan, not the calls, leaves the
// shipped kernels without a counter.
//
//   plan_counts   prints, per region and range of rho, the median and worst counts
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "magnification/integrated.hpp"
#include "magnification/quadrature_plan.hpp"

namespace {

using caustica::QuadraturePiece;
using caustica::Route;

int evaluations(double l, double rho, Route route) {
  const caustica::RadialProfile& profile = caustica::limb_darkening_profile;
  if (l >= profile.far_field_start()) return 0;
  int n = route == Route::Disks ? 1 : 0;
  caustica::for_each_piece(profile, caustica::lens_point(profile, l, rho, route),
                           [&](const QuadraturePiece& piece) { n += piece.n; });
  return n;
}

struct Region {
  const char* name;
  std::vector<double> l;
};

std::vector<Region> regions() {
  std::vector<double> inside = {0.0, 1e-12, 1e-8, 1e-6, 1e-4, 1e-3, 1e-2, 0.05, 0.89};
  std::vector<double> limb = {1.0};
  std::vector<double> outside = {1.1000001, 1.2, 1.5, 2.0, 3.0, 5.0, 7.5, 9.5, 9.999999, 10.0};
  std::vector<double> far = {10.000001, 15.0, 20.0, 50.0, 100.0, 300.0, 1e3, 3e3, 1e4, 1e5, 1e6};
  for (int i = 0; i <= 150; ++i) inside.push_back(0.1 + 0.75 * i / 150);
  for (int k = 2; k <= 14; ++k) {
    const double d = 1.0 / std::pow(10.0, k);
    limb.push_back(1 - d);
    limb.push_back(1 + d);
  }
  for (int i = 0; i <= 40; ++i) limb.push_back(0.9 + 0.2 * i / 40);
  return {{"inside, 0 <= l < 0.9", inside}, {"near the limb, 0.9 <= l <= 1.1", limb},
          {"outside, 1.1 < l <= 10", outside}, {"far, 10 < l <= 1e6", far}};
}

}  // namespace

int main() {
  const std::vector<std::vector<double>> rho_groups = {
      {1e-4, 1e-3, 1e-2, 0.1, 1.0}, {10.0}, {100.0}};
  const char* rho_names[] = {"1e-4 ... 1", "10", "100"};
  std::printf("| region | rho | rings: median | rings: worst | disks: median | disks: worst |\n");
  std::printf("|---|---|---|---|---|---|\n");
  for (const Region& region : regions()) {
    for (std::size_t g = 0; g < rho_groups.size(); ++g) {
      std::vector<int> rings, disks;
      for (double rho : rho_groups[g]) {
        for (double l : region.l) {
          rings.push_back(evaluations(l, rho, Route::Rings));
          disks.push_back(evaluations(l, rho, Route::Disks));
        }
      }
      const auto median = [](std::vector<int> v) {
        std::sort(v.begin(), v.end());
        const std::size_t h = v.size() / 2;
        return v.size() % 2 ? double(v[h]) : 0.5 * (v[h - 1] + v[h]);
      };
      std::printf("| %s | %s | %g | %d | %g | %d |\n", region.name, rho_names[g], median(rings),
                  *std::max_element(rings.begin(), rings.end()), median(disks),
                  *std::max_element(disks.begin(), disks.end()));
    }
  }
  return 0;
}
