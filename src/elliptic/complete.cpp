// Complete elliptic integrals K(m), E(m) and Pi(n, m) in the parameter convention (DLMF 19.2.8).
// K and E: Taylor polynomials about fixed points on [0, 0.9), the AGM beyond (DLMF 19.8.1, 19.8.6);
// Pi: Carlson's RF and RJ (DLMF 19.25.2) with the classical transformations for n > 1 and n < 0.
#include "elliptic/complete.hpp"

#include <cmath>
#include <cstdint>
#include <limits>

#include "elliptic/agm.hpp"
#include "elliptic/carlson.hpp"

namespace caustica::elliptic {
namespace {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double EPS = 2.220446049250313e-16;             // 2^-52
constexpr double BELOW_ONE = 0.9999999999999998;          // 1 - 2^-52
constexpr double ABOVE_ONE = 1.0000000000000002;          // 1 + 2^-52
constexpr double TWO_POW_63 = 9223372036854775808.0;      // the interval index is a signed 64-bit integer
constexpr double DOUBLE_MAX = 1.7976931348623157e308;
constexpr double NEGLIGIBLE = -1.7976931348623156e306;    // -(largest double) / 100

constexpr int K_AGM_STEPS = 10;

// The interval index trunc(20 m) exists only for 20 m inside the signed 64-bit range.
bool has_interval_index(double t) { return t >= -TWO_POW_63 && t < TWO_POW_63; }

double value_or_nan(const EllipticResult& r) { return r ? *r : NaN; }

// K(m) = pi / (2 AGM(1, sqrt(1 - m))), m < 1. Ten steps reach the tolerance for every m down to
// the lowest with an interval index; should they not, the last pair is still close.
double k_agm(double m) {
  double a = 1.0, g = std::sqrt(1.0 - m);
  for (int step = 0; step < K_AGM_STEPS && !agm_converged(a, g); ++step) {
    const double a_next = (a + g) * 0.5;
    g = std::sqrt(a * g);
    a = a_next;
  }
  return PI / (a + g);
}

// E(m) = K(m) (1 - sum 2^(j-1) c_j^2) for 0 <= m < 1 (DLMF 19.8.6), with the first two terms of the
// sum folded into (a0 + g0)^2 / 4; this is 2 RG(0, 1 - m, 1).
double e_agm(double m) {
  const double a0 = 1.0, g0 = std::sqrt(1.0 - m);
  const auto [a, g, S] = weighted_agm(a0, g0);
  return ((a0 + g0) * (a0 + g0) * 0.25 - S) * PI / (a + g);
}

// Pi(n, m) for n > 1 - 2^-52, where 1 - n no longer carries n's distance from the pole.
EllipticResult pi_near_or_above_one(double n, double m) {
  if (n < 1.0) return INF;  // n = 1 - 2^-53: nearer the pole than 1 - n can tell
  if (n == 1.0) return EllipticError{"ellippi: n cannot be 1."};
  if (n <= ABOVE_ONE) {  // n = 1 + 2^-52: the limit n -> 1+ of K - Pi(m / n, m)
    const EllipticResult K = ellipk(m);
    if (!K) return K;
    const EllipticResult E = ellipe(m);
    if (!E) return E;
    return *K - *E / (1.0 - m);
  }
  // Principal value: Pi(n, m) = K(m) - Pi(m / n, m) (DLMF 19.6.5), which leaves only the RJ term.
  return ((m * -0.3333333333333333) / n) * elliprj(0.0, 1.0 - m, 1.0, 1.0 - m / n);
}

// Candidate for 0 < n < 1 (or a NaN n): Pi = RF + n RJ / 3 (DLMF 19.25.2).
double pi_positive(double n, double m) {
  if (m == n) return (1.0 / (1.0 - m)) * value_or_nan(ellipe(m));  // Pi(m, m) = E(m) / (1 - m)
  return elliprf(0.0, 1.0 - m, 1.0) + (n * elliprj(0.0, 1.0 - m, 1.0, 1.0 - n)) / 3.0;
}

// Candidate for n <= 0. A negative n is carried to N = (m - n) / (1 - n), where RF + n RJ / 3
// would cancel (DLMF 19.7.5).
double pi_nonpositive(double n, double m) {
  if (1.0 - m < EPS) return -INF;  // m at or past 1: settled by the checks on m
  if (n == 0.0 && m == 0.0) return HALF_PI;
  if (n == 0.0) return value_or_nan(ellipk(m));
  // On the diagonal the transformation divides by m - n = 0; Pi(m, m) = E(m) / (1 - m) holds there.
  if (m == n) return (1.0 / (1.0 - m)) * value_or_nan(ellipe(m));
  const double K = value_or_nan(ellipk(m));
  const double N = (m - n) / (1.0 - n);
  const double P =
      elliprf(0.0, 1.0 - m, 1.0) + (N * elliprj(0.0, 1.0 - m, 1.0, (1.0 - m) / (1.0 - n))) / 3.0;
  const double T = (((P * n) / (1.0 - n)) * (1.0 - m)) / (m - n);
  return (m * K) / (m - n) - T;
}

// A non-finite candidate: name the argument at fault, or give the value it stands for.
EllipticResult settle(double c, double n, double m) {
  if (std::fabs(c) <= DOUBLE_MAX) return c;
  if (std::isnan(n) || std::isnan(m)) return EllipticError{"ellippi: Arguments cannot be NAN."};
  if (m <= BELOW_ONE) {
    if (n < NEGLIGIBLE || m < NEGLIGIBLE) return 0.0;  // Pi tends to 0 as n or m -> -inf
    return EllipticError{"ellippi: Unexpected error."};
  }
  if (m > 1.0) return EllipticError{"ellippi: m must not be greater than 1."};
  return INF;  // m within 2^-52 of 1: the logarithmic singularity of K
}

}  // namespace

namespace detail {

// m outside [-0.05, 0.9): the AGM below 1, the singularity at 1, and the failures.
EllipticResult ellipk_rest(double m) {
  const double t = 20.0 * m;
  if (!has_interval_index(t)) {
    if (std::isnan(m)) return EllipticError{"ellipk: Arguments cannot be NAN."};
    if (m == -INF) return 0.0;  // K(m) ~ log(4 sqrt(-m)) / sqrt(-m) -> 0
    if (m > 1.0) return EllipticError{"ellipk: m must not be greater than 1."};
    return EllipticError{"ellipk: Unexpected error."};
  }
  if (m < 1.0) return k_agm(m);
  if (m == 1.0) return INF;  // logarithmic singularity
  return EllipticError{"ellipk: m must not be greater than 1."};
}

// m outside [0, 0.9): negative m carried into (0, 1), the AGM below 1, and the failures.
EllipticResult ellipe_rest(double m) {
  double s = 1.0;
  if (m < 0.0) {  // E(m) = sqrt(1 - m) E(m / (m - 1)) (DLMF 19.7.5) carries m into (0, 1)
    if (m == -INF) return INF;
    s = std::sqrt(1.0 - m);
    m = m / (m + -1.0);
  }
  const double t = 20.0 * m;
  if (!has_interval_index(t)) {
    if (std::isnan(m)) return EllipticError{"ellipe: Arguments cannot be NAN."};
    return EllipticError{"ellipe: m must not be greater than 1."};
  }
  double unscaled;
  if (t > -1.0 && t < 18.0) {
    unscaled = e_taylor(static_cast<std::int64_t>(t), m);
  } else if (m < 1.0) {
    unscaled = e_agm(m);
  } else if (m == 1.0) {
    unscaled = 1.0;
  } else {
    return EllipticError{"ellipe: m must not be greater than 1."};
  }
  return s * unscaled;
}

}  // namespace detail

EllipticResult ellippi(double n, double m) {
  if (n > BELOW_ONE) return pi_near_or_above_one(n, m);
  const double c = n > 0.0 || std::isnan(n) ? pi_positive(n, m) : pi_nonpositive(n, m);
  return settle(c, n, m);
}

}  // namespace caustica::elliptic
