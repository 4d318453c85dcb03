"""CBRT_EPS in src/numeric/derivative.hpp is the correctly rounded cube root of 2^-52."""

import math
import re
import struct
from pathlib import Path

import mpmath

HEADER = Path(__file__).resolve().parents[2] / "src" / "numeric" / "derivative.hpp"


def stored_cbrt_eps():
    match = re.search(r"constexpr double CBRT_EPS = ([0-9.e+-]+);", HEADER.read_text())
    assert match, "CBRT_EPS not found"
    return float(match.group(1))


def test_bit_pattern():
    assert struct.pack(">d", stored_cbrt_eps()).hex() == "3ed965fea53d6e3d"


def test_is_the_double_nearest_the_exact_cube_root():
    value = stored_cbrt_eps()
    with mpmath.workprec(300):
        exact = mpmath.cbrt(mpmath.ldexp(1, -52))
        gap = abs(exact - mpmath.mpf(value))
        for neighbour in (math.nextafter(value, math.inf), math.nextafter(value, -math.inf)):
            assert gap < abs(exact - mpmath.mpf(neighbour))


def test_a_rounded_one_third_power_misses_it():
    # Why the constant is written in rather than computed with pow.
    assert (2.0**-52) ** (1.0 / 3.0) == 6.055454452393343e-06 != stored_cbrt_eps()
