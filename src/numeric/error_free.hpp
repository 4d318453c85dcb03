// Sums and products with their rounding errors, in plain double operations (no fused
// multiply-add): Knuth's two-sum and Dekker's product by Veltkamp's split (T. J. Dekker, "A
// floating-point technique for extending the available precision", Numer. Math. 18, 1971).
// Written over the number type V, a double or a vector of doubles (numeric/lanes.hpp): each
// lane takes the scalar operations. Always inlined, as everything the lanes' translation units
// compile: no copy built for a wider instruction set may reach the linker.
#pragma once

namespace caustica::numeric {

// hi + lo == a + b exactly, hi the rounded sum.
template <class V>
struct Exact {
  V hi, lo;
};

template <class V>
[[gnu::always_inline]] inline Exact<V> two_sum(V a, V b) {
  const V s = a + b;
  const V bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// hi + lo == a * b exactly for |a|, |b| below 2^996 and a product clear of underflow.
template <class V>
[[gnu::always_inline]] inline Exact<V> two_product(V a, V b) {
  constexpr double SPLIT = 134217729.0;  // 2^27 + 1
  const V p = a * b;
  const V ca = SPLIT * a, cb = SPLIT * b;
  const V ah = ca - (ca - a), bh = cb - (cb - b);
  const V al = a - ah, bl = b - bh;
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

}  // namespace caustica::numeric
