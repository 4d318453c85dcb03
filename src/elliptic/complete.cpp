// Placeholder until the elliptic layer lands.
#include "elliptic/complete.hpp"

namespace caustica::elliptic {
EllipticResult ellipk(double) { return EllipticError{"ellipk: Unexpected error."}; }
EllipticResult ellipe(double) { return EllipticError{"ellipe: Arguments cannot be NAN."}; }
EllipticResult ellippi(double, double) { return EllipticError{"ellippi: Unexpected error."}; }
}  // namespace caustica::elliptic
