#!/usr/bin/env python3
"""Reference magnifications of smooth limb-darkening laws, computed with mpmath at 30 digits.

Writes to tests/data/:
  limb_laws_reference.txt   for each law of examples/limb_darkening_laws.py with the coefficients
                            below, the magnification of the smooth law itself (not of a table of it)
                            at a few (rho, l), by source-centred rings (the ring and quadrature of
                            tools/gen_magnification_reference.py), checked at 20 digits; the tables
                            that the example makes are held to these
  dense_table_reference.txt the example's 1000-point quadratic-law table as exactly its
                            piecewise-linear profile, ring by ring over every table piece, at 25
                            digits, checked at 18
  narrow_annulus_reference.txt lit annuli [0.5, 0.5 + w] of brightness 1, from the difference of
                            uniform disks at 60 digits (gen_magnification_reference.py's disk)
Usage: python3 tools/gen_limb_laws_reference.py  (about ten minutes on two cores);
       python3 tools/gen_limb_laws_reference.py annuli  (the annuli alone, seconds)
"""
import sys
from multiprocessing import Pool
from pathlib import Path

import mpmath as mp

sys.path.insert(0, str(Path(__file__).resolve().parent))
from gen_magnification_reference import DATA, by_rings, disk, ring  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
from limb_darkening_laws import law_table  # noqa: E402

DPS, CHECK_DPS = 30, 20
AGREEMENT = 1e-17

# law: (coefficients, I(mu) / I(1) in mpmath)
LAWS = {
    "linear": ((0.6,), lambda mu, u: 1 - u[0] * (1 - mu)),
    "quadratic": ((0.4, 0.3), lambda mu, u: 1 - u[0] * (1 - mu) - u[1] * (1 - mu) ** 2),
    "square-root": ((0.3, 0.4), lambda mu, u: 1 - u[0] * (1 - mu) - u[1] * (1 - mp.sqrt(mu))),
    "logarithmic": ((0.6, 0.2), lambda mu, u: 1 - u[0] * (1 - mu) - u[1] * mu * mp.log(mu)
                    if mu > 0 else 1 - u[0]),
    "power-2": ((0.6, 0.6), lambda mu, u: 1 - u[0] * (1 - mu ** u[1])),
    "nonlinear": ((0.5, 0.1, 0.2, -0.1),
                  lambda mu, u: 1 - sum(u[k] * (1 - mu ** (mp.mpf(k + 1) / 2)) for k in range(4))),
}
CASES = [(rho, l) for rho in (0.01, 1.0) for l in (0.0, 0.5, 0.9, 1.0, 1.5)]


def smooth(name, rho, l):
    coefficients, law = LAWS[name]
    u = [mp.mpf(c) for c in coefficients]

    def profile(x):
        return law(mp.sqrt(1 - x * x), u)

    flux = mp.quad(lambda x: 2 * mp.pi * x * profile(x), [0, 1], method="tanh-sinh")
    return by_rings(l, rho, profile, flux, [])


def row(args):
    name, rho, l = args
    mp.mp.dps = DPS
    value = smooth(name, rho, l)
    mp.mp.dps = CHECK_DPS
    check = smooth(name, rho, l)
    assert abs(check / value - 1) < AGREEMENT, (name, rho, l, value, check)
    mp.mp.dps = DPS
    return name, rho, l, value


DENSE_TABLE = ("quadratic", (0.4, 0.3), 1000)
DENSE_CASES = [(0.01, 0.5), (0.1, 1.0), (1.0, 1.5)]


def dense_table(rho, l):
    """The table's exact piecewise-linear profile: each piece's line against the rings on it,
    split at the lens, with its flux in closed form."""
    bl, bf = law_table(*DENSE_TABLE)
    l = mp.mpf(l)
    total = flux = mp.mpf(0)
    for x0, x1, f0, f1 in zip(bl, bl[1:], bf, bf[1:]):
        a, b, fa, fb = mp.mpf(x0), mp.mpf(x1), mp.mpf(f0), mp.mpf(f1)
        beta = (fb - fa) / (b - a)
        alpha = fa - beta * a
        flux += 2 * mp.pi * (alpha * (b * b - a * a) / 2 + beta * (b ** 3 - a ** 3) / 3)
        f = lambda x: 2 * mp.pi * x * (alpha + beta * x) * ring(l, x, rho) if x != l else mp.mpf(0)
        points = [a, l, b] if a < l < b else [a, b]
        near = min(abs(a - l), abs(b - l)) < 2 * (b - a)
        total += mp.quad(f, points, method="tanh-sinh" if near else "gauss-legendre")
    return total / flux


def dense_row(args):
    rho, l = args
    mp.mp.dps = 25
    value = dense_table(rho, l)
    mp.mp.dps = 18
    check = dense_table(rho, l)
    assert abs(check / value - 1) < 1e-15, (rho, l, value, check)
    return rho, l, value


ANNULUS_WIDTHS = [1e-3, 1e-6, 1e-8]
ANNULUS_CASES = [(0.1, l) for l in (0.0, 0.3, 0.5, 0.6, 2.0)]


def annuli():
    """An annulus [a, b] of brightness 1: (b^2 A(b) - a^2 A(a)) / (b^2 - a^2), A(x) the uniform
    disk of radius x; at 60 digits the difference loses nothing that matters."""
    mp.mp.dps = 60
    lines = ["# rho w l A: the lit annulus bl = [0.5, 0.5 + w], bf = [1, 1], re = 1, rstar = rho;"
             " difference of uniform disks at 60 digits (tools/gen_limb_laws_reference.py annuli)"]
    for w in ANNULUS_WIDTHS:
        a, b = mp.mpf(0.5), mp.mpf(0.5 + w)
        for rho, l in ANNULUS_CASES:
            inner = a * a * disk(l / a, rho * a) if l != 0 else a * a * disk(0, rho * a)
            outer = b * b * disk(l / b, rho * b) if l != 0 else b * b * disk(0, rho * b)
            lines.append(f"{rho!r} {w!r} {l!r} {mp.nstr((outer - inner) / (b * b - a * a), 25)}")
    (DATA / "narrow_annulus_reference.txt").write_text("\n".join(lines) + "\n")


def main():
    if sys.argv[1:] == ["annuli"]:
        return annuli()
    cases = [(name, rho, l) for name in LAWS for rho, l in CASES]
    with Pool(2) as pool:
        dense = pool.map(dense_row, DENSE_CASES, chunksize=1)
        rows = pool.map(row, cases, chunksize=1)
    name, coefficients, n = DENSE_TABLE
    lines = [f"# rho l A: examples/limb_darkening_laws.py's law_table({name!r}, {coefficients!r}, {n}),"
             " exactly its piecewise-linear profile, re = 1, rstar = rho; rings over every table piece at"
             " 25 digits, checked at 18 (tools/gen_limb_laws_reference.py)"]
    lines += [f"{rho!r} {l!r} {mp.nstr(value, 22)}" for rho, l, value in dense]
    (DATA / "dense_table_reference.txt").write_text("\n".join(lines) + "\n")
    lines = ["# law coefficients rho l A: smooth limb-darkening laws I(mu) (examples/limb_darkening_laws.py),"
             " re = 1, rstar = rho; source-centred rings at 30 digits, checked at 20"
             " (tools/gen_limb_laws_reference.py)"]
    for name, rho, l, value in rows:
        coefficients = ",".join(repr(c) for c in LAWS[name][0])
        lines.append(f"{name} {coefficients} {rho!r} {l!r} {mp.nstr(value, 25)}")
    (DATA / "limb_laws_reference.txt").write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
