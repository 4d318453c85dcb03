// Magnification of a source whose radial profile is a table of radii bl and values bf.
#include "magnification/flux_map.hpp"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/panic.hpp"
#include "magnification/heyrovsky.hpp"
#include "magnification/integrated.hpp"
#include "magnification/kernel_batch.hpp"
#include "magnification/profile.hpp"
#include "magnification/source_radius.hpp"
#include "magnification/table_cache.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Every radius needs its value: a table of unequal columns is a caller's broken invariant.
void check_table(const std::vector<double>& bl, const std::vector<double>& bf) {
  if (bl.size() != bf.size()) {
    panic("assertion `left == right` failed\n  left: " + std::to_string(bl.size()) +
          "\n right: " + std::to_string(bf.size()));
  }
}

// A double as Python's repr writes it: the shortest digits that read back to it, positional
// for exponents from -4 to 15, with ".0" on an integral value.
std::string python_repr(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  const auto scientific =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  const std::string text(buffer, scientific.ptr);
  const std::size_t e = text.find('e');
  const int exponent = std::stoi(text.substr(e + 1));
  if (exponent < -4 || exponent >= 16) {
    const std::string sign = exponent < 0 ? "-" : "+";
    const std::string digits = std::to_string(std::abs(exponent));
    return text.substr(0, e) + "e" + sign + (digits.size() < 2 ? "0" : "") + digits;
  }
  const auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string positional(buffer, fixed.ptr);
  if (positional.find('.') == std::string::npos) positional += ".0";
  return positional;
}

// Radii out of order (a table listed by mu runs from the limb inwards) or not finite.
std::optional<TableError> check_radii(const std::vector<double>& bl) {
  const auto entry = [&](std::size_t j) {
    return "bl[" + std::to_string(j) + "] = " + python_repr(bl[j]);
  };
  const std::string rule = "argument 'bl': radii must be finite and ascending, but ";
  for (std::size_t j = 0; j < bl.size(); ++j) {
    const bool last = j + 1 == bl.size();
    if (!last && !(std::isfinite(bl[j]) && std::isfinite(bl[j + 1]) && bl[j] <= bl[j + 1])) {
      return TableError{rule + entry(j) + " is followed by " + entry(j + 1)};
    }
    if (last && !std::isfinite(bl[j])) return TableError{rule + entry(j) + " is not finite"};
  }
  return std::nullopt;
}

using Driver = BatchResult (*)(std::vector<double>, const RadialProfile&, const TableBreaks&,
                               double, double, double);

TableResult integrated(std::vector<double> l, const std::vector<double>& bl,
                       const std::vector<double>& bf, double re, double rstar, Route route,
                       Driver driver) {
  check_table(bl, bf);
  if (std::optional<TableError> error = check_radii(bl)) return std::move(*error);
  // A value that is not finite leaves no profile to speak of, and a negative brightness no
  // physical source (a sampler's quadratic law with I(1) < 0 would otherwise get plausible
  // numbers).
  const bool physical = std::all_of(bf.begin(), bf.end(), [](double f) { return f >= 0 && f <= DBL_MAX; });
  if (!physical) return Magnifications(l.size(), NaN);
  const std::shared_ptr<const PreparedTable> table = prepared_table(bl, bf, route);
  if (!table->breaks) return Magnifications(l.size(), NaN);
  const RadialProfile& profile = table->profile;
  return std::move(driver(std::move(l), profile, *table->breaks, re, rstar, profile.flux())).value();
}

// The rings of the table at one separation, through the ring kernel's lanes a block at a time,
// summed in the table's order.
EllipticResult discrete_sum(double l, const std::vector<double>& bl, const std::vector<double>& bf,
                            double s) {
  constexpr std::size_t BLOCK = 64;
  double g[BLOCK];
  double sum = 0.0;
  for (std::size_t begin = 0; begin < bl.size(); begin += BLOCK) {
    const std::size_t n = std::min(BLOCK, bl.size() - begin);
    const std::span<const double> r(bl.data() + begin, n);
    // A negative or NaN radius or separation has no ring: the elliptic layer's word for it.
    for (const double r_j : r) {
      if (!(l >= 0 && r_j >= 0)) return EllipticError{"ellipk: Arguments cannot be NAN."};
    }
    heyrovsky_kernels(l, r, s, std::span<double>(g, n));
    for (std::size_t j = 0; j < n; ++j) {
      // A ring that carries no light adds nothing, though it pass through the lens (0 x inf).
      if (bf[begin + j] != 0) sum = sum + g[j] * bf[begin + j];
    }
  }
  return sum;
}

}  // namespace

BatchResult discrete_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                      std::vector<double> bl,
                                                      std::vector<double> bf, double re,
                                                      double rstar) {
  check_table(bl, bf);
  // A negative weight is no physical source: no plausible number for it.
  const bool negative = std::any_of(bf.begin(), bf.end(), [](double f) { return f < 0; });
  const bool valid_rho = !negative && is_valid_rho(rstar / re);
  const double s = re / rstar;
  std::vector<EllipticResult> sums;
  parallel::parallel_map(
      std::span<const double>(l),
      [&](double l_i) -> EllipticResult {
        if (!valid_rho) return NaN;
        return discrete_sum(l_i, bl, bf, s);
      },
      sums);
  Magnifications magnifications;
  magnifications.reserve(sums.size());
  for (const EllipticResult& sum : sums) {
    if (!sum) return sum.error();
    magnifications.push_back(*sum);
  }
  return magnifications;
}

TableResult integrated_flux_map_heyrovsky_magnification(std::vector<double> l,
                                                        std::vector<double> bl,
                                                        std::vector<double> bf, double re,
                                                        double rstar) {
  return integrated(std::move(l), bl, bf, re, rstar, Route::Rings,
                    integrated_table_heyrovsky_magnification);
}

TableResult integrated_flux_map_witt_mao_magnification(std::vector<double> l,
                                                       std::vector<double> bl,
                                                       std::vector<double> bf, double re,
                                                       double rstar) {
  return integrated(std::move(l), bl, bf, re, rstar, Route::Disks,
                    integrated_table_witt_mao_magnification);
}

}  // namespace caustica
