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


INTEGRATED_FLUX_MAPS = [caustica.integrated_flux_map_heyrovsky_magnification,
                        caustica.integrated_flux_map_witt_mao_magnification]


def test_flux_maps_take_the_table_after_the_radii():
    l, re, rstar = [0.3, 1.5], 2.0, 0.2
    ring = [caustica.heyrovsky_magnification(x, 0.6, re, rstar) for x in l]
    got = caustica.discrete_flux_map_heyrovsky_magnification(l, re, rstar, [0.6], [2.5])
    assert got == [a * 2.5 for a in ring]


def test_flux_map_of_a_constant_profile_is_the_uniform_disk():
    # Near the source and in the far-field series, whose moments are then the disk's.
    l = [0.0, 0.5, 2.0, 4.0, 5.0, 10.0, 37.0]
    uniform = caustica.witt_mao_magnification(l, 1.0, 0.1)
    for function in (caustica.integrated_flux_map_heyrovsky_magnification,
                     caustica.integrated_flux_map_witt_mao_magnification):
        for a, b in zip(function(l, 1.0, 0.1, [0.5], [3.0]), uniform):
            assert relative_error(a, b) < 1e-13


@pytest.mark.parametrize("column", ["bl", "bf"])
@pytest.mark.parametrize("f", INTEGRATED_FLUX_MAPS)
def test_a_table_changed_in_place_between_calls_is_taken_as_it_is_now(f, column):
    # A fit refills one array with each step's law: a table kept from an earlier call must not
    # answer for it.
    import numpy as np
    l = [0.0, 0.3, 0.9, 1.5]
    table = {"bl": np.linspace(0.0, 1.0, 50)}
    table["bf"] = 1.0 - 0.6 * table["bl"]
    before = f(l, 1.0, 0.1, table["bl"], table["bf"])
    table[column][:] = {"bl": table["bl"] ** 0.8, "bf": 1.0 - 0.3 * table["bl"]}[column]
    now = f(l, 1.0, 0.1, table["bl"], table["bf"])
    assert now != before
    assert now == f(l, 1.0, 0.1, table["bl"].tolist(), table["bf"].tolist())


@pytest.mark.parametrize("function", [
    caustica.discrete_flux_map_heyrovsky_magnification,
    caustica.integrated_flux_map_heyrovsky_magnification,
    caustica.integrated_flux_map_witt_mao_magnification,
])
def test_flux_map_tables_of_unequal_length_are_a_value_error(function):
    with pytest.raises(ValueError) as caught:
        function([0.5], 1.0, 0.1, [0.1, 0.2, 0.3], [1.0, 2.0])
    assert str(caught.value) == ("arguments 'bl' and 'bf' must have the same length, but "
                                 "len(bl) = 3 and len(bf) = 2")
    assert function([0.5], 1.0, 0.1, [0.2], [1.0])[0] > 1


def test_discrete_flux_map_passes_ring_failures_on():
    with pytest.raises(RuntimeError, match=r"^ellipk: Arguments cannot be NAN\.$"):
        caustica.discrete_flux_map_heyrovsky_magnification([0.5, float("nan")], 1.0, 0.1, [0.2], [1.0])




@pytest.mark.parametrize("function", INTEGRATED_FLUX_MAPS)
@pytest.mark.parametrize("bad", [math.nan, math.inf, -math.inf])
def test_a_value_that_is_not_finite_leaves_no_profile(function, bad):
    # It used to give a finite wrong number (167.07 instead of 197.48, say).
    got = function([0.0, 0.5, 20.0], 1.0, 0.01, [0.0, 0.5, 1.0], [1.0, bad, 0.4])
    assert all(math.isnan(a) for a in got)


@pytest.mark.parametrize("function", INTEGRATED_FLUX_MAPS)
@pytest.mark.parametrize("bl, message", [
    # A table in order of mu runs from the limb inwards.
    ([0.1, 0.5, 0.7, 0.5], "bl[2] = 0.7 is followed by bl[3] = 0.5"),
    ([1.0, 0.0], "bl[0] = 1.0 is followed by bl[1] = 0.0"),
    ([0.0, math.nan, 1.0], "bl[0] = 0.0 is followed by bl[1] = nan"),
    ([0.0, 1e-05, math.inf], "bl[1] = 1e-05 is followed by bl[2] = inf"),
    ([-math.inf, 0.5, 1.0], "bl[0] = -inf is followed by bl[1] = 0.5"),
])
def test_radii_out_of_order_or_not_finite_are_a_value_error(function, bl, message):
    with pytest.raises(ValueError) as caught:
        function([0.5], 1.0, 0.1, bl, [1.0] * len(bl))
    assert caught.value.args == ("argument 'bl': radii must be finite and ascending, but " + message,)
    # The rings of the discrete sum may come in any order.
    if all(map(math.isfinite, bl)):
        caustica.discrete_flux_map_heyrovsky_magnification([0.5], 1.0, 0.1, bl, [1.0] * len(bl))


@pytest.mark.parametrize("function", INTEGRATED_FLUX_MAPS)
def test_a_step_is_a_valid_table(function):
    # Brightness 1 inside radius 0.5, 2 outside: twice the whole disk less the inner one.
    def disk_flux(l, r):
        return r * r * caustica.witt_mao_magnification([l / r], 1.0, 0.5 * r)[0]
    (a,) = function([0.7], 1.0, 0.5, [0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 2.0, 2.0])
    assert relative_error(a, (2 * disk_flux(0.7, 1.0) - disk_flux(0.7, 0.5)) / 1.75) < 1e-13


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


PROFILE_RUN = """
import sys, caustica
from array import array
l = [0.0, 1e-9, 0.3, 1.0 - 1e-12, 1.0, 1.0 + 1e-12, 2.5, 9.99, 10.0, 1e4] * 37
bl, bf = [0.0, 0.4, 0.4, 0.9], [1.0, 0.8, 0.5, 0.2]
calls = [caustica.integrated_heyrovsky_magnification(l, 1.0, 0.1),
         caustica.integrated_witt_mao_magnification(l, 1.0, 0.1),
         caustica.integrated_flux_map_heyrovsky_magnification(l, 1.0, 0.1, bl, bf),
         caustica.integrated_flux_map_witt_mao_magnification(l, 1.0, 0.1, bl, bf),
         caustica.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.1, bl, bf)]
# One separation at a time, on the calling thread.
calls += [[f([x], 1.0, 0.1)[0] for x in l[:10]] for f in (
    caustica.integrated_heyrovsky_magnification, caustica.integrated_witt_mao_magnification)]
sys.stdout.write(" ".join(array("d", c).tobytes().hex() for c in calls))
"""


def test_profile_functions_are_identical_bit_for_bit_on_every_pool_size():
    import os
    import subprocess
    import sys

    def run(num_threads):
        env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
        env["RAYON_NUM_THREADS"] = str(num_threads)
        return subprocess.run([sys.executable, "-c", PROFILE_RUN], env=env, capture_output=True,
                              text=True, timeout=300, check=True).stdout.split()

    reference = run(1)
    # Each element depends on its own separation only, not on the chunk it was computed in.
    assert reference[5] == reference[0][: len(reference[5])]
    assert reference[6] == reference[1][: len(reference[6])]
    for num_threads in (2, 3, 7):
        assert run(num_threads) == reference, num_threads
