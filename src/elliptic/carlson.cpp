// Carlson's symmetric elliptic integrals by the duplication theorem and a truncated Taylor series:
// B. C. Carlson, "Numerical computation of real or complex elliptic integrals",
// Numerical Algorithms 10 (1995) 13-26; DLMF 19.16, 19.20 and 19.36.
#include "elliptic/carlson.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "elliptic/agm.hpp"

namespace caustica::elliptic {
namespace {

constexpr double PI = 3.141592653589793;
constexpr double HALF_PI = 1.5707963267948966;
constexpr double THREE_PI = 9.42477796076938;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Tolerance factors: once the spread of the arguments, times these, falls below their mean, the
// neglected terms of the series are below double precision.
constexpr double Q_F = 78.8959690786408;     // (3 eps)^(-1/8)
constexpr double Q_D = 107.63474115247546;   // (eps / 4)^(-1/8)
constexpr double Q_J = 110.67925377307274;   // (eps / 5)^(-1/8)

constexpr int RF_STEPS = 11;
constexpr int RF_AGM_STEPS = 11;
constexpr int RD_STEPS = 50;
constexpr int RJ_STEPS = 100;

// RC(x, y) = RF(x, y, y), in closed form (DLMF 19.2.17 to 19.2.20).
double RC(double x, double y) {
  double prefix = 1.0;
  if (y < 0.0) {  // Cauchy principal value, moved to a positive second argument
    prefix = std::sqrt(x / (x - y));
    x = x - y;
    y = -y;
  }
  if (x == 0.0) return prefix * HALF_PI / std::sqrt(y);
  if (x == y) return prefix / std::sqrt(x);
  if (y > x) return prefix * std::atan(std::sqrt((y - x) / x)) / std::sqrt(y - x);
  if (y / x > 0.5) {  // artanh through log1p, where the log form would cancel
    const double a = std::sqrt((x - y) / x);
    return prefix * (std::log1p(a) - std::log1p(-a)) / (2.0 * std::sqrt(x - y));
  }
  return prefix * std::log((std::sqrt(x) + std::sqrt(x - y)) / std::sqrt(y)) / std::sqrt(x - y);
}

// RC(1, 1 + e) straight from e, so that 1 + e is never rounded.
double RC1p(double e) {
  if (e > 0.0) return std::atan(std::sqrt(e)) / std::sqrt(e);
  if (e == 0.0) return 1.0;
  if (e > -0.5) return (std::log1p(std::sqrt(-e)) - std::log1p(-std::sqrt(-e))) / (2.0 * std::sqrt(-e));
  if (e >= -1.0) return std::log((1.0 + std::sqrt(-e)) / std::sqrt(1.0 + e)) / std::sqrt(-e);
  return std::sqrt(-1.0 / e) * RC(-e, -1.0 - e);
}

// The series of RD and RJ after duplication (Carlson 1995, eq. 2.7), through degree 7.
[[gnu::always_inline]] inline double G(double E2, double E3, double E4, double E5) {
  return 1.0 - 3.0 * E2 / 14.0 + E3 / 6.0 + 9.0 * E2 * E2 / 88.0 - 3.0 * E4 / 22.0 -
         9.0 * E2 * E3 / 52.0 + 3.0 * E5 / 26.0 - E2 * E2 * E2 / 16.0 + 3.0 * E3 * E3 / 40.0 +
         3.0 * E2 * E4 / 20.0 + 45.0 * E2 * E2 * E3 / 272.0 - 9.0 * (E3 * E4 + E2 * E5) / 68.0;
}

// RF(x, y, 0) = pi / (2 AGM(sqrt x, sqrt y)); bounded, the last pair stands if it runs out.
double rf_agm(double x, double y) {
  double a = std::sqrt(x);
  double g = std::sqrt(y);
  for (int step = 0; step < RF_AGM_STEPS && !agm_converged(a, g); ++step) {
    const double a_next = (a + g) * 0.5;
    g = std::sqrt(a * g);
    a = a_next;
  }
  return PI / (a + g);
}

// RF(x, y, z) for three distinct, non-zero arguments.
double rf_duplication(double x, double y, double z) {
  const double x0 = x, y0 = y;
  const double A0 = (x + y + z) / 3.0;
  double Q = Q_F * std::max({std::fabs(A0), std::fabs(A0 - x), std::fabs(A0 - y), std::fabs(A0 - z)});
  double A = A0, f = 1.0;
  bool converged = false;
  for (int step = 0; step < RF_STEPS && !converged; ++step) {
    const double lambda = std::sqrt(x) * std::sqrt(y) + std::sqrt(x) * std::sqrt(z) +
                          std::sqrt(y) * std::sqrt(z);
    A = (A + lambda) * 0.25;
    x = (x + lambda) * 0.25;
    y = (y + lambda) * 0.25;
    z = (z + lambda) * 0.25;
    Q = Q * 0.25;
    f = 4.0 * f;
    converged = Q < std::fabs(A);
  }
  if (!converged) return NaN;
  const double X = (A0 - x0) / (A * f);
  const double Y = (A0 - y0) / (A * f);
  const double Z = -X - Y;
  const double E2 = X * Y - Z * Z;
  const double E3 = X * Y * Z;
  return (1.0 + E3 * (0.07142857142857142 + 3.0 * E3 / 104.0) +
          E2 * (-0.1 + E2 / 24.0 - 3.0 * E3 / 44.0 - 5.0 * E2 * E2 / 208.0 + E2 * E3 / 16.0)) /
         std::sqrt(A);
}

// RD(0, y, z) by the AGM of sqrt y and sqrt z with a weighted sum of squared gaps (the
// companion of E's AGM); y > 0 keeps the loop finite.
double rd_agm(double y, double z) {
  const double a0 = std::sqrt(y), g0 = std::sqrt(z);
  const auto [a, g, S] = weighted_agm(a0, g0);
  const double R = PI / (a + g);
  return 3.0 * R * ((a0 + 3.0 * g0) / (4.0 * z * (a0 + g0)) - S / (z * (y - z)));
}

double rd_duplication(double x, double y, double z) {
  const double x0 = x, y0 = y;
  const double A0 = (x + y + 3.0 * z) / 5.0;
  double Q = 1.2 * Q_D * std::max({A0 - x, A0 - y, A0 - z});
  double A = A0, f = 1.0, S = 0.0;
  bool converged = false;
  for (int step = 0; step < RD_STEPS && !converged; ++step) {
    Q = Q * 0.25;
    const double lambda = std::sqrt(x) * std::sqrt(y) + std::sqrt(x) * std::sqrt(z) +
                          std::sqrt(y) * std::sqrt(z);
    S = S + f / (std::sqrt(z) * (z + lambda));
    f = f * 0.25;
    A = (A + lambda) * 0.25;
    converged = Q < A;
    if (!converged) {
      x = (x + lambda) * 0.25;
      y = (y + lambda) * 0.25;
      z = (z + lambda) * 0.25;
    }
  }
  if (!converged) return NaN;
  const double X = f * (A0 - x0) / A;
  const double Y = f * (A0 - y0) / A;
  const double Z = (X + Y) / -3.0;
  const double XY = X * Y, Z2 = Z * Z;
  const double E2 = XY - 6.0 * Z2;
  const double E3 = (3.0 * XY - 8.0 * Z2) * Z;
  const double E4 = 3.0 * (XY - Z2) * Z2;
  const double E5 = XY * (Z2 * Z);
  return 3.0 * S + f * std::pow(A, -1.5) * G(E2, E3, E4, E5);
}

// RJ(x, y, z, p) for p > 0 once the closed forms are ruled out.
double rj_duplication(double x, double y, double z, double p) {
  const double x0 = x, y0 = y, z0 = z;
  const double A0 = (x + y + z + 2.0 * p) / 5.0;
  double delta = (p - x) * (p - y) * (p - z);
  const double Q =
      Q_J * std::max({std::fabs(A0 - x), std::fabs(A0 - y), std::fabs(A0 - z), std::fabs(A0 - p)});
  double A = A0, f = 1.0, S = 0.0;
  bool converged = false;
  for (int step = 0; step < RJ_STEPS && !converged; ++step) {
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z), sp = std::sqrt(p);
    const double D = (sp + sx) * (sp + sy) * (sp + sz);
    const double e = delta / (D * D);
    double t;
    if (-1.5 < e && e < -0.5) {  // 1 + e cancels: form it as b without subtracting
      const double b = 2.0 * sp * (p + sx * (sy + sz) + sy * sz) / D;
      t = RC(1.0, b);
    } else {
      t = RC1p(e);
    }
    S = S + (f / D) * t;
    const double lambda = sy * sz + sx * sz + sx * sy;
    A = (A + lambda) * 0.25;
    f = f * 0.25;
    converged = f * Q < A;
    if (!converged) {
      x = (x + lambda) * 0.25;
      y = (y + lambda) * 0.25;
      z = (z + lambda) * 0.25;
      p = (p + lambda) * 0.25;
      delta = delta * 0.015625;
    }
  }
  if (!converged) return NaN;
  const double X = f * (A0 - x0) / A;
  const double Y = f * (A0 - y0) / A;
  const double Z = f * (A0 - z0) / A;
  const double P = (-X - Y - Z) * 0.5;
  const double XYZ = X * Y * Z, P2 = P * P, P3 = P2 * P;
  const double E2 = X * Y + X * Z + Y * Z - 3.0 * P2;
  const double E3 = XYZ + 2.0 * E2 * P + 4.0 * P3;
  const double E4 = (2.0 * XYZ + E2 * P + 3.0 * P3) * P;
  const double E5 = XYZ * P2;
  return 6.0 * S + f * std::pow(A, -1.5) * G(E2, E3, E4, E5);
}

// Cauchy principal value for p <= 0, from RJ at a positive p' (Carlson 1995, eq. 2.22).
double rj_principal_value(double x, double y, double z, double p) {
  if (x > y) std::swap(x, y);
  if (y > z) std::swap(y, z);
  if (x > y) std::swap(x, y);
  const double q = -p;
  const double pp = (z * ((x + y) - p) - x * y) / (z - p);
  // p' > 0 inside the domain; outside it (two zero or a negative argument) the recursion could
  // come back here for ever.
  if (pp <= 0.0) return NaN;
  return ((pp - z) * elliprj(x, y, z, pp) - 3.0 * elliprf(x, y, z) +
          3.0 * std::sqrt(x * y * z / (x * y + pp * q)) * RC(x * y + pp * q, pp * q)) /
         (z - p);
}

}  // namespace

