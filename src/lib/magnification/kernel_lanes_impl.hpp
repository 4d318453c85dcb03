// The lane entry points for one width W, included by each instruction set's translation unit.
// Everything here has internal linkage: a copy compiled for AVX-512 must never be the one the
// linker keeps for a processor without it.
#pragma once

#include <cstddef>

#include "magnification/heyrovsky_closed_form.hpp"
#include "magnification/kernel_lanes.hpp"
#include "magnification/profile_far_field.hpp"
#include "magnification/witt_mao_closed_form.hpp"
#include "magnification/witt_mao_far_field.hpp"
#include "numeric/lanes.hpp"
#include "numeric/sin_cos.hpp"

namespace caustica {
namespace {

template <int W>
void witt_mao_lanes(const double* x, const double* rho, const double* c, double* out,
                    std::size_t n) {
  using V = lanes::Of<W>;
  for (std::size_t i = 0; i < n; i += W) {
    const std::size_t k = n - i;
    const V A = closed_form::witt_mao(lanes::load<V>(x + i, k), lanes::load<V>(rho + i, k),
                                      lanes::load<V>(c + i, k));
    lanes::store(out + i, k, A);
  }
}

template <int W>
void witt_mao_far_field_lanes(const double* x, const double* rho, double* out, std::size_t n) {
  using V = lanes::Of<W>;
  for (std::size_t i = 0; i < n; i += W) {
    const std::size_t k = n - i;
    const V xv = lanes::load<V>(x + i, k);
    lanes::store(out + i, k, far_field::far_from_source(xv, xv * lanes::load<V>(rho + i, k)));
  }
}

template <int W>
void profile_far_field_lanes(const ProfileFarField& profile, const double* x, const double* rho,
                             double* out, std::size_t n) {
  using V = lanes::Of<W>;
  for (std::size_t i = 0; i < n; i += W) {
    const std::size_t k = n - i;
    lanes::store(out + i, k,
                 far_from_profile(profile, lanes::load<V>(x + i, k), lanes::load<V>(rho + i, k)));
  }
}

template <int W>
void heyrovsky_lanes(double l, const double* r, double s, double* out, std::size_t n) {
  using V = lanes::Of<W>;
  const V lv = lanes::broadcast<V>(l);
  for (std::size_t i = 0; i < n; i += W) {
    const std::size_t k = n - i;
    lanes::store(out + i, k, closed_form::heyrovsky(lv, lanes::load<V>(r + i, k), s));
  }
}

template <int W>
void sin_cos_lanes(const double* v, double* s, double* c, std::size_t n) {
  using V = lanes::Of<W>;
  for (std::size_t i = 0; i < n; i += W) {
    const std::size_t k = n - i;
    const numeric::SinCosOf<V> r = numeric::sin_cos_quadrant(lanes::load<V>(v + i, k));
    lanes::store(s + i, k, r.sin);
    lanes::store(c + i, k, r.cos);
  }
}

template <int W>
constexpr LaneKernels lane_kernels_of(const char* name) {
  return {name, W, witt_mao_lanes<W>, witt_mao_far_field_lanes<W>, profile_far_field_lanes<W>,
          heyrovsky_lanes<W>, sin_cos_lanes<W>};
}

}  // namespace
}  // namespace caustica
