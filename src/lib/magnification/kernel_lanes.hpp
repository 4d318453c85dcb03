// The kernels' closed forms, the far-field series of the uniform disk and of a profile, and the
// sine and cosine of a source's angle variable evaluated W points at a time, one table of entry
// points per instruction set: the scalar kernel (W = 1), the baseline (W = 2: SSE2 on x86-64,
// the compilers' portable vectors elsewhere), AVX2 (W = 4) and AVX-512 (W = 8).
// Every path gives each point the scalar kernel's bits. The path is chosen once per process, the
// widest the processor runs, unless CAUSTICA_SIMD (scalar, baseline, avx2 or avx512; read once)
// names another it runs.
#pragma once

#include <cstddef>
#include <span>

namespace caustica {

struct ProfileFarField;

struct LaneKernels {
  const char* name;
  int width;
  // out[i] = closed_form::witt_mao(x[i], rho[i], c[i]) for i < n: points the closed form serves.
  void (*witt_mao)(const double* x, const double* rho, const double* c, double* out, std::size_t n);
  // out[i] = far_field::far_from_source(x[i], x[i] * rho[i]) for i < n: points that
  // witt_mao_route sends to the far field (x[i] >= far_field_start(rho[i]), rho[i] > 0).
  void (*witt_mao_far_field)(const double* x, const double* rho, double* out, std::size_t n);
  // out[i] = far_from_profile(profile, x[i], rho[i]) for i < n: separations from the profile's
  // series start on (x[i] >= profile.start, rho[i] finite and positive).
  void (*profile_far_field)(const ProfileFarField& profile, const double* x, const double* rho,
                            double* out, std::size_t n);
  // out[i] = closed_form::heyrovsky(l, r[i], s) for i < n: rings the closed form serves.
  void (*heyrovsky)(double l, const double* r, double s, double* out, std::size_t n);
  // s[i], c[i] = numeric::sin_cos_quadrant(v[i]) for i < n, v[i] in [0, pi/2]: a rule's nodes
  // in the angle variable of a source.
  void (*sin_cos)(const double* v, double* s, double* c, std::size_t n);
};

// The path of this process.
const LaneKernels& lane_kernels();

// Every path this processor runs, the scalar one first, for tests and benchmarks.
std::span<const LaneKernels* const> runnable_lane_kernels();

namespace lane_paths {
extern const LaneKernels scalar;
extern const LaneKernels baseline;
#if defined(CAUSTICA_X86_LANES)
extern const LaneKernels avx2;
extern const LaneKernels avx512;
#endif
}  // namespace lane_paths

}  // namespace caustica
