// Central-difference derivative with a step scaled to the size of the point.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace caustica::numeric {

// The correctly rounded cube root of 2^-52: the relative step that balances the h^2
// truncation error of a central difference against the eps/h rounding error. The exact root
// lies within 0.01 ulp of a midpoint, so pow(2^-52, 1/3.) gives the neighbouring double.
inline constexpr double CBRT_EPS = 6.0554544523933395e-06;
static_assert(std::bit_cast<std::uint64_t>(CBRT_EPS) == 0x3ED965FEA53D6E3DULL);

// The step is not nudged to make x +- h representable; the denominator is 2h as computed.
template <class F>
double sderivative(F&& f, double x, double step = CBRT_EPS) {
  const double h = (std::fabs(x) + 1.0) * step;
  const double fp = f(x + h);
  const double fm = f(x - h);
  return (fp - fm) / (h + h);
}

}  // namespace caustica::numeric
