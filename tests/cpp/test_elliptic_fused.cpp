// K, E and Pi in one pass from the complements, against mpmath (tests/data/cel_reference.txt, made
// by tools/gen_cel_reference.py), in units in the last place of the reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "elliptic/cel.hpp"

namespace caustica::elliptic {
namespace {

struct Row {
  double kc, pc;
  long double K, E, Pi;
};

std::vector<Row> rows() {
  std::vector<Row> out;
  std::ifstream in(std::string(CAUSTICA_TEST_DATA) + "/cel_reference.txt");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string kc, pc, K, E, Pi;
    fields >> kc >> pc >> K >> E >> Pi;
    out.push_back({std::stod(kc), std::stod(pc), std::stold(K), std::stold(E), std::stold(Pi)});
  }
  return out;
}

double ulps(double computed, long double reference) {
  const double nearest = static_cast<double>(reference);
  const double ulp = std::nextafter(nearest, HUGE_VAL) - nearest;
  return static_cast<double>(std::fabs(static_cast<long double>(computed) - reference) / ulp);
}

// Measured worst: K 3.0, E 3.2, Pi 5.9 ulp.
TEST(FusedIntegrals, WithinEightUlpOverTheKernelsRange) {
  const std::vector<Row> table = rows();
  ASSERT_GT(table.size(), 100u);
  double worst[3] = {0, 0, 0};
  for (const Row& r : table) {
    const KEPi disk = kepi(r.kc, r.pc);
    const KPi ring = kpi(r.kc, r.pc);
    const double e[] = {ulps(disk.K, r.K), ulps(disk.E, r.E), ulps(disk.Pi, r.Pi)};
    for (int i = 0; i < 3; ++i) {
      EXPECT_LE(e[i], 8.0) << "KEPi"[i] << " kc " << r.kc << " pc " << r.pc;
      worst[i] = std::max(worst[i], e[i]);
    }
    EXPECT_LE(ulps(ring.K, r.K), 8.0) << "kc " << r.kc << " pc " << r.pc;
    EXPECT_LE(ulps(ring.Pi, r.Pi), 8.0) << "kc " << r.kc << " pc " << r.pc;
  }
  std::printf("[  worst   ] K %.2f, E %.2f, Pi %.2f ulp\n", worst[0], worst[1], worst[2]);
}

// A NaN or zero complement is outside the kernels' range; the loop still ends, and a NaN shows.
TEST(FusedIntegrals, EndForNaNAndZeroComplements) {
  const double nan = std::nan("");
  EXPECT_TRUE(std::isnan(kepi(nan, 0.5).K));
  EXPECT_TRUE(std::isnan(kpi(0.5, nan).Pi));
  EXPECT_GT(kepi(0.0, 0.5).K, 0.0);
}

}  // namespace
}  // namespace caustica::elliptic
