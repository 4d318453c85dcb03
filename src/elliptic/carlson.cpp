// Placeholder until the elliptic layer lands.
#include "elliptic/carlson.hpp"

#include <limits>

namespace caustica::elliptic {
double elliprf(double, double, double) { return std::numeric_limits<double>::quiet_NaN(); }
double elliprd(double, double, double) { return std::numeric_limits<double>::quiet_NaN(); }
double elliprj(double, double, double, double) { return std::numeric_limits<double>::quiet_NaN(); }
}  // namespace caustica::elliptic
