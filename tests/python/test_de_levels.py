"""The tanh-sinh node table in src/numeric/de_levels.hpp, recomputed with mpmath.

Every stored weight and abscissa must be the double nearest the exact value of
    x = tanh(pi/2 sinh t),   w = h pi/2 cosh t / cosh^2(pi/2 sinh t).
This recomputation is independent of tools/gen_de_levels.py: it checks nearness against the
neighbouring doubles rather than rounding the same way the generator does.
"""

import math
import re
import subprocess
import sys
from fractions import Fraction
from pathlib import Path

import mpmath
import pytest

ROOT = Path(__file__).resolve().parents[2]
HEADER = ROOT / "src" / "numeric" / "de_levels.hpp"
GENERATOR = ROOT / "tools" / "gen_de_levels.py"

LEVEL_RE = re.compile(r"DE_LEVEL_(\d+) = \{\{\n(.*?)\n\}\};", re.S)
ROW_RE = re.compile(r"^\s*\{([^,]+), ([^}]+)\},$")


def parse_levels():
    levels = {}
    for match in LEVEL_RE.finditer(HEADER.read_text()):
        rows = [ROW_RE.match(line) for line in match.group(2).splitlines()]
        assert all(rows), f"unparsable row in level {match.group(1)}"
        levels[int(match.group(1))] = [(float(r.group(1)), float(r.group(2))) for r in rows]
    return [levels[level] for level in sorted(levels)]


LEVELS = parse_levels()


def nodes(level):
    if level == 0:
        return [(Fraction(1), Fraction(t)) for t in (1, 2, 3)]
    h = Fraction(1, 2**level)
    return [(h, (2 * k - 1) * h) for k in range(1, 3 * 2 ** (level - 1) + 1)]


def exact(h, t):
    t_mp = mpmath.mpf(t.numerator) / t.denominator
    u = mpmath.pi / 2 * mpmath.sinh(t_mp)
    h_mp = mpmath.mpf(h.numerator) / h.denominator
    return h_mp * mpmath.pi / 2 * mpmath.cosh(t_mp) / mpmath.cosh(u) ** 2, mpmath.tanh(u)


def is_nearest_double(stored, value):
    """Both neighbouring doubles lie farther from value (the exact values here are transcendental,
    so no tie can occur)."""
    gap = abs(value - mpmath.mpf(stored))
    neighbours = (math.nextafter(stored, math.inf), math.nextafter(stored, -math.inf))
    return all(gap < abs(value - mpmath.mpf(n)) for n in neighbours)


def test_seven_levels_of_192_pairs():
    assert [len(level) for level in LEVELS] == [3, 3, 6, 12, 24, 48, 96]


@pytest.mark.parametrize("level", range(7))
def test_every_row_is_the_correctly_rounded_rule(level):
    with mpmath.workprec(300):
        for (h, t), (w, x) in zip(nodes(level), LEVELS[level]):
            want_w, want_x = exact(h, t)
            assert is_nearest_double(w, want_w), f"weight at t = {t}"
            assert is_nearest_double(x, want_x), f"abscissa at t = {t}"


@pytest.mark.parametrize(
    "level, row, w, x",
    [
        (0, 0, 0.23002239451478868, 0.9513679640727469),
        (0, -1, 1.3581784274539091e-12, 0.999999999999957),
        (1, 0, 0.4829882897061506, 0.6742714922484359),
        (2, 0, 0.3474036898118141, 0.3772097381640342),
        (6, 0, 0.024531906707493643, 0.02453976357464916),
        (6, -1, 3.411862828005251e-14, 0.9999999999999298),
    ],
)
def test_telling_rows(level, row, w, x):
    assert LEVELS[level][row] == (w, x)


def test_header_is_what_the_generator_writes(tmp_path):
    out = tmp_path / "de_levels.hpp"
    subprocess.run([sys.executable, str(GENERATOR), str(out)], check=True)
    assert out.read_text() == HEADER.read_text()
