// Many uniform-disk curves at once: one per (re, rstar) pair, re-major.
#pragma once

#include "magnification/batch.hpp"

namespace caustica {

// The first failed curve, in pair order; the boundary raises it wrapped in a RuntimeError.
struct CurveError {
  EllipticError error;
};

using CurvesResult = Expected<std::vector<Magnifications>, CurveError>;

CurvesResult multi_witt_mao_magnification(std::vector<double> l, std::vector<double> re,
                                          std::vector<double> rstar);

}  // namespace caustica
