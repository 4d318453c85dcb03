// The few operations a kernel needs beyond + - * / and comparisons, for a plain double (the
// one-lane case) and for the compilers' vector types of W doubles. A kernel written over its
// number type V runs unchanged on either, and every lane takes exactly the scalar operations:
// + - * / and sqrt are correctly rounded in both, abs and select only move bits.
//
// Everything here is a template that is always inlined: the vector translation units compile
// these with other instruction sets, and no out-of-line copy of theirs may reach the linker to
// stand in for the baseline one.
#pragma once

#include <cmath>
#include <cstddef>
#include <type_traits>

#if defined(__SSE2__) || defined(__AVX__) || defined(__AVX512F__)
#include <immintrin.h>
#endif

namespace caustica::lanes {

typedef double d2 __attribute__((vector_size(16)));
typedef double d4 __attribute__((vector_size(32)));
typedef double d8 __attribute__((vector_size(64)));

template <int W> struct Lane;
template <> struct Lane<1> { using type = double; };
template <> struct Lane<2> { using type = d2; };
template <> struct Lane<4> { using type = d4; };
template <> struct Lane<8> { using type = d8; };
// W doubles side by side; Of<1> is double.
template <int W> using Of = typename Lane<W>::type;

template <class V> inline constexpr bool is_scalar = std::is_same_v<V, double>;
template <class V> inline constexpr std::size_t width = sizeof(V) / sizeof(double);

// The type of a comparison of two V: bool, or a vector of 64-bit all-ones or zero lanes.
template <class V> using Mask = decltype(V{} < V{});

template <class V> [[gnu::always_inline]] inline V sqrt(V v) {
  if constexpr (is_scalar<V>) {
    return std::sqrt(v);
#if defined(__AVX512F__)
  } else if constexpr (sizeof(V) == 64) {
    // The zero-masked form: GCC 12's plain one reads an undefined register (and warns so).
    return (V)_mm512_maskz_sqrt_pd((__mmask8)0xFF, (__m512d)v);
#endif
#if defined(__AVX__)
  } else if constexpr (sizeof(V) == 32) {
    return (V)_mm256_sqrt_pd((__m256d)v);
#endif
#if defined(__SSE2__)
  } else if constexpr (sizeof(V) == 16) {
    return (V)_mm_sqrt_pd((__m128d)v);
#endif
  } else {
    V r = v;
    for (std::size_t i = 0; i < width<V>; ++i) r[i] = std::sqrt(v[i]);
    return r;
  }
}

template <class V> [[gnu::always_inline]] inline V abs(V v) {
  if constexpr (is_scalar<V>) {
    return std::fabs(v);
  } else {
    return (V)((Mask<V>)v & 0x7fffffffffffffffLL);
  }
}

// a where m holds, b elsewhere.
template <class V> [[gnu::always_inline]] inline V select(Mask<V> m, V a, V b) {
  if constexpr (is_scalar<V>) {
    return m ? a : b;
  } else {
    return (V)(((Mask<V>)a & m) | ((Mask<V>)b & ~m));
  }
}

// Whether some (every) lane of a comparison's result holds. Each lane is all ones or all zeros,
// so its sign bit tells.
template <class M> [[gnu::always_inline]] inline bool any(M m) {
  if constexpr (std::is_same_v<M, bool>) {
    return m;
#if defined(__AVX512F__)
  } else if constexpr (sizeof(M) == 64) {
    return _mm512_test_epi64_mask((__m512i)m, (__m512i)m) != 0;
#endif
#if defined(__AVX__)
  } else if constexpr (sizeof(M) == 32) {
    return _mm256_movemask_pd((__m256d)m) != 0;
#endif
#if defined(__SSE2__)
  } else if constexpr (sizeof(M) == 16) {
    return _mm_movemask_pd((__m128d)m) != 0;
#endif
  } else {
    bool some = false;
    for (std::size_t i = 0; i < sizeof(M) / 8; ++i) some = some || m[i] != 0;
    return some;
  }
}

template <class M> [[gnu::always_inline]] inline bool all(M m) {
  if constexpr (std::is_same_v<M, bool>) {
    return m;
#if defined(__AVX512F__)
  } else if constexpr (sizeof(M) == 64) {
    return _mm512_test_epi64_mask((__m512i)m, (__m512i)m) == 0xFF;
#endif
#if defined(__AVX__)
  } else if constexpr (sizeof(M) == 32) {
    return _mm256_movemask_pd((__m256d)m) == 0xF;
#endif
#if defined(__SSE2__)
  } else if constexpr (sizeof(M) == 16) {
    return _mm_movemask_pd((__m128d)m) == 0x3;
#endif
  } else {
    bool every = true;
    for (std::size_t i = 0; i < sizeof(M) / 8; ++i) every = every && m[i] != 0;
    return every;
  }
}

// The largest lane of v, for choosing how far a loop runs; v holds no NaN.
template <class V> [[gnu::always_inline]] inline double max_lane(V v) {
  if constexpr (is_scalar<V>) {
    return v;
  } else {
    double m = v[0];
    for (std::size_t i = 1; i < width<V>; ++i) m = v[i] > m ? v[i] : m;
    return m;
  }
}

// The smallest lane of v; v holds no NaN.
template <class V> [[gnu::always_inline]] inline double min_lane(V v) {
  if constexpr (is_scalar<V>) {
    return v;
  } else {
    double m = v[0];
    for (std::size_t i = 1; i < width<V>; ++i) m = v[i] < m ? v[i] : m;
    return m;
  }
}

// V with every lane v.
template <class V> [[gnu::always_inline]] inline V broadcast(double v) {
  if constexpr (is_scalar<V>) {
    return v;
#if defined(__AVX512F__)
  } else if constexpr (sizeof(V) == 64) {
    return (V)_mm512_set1_pd(v);
#endif
#if defined(__AVX__)
  } else if constexpr (sizeof(V) == 32) {
    return (V)_mm256_set1_pd(v);
#endif
#if defined(__SSE2__)
  } else if constexpr (sizeof(V) == 16) {
    return (V)_mm_set1_pd(v);
#endif
  } else {
    V r = {};
    for (std::size_t i = 0; i < width<V>; ++i) r[i] = v;
    return r;
  }
}

// The first min(n, W) of p in the lanes, the rest filled up with p[0] (n >= 1): a batch's last
// group, whose extra lanes are computed and dropped.
template <class V> [[gnu::always_inline]] inline V load(const double* p, std::size_t n) {
  if constexpr (is_scalar<V>) {
    return p[0];
  } else {
    V v = {};
    for (std::size_t i = 0; i < width<V>; ++i) v[i] = p[i < n ? i : 0];
    return v;
  }
}

// The first min(n, W) lanes of v to p.
template <class V> [[gnu::always_inline]] inline void store(double* p, std::size_t n, V v) {
  if constexpr (is_scalar<V>) {
    p[0] = v;
  } else {
    for (std::size_t i = 0; i < width<V> && i < n; ++i) p[i] = v[i];
  }
}

}  // namespace caustica::lanes
