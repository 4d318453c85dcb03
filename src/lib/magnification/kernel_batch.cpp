#include "magnification/kernel_batch.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

#include "magnification/heyrovsky_route.hpp"
#include "magnification/kernel_lanes.hpp"
#include "magnification/kernel_route.hpp"
#include "magnification/witt_mao_route.hpp"

namespace caustica {

namespace {

// Points are taken BLOCK at a time: those each form in lanes serves are gathered and handed to
// its lanes together, so that a rare branch in one point leaves its neighbours' lanes full;
// the others take their branch here, one at a time.
constexpr std::size_t BLOCK = 64;

// The forms that run in lanes, Form::closed_form and those after it, as groups from 0.
constexpr std::size_t FIRST_LANE_FORM = static_cast<std::size_t>(Form::closed_form);
constexpr std::size_t group_of(Form form) { return static_cast<std::size_t>(form) - FIRST_LANE_FORM; }
constexpr Form form_of(std::size_t group) { return static_cast<Form>(group + FIRST_LANE_FORM); }

// X(i) gives the inputs of point i as an array of doubles, route(inputs) its Route, and
// lanes(form, gathered, m, results) that form over m gathered points; the kernel has FORMS forms
// in lanes.
template <std::size_t N, std::size_t FORMS, class X, class R, class Lanes>
void by_blocks(std::size_t n, double* out, const X& inputs, const R& route, const Lanes& lanes) {
  for (std::size_t begin = 0; begin < n; begin += BLOCK) {
    const std::size_t end = std::min(n, begin + BLOCK);
    double gathered[FORMS][N][BLOCK];
    std::size_t index[FORMS][BLOCK];
    std::size_t m[FORMS] = {};
    for (std::size_t i = begin; i < end; ++i) {
      const std::array<double, N> in = inputs(i);
      const Route r = route(in);
      if (r.form == Form::value) {
        out[i] = r.value;
        continue;
      }
      const std::size_t f = group_of(r.form);
      for (std::size_t k = 0; k < N; ++k) gathered[f][k][m[f]] = in[k];
      index[f][m[f]++] = i;
    }
    for (std::size_t f = 0; f < FORMS; ++f) {
      if (m[f] == 0) continue;
      double results[BLOCK];
      lanes(form_of(f), gathered[f], m[f], results);
      for (std::size_t j = 0; j < m[f]; ++j) out[index[f][j]] = results[j];
    }
  }
}

template <class X>
void witt_mao_blocks(std::size_t n, double* out, const X& inputs) {
  const LaneKernels& paths = lane_kernels();
  by_blocks<3, 2>(
      n, out, inputs,
      [](const std::array<double, 3>& in) { return witt_mao_route(in[0], in[1], in[2]); },
      [&paths](Form form, const double (*g)[BLOCK], std::size_t m, double* results) {
        if (form == Form::far_field) {
          paths.witt_mao_far_field(g[0], g[1], results, m);
        } else {
          paths.witt_mao(g[0], g[1], g[2], results, m);
        }
      });
}

}  // namespace

void heyrovsky_kernels(double l, std::span<const double> r, double s, std::span<double> out) {
  const LaneKernels& paths = lane_kernels();
  by_blocks<1, 1>(
      r.size(), out.data(), [r](std::size_t i) { return std::array<double, 1>{r[i]}; },
      [l, s](const std::array<double, 1>& in) { return heyrovsky_route(l, in[0], s); },
      [&paths, l, s](Form, const double (*g)[BLOCK], std::size_t m, double* results) {
        paths.heyrovsky(l, g[0], s, results, m);
      });
}

void witt_mao_kernels(std::span<const double> x, std::span<const double> rho,
                      std::span<const double> c, std::span<double> out) {
  witt_mao_blocks(x.size(), out.data(), [x, rho, c](std::size_t i) {
    return std::array<double, 3>{x[i], rho[i], c[i]};
  });
}

void witt_mao_kernels(std::span<const double> x, double rho, double c, std::span<double> out) {
  witt_mao_blocks(x.size(), out.data(),
                  [x, rho, c](std::size_t i) { return std::array<double, 3>{x[i], rho, c}; });
}

}  // namespace caustica
