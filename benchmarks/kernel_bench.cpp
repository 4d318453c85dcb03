// The kernels alone, without Python: time per element, and a fixed workload for instruction
// counts under callgrind.
//
//   kernel_bench time [POINTS]        median ns per element of the uniform-disk kernel (serial),
//                                      its batch driver on the pool (size from RAYON_NUM_THREADS),
//                                      and the ring kernel; one line per case, as JSON
//   kernel_bench paths [POINTS]       ns per kernel call of the closed forms on each lane path the
//                                      processor runs (scalar, baseline, avx2, avx512), disk and
//                                      ring, with the speed-up over the scalar path; a table
//   kernel_bench count disk|ring N     N kernel calls on the light-curve inputs, nothing else
//
// The inputs are those of a light curve: a straight trajectory through the source with impact
// parameter 0.3 source radii, separations l from 0.3 to 5, for rho in {1e-3, 1e-2, 0.1, 1}. The
// ring kernel is called as the integrated functions call it: ring radii r spread over (0, 1).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "magnification/heyrovsky.hpp"
#include "magnification/kernel_lanes.hpp"
#include "magnification/witt_mao.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double RHOS[] = {1e-3, 1e-2, 0.1, 1.0};
constexpr double IMPACT = 0.3;
constexpr double FAR = 5.0;

// Separations along the trajectory, evenly spaced in time.
std::vector<double> light_curve(std::size_t points) {
  std::vector<double> l(points);
  const double half = std::sqrt(FAR * FAR - IMPACT * IMPACT);
  for (std::size_t i = 0; i < points; ++i) {
    const double t = points == 1 ? 0.0 : -half + (2 * half) * static_cast<double>(i) / static_cast<double>(points - 1);
    l[i] = std::sqrt(IMPACT * IMPACT + t * t);
  }
  return l;
}

// Ring radii in (0, 1), spread evenly by the golden-ratio sequence.
double ring_radius(std::size_t i) {
  const double phi = 0.6180339887498949;
  const double f = static_cast<double>(i) * phi;
  return f - std::floor(f) + 1e-9;
}

// Keeps the optimiser from dropping a result.
volatile double sink;

template <class Run>
double median_ns_per_element(int repeats, std::size_t elements, Run run) {
  std::vector<double> times;
  for (int r = 0; r < repeats; ++r) {
    const auto start = Clock::now();
    run();
    times.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
                    static_cast<double>(elements));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void report(const char* name, double rho, double ns) {
  std::printf("{\"case\": \"%s\", \"rho\": %g, \"ns_per_element\": %.2f}\n", name, rho, ns);
}

int time_cases(std::size_t points) {
  const std::vector<double> l = light_curve(points);
  for (const double rho : RHOS) {
    const double c = rho * rho;
    report("witt_mao_kernel", rho, median_ns_per_element(7, points, [&] {
             double sum = 0;
             for (const double x : l) sum += caustica::witt_mao_kernel(x, rho, c);
             sink = sum;
           }));
    report("witt_mao_magnification", rho, median_ns_per_element(7, points, [&] {
             const caustica::BatchResult result = caustica::witt_mao_magnification(l, 1.0, rho);
             sink = (*result)[0];
           }));
    const std::size_t rings = points / 10;
    report("heyrovsky_magnification", rho, median_ns_per_element(7, rings, [&] {
             double sum = 0;
             for (std::size_t i = 0; i < rings; ++i) {
               const caustica::EllipticResult g = caustica::heyrovsky_magnification(l[i * 10 % points], ring_radius(i), 1.0, rho);
               sum += g ? *g : 0.0;
             }
             sink = sum;
           }));
  }
  return 0;
}

// The closed forms alone on every path: the disk over the light curve's separations, the ring
// over ring radii at each separation (as a limb-darkened driver hands a piece's nodes over).
int time_paths(std::size_t points) {
  const std::vector<double> l = light_curve(points);
  std::vector<double> out(points), rho_v(points), c_v(points), r(points);
  for (std::size_t i = 0; i < points; ++i) r[i] = ring_radius(i);
  std::printf("| rho | path | W | disk ns/call | disk speed-up | ring ns/call | ring speed-up |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const double rho : RHOS) {
    std::fill(rho_v.begin(), rho_v.end(), rho);
    std::fill(c_v.begin(), c_v.end(), rho * rho);
    double disk_scalar = 0, ring_scalar = 0;
    for (const caustica::LaneKernels* path : caustica::runnable_lane_kernels()) {
      const double disk = median_ns_per_element(9, points, [&] {
        path->witt_mao(l.data(), rho_v.data(), c_v.data(), out.data(), points);
        sink = out[points / 2];
      });
      // 16 rings per separation, a piece's worth.
      const double ring = median_ns_per_element(9, points, [&] {
        for (std::size_t i = 0; i < points; i += 16) {
          path->heyrovsky(l[i], r.data() + i, 1 / rho, out.data() + i, std::min<std::size_t>(16, points - i));
        }
        sink = out[points / 2];
      });
      if (path->width == 1) disk_scalar = disk, ring_scalar = ring;
      std::printf("| %g | %s | %d | %.1f | %.2f | %.1f | %.2f |\n", rho, path->name, path->width, disk,
                  disk_scalar / disk, ring, ring_scalar / ring);
    }
  }
  return 0;
}

// Cycles through the light curves of all four source sizes.
int count_case(const std::string& kernel, std::size_t calls) {
  const std::size_t points = 1000;
  const std::vector<double> l = light_curve(points);
  double sum = 0;
  if (kernel == "disk") {
    for (std::size_t i = 0; i < calls; ++i) {
      const double rho = RHOS[(i / points) % 4];
      sum += caustica::witt_mao_kernel(l[i % points], rho, rho * rho);
    }
  } else if (kernel == "ring") {
    for (std::size_t i = 0; i < calls; ++i) {
      const double rho = RHOS[(i / points) % 4];
      const caustica::EllipticResult g = caustica::heyrovsky_magnification(l[i % points], ring_radius(i), 1.0, rho);
      sum += g ? *g : 0.0;
    }
  } else {
    std::fprintf(stderr, "unknown kernel %s\n", kernel.c_str());
    return 2;
  }
  sink = sum;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "time") == 0) {
    return time_cases(argc >= 3 ? std::strtoul(argv[2], nullptr, 10) : 1000000);
  }
  if (argc >= 2 && std::strcmp(argv[1], "paths") == 0) {
    return time_paths(argc >= 3 ? std::strtoul(argv[2], nullptr, 10) : 100000);
  }
  if (argc == 4 && std::strcmp(argv[1], "count") == 0) {
    return count_case(argv[2], std::strtoul(argv[3], nullptr, 10));
  }
  std::fprintf(stderr, "usage: %s time [POINTS] | paths [POINTS] | count disk|ring N\n", argv[0]);
  return 2;
}
