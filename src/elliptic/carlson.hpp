// Carlson's symmetric elliptic integrals (Carlson 1995; DLMF 19.16, 19.36).
// They validate nothing: outside their domain they return what the arithmetic gives.
#pragma once

namespace caustica::elliptic {

double elliprf(double x, double y, double z);
double elliprd(double x, double y, double z);
// Cauchy principal value for p < 0.
double elliprj(double x, double y, double z, double p);

}  // namespace caustica::elliptic
