#!/usr/bin/env python3
"""Generate tests/data/elliptic_reference.txt: high-precision values of the elliptic integrals.

Every value is computed by mpmath at 50 significant digits and again at 70; the two must agree to
30 digits or the script stops. The principal value of RJ for p < 0 is the real part of mpmath's
complex result; that of Pi for n > 1 is K(m) - Pi(m/n, m) (DLMF 19.6.5), as mpmath's own is slow
there and settles to fewer digits.

Each row holds the routine, its arguments (exact doubles, '-' where unused), the reference rounded
to the nearest double, the reference minus that double (rounded to a double, so that an error in
units in the last place can be measured below one unit) and the reference to 30 digits.

Usage: python3 tools/gen_elliptic_reference.py [output path]
"""
import math
import random
import sys
from fractions import Fraction
from pathlib import Path

import mpmath

SEED = 20240611
COLUMNS = "routine a1 a2 a3 a4 nearest residual value"

MPMATH = {
    "ellipk": lambda m: mpmath.ellipk(m),
    "ellipe": lambda m: mpmath.ellipe(m),
    "ellippi": lambda n, m: mpmath.ellippi(n, m) if n < 1 else mpmath.ellipk(m) - mpmath.ellippi(m / n, m),
    "elliprf": lambda x, y, z: mpmath.elliprf(x, y, z),
    "elliprd": lambda x, y, z: mpmath.elliprd(x, y, z),
    "elliprj": lambda x, y, z, p: mpmath.elliprj(x, y, z, p),
}


def exact(value):
    """An mpf (at the current precision) as an exact rational."""
    sign, man, exp, _ = value._mpf_
    if not man:
        return Fraction(0)
    return (-1 if sign else 1) * Fraction(int(man)) * Fraction(2) ** int(exp)


def reference(routine, args):
    values = []
    for digits in (50, 70):
        with mpmath.workdps(digits):
            values.append(mpmath.re(MPMATH[routine](*[mpmath.mpf(a) for a in args])))
    with mpmath.workdps(70):
        low, high = values
        if abs(low - high) > abs(high) * mpmath.mpf(10) ** -30:
            raise RuntimeError(f"{routine}{args}: precision did not settle ({low} vs {high})")
        return high


def row(routine, args):
    with mpmath.workdps(70):
        ref = reference(routine, args)
        nearest = float(exact(ref))
        residual = float(exact(ref) - Fraction(nearest))
        text = mpmath.nstr(ref, 30, min_fixed=1, max_fixed=0)
    cells = [repr(float(a)) for a in args] + ["-"] * (4 - len(args))
    return " ".join([routine, *cells, repr(nearest), repr(residual), text])


def around(b, ulps=2):
    """b and its neighbours up to `ulps` doubles away on either side."""
    out, lo, hi = [b], b, b
    for _ in range(ulps):
        lo, hi = math.nextafter(lo, -math.inf), math.nextafter(hi, math.inf)
        out += [lo, hi]
    return out


def parameters_k_e(rng):
    m = [-10.0 + 11.0 * k / 440 for k in range(440)]                  # [-10, 1), uniform
    for k in range(-1, 19):                                            # interval edges i = trunc(20 m)
        m += around(k / 20)
    m += [-0.05 + 0.05 * k / 40 for k in range(1, 40)]                 # K's extrapolated row
    m += [1.0 - 2.0 ** -k for k in range(1, 54)]                       # towards the singularity
    m += [rng.uniform(-10.0, 1.0) for _ in range(200)]
    m += [-(10.0 ** rng.uniform(-8, 2)) for _ in range(40)]           # small negative m
    m += [-1e3, -1e6, -1e12, -1e17]                                    # far below the grid
    return sorted({x for x in m if x < 1.0})


