"""Limb-darkened and tabulated sources against mpmath at 30 digits or more, from the centre to l = 1e6.

The tables in tests/data/ come from tools/gen_magnification_reference.py: lens-centred polar
quadrature for linear limb darkening, source-centred rings for the brightness tables, each value
checked there against a second, independent integral.
"""
import math
from pathlib import Path

import pytest

import caustica

DATA = Path(__file__).resolve().parent.parent / "data"

LIMB_DARKENED = [caustica.integrated_heyrovsky_magnification, caustica.integrated_witt_mao_magnification]
TABULATED = [caustica.integrated_flux_map_heyrovsky_magnification,
             caustica.integrated_flux_map_witt_mao_magnification]


def rows(name):
    lines = (DATA / name).read_text().splitlines()
    return [line.split() for line in lines if line and not line.startswith("#")]


def grouped(cases):
    """{key: ([l...], [A...])} so that each function is called once per key, as a light curve is."""
    groups = {}
    for key, l, A in cases:
        ls, As = groups.setdefault(key, ([], []))
        ls.append(l)
        As.append(A)
    return groups


def worst_misses(misses, tolerance, shown=12):
    """How many cases miss the tolerance, and the worst of them."""
    misses.sort(key=lambda miss: -miss[0])
    return f"{len(misses)} beyond {tolerance:g}, worst:\n" + "\n".join(
        f"  error {e:.2e} at {where}" for e, where in misses[:shown])


def check(function_of_l, cases, tolerance):
    """Relative error at most the tolerance, and never below 1: every brightness profile here is
    non-negative and the point lens magnifies everywhere, so no source can be dimmed."""
    misses = []
    for key, (ls, references) in grouped(cases).items():
        for l, A, a in zip(ls, references, function_of_l(key, ls)):
            e = abs(a - A) / A
            if a < 1:
                misses.append((math.inf, f"{key} l={l!r}: {a!r} below 1, reference {A!r}"))
            elif not e <= tolerance:
                misses.append((e, f"{key} l={l!r}: {a!r}, reference {A!r}"))
    assert not misses, worst_misses(misses, tolerance)


@pytest.mark.parametrize("function", LIMB_DARKENED, ids=lambda f: f.__name__)
def test_limb_darkened_against_the_reference(function):
    """The grid, and the separations between its points where a plan once lost up to 1e-13."""
    cases = [(float(rho), float(l), float(A)) for name in ("limb_darkened_reference.txt",
                                                           "limb_darkened_extra_reference.txt")
             for rho, l, A in rows(name)]
    check(lambda rho, ls: function(ls, 1.0, rho), cases, 1e-13)


@pytest.mark.parametrize("function", LIMB_DARKENED, ids=lambda f: f.__name__)
def test_limb_darkened_centre_against_its_closed_form(function):
    """The lens at the centre, (A_U + A_mu) / 2 in E and K: normalised by a flux off 0.8 pi by
    1.6e-14, every value here would be off by as much."""
    cases = [(float(rho), float(l), float(A)) for rho, l, A in rows("limb_darkened_centre.txt")]
    check(lambda rho, ls: function(ls, 1.0, rho), cases, 8e-15)


@pytest.mark.parametrize("function", LIMB_DARKENED, ids=lambda f: f.__name__)
@pytest.mark.parametrize("rho", [1e-3, 0.1, 1.0, 10.0])
def test_no_seam_where_the_far_field_series_takes_over(function, rho):
    """The series (exact moments) from l = 2 on, the integral over the source below it."""
    below, at = function([math.nextafter(2.0, 0.0), 2.0], 1.0, rho)
    assert abs(below - at) <= 1.5e-15 * at


@pytest.mark.parametrize("route", ["rings", "disks"])
def test_either_side_of_the_far_field_series_start(route):
    """From l = 1.5 to 2.6 for the built-in law and for tables up to the disk's moments: the
    integral below l = 2 and the series from there on both within a few roundings. A series
    begun at l = 1.7 with the terms that serve from 2 misses a uniform table by 6e-15 there."""
    bl_bf = tables()
    functions = {"rings": (caustica.integrated_heyrovsky_magnification,
                           caustica.integrated_flux_map_heyrovsky_magnification),
                 "disks": (caustica.integrated_witt_mao_magnification,
                           caustica.integrated_flux_map_witt_mao_magnification)}
    law, table = functions[route]

    def function(key, ls):
        name, rho = key
        return law(ls, 1.0, rho) if name == "linear" else table(ls, 1.0, rho, *bl_bf[name])

    cases = [((name, float(rho)), float(l), float(A))
             for name, rho, l, A in rows("far_field_handover_reference.txt")]
    check(function, cases, 1.5e-15)


