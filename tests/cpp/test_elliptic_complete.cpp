// Exact outcomes of ellipk, ellipe and ellippi: special values by bit pattern, every error message
// verbatim, and the identities between the three.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <thread>
#include <vector>

#include "elliptic/complete.hpp"

namespace caustica::elliptic {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double BELOW_ONE = 0.9999999999999998;   // 1 - 2^-52
constexpr double NEXT_BELOW_ONE = 0.9999999999999999;  // 1 - 2^-53
constexpr double ABOVE_ONE = 1.0000000000000002;   // 1 + 2^-52

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

double ulps_apart(double a, double b) {
  return std::fabs(a - b) / (std::nextafter(std::fabs(b), INF) - std::fabs(b));
}

// What a call must give: exactly this double (NaN: any NaN), or exactly this message.
struct Outcome {
  double value;
  const char* message;
};
Outcome Value(double v) { return {v, nullptr}; }
Outcome Message(const char* m) { return {NaN, m}; }

struct Case {
  double n;  // unused by K and E
  double m;
  Outcome want;
};

void PrintTo(const Case& c, std::ostream* out) { *out << "(n = " << c.n << ", m = " << c.m << ")"; }

void ExpectOutcome(const EllipticResult& got, const Outcome& want) {
  if (want.message) {
    ASSERT_FALSE(got) << "gave the value " << *got;
    EXPECT_STREQ(got.error().message, want.message);
  } else if (std::isnan(want.value)) {
    ASSERT_TRUE(got) << "gave the error " << got.error().message;
    EXPECT_TRUE(std::isnan(*got)) << *got;
  } else {
    ASSERT_TRUE(got) << "gave the error " << got.error().message;
    EXPECT_EQ(bits(*got), bits(want.value)) << *got << " instead of " << want.value;
  }
}

class EllipkOutcome : public ::testing::TestWithParam<Case> {};
TEST_P(EllipkOutcome, IsExact) { ExpectOutcome(ellipk(GetParam().m), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(
    Elliptic, EllipkOutcome,
    ::testing::Values(Case{0, NaN, Message("ellipk: Arguments cannot be NAN.")},
                      Case{0, -INF, Value(0.0)},
                      Case{0, 1.0, Value(INF)},
                      Case{0, ABOVE_ONE, Message("ellipk: m must not be greater than 1.")},
                      Case{0, 1.5, Message("ellipk: m must not be greater than 1.")},
                      Case{0, 1e300, Message("ellipk: m must not be greater than 1.")},
                      Case{0, INF, Message("ellipk: m must not be greater than 1.")},
                      // 20 m leaves the range of the 64-bit interval index.
                      Case{0, -1e18, Message("ellipk: Unexpected error.")},
                      Case{0, -1.7976931348623157e308, Message("ellipk: Unexpected error.")}));

class EllipeOutcome : public ::testing::TestWithParam<Case> {};
TEST_P(EllipeOutcome, IsExact) { ExpectOutcome(ellipe(GetParam().m), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(
    Elliptic, EllipeOutcome,
    ::testing::Values(Case{0, NaN, Message("ellipe: Arguments cannot be NAN.")},
                      Case{0, 1.0, Value(1.0)},
                      Case{0, -INF, Value(INF)},
                      Case{0, ABOVE_ONE, Message("ellipe: m must not be greater than 1.")},
                      Case{0, 1.5, Message("ellipe: m must not be greater than 1.")},
                      Case{0, 1e300, Message("ellipe: m must not be greater than 1.")},
                      Case{0, INF, Message("ellipe: m must not be greater than 1.")}));

class EllippiOutcome : public ::testing::TestWithParam<Case> {};
TEST_P(EllippiOutcome, IsExact) { ExpectOutcome(ellippi(GetParam().n, GetParam().m), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(
    Elliptic, EllippiOutcome,
    ::testing::Values(
        Case{0.0, 0.0, Value(1.5707963267948966)},
        Case{3.0, 0.0, Value(-0.0)},
        Case{INFINITY, 0.5, Value(-0.0)},
        // The double just below 1 counts as the pole, whatever m is.
        Case{NEXT_BELOW_ONE, 0.3, Value(INF)},
        Case{NEXT_BELOW_ONE, NaN, Value(INF)},
        Case{NEXT_BELOW_ONE, 5.0, Value(INF)},
        Case{1.0, 0.5, Message("ellippi: n cannot be 1.")},
        Case{1.0, NaN, Message("ellippi: n cannot be 1.")},
        Case{1.0, 2.0, Message("ellippi: n cannot be 1.")},
        // Just above 1 the limit K - E / (1 - m) takes over, with the messages of K and E.
        Case{ABOVE_ONE, 2.0, Message("ellipk: m must not be greater than 1.")},
        Case{ABOVE_ONE, NaN, Message("ellipk: Arguments cannot be NAN.")},
        // The principal value checks nothing.
        Case{2.0, NaN, Value(NaN)},
        Case{2.0, 3.0, Value(NaN)},
        Case{NaN, 0.5, Message("ellippi: Arguments cannot be NAN.")},
        Case{NaN, NaN, Message("ellippi: Arguments cannot be NAN.")},
        Case{0.5, NaN, Message("ellippi: Arguments cannot be NAN.")},
        Case{0.0, NaN, Message("ellippi: Arguments cannot be NAN.")},
        Case{-2.0, NaN, Message("ellippi: Arguments cannot be NAN.")},
        // Divergent: m at 1 (or within 2^-52 of it) for n below 1.
        Case{0.5, 1.0, Value(INF)},
        Case{-2.0, 1.0, Value(INF)},
        Case{0.0, 1.0, Value(INF)},
        Case{-2.0, NEXT_BELOW_ONE, Value(INF)},
        Case{0.5, 1.5, Message("ellippi: m must not be greater than 1.")},
        Case{-2.0, 1.5, Message("ellippi: m must not be greater than 1.")},
        Case{0.0, 1.5, Message("ellippi: m must not be greater than 1.")},
        Case{0.5, INF, Message("ellippi: m must not be greater than 1.")},
        // Pi vanishes as n -> -inf.
        Case{-INF, 0.5, Value(0.0)},
        Case{-INF, -3.0, Value(0.0)}));

TEST(Ellippi, JustBelowOneForMNearOneIsFinite) {
  const EllipticResult r = ellippi(0.5, NEXT_BELOW_ONE);
  ASSERT_TRUE(r);
  EXPECT_TRUE(std::isfinite(*r));
  EXPECT_GT(*r, 0.0);
}

TEST(Ellippi, JustAboveOneIsTheLimitFromAbove) {
  // The principal value at n = 1 + 2^-52, m = 0.5 (mpmath, 30 digits); K - 2 E cancels, so each
  // half-ulp of K and E is worth more than two of the difference.
  const EllipticResult r = ellippi(ABOVE_ONE, 0.5);
  ASSERT_TRUE(r);
  EXPECT_LE(ulps_apart(*r, -0.847213084793978761258311348790), 4.0) << *r;
}

TEST(Ellippi, ZeroCharacteristicIsK) {
  for (double m : {0.3, -0.04, -2.0, 0.95, 1e-300, -1e17}) {
    SCOPED_TRACE(m);
    ASSERT_TRUE(ellippi(0.0, m));
    EXPECT_EQ(bits(*ellippi(0.0, m)), bits(*ellipk(m)));
  }
}

TEST(Ellippi, DiagonalIsEOverOneMinusM) {
  // Pi(m, m) = E(m) / (1 - m); for n < 0 the transformation would divide by m - n = 0.
  for (double n : {0.1, 0.5, 0.9, -0.5, -3.0, -1e-3}) {
    SCOPED_TRACE(n);
    const EllipticResult r = ellippi(n, n);
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_LE(ulps_apart(*r, *ellipe(n) / (1.0 - n)), 1.0);
  }
}

TEST(Ellipk, AtNinetyFivePercent) { EXPECT_LE(ulps_apart(*ellipk(0.95), 2.908337248444552), 1.0); }

TEST(Ellipe, AtNinetyFivePercent) { EXPECT_LE(ulps_apart(*ellipe(0.95), 1.0604737277662784), 1.0); }

TEST(Ellipe, NegativeParameterScalesBySqrtOfOneMinusM) {
  // m = -1 maps onto m / (m - 1) = 0.5 exactly.
  EXPECT_EQ(bits(*ellipe(-1.0)), bits(std::sqrt(2.0) * *ellipe(0.5)));
}

TEST(Ellipk, SmallestAndLargestIntervalIndicesAreValues) {
  // 20 m just inside the 64-bit range, and the last step before the singularity.
  for (double m : {-4.6e17, -1e17, NEXT_BELOW_ONE, BELOW_ONE}) {
    SCOPED_TRACE(m);
    const EllipticResult r = ellipk(m);
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_TRUE(std::isfinite(*r) && *r > 0.0);
  }
}

TEST(Elliptic, ConcurrentCallsGiveTheSerialResults) {
  std::vector<double> ms;
  for (int k = 0; k < 2000; ++k) ms.push_back(-3.0 + 4.0 * k / 2000.0);
  auto sweep = [&ms](std::vector<std::uint64_t>& out) {
    for (double m : ms) {
      out.push_back(bits(ellipk(m) ? *ellipk(m) : -1.0));
      out.push_back(bits(ellipe(m) ? *ellipe(m) : -1.0));
      const EllipticResult p = ellippi(0.7 * m - 0.2, m);
      out.push_back(bits(p ? *p : -1.0));
    }
  };
  std::vector<std::uint64_t> serial;
  sweep(serial);
  std::vector<std::vector<std::uint64_t>> parallel(4);
  std::vector<std::thread> threads;
  for (auto& out : parallel) threads.emplace_back(sweep, std::ref(out));
  for (auto& t : threads) t.join();
  for (const auto& out : parallel) EXPECT_EQ(out, serial);
}

}  // namespace
}  // namespace caustica::elliptic
