#include "magnification/kernel_batch.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>

#include "magnification/heyrovsky.hpp"
#include "magnification/kernel_lanes.hpp"
#include "magnification/witt_mao.hpp"

namespace caustica {

namespace {

// Points are taken BLOCK at a time: those the closed form serves are gathered and handed to
// the lanes together, so that a rare branch in one point leaves its neighbours' lanes full;
// the others take their branch here, one at a time.
constexpr std::size_t BLOCK = 64;

// X(i) gives the inputs of point i as an array of doubles, Rare(inputs) the kernel's value
// outside the closed form, Lanes(gathered, m, results) the closed form over m gathered points.
template <std::size_t N, class X, class Rare, class Lanes>
void by_blocks(std::size_t n, double* out, const X& inputs, const Rare& rare, const Lanes& lanes) {
  for (std::size_t begin = 0; begin < n; begin += BLOCK) {
    const std::size_t end = std::min(n, begin + BLOCK);
    double gathered[N][BLOCK];
    double results[BLOCK];
    std::size_t index[BLOCK];
    std::size_t m = 0;
    for (std::size_t i = begin; i < end; ++i) {
      const std::array<double, N> in = inputs(i);
      if (const std::optional<double> A = rare(in)) {
        out[i] = *A;
        continue;
      }
      for (std::size_t k = 0; k < N; ++k) gathered[k][m] = in[k];
      index[m++] = i;
    }
    if (m == 0) continue;
    lanes(gathered, m, results);
    for (std::size_t j = 0; j < m; ++j) out[index[j]] = results[j];
  }
}

template <class X>
void witt_mao_blocks(std::size_t n, double* out, const X& inputs) {
  const LaneKernels& paths = lane_kernels();
  by_blocks<3>(
      n, out, inputs,
      [](const std::array<double, 3>& in) { return witt_mao_outside_closed_form(in[0], in[1], in[2]); },
      [&paths](const double (*g)[BLOCK], std::size_t m, double* results) {
        paths.witt_mao(g[0], g[1], g[2], results, m);
      });
}

}  // namespace

void heyrovsky_kernels(double l, std::span<const double> r, double s, std::span<double> out) {
  const LaneKernels& paths = lane_kernels();
  by_blocks<1>(
      r.size(), out.data(), [r](std::size_t i) { return std::array<double, 1>{r[i]}; },
      [l, s](const std::array<double, 1>& in) { return heyrovsky_outside_closed_form(l, in[0], s); },
      [&paths, l, s](const double (*g)[BLOCK], std::size_t m, double* results) {
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
