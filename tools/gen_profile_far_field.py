#!/usr/bin/env python3
"""Writes src/lib/magnification/profile_far_field_series.hpp: the far-field series of a radial
profile, taken to TERMS terms so that it is exact to rounding from 4 source radii on.

The profile-weighted mean of the point-source magnification A(u) over the source is
    sum_k (rho^2 / 4)^k / (k!)^2 <x^2k> Lap^k A(u),
the uniform disk's series (tools/gen_far_field_series.py, where <x^2k> = 1 / (k + 1)) with its
k-th term scaled by (k + 1) <x^2k>; the polynomials R_k(w) are the disk's, exact rationals
rounded to the nearest double. With reach^(2k) >= (k + 1) <x^2k> the k-th term is at most the
disk's bound in q reach^2, so the disk's thresholds Q_FOR_TERMS serve for z = (reach / x)^2.
The script checks the series against the closed form of the uniform disk at 40 digits: its
first omitted term is below 1e-18 of the result from x = 4.

Usage: python3 tools/gen_profile_far_field.py
"""
import sys
from pathlib import Path

import mpmath as mp

sys.path.insert(0, str(Path(__file__).resolve().parent))
from gen_far_field_series import far_field, header_text, q_for_terms, series_polynomials  # noqa: E402
from gen_magnification_reference import disk  # noqa: E402

TERMS = 12
HEADER = (Path(__file__).resolve().parent.parent
          / "src/lib/magnification/profile_far_field_series.hpp")


def check(polynomials):
    mp.mp.dps = 40
    for x in (4.0, 5.0, 10.0, 1e3):
        for rho in (1e-5, 1e-2, 1.0, 30.0):
            error = abs(far_field(x, rho, polynomials) / disk(x, rho) - 1)
            assert error < 1e-18, (x, rho, error)


def main():
    limits = q_for_terms(series_polynomials(TERMS + 1))
    assert limits[TERMS] >= 1 / 16  # the series starts at x = 4 reach
    polynomials = series_polynomials(TERMS)
    check(polynomials)
    HEADER.write_text(header_text("caustica::profile_far_field", "tools/gen_profile_far_field.py",
                                  polynomials, limits))
    return 0


if __name__ == "__main__":
    sys.exit(main())