@pytest.mark.parametrize("function", LIMB_DARKENED + TABULATED, ids=lambda f: f.__name__)
@pytest.mark.parametrize("rho", [1e-300, 1e-200, 1e-120])
def test_a_tiny_source_in_the_far_field_scales_as_one_over_rho(function, rho):
    """Where (l rho)^2 is far below rounding, A rho depends on l alone: so also where it underflows
    (no NaN from 4 / 0 in the series' closing expression)."""
    table = ([0.0, 1.0], [1.0, 0.5]) if function in TABULATED else ()
    l = [2.0, 3.0, 100.0, 1e50]
    for a, b, x in zip(function(l, 1.0, rho, *table), function(l, 1.0, 1e-60, *table), l):
        assert abs((a * rho) / (b * 1e-60) - 1) <= 4e-16, (x, a, b)


@pytest.mark.parametrize("route", LIMB_DARKENED, ids=lambda f: f.__name__)
def test_any_linear_coefficient_from_the_built_in_law_and_the_uniform_disk(route):
    """I(x) = 1 - c (1 - sqrt(1 - x^2)) for any c, since the magnification is linear in the profile."""
    def linear_law(key, l):
        c, rho = key
        A_U = caustica.witt_mao_magnification(l, 1.0, rho)
        A_06 = route(l, 1.0, rho)
        A_mu = [2 * a06 - aU for a06, aU in zip(A_06, A_U)]
        return [((1 - c) * aU + (2 * c / 3) * amu) / (1 - c / 3) for aU, amu in zip(A_U, A_mu)]

    cases = [((float(c), float(rho)), float(l), float(A))
             for c, rho, l, A in rows("linear_law_reference.txt")]
    check(linear_law, cases, 1e-12)


def tables():
    found = {}
    for name, _flux, n, *values in rows("flux_map_tables.txt"):
        n = int(n)
        found[name] = ([float(v) for v in values[:n]], [float(v) for v in values[n:]])
    return found


@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_brightness_tables_against_the_reference(function):
    """Kinks, a step, a lit annulus, a one-segment ramp, radii past the centre and the limb, one point
    and a 100-point table, each exactly its piecewise-linear profile."""
    bl_bf = tables()
    cases = [((name, float(rho)), float(l), float(A)) for name, rho, l, A in rows("flux_map_reference.txt")]
    check(lambda key, ls: function(ls, 1.0, key[1], *bl_bf[key[0]]), cases, 1e-14)


@pytest.mark.parametrize("rho", [1e-3, 0.1, 3.0, 10.0, 100.0])
def test_the_two_routes_agree_between_the_reference_points(rho):
    """Every 0.01 source radii out to 25, and densely next to the limb: a glitch where one route
    changes its plan would fall between the rows of the reference."""
    l = [k / 100 for k in range(2501)] + [1 + d * 10.0 ** -k for k in range(2, 15) for d in (-3, -1, 1, 3)]
    rings = caustica.integrated_heyrovsky_magnification(l, 1.0, rho)
    disks = caustica.integrated_witt_mao_magnification(l, 1.0, rho)
    misses = [(abs(b - a) / a, f"l={x!r}: rings {a!r}, disks {b!r}")
              for x, a, b in zip(l, rings, disks) if not abs(b - a) <= 1e-13 * a]
    assert not misses, worst_misses(misses, 1e-13)


@pytest.mark.parametrize("function", [
    lambda l, rho: caustica.integrated_heyrovsky_magnification(l, 1.0, rho),
    lambda l, rho: caustica.integrated_witt_mao_magnification(l, 1.0, rho),
    lambda l, rho: caustica.integrated_flux_map_heyrovsky_magnification(l, 1.0, rho, [0.0, 1.0], [1.0, 0.25]),
    lambda l, rho: caustica.integrated_flux_map_witt_mao_magnification(l, 1.0, rho, [0.0, 1.0], [1.0, 0.25]),
], ids=["rings", "disks", "table rings", "table disks"])
def test_far_from_the_source_the_magnification_is_never_below_one(function):
    l = [10.0 ** (k / 8) for k in range(8, 49)]
    for rho in [1e-4, 1e-2, 1.0, 100.0]:
        below = [(x, a) for x, a in zip(l, function(l, rho)) if not a >= 1]
        assert not below, f"rho {rho}: {len(below)} below 1, the first at l, A = {below[:3]}"