// RF(x, y, z) = 1/2 integral over [0, inf) of dt / sqrt((t + x)(t + y)(t + z)).
double elliprf(double x, double y, double z) {
  if (x == y) {
    if (x == z) return 1.0 / std::sqrt(x);             // RF(x, x, x)
    if (z == 0.0) return PI / (2.0 * std::sqrt(x));  // RF(x, x, 0) = pi / (2 sqrt x)
    return RC(z, x);                                  // RF(z, x, x)
  }
  if (x == z) {
    if (y == 0.0) return PI / (2.0 * std::sqrt(x));
    return RC(y, x);
  }
  if (y == z) {
    if (x == 0.0) return PI / (2.0 * std::sqrt(y));
    return RC(x, y);
  }
  // Bring a zero argument, if any, to z: one zero argument is a plain AGM.
  if (x == 0.0) {
    std::swap(x, z);
  } else if (y == 0.0) {
    std::swap(y, z);
  }
  if (z == 0.0) return rf_agm(x, y);
  return rf_duplication(x, y, z);
}

// RD(x, y, z) = 3/2 integral over [0, inf) of dt / ((t + z) sqrt((t + x)(t + y)(t + z))).
double elliprd(double x, double y, double z) {
  if (x == z) std::swap(x, y);  // symmetric in x and y: bring the pair to y = z
  if (y == z) {
    if (x == y) return 1.0 / (x * std::sqrt(x));                    // RD(x, x, x) = x^(-3/2)
    if (x == 0.0) return THREE_PI / (4.0 * y * std::sqrt(y));       // RD(0, y, y)
  }
  if (x == 0.0) {
    if (y == 0.0) return INF;  // RD(0, 0, z) diverges, and the AGM of 0 and sqrt z never meets
    return rd_agm(y, z);
  }
  return rd_duplication(x, y, z);
}

// RJ(x, y, z, p) = 3/2 integral over [0, inf) of dt / ((t + p) sqrt((t + x)(t + y)(t + z))).
double elliprj(double x, double y, double z, double p) {
  if (!(p > 0.0) && !std::isnan(p)) return rj_principal_value(x, y, z, p);
  if (x == y && x == z) {
    if (x == p) return 1.0 / (x * std::sqrt(x));                 // RJ(x, x, x, x) = x^(-3/2)
    return (3.0 / (x - p)) * (RC(x, p) - 1.0 / std::sqrt(x));  // RJ(x, x, x, p)
  }
  if (x == y) std::swap(x, z);  // symmetric in x, y, z: bring the pair to y = z
  if (y == z) {
    if (y == p) return elliprd(x, y, y);
    // RJ(x, y, y, p) in RC, unless y and p are so close that the difference cancels.
    if (std::max(y, p) / std::min(y, p) > 1.2) return 3.0 * (RC(x, y) - RC(x, p)) / (p - y);
  }
  if (z == p) return elliprd(x, y, z);  // RJ(x, y, z, z) = RD(x, y, z)
  return rj_duplication(x, y, z, p);
}

}  // namespace caustica::elliptic
