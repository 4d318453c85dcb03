"""The far-field series table of the uniform disk, checked against the closed form at 40 digits."""
import re
import sys
from fractions import Fraction
from pathlib import Path

import mpmath as mp
import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
from gen_magnification_reference import disk  # noqa: E402


def table():
    text = (ROOT / "src/lib/magnification/far_field_series.hpp").read_text()
    rows = re.findall(r"^\s*\{([-0-9.e, ]+)\},$", text, flags=re.M)
    return [[Fraction(float(v)) for v in row.split(",")] for row in rows]


def test_one_polynomial_of_degree_2k_minus_1_per_term():
    assert [len(R) for R in table()] == [2 * k - 1 + 1 for k in range(1, 11)]


@pytest.mark.parametrize("x", [5.0, 37.0, 1e4])
@pytest.mark.parametrize("rho", [1e-4, 0.3, 20.0])
def test_series_from_the_table_is_the_uniform_disk(x, rho):
    with mp.workdps(40):
        u = mp.mpf(x) * mp.mpf(rho)
        y = u * u
        w = y / (y + 4)
        q = 1 / mp.mpf(x) ** 2
        S = sum(q ** (k + 1) * sum(mp.mpf(c.numerator) / c.denominator * w ** j
                                   for j, c in enumerate(R))
                for k, R in enumerate(table()))
        series = ((y + 2) + S / (y + 4)) / (u * mp.sqrt(y + 4))
        assert abs(series / disk(x, rho) - 1) < 1e-17
