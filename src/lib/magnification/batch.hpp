// Types shared by the magnification drivers.
#pragma once

#include <vector>

#include "core/expected.hpp"
#include "elliptic/error.hpp"

namespace caustica {

using elliptic::EllipticError;
using elliptic::EllipticResult;

// One magnification per separation, in input order.
using Magnifications = std::vector<double>;
using BatchResult = Expected<Magnifications, EllipticError>;

}  // namespace caustica
