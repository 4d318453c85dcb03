// Magnification of a source whose radial profile is a table of radii bl and values bf.
#include "magnification/flux_map.hpp"

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "core/panic.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "magnification/over_source.hpp"
#include "numeric/interp.hpp"

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
  TabulatedProfile(std::span<const double> bl, std::span<const double> bf)
      : bl_(bl), bf_(bf), breaks_(support_edges(bl, bf)) {}

  double operator()(double x) const {
    return numeric::interp(bl_, bf_, x, {numeric::OutOfRangeRule::Kind::Constant, 0.0});
  }

  double flux() const {
    const auto annulus = [this](double x) { return (x * TWO_PI) * (*this)(x); };
    return over_source(annulus, 0.0, breaks_);
  }

  // Where the integrals over the source are cut: integrated whole, a profile that is nonzero on
  // a narrow part of the source only (bl = [0.3, 0.32], say) could fall between the nodes of the
  // first levels, which then stop at 0: no flux, and magnifications of inf, NaN or 0.
  std::span<const double> breaks() const { return breaks_; }

 private:
  // The radii inside (0, 1) where the profile starts or stops being zero, ascending and
  // distinct. A table of one point is constant and has none.
  static std::vector<double> support_edges(std::span<const double> bl,
                                           std::span<const double> bf) {
    const std::size_t n = bl.size();
    std::vector<double> edges;
    if (n < 2) return edges;
    const auto zero_segment = [&](std::size_t k) { return bf[k] == 0 && bf[k + 1] == 0; };
    for (std::size_t j = 0; j < n; ++j) {
      const bool zero_left = j == 0 || zero_segment(j - 1);
      const bool zero_right = j == n - 1 || zero_segment(j);
      if (zero_left != zero_right && 0 < bl[j] && bl[j] < 1) edges.push_back(bl[j]);
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    return edges;
  }

  std::span<const double> bl_;
  std::span<const double> bf_;
  std::vector<double> breaks_;
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
  return _integrated_heyrovsky_magnification(std::move(l), profile, re, rstar, profile.flux(),
                                             profile.breaks());
}

BatchResult integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                       std::vector<double> bl,
                                                       std::vector<double> bf, double re,
                                                       double rstar) {
  check_table(bl, bf);
  const TabulatedProfile profile(bl, bf);
  return _integrated_witt_mao_magnification(std::move(l), profile, re, rstar, profile.flux(),
                                            profile.breaks());
}

}  // namespace caustica
