"""The eight functions compute what they promise, with their arguments in the documented order."""
import math
from pathlib import Path

import pytest

import caustica

DATA = Path(__file__).resolve().parent.parent / "data"


def table(name):
    rows = []
    for line in (DATA / name).read_text().splitlines():
        if line and not line.startswith("#"):
            rows.append([float(v) for v in line.split()])
    return rows


def relative_error(value, reference):
    return abs(value - reference) / abs(reference)


def test_uniform_disk_against_the_reference():
    rows = table("witt_mao_reference.txt")
    by_rho = {}
    for rho, l, A in rows:
        by_rho.setdefault(rho, []).append((l, A))
    for rho, cases in by_rho.items():
        got = caustica.witt_mao_magnification([l for l, _ in cases], 1.0, rho)
        for (l, A), a in zip(cases, got):
            assert relative_error(a, A) <= 1e-13, (rho, l)


def test_uniform_disk_depends_on_the_ratio_of_the_radii_only():
    l = [0.0, 0.5, 1.0, 2.0]
    assert caustica.witt_mao_magnification(l, 4.0, 1.0) == caustica.witt_mao_magnification(l, 1.0, 0.25)


@pytest.mark.parametrize("l", [-1.0, float("nan")])
def test_uniform_disk_is_nan_for_invalid_separations(l):
    assert math.isnan(caustica.witt_mao_magnification([l], 1.0, 0.1)[0])


def test_ring_against_the_reference():
    for l, r, rho, A in table("ring_reference.txt"):
        tolerance = 1e-9 if abs(r - l) < 1e-5 else 2e-14  # the expansion about the lens inside
        assert relative_error(caustica.heyrovsky_magnification(l, r, 1.0, rho), A) <= tolerance


def test_ring_failure_is_a_runtime_error_with_the_message_alone():
    with pytest.raises(RuntimeError) as caught:
        caustica.heyrovsky_magnification(float("nan"), 0.5, 1.0, 0.1)
    assert type(caught.value) is RuntimeError
    assert caught.value.args == ("ellipk: Arguments cannot be NAN.",)
    assert caught.value.__cause__ is None


INTEGRATED = [
    lambda l: caustica.integrated_heyrovsky_magnification(l, 1.0, 0.1),
    lambda l: caustica.integrated_witt_mao_magnification(l, 1.0, 0.1),
    lambda l: caustica.integrated_flux_map_heyrovsky_magnification(l, 1.0, 0.1, [0.0, 1.0], [1.0, 0.4]),
    lambda l: caustica.integrated_flux_map_witt_mao_magnification(l, 1.0, 0.1, [0.0, 1.0], [1.0, 0.4]),
]


@pytest.mark.parametrize("function", INTEGRATED)
def test_integrated_functions_give_nan_not_zero_for_meaningless_separations(function):
    got = function([float("nan"), float("inf"), -0.5, 0.5])
    assert all(math.isnan(a) for a in got[:3])
    assert got[3] > 1


def test_flux_maps_take_the_table_after_the_radii():
    l, re, rstar = [0.3, 1.5], 2.0, 0.2
    ring = [caustica.heyrovsky_magnification(x, 0.6, re, rstar) for x in l]
    got = caustica.discrete_flux_map_heyrovsky_magnification(l, re, rstar, [0.6], [2.5])
    assert got == [a * 2.5 for a in ring]


@pytest.mark.parametrize("function", [
    caustica.discrete_flux_map_heyrovsky_magnification,
    caustica.integrated_flux_map_heyrovsky_magnification,
    caustica.integrated_flux_map_witt_mao_magnification,
])
def test_flux_map_tables_of_unequal_length_panic(function):
    with pytest.raises(BaseException) as caught:
        function([0.5], 1.0, 0.1, [0.1, 0.2, 0.3], [1.0, 2.0])
    assert type(caught.value).__name__ == "PanicException"
    assert not isinstance(caught.value, Exception)
    assert str(caught.value) == "assertion `left == right` failed\n  left: 3\n right: 2"
    assert function([0.5], 1.0, 0.1, [0.2], [1.0])[0] > 1


def test_discrete_flux_map_passes_ring_failures_on():
    with pytest.raises(RuntimeError, match=r"^ellipk: Arguments cannot be NAN\.$"):
        caustica.discrete_flux_map_heyrovsky_magnification([0.5, float("nan")], 1.0, 0.1, [0.2], [1.0])


def test_empty_tables():
    assert caustica.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, [], []) == [0.0]
    assert math.isnan(caustica.integrated_flux_map_witt_mao_magnification([0.5], 1.0, 0.1, [], [])[0])


def test_multi_curve_order_and_values():
    l = [0.5, 1.0]
    curves = caustica.multi_witt_mao_magnification(l, [1.0, 2.0], [0.1, 0.2, 0.3])
    assert len(curves) == 6
    expected = [caustica.witt_mao_magnification(l, re, rstar)
                for re in (1.0, 2.0) for rstar in (0.1, 0.2, 0.3)]
    assert curves == expected


@pytest.mark.parametrize("re, rstar, expected", [
    ([], [0.1], []),
    ([1.0], [], []),
])
def test_multi_curve_with_no_pairs(re, rstar, expected):
    assert caustica.multi_witt_mao_magnification([0.5], re, rstar) == expected


def test_multi_curve_with_no_separations():
    assert caustica.multi_witt_mao_magnification([], [1.0, 2.0], [0.1, 0.2]) == [[], [], [], []]
