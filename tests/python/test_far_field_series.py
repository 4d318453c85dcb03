"""The far-field series tables, checked against the closed form at 40 digits, each at the number
of terms the kernels take at that separation."""
import re
import sys
from fractions import Fraction
from pathlib import Path

import mpmath as mp
import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
from gen_magnification_reference import disk  # noqa: E402

HEADERS = {"disk": "far_field_series.hpp", "profile": "profile_far_field_series.hpp"}


def table(which):
    text = (ROOT / "src/lib/magnification" / HEADERS[which]).read_text()
    rows = re.findall(r"^\s*\{([-0-9.e, ]+)\},$", text, flags=re.M)
    limits = re.search(r"Q_FOR_TERMS = \{([-0-9.e, ]+)\};", text).group(1)
    degrees = re.search(r"W_FOR_DEGREES = \{([-0-9.e, ]+)\};", text)
    return ([[Fraction(float(v)) for v in row.split(",")] for row in rows],
            [float(v) for v in limits.split(",")],
            [float(v) for v in degrees.group(1).split(",")] if degrees else [])


def terms(limits, x):
    """As the kernels choose them: the first K whose limit q = 1 / x^2 does not exceed."""
    q = 1 / (x * x)
    return next(K for K, limit in enumerate(limits) if not q > limit)


def degrees(limits, w):
    """As the kernels choose them: the powers of w below the first J whose limit w does not
    exceed."""
    return next((J + 1 for J, limit in enumerate(limits) if not w > limit), None)


@pytest.mark.parametrize("which, count", [("disk", 14), ("profile", 23)])
def test_one_polynomial_of_degree_2k_minus_1_per_term_and_a_limit_per_count(which, count):
    polynomials, limits, w_limits = table(which)
    assert [len(R) for R in polynomials] == [2 * k for k in range(1, count + 1)]
    assert len(limits) == count + 1 and limits == sorted(limits)
    assert w_limits == sorted(w_limits) and len(w_limits) == 2 * count - 1


@pytest.mark.parametrize("which, x", [("disk", 3.0), ("disk", 5.0), ("disk", 37.0), ("disk", 367.2),
                                      ("disk", 1e4), ("disk", 1.2e8), ("profile", 2.0),
                                      ("profile", 2.6), ("profile", 4.0)])
@pytest.mark.parametrize("rho", [1e-4, 3e-3, 0.05, 0.3, 20.0])
def test_series_at_the_terms_taken_is_the_uniform_disk(which, x, rho):
    polynomials, limits, w_limits = table(which)
    K = terms(limits, x)
    with mp.workdps(40):
        u = mp.mpf(x) * mp.mpf(rho)
        y = u * u
        w = y / (y + 4)
        J = degrees(w_limits, float(w))
        q = 1 / mp.mpf(x) ** 2
        S = sum(q ** (k + 1) * sum(mp.mpf(c.numerator) / c.denominator * w ** j
                                   for j, c in enumerate(R[:J]))
                for k, R in enumerate(polynomials[:K]))
        series = ((y + 2) + S / (y + 4)) / (u * mp.sqrt(y + 4))
        assert abs(series / disk(x, rho) - 1) < 2e-17


def test_fewer_terms_farther_out():
    _, limits, _ = table("disk")
    assert [terms(limits, x) for x in (3.0, 5.0, 100.0, 1e3, 1e9)] == [14, 10, 3, 2, 0]
