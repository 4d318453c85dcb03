"""The source radius rho = rstar / re, from the radii that describe no source to the extremes.

Unless rho is finite and positive, every element is NaN: a fitting sampler that wanders there
must see no plausible number. From rho = 1e-12 to 1e6, at any separation from 0 to 1e300, every
function gives a finite magnification of at least 1 (to rounding); outside that range of rho a
result is right or NaN, never below 1, zero, negative or infinite.
"""

import math

import mpmath
import pytest

from conftest import FUNCTIONS, same_floats

NAN, INF = math.nan, math.inf

# (re, rstar) for rho NaN, zero, infinite and negative, each reached through either argument.
NO_SOURCE = [(1.0, NAN), (NAN, 1.0), (0.0, 0.0), (1.0, 0.0), (1.0, -0.0), (INF, 1.0),
             (0.0, 1.0), (-0.0, 1.0), (1.0, INF), (1.0, -INF), (INF, INF), (1.0, -0.05),
             (-1.0, 0.05)]

SEPARATIONS = [0.0, 1e-300, 1e-8, 0.5, 1 - 1e-9, 1.0, 1 + 1e-9, 2.0, 10.0, 1e4, 1e10, 1e100,
               1.8e154, 1e200, 1e300]
VALID_RHO = [1e-12, 1e-9, 1e-6, 1e-3, 0.1, 1.0, 10.0, 1e3, 1e6]
EXTREME_RHO = [1e-300, 1e-200, 1e-154, 3e-107, 1e-103, 1e-50, 1e-20, 1e10, 1e50, 1e77, 1e78,
               1.3e159, 1e200, 1e300]

LISTS = [f for f in FUNCTIONS if f.name != "heyrovsky_magnification"]
SINGLE_CURVE = [f for f in LISTS if f.name != "multi_witt_mao_magnification"]
# Ring radii apart from every separation above, since a ring through the lens is rightly
# infinite; weights of sum 1, so that the sum of rings is an average of ring magnifications.
RING_TABLE = {"bl": [0.1, 0.4, 0.7, 0.99], "bf": [0.5, 0.25, 0.125, 0.125]}
RING_RADII = [0.1, 0.7, 0.99]


def is_valid(re, rstar):
    rho = rstar / re if re != 0 else math.copysign(INF, rstar) if rstar != 0 else NAN
    return math.isfinite(rho) and rho > 0


def curve(function, l, re, rstar):
    table = RING_TABLE if function.name.startswith("discrete") else {}
    return function.call(l=l, re=re, rstar=rstar, **table)


# ---- Radii that describe no source ------------------------------------------------------------

@pytest.mark.parametrize("re, rstar", NO_SOURCE)
@pytest.mark.parametrize("function", SINGLE_CURVE, ids=lambda f: f.name)
def test_a_radius_that_is_no_source_gives_nan_everywhere(function, re, rstar):
    result = curve(function, SEPARATIONS, re, rstar)
    assert len(result) == len(SEPARATIONS) and all(math.isnan(x) for x in result), result


@pytest.mark.parametrize("re, rstar", NO_SOURCE)
def test_multi_gives_nan_for_exactly_the_curves_that_have_no_source(caustica, re, rstar):
    res, rstars = [1.0, re], [0.05, rstar]
    curves = caustica.multi_witt_mao_magnification(SEPARATIONS, res, rstars)
    pairs = [(a, b) for a in res for b in rstars]
    assert len(curves) == len(pairs)
    for (a, b), values in zip(pairs, curves):
        if is_valid(a, b):
            assert same_floats(values, caustica.witt_mao_magnification(SEPARATIONS, a, b))
        else:
            assert len(values) == len(SEPARATIONS) and all(math.isnan(x) for x in values)


@pytest.mark.parametrize("re, rstar", NO_SOURCE)
def test_a_ring_of_no_source_is_nan_or_an_error(caustica, re, rstar):
    for l in SEPARATIONS:
        for r in RING_RADII:
            try:
                value = caustica.heyrovsky_magnification(l, r, re, rstar)
            except RuntimeError:
                continue
            assert math.isnan(value), (l, r, value)


# ---- Extreme radii and separations ------------------------------------------------------------

def point_source(u):
    """The magnification of a point source at u Einstein radii, at 30 digits."""
    u = mpmath.mpf(u)
    with mpmath.workdps(30):
        return (u * u + 2) / (u * mpmath.sqrt(u * u + 4))


def upper_bound(distance, rho):
    """Every point of a source whose nearest point lies `distance` source radii from the lens is
    magnified at most as much as that nearest point; no bound when the lens is on the source."""
    if distance <= 0:
        return INF
    return float(point_source(mpmath.mpf(distance) * rho)) * (1 + 1e-9)


def check_magnifications(values, bounds, rho, allow_nan):
    for value, bound, l in zip(values, bounds, SEPARATIONS):
        if allow_nan and math.isnan(value):
            continue
        where = f"rho={rho!r}, l={l!r}: {value!r}"
        assert math.isfinite(value), where
        assert 1 - 1e-15 <= value <= bound, where


@pytest.mark.parametrize("rho", VALID_RHO + EXTREME_RHO)
@pytest.mark.parametrize("function", LISTS, ids=lambda f: f.name)
def test_every_magnification_is_finite_and_at_least_one(function, rho):
    if function.name == "multi_witt_mao_magnification":
        values = function.callable(SEPARATIONS, [1.0], [rho])[0]
    else:
        values = curve(function, SEPARATIONS, 1.0, rho)
    if function.name.startswith("discrete"):
        bounds = [upper_bound(min(abs(l - r) for r in RING_TABLE["bl"]), rho) for l in SEPARATIONS]
    else:
        bounds = [upper_bound(l - 1, rho) for l in SEPARATIONS]
    check_magnifications(values, bounds, rho, allow_nan=rho not in VALID_RHO)


@pytest.mark.parametrize("rho", VALID_RHO + EXTREME_RHO)
@pytest.mark.parametrize("r", RING_RADII)
def test_every_ring_magnification_is_finite_and_at_least_one(caustica, r, rho):
    values = []
    for l in SEPARATIONS:
        try:
            values.append(caustica.heyrovsky_magnification(l, r, 1.0, rho))
        except RuntimeError:
            values.append(NAN)
    bounds = [upper_bound(abs(l - r), rho) for l in SEPARATIONS]
    check_magnifications(values, bounds, rho, allow_nan=rho not in VALID_RHO)
