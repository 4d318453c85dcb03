// Many uniform-disk curves in one call: the curves spread over the pool, and each curve's
// separations spread again inside it.
#include "magnification/multi.hpp"

#include <span>
#include <utility>

#include "magnification/witt_mao.hpp"
#include "parallel/parallel_map.hpp"

namespace caustica {

CurvesResult multi_witt_mao_magnification(std::vector<double> l, std::vector<double> re,
                                          std::vector<double> rstar) {
  using RadiusPair = std::pair<double, double>;
  std::vector<RadiusPair> radius_pairs;
  radius_pairs.reserve(re.size() * rstar.size());
  for (const double re_k : re) {
    for (const double rstar_j : rstar) radius_pairs.emplace_back(re_k, rstar_j);
  }

  std::vector<BatchResult> results;
  parallel::parallel_map(
      std::span<const RadiusPair>(radius_pairs),
      [&l](const RadiusPair& pair) { return witt_mao_magnification(l, pair.first, pair.second); },
      results);

  std::vector<Magnifications> curves;
  curves.reserve(results.size());
  for (BatchResult& curve : results) {
    if (!curve) return CurveError{curve.error()};
    curves.push_back(std::move(curve).value());
  }
  return curves;
}

}  // namespace caustica
