#pragma once

#include "core/expected.hpp"

namespace caustica::elliptic {

// The failure of a complete elliptic integral: one fixed message text, nothing to free.
struct EllipticError {
  const char* message;
};

using EllipticResult = Expected<double, EllipticError>;

}  // namespace caustica::elliptic
