// Magnification of a source whose radial profile is a table of radii bl and values bf.
#include "magnification/flux_map.hpp"

#include <span>
#include <string>

#include "core/panic.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "numeric/interp.hpp"
#include "numeric/tanh_sinh.hpp"

namespace caustica {

namespace {

constexpr double TWO_PI = 6.283185307179586;

// Every radius needs its value: a table of unequal columns is a caller's broken invariant.
void check_table(const std::vector<double>& bl, const std::vector<double>& bf) {
  if (bl.size() != bf.size()) {
    panic("assertion `left == right` failed\n  left: " + std::to_string(bl.size()) +
          "\n right: " + std::to_string(bf.size()));
  }
}

// The table interpolated linearly, zero outside the table's range of radii.
class TabulatedProfile {
 public:
  TabulatedProfile(std::span<const double> bl, std::span<const double> bf) : bl_(bl), bf_(bf) {}

  double operator()(double x) const {
    return numeric::interp(bl_, bf_, x, {numeric::OutOfRangeRule::Kind::Constant, 0.0});
  }

  double flux() const {
    const auto annulus = [this](double x) { return (x * TWO_PI) * (*this)(x); };
    return numeric::integrate(annulus, 0.0, 1.0, 1e-16).integral;
  }

 private:
  std::span<const double> bl_;
  std::span<const double> bf_;
};

}  // namespace

BatchResult discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                      std::vector<double> bl,
                                                      std::vector<double> bf, double re,
                                                      double rstar) {
  check_table(bl, bf);
  Magnifications magnifications;
  magnifications.reserve(l.size());
  for (const double l_i : l) {
    double sum = 0.0;
    for (std::size_t j = 0; j < bl.size(); ++j) {
      const EllipticResult ring = heyrovsky_magnification(l_i, bl[j], re, rstar);
      if (!ring) return ring.error();
      sum = sum + *ring * bf[j];
    }
    magnifications.push_back(sum);
  }
  return magnifications;
}

BatchResult integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                        std::vector<double> bl,
                                                        std::vector<double> bf, double re,
                                                        double rstar) {
  check_table(bl, bf);
  const TabulatedProfile profile(bl, bf);
  return _integrated_heyrovsky_magnification(std::move(l), profile, re, rstar, profile.flux());
}

BatchResult integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                       std::vector<double> bl,
                                                       std::vector<double> bf, double re,
                                                       double rstar) {
  check_table(bl, bf);
  const TabulatedProfile profile(bl, bf);
  return _integrated_witt_mao_magnification(std::move(l), profile, re, rstar, profile.flux());
}

}  // namespace caustica
