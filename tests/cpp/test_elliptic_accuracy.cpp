// Accuracy of every routine against the mpmath reference, in units in the last place. The bounds
// are the measured worst cases, rounded up; the worst case of each group is printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"
#include "elliptic_reference.hpp"

namespace caustica::elliptic {
namespace {

using testing::ReferenceRow;

struct Group {
  const char* name;
  const char* routine;
  std::function<bool(const ReferenceRow&)> includes;
  std::function<double(const ReferenceRow&)> evaluate;  // NaN stands for an EllipticError
  double bound_ulp;
};

double value(const EllipticResult& r) { return r ? *r : std::nan(""); }

bool everywhere(const ReferenceRow&) { return true; }

void PrintTo(const Group& group, std::ostream* out) { *out << group.name; }

std::string PrintGroup(const ::testing::TestParamInfo<Group>& info) { return info.param.name; }

class Accuracy : public ::testing::TestWithParam<Group> {};

TEST_P(Accuracy, WorstErrorWithinBound) {
  const Group& group = GetParam();
  double worst = 0.0;
  std::string where = "nowhere";
  int checked = 0;
  for (const ReferenceRow& row : testing::reference_rows(group.routine)) {
    if (!group.includes(row)) continue;
    ++checked;
    const double computed = group.evaluate(row);
    ASSERT_TRUE(std::isfinite(computed)) << group.routine << testing::describe(row) << " = " << computed;
    const double error = std::fabs(testing::ulp_error(computed, row));
    if (error > worst) {
      worst = error;
      where = testing::describe(row);
    }
  }
  EXPECT_GT(checked, 0);
  std::printf("[  worst   ] %-24s %8.3f ulp at %s over %d points\n", group.name, worst, where.c_str(),
              checked);
  EXPECT_LE(worst, group.bound_ulp) << group.routine << where;
}

bool in_extrapolated_row(double m) { return m > -0.05 && m < 0.0; }

// RJ(x, y, y, p) by its closed form in RC: a pair y = z (or x = y, exchanged into it) and p
// more than 20 % away from the pair.
bool rj_closed_form(const ReferenceRow& r) {
  const double x = r.args[0], y = r.args[1], z = r.args[2], p = r.args[3];
  if (!(y == z || (x == y && x != z)) || !(p > 0.0)) return false;
  return std::max(y, p) / std::min(y, p) > 1.2;
}

double K(const ReferenceRow& r) { return value(ellipk(r.args[0])); }
double E(const ReferenceRow& r) { return value(ellipe(r.args[0])); }
double Pi(const ReferenceRow& r) { return value(ellippi(r.args[0], r.args[1])); }
double RF(const ReferenceRow& r) { return elliprf(r.args[0], r.args[1], r.args[2]); }
double RD(const ReferenceRow& r) { return elliprd(r.args[0], r.args[1], r.args[2]); }
double RJ(const ReferenceRow& r) { return elliprj(r.args[0], r.args[1], r.args[2], r.args[3]); }

INSTANTIATE_TEST_SUITE_P(
    Elliptic, Accuracy,
    ::testing::Values(
        Group{"ellipk", "ellipk",
              [](const ReferenceRow& r) { return r.args[0] >= -10.0 && !in_extrapolated_row(r.args[0]); },
              K, 3.0},
        // -0.05 < m < 0 evaluates the polynomial about 0.05 a full interval outside its own, where
        // the eleventh-degree truncation is no longer below an ulp.
        Group{"ellipk_extrapolated_row", "ellipk",
              [](const ReferenceRow& r) { return in_extrapolated_row(r.args[0]); }, K, 320.0},
        Group{"ellipk_below_minus_10", "ellipk", [](const ReferenceRow& r) { return r.args[0] < -10.0; },
              K, 3.0},
        // Near m = 1 the AGM sum cancels against (a0 + g0)^2 / 4 by up to a factor 5.
        Group{"ellipe", "ellipe", [](const ReferenceRow& r) { return r.args[0] >= 0.0; }, E, 4.0},
        // sqrt(1 - m) E(m / (m - 1)): two more rounded operations ahead of E.
        Group{"ellipe_negative", "ellipe",
              [](const ReferenceRow& r) { return r.args[0] >= -10.0 && r.args[0] < 0.0; }, E, 4.5},
        // m / (m - 1) lands within 1e-6 of 1, where the AGM sum cancels against (a0 + g0)^2 / 4.
        Group{"ellipe_below_minus_10", "ellipe", [](const ReferenceRow& r) { return r.args[0] < -10.0; },
              E, 10.0},
        Group{"ellippi_negative_n", "ellippi", [](const ReferenceRow& r) { return r.args[0] < 0.0; }, Pi,
              3.5},
        Group{"ellippi_n_in_0_1", "ellippi",
              [](const ReferenceRow& r) { return r.args[0] >= 0.0 && r.args[0] < 1.0; }, Pi, 3.0},
        Group{"ellippi_principal_value", "ellippi", [](const ReferenceRow& r) { return r.args[0] > 1.0; },
              Pi, 4.0},
        Group{"elliprf", "elliprf", everywhere, RF, 3.5},
        Group{"elliprd", "elliprd", everywhere, RD, 5.0},
        Group{"elliprj", "elliprj",
              [](const ReferenceRow& r) { return r.args[3] > 0.0 && !rj_closed_form(r); }, RJ, 4.5},
        // RC(x, y) - RC(x, p) cancels by up to a factor 6 just past the 20 % threshold.
        Group{"elliprj_closed_form", "elliprj", rj_closed_form, RJ, 12.0},
        Group{"elliprj_principal_value", "elliprj", [](const ReferenceRow& r) { return r.args[3] < 0.0; },
              RJ, 3.0}),
    PrintGroup);

}  // namespace
}  // namespace caustica::elliptic
