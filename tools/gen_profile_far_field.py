#!/usr/bin/env python3
"""Writes src/lib/magnification/profile_far_field_series.hpp: the far-field series of a radial
profile, taken to TERMS terms so that it is exact to rounding from START source radii (times the
profile's reach) on.

The profile-weighted mean of the point-source magnification A(u) over the source is
    sum_k (rho^2 / 4)^k / (k!)^2 <x^2k> Lap^k A(u),
the uniform disk's series (tools/gen_far_field_series.py, where <x^2k> = 1 / (k + 1)) with its
k-th term scaled by (k + 1) <x^2k>; the polynomials R_k(w) are the disk's, exact rationals
rounded to the nearest double. With reach^(2k) >= (k + 1) <x^2k> the k-th term is at most the
disk's bound in z = q reach^2, so the disk's thresholds Q_FOR_TERMS serve for z = (reach / x)^2,
and the disk's W_FOR_DEGREES, made for z <= 1 / START^2, cut the powers of w that cannot count.
The script checks the series, both cuts taken, against the closed form of the uniform disk at
40 digits from x = START on.

From x = 2 the series is exact to rounding for every source radius: in double precision the
alternating, growing coefficients of the high powers of w (w near 1 for rho >= 1) lose below
1e-16 there, since each R_k is scaled by q^k <= 4^-k. Nearer the source they would not: at
x = 1.5 a source of 10 Einstein radii loses 1e-9.

Usage: python3 tools/gen_profile_far_field.py
"""
import sys
from pathlib import Path

import mpmath as mp

sys.path.insert(0, str(Path(__file__).resolve().parent))
from gen_far_field_series import degrees_for, far_field, series_header, terms_for  # noqa: E402
from gen_magnification_reference import disk  # noqa: E402

START = 2.0
HEADER = (Path(__file__).resolve().parent.parent
          / "src/lib/magnification/profile_far_field_series.hpp")


def check(polynomials, limits, w_limits):
    for x in (START, 2.5, 3.0, 4.0, 5.0, 10.0, 1e3, 1e8):
        K = terms_for(limits, x)
        for rho in (1e-5, 1e-2, 0.1, 1.0, 10.0, 30.0, 1e4):
            mp.mp.dps = 40
            u = mp.mpf(x) * rho
            J = degrees_for(w_limits, float(u * u / (u * u + 4)))
            error = abs(far_field(x, rho, polynomials[:K], J) / disk(x, rho) - 1)
            assert error < 2e-17, (x, rho, K, J, error)


def main():
    HEADER.write_text(series_header(
        "caustica::profile_far_field", "tools/gen_profile_far_field.py", "START", START,
        "// The series serves from x = START reach on.\n", "z = 1 / START^2", check))
    return 0


if __name__ == "__main__":
    sys.exit(main())