def arguments_pi(rng):
    ns = [-9.9, -7.5, -5.0, -3.0, -2.0, -1.5, -1.0, -0.75, -0.5, -0.3, -0.1, -0.01, -1e-5, 0.0,
          1e-5, 0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99, 0.999, 1.0 - 1e-6, 1.0 - 2.0 ** -30]
    ms = [0.0, 1e-5, 0.01, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.85, 0.9, 0.95, 0.99,
          0.999, 1.0 - 1e-8, 1.0 - 2.0 ** -40]
    pairs = [(n, m) for n in ns for m in ms if n != m]
    pairs += [(rng.uniform(-10.0, 1.0), rng.uniform(0.0, 1.0)) for _ in range(300)]
    pairs += [(m, m) for m in (0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99)]   # the diagonal n = m
    pairs += [(m, m) for m in (-0.01, -0.5, -3.0)]                     # ... also for n < 0
    pairs += [(rng.uniform(1.0 + 1e-3, 10.0), rng.uniform(0.0, 1.0)) for _ in range(40)]
    pairs += [(1.5, 0.5), (2.0, 0.9), (3.0, 0.0), (100.0, 0.99)]       # principal values
    return [p for p in pairs if p[0] != 1.0]


def log_uniform(rng, lo, hi):
    return 10.0 ** rng.uniform(lo, hi)


def arguments_carlson(rng):
    rows = []
    for _ in range(150):
        rows.append(("elliprf", tuple(log_uniform(rng, -3, 3) for _ in range(3))))
        rows.append(("elliprd", tuple(log_uniform(rng, -3, 3) for _ in range(3))))
        rows.append(("elliprj", tuple(log_uniform(rng, -3, 3) for _ in range(4))))
    for _ in range(30):
        y, z = log_uniform(rng, -3, 3), log_uniform(rng, -3, 3)
        rows.append(("elliprf", (0.0, y, z)))
        rows.append(("elliprd", (0.0, y, z)))
        rows.append(("elliprj", (0.0, y, z, log_uniform(rng, -3, 3))))
        x = log_uniform(rng, -3, 3)
        rows.append(("elliprj", (x, y, z, -log_uniform(rng, -3, 3))))   # principal values
    for _ in range(20):                                                 # a pair of equal arguments
        x, y, p = (log_uniform(rng, -3, 3) for _ in range(3))
        rows.append(("elliprf", (x, y, y)))
        rows.append(("elliprd", (x, y, y)))
        rows.append(("elliprj", (x, y, y, p)))
        rows.append(("elliprj", (x, y, y, y * rng.uniform(0.85, 1.15))))  # p near y: no closed form
    for _ in range(40):                                                 # the integrals beneath Pi
        m, n = rng.uniform(0.0, 1.0), rng.uniform(-10.0, 1.0)
        rows.append(("elliprj", (0.0, 1.0 - m, 1.0, 1.0 - n)))
    rows += [("elliprf", (0.1, 0.2, 1.0)), ("elliprj", (0.5, 1.0, 2.0, -0.3)),
             ("elliprj", (1.0, 2.0, 2.0, 5.0)), ("elliprj", (1.0, 2.0, 2.0, 2.2)),
             ("elliprj", (0.3, 0.3, 2.0, 0.5))]
    return rows


def render():
    rng = random.Random(SEED)
    lines = [
        "# Reference values of the complete elliptic and Carlson integrals, by mpmath "
        f"{mpmath.__version__} at 50 and 70 digits (tools/gen_elliptic_reference.py).",
        "# nearest: reference rounded to the nearest double; residual: reference - nearest; "
        "value: reference to 30 digits; '-': argument not used.",
        COLUMNS,
    ]
    m_values = parameters_k_e(rng)
    lines += [row("ellipk", (m,)) for m in m_values]
    lines += [row("ellipe", (m,)) for m in m_values]
    lines += [row("ellippi", pair) for pair in arguments_pi(rng)]
    lines += [row(routine, args) for routine, args in arguments_carlson(rng)]
    return "\n".join(lines) + "\n"


def main():
    root = Path(__file__).resolve().parent.parent
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else root / "tests" / "data" / "elliptic_reference.txt"
    out.write_text(render())


if __name__ == "__main__":
    main()
