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
      : bl_(bl), bf_(bf), breaks_(breaks_of(bl, bf)) {}

  double operator()(double x) const {
    return numeric::interp(bl_, bf_, x, {numeric::OutOfRangeRule::Kind::Constant, 0.0});
  }

  double flux() const {
    const auto annulus = [this](double x) { return (x * TWO_PI) * (*this)(x); };
    return over_source(annulus, 0.0, breaks_);
  }

  // Where the integrals over the source are cut. Whole, a profile that is nonzero on a narrow
  // part of the source only (bl = [0.3, 0.32], say) could fall between the nodes of the first
  // levels, which then stop at 0: no flux, and magnifications of inf, NaN or 0. And a kink
  // costs tanh-sinh its accuracy: over a coarse table, results were off by up to 1e-3.
  std::span<const double> breaks() const { return breaks_; }

 private:
  // Each cut costs a whole quadrature per separation. A finer table samples a smooth profile,
  // whose kinks are slight: for 100 radii, cutting them all was 100 times slower and changed
  // the results by about 1e-6.
  static constexpr std::size_t MAX_KINKS = 16;

  // The radii inside (0, 1) where the profile starts or stops being zero, and, unless there are
  // more than MAX_KINKS of them, those of its kinks (changes of slope); ascending and distinct.
  // A table of one point is constant and has none.
  static std::vector<double> breaks_of(std::span<const double> bl, std::span<const double> bf) {
    const std::size_t n = bl.size();
    std::vector<double> breaks;
    if (n < 2) return breaks;
    const auto inside = [](double r) { return 0 < r && r < 1; };
    const auto zero_segment = [&](std::size_t k) { return bf[k] == 0 && bf[k + 1] == 0; };
    const auto slope = [&](std::size_t k) { return (bf[k + 1] - bf[k]) / (bl[k + 1] - bl[k]); };
    std::vector<double> kinks;
    for (std::size_t j = 0; j < n; ++j) {
      if (!inside(bl[j])) continue;
      const bool zero_left = j == 0 || zero_segment(j - 1);
      const bool zero_right = j == n - 1 || zero_segment(j);
      if (zero_left != zero_right) {
        breaks.push_back(bl[j]);
      } else if (0 < j && j < n - 1) {
        // A repeated radius is a step (a NaN or infinite slope): a kink as well.
        if (!(slope(j) == slope(j - 1))) kinks.push_back(bl[j]);
      }
    }
    if (kinks.size() <= MAX_KINKS) breaks.insert(breaks.end(), kinks.begin(), kinks.end());
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    return breaks;
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
