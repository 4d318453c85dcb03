"""Any limb-darkening law as a table: the example's tables against the smooth laws, dense tables
against their exact profile, and the tables that describe no physical source.

tests/data/limb_laws_reference.txt, dense_table_reference.txt and narrow_annulus_reference.txt come from
tools/gen_limb_laws_reference.py (mpmath, source-centred rings, each value checked at a second
precision).
"""
import importlib.util
import math
import struct
from pathlib import Path

import pytest

import caustica

ROOT = Path(__file__).resolve().parents[2]
TABULATED = [caustica.integrated_flux_map_heyrovsky_magnification,
             caustica.integrated_flux_map_witt_mao_magnification]
ALL_TABLE_FUNCTIONS = [caustica.discrete_flux_map_heyrovsky_magnification] + TABULATED


def example():
    found = importlib.util.spec_from_file_location("limb_darkening_laws",
                                                   ROOT / "examples" / "limb_darkening_laws.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def rows(name):
    lines = (ROOT / "tests" / "data" / name).read_text().splitlines()
    return [line.split() for line in lines if line and not line.startswith("#")]


# The accuracy the README states for each N: the table's own error against the smooth law.
@pytest.mark.parametrize("n, tolerance", [(100, 4e-5), (1000, 4e-7), (10000, 4e-9)])
@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_law_tables_hold_their_stated_accuracy(function, n, tolerance):
    laws = example()
    misses = []
    for law, coefficients, rho, l, value in laws.reference():
        a = function([l], 1.0, rho, *laws.law_table(law, coefficients, n))[0]
        if not abs(a / value - 1) <= tolerance:
            misses.append((law, rho, l, a, value))
    assert not misses


@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_a_dense_table_is_exactly_its_piecewise_linear_profile(function):
    bl, bf = example().law_table("quadratic", (0.4, 0.3), 1000)
    for rho, l, value in rows("dense_table_reference.txt"):
        a = function([float(l)], 1.0, float(rho), bl, bf)[0]
        assert abs(a / float(value) - 1) <= 1e-13, (rho, l, a, value)


# Dense tables of steep limbs, and short ones whose pieces at the lens are long: the rule there
# must hold the powers of the distance from the lens, not only its logarithm, and (rho = 2.8)
# the branch points 2i / rho next to a central lens.
@pytest.mark.parametrize("law, coefficients, n", [("square-root", (0.3, 0.4), 10000),
                                                  ("power-2", (0.6, 0.7), 1000),
                                                  ("quadratic", (0.4, 0.3), 2),
                                                  ("quadratic", (0.4, 0.3), 5)])
@pytest.mark.parametrize("rho", [0.01, 1.0, 2.8, 100.0])
def test_the_routes_agree_on_a_table(rho, law, coefficients, n):
    bl, bf = example().law_table(law, coefficients, n)
    l = [0.0, 1e-9, 0.3, 0.9, 0.99989, 0.9999954, 0.999999, 1.0, 1.000001, 1.5, 3.0]
    rings, disks = (f(l, 1.0, rho, bl, bf) for f in TABULATED)
    assert max(abs(r / d - 1) for r, d in zip(rings, disks)) <= 1e-14


@pytest.mark.parametrize("bl, bf", [([0.0, 0.5, 1.0], [1.0, 1.0, -3.0]), ([0.0, 1.0], [1.0, -0.9]),
                                    ([0.0, 1.0], [0.2, -0.1]), ([0.5], [-1.0])])
@pytest.mark.parametrize("function", ALL_TABLE_FUNCTIONS, ids=lambda f: f.__name__)
def test_a_negative_brightness_is_no_source(function, bl, bf):
    assert all(math.isnan(a) for a in function([0.0, 0.5, 2.0], 1.0, 0.1, bl, bf))


@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_a_table_of_no_flux_is_no_source(function):
    assert all(math.isnan(a) for a in function([0.0, 2.0], 1.0, 0.1, [0.0, 1.0], [0.0, 0.0]))


@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_the_brightness_scale_is_immaterial(function):
    l = [0.0, 0.3, 0.99, 1.0, 1.5, 3.0]
    constant = function(l, 1.0, 0.1, [0.5], [1.0])
    for scale in (1e-320, 1e307):
        assert function(l, 1.0, 0.1, [0.5], [scale]) == pytest.approx(constant, rel=1e-15, abs=0)
    bl, bf = [0.0, 0.3, 0.8, 1.0], [1.0, 0.9, 0.5, 0.2]
    plain = function(l, 1.0, 0.1, bl, bf)
    scaled = function(l, 1.0, 0.1, bl, [f * 2.0 ** 1000 for f in bf])
    assert [struct.pack("<d", a) for a in scaled] == [struct.pack("<d", a) for a in plain]


@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_a_piece_within_1e_303_of_the_centre_carries_nothing(function):
    l = [0.0, 1e-300, 0.5]
    assert function(l, 1.0, 0.1, [0.0, 1e-303, 1.0], [1.0, 1.0, 1.0]) == pytest.approx(
        function(l, 1.0, 0.1, [0.0, 1.0], [1.0, 1.0]), rel=1e-15, abs=0)


# The annulus alone, and among dark radii, which put it beyond the pieces next to the lens: there
# it falls inside a step in the logarithm of the distance from the lens.
@pytest.mark.parametrize("dark", [False, True], ids=["alone", "among dark radii"])
@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_a_narrow_lit_annulus_loses_nothing_to_cancellation(function, dark):
    for rho, w, l, value in rows("narrow_annulus_reference.txt"):
        edge = 0.5 + float(w)
        bl, bf = ([0.1, 0.2, 0.3, 0.5, 0.5, edge, edge, 0.8], [0, 0, 0, 0, 1, 1, 0, 0]) if dark \
            else ([0.5, edge], [1.0, 1.0])
        a = function([float(l)], 1.0, float(rho), bl, bf)[0]
        assert abs(a / float(value) - 1) <= 1e-12, (w, l, a, value)


@pytest.mark.parametrize("function", TABULATED, ids=lambda f: f.__name__)
def test_no_narrow_table_far_from_the_lens_is_dimmed(function):
    # Every point of these sources is at least 270 Einstein radii from the lens: within 1e-11 of 1.
    ring = caustica.heyrovsky_magnification(0.0, 1.0, 1.0, 273.88)
    assert function([0.0], 1.0, 273.88, [0.9999999999993011, 1.0], [1.0, 1.0])[0] == pytest.approx(
        ring, rel=1e-12, abs=0)
    cases = [([0.0], 390873.76, [0.999999999999266, 1.4021246762001984], [0.0, 1.0], 1e-11)]
    # A dense table bright at the limb (its edge 1e6 times its centre), whose disk form's terms
    # are a million times its flux. Its points lie 1e4 (1e3) Einstein radii from the lens or more:
    # A - 1 is below 2e-16 (about 3e-13, the limb's ring alone 3.7e-13); the forms lose 1e-13.
    bl = [math.sin(math.pi / 2 * j / 10000) for j in range(10001)]
    bf = [1 / math.sqrt(1 - x * x + 1e-12) for x in bl]
    cases += [([2.0], 1e4, bl, bf, 1e-13), ([2.0], 1e3, bl, bf, 1e-12)]
    for l, rho, bl, bf, above in cases:
        assert 1 <= function(l, 1.0, rho, bl, bf)[0] <= 1 + above
