// Sums and products with their rounding errors, in plain double operations (no fused
// multiply-add): Knuth's two-sum and Dekker's product by Veltkamp's split (T. J. Dekker, "A
// floating-point technique for extending the available precision", Numer. Math. 18, 1971).
#pragma once

namespace caustica::numeric {

// hi + lo == a + b exactly, hi the rounded sum.
struct Exact {
  double hi, lo;
};

inline Exact two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// hi + lo == a * b exactly for |a|, |b| below 2^996 and a product clear of underflow.
inline Exact two_product(double a, double b) {
  constexpr double SPLIT = 134217729.0;  // 2^27 + 1
  const double p = a * b;
  const double ca = SPLIT * a, cb = SPLIT * b;
  const double ah = ca - (ca - a), bh = cb - (cb - b);
  const double al = a - ah, bl = b - bh;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

}  // namespace caustica::numeric
