#!/usr/bin/env python3
"""Reference magnifications for the accuracy tests, computed with mpmath at 40 digits.

Writes three tables to tests/data/:
  witt_mao_reference.txt      uniform disk on a grid of rho and separations, near the limb included
  ring_reference.txt          thin rings (Heyrovsky form) on a grid of l and r
  limb_darkened_reference.txt linear limb darkening (coefficient 0.6), rings integrated over the
                              source; every value is cross-checked against the independent
                              disk form [0.4 A(rho) + 0.6 int_0^{pi/2} sin^3(phi) A(rho sin phi) dphi]/0.8

Inputs are the exact doubles the tests pass (re = 1, rstar = rho); the closed forms are first checked
against direct integration of the point-lens magnification, so the tables do not merely restate them.
Usage: python3 tools/gen_magnification_reference.py  (about ten minutes on two cores)
"""
import sys
from multiprocessing import Pool
from pathlib import Path

import mpmath as mp

DPS = 40
DATA = Path(__file__).resolve().parent.parent / "tests" / "data"
RHOS = [1e-4, 1e-3, 1e-2, 0.1, 1.0, 10.0]
LD_RHOS = [1e-3, 1e-2, 0.1, 1.0, 10.0]
LD_SEPARATIONS = [0.0, 0.1, 0.5, 0.9, 0.99, 0.999, 1.0, 1.001, 1.01, 1.1, 2.0, 10.0]


def point(u):
    """Point-source magnification at separation u (Einstein radii)."""
    return (u * u + 2) / (u * mp.sqrt(u * u + 4))


def disk(x, rho):
    """Uniform disk of radius rho (Einstein radii), lens at x source radii (Witt & Mao 1994)."""
    x, rho = mp.mpf(x), mp.mpf(rho)
    c = rho * rho
    u = x * rho
    if u == rho:
        return (2 / rho + ((c + 1) / c) * (mp.asin((c - 1) / (c + 1)) + mp.pi / 2)) / mp.pi
    d = u - rho
    # 1 - n = (d/s)^2: keep enough digits that n does not round to 1 next to the limb.
    with mp.extradps(2 * max(0, int(-mp.log10(abs(d / rho)))) + 10):
        s = rho + u
        w = mp.sqrt(d * d + 4)
        n = 4 * rho * u / (s * s)
        m = 4 * n / (w * w)
        E, K, P = mp.ellipe(m), mp.ellipk(m), mp.ellippi(n, m)
        return +((s * w / (2 * c) * E - d * ((u * u - c) / 2 + 4) / (w * c) * K
                  + 2 * d * d * (c + 1) / (w * s * c) * P) / mp.pi)


def ring(l, r, rho):
    """Thin ring of radius r around the source centre, lens at l (both in source radii)."""
    l, r = mp.mpf(l), mp.mpf(r)
    if l == 0 or r == 0:
        return point((l + r) * rho)
    h = r - l
    if h == 0:
        return mp.inf
    # 1 - n = (h/p)^2: keep enough digits that n does not round to 1 next to the ring.
    with mp.extradps(2 * max(0, int(-mp.log10(abs(h)))) + 10):
        s = 1 / mp.mpf(rho)
        p = l + r
        o = h * h + 4 * s * s
        m = 16 * s * s * l * r / (p * p * o)
        n = 4 * l * r / (p * p)
        value = 4 / (p * mp.sqrt(o)) * (2 * s * s * mp.ellipk(m) + h * h * mp.ellippi(n, m))
        return +(value / (2 * mp.pi))


def profile(r):
    return 1 - mp.mpf("0.6") * (1 - mp.sqrt(1 - r * r))


def limb_darkened_by_rings(l, rho):
    l = mp.mpf(l)
    f = lambda r: 2 * mp.pi * r * profile(r) * ring(l, r, rho)
    points = [0, l, 1] if 0 < l < 1 else [0, 1]
    return mp.quad(f, points) / (mp.mpf("0.8") * mp.pi)


def limb_darkened_by_disks(l, rho):
    l = mp.mpf(l)

    def inner(phi):
        r = mp.sin(phi)
        return r ** 3 * disk(l / r, rho * r)

    points = [0, mp.asin(l), mp.pi / 2] if 0 < l < 1 else [0, mp.pi / 2]
    return (mp.mpf("0.4") * disk(l, rho) + mp.mpf("0.6") * mp.quad(inner, points)) / mp.mpf("0.8")


def check_closed_forms():
    """The closed forms against direct integration of the point-lens magnification."""
    mp.mp.dps = 25
    for l, r, rho in [(0.5, 0.8, 0.1), (2.0, 1.0, 1.0), (1.3, 0.2, 3.0)]:
        l, r, rho = mp.mpf(l), mp.mpf(r), mp.mpf(rho)
        direct = mp.quad(lambda t: point(rho * mp.sqrt(l * l + r * r - 2 * l * r * mp.cos(t))),
                         [0, mp.pi]) / mp.pi
        assert abs(ring(l, r, rho) / direct - 1) < 1e-18, (l, r, rho)
    for x, rho in [(0.5, 0.1), (1.5, 1.0), (3.0, 0.3)]:
        x, rho = mp.mpf(x), mp.mpf(rho)
        direct = mp.quad(lambda r: 2 * r * ring(x, r, rho), [0, min(x, 1), 1] if x < 1 else [0, 1])
        assert abs(disk(x, rho) / direct - 1) < 1e-15, (x, rho)


def near_limb_separations():
    values = []
    for k in range(-14, -1):
        values += [1.0 + 10.0 ** k, 1.0 - 10.0 ** k]
    return values


def disk_row(args):
    mp.mp.dps = DPS
    rho, x = args
    return rho, x, disk(x, rho)


def ring_row(args):
    mp.mp.dps = DPS
    l, r, rho = args
    return l, r, rho, ring(l, r, rho)


def limb_darkened_row(args):
    mp.mp.dps = 30
    rho, l = args
    by_rings = limb_darkened_by_rings(l, rho)
    by_disks = limb_darkened_by_disks(l, rho)
    assert abs(by_rings / by_disks - 1) < 1e-20, (rho, l, by_rings, by_disks)
    return rho, l, by_rings


def write(name, header, rows):
    with open(DATA / name, "w") as out:
        out.write(header + "\n")
        for row in rows:
            out.write(" ".join(mp.nstr(v, 25) if isinstance(v, mp.mpf) else repr(v) for v in row) + "\n")


def main():
    check_closed_forms()
    separations = [0.0, 0.1, 0.5, 0.9, 0.99, 1.0, 1.01, 1.1, 1.5, 2.0, 4.999, 5.0, 9.999, 10.0, 100.0, 3e4, 1e6]
    disk_cases = [(rho, x) for rho in RHOS + [100.0, 1e3] for x in separations + near_limb_separations()]
    # The ends of the range of source radii, and separations up to the far field.
    disk_cases += [(rho, x) for rho in [1e-12, 1e6]
                   for x in [0.0, 0.5, 1.0 - 1e-9, 1.0 + 1e-9, 2.0, 9.999, 10.0, 1e4, 1e6]]
    ring_cases = [(l, r, rho) for rho in [1e-3, 0.1, 1.0, 10.0]
                  for l in [0.0, 0.3, 1.0, 2.5] for r in [0.0, 0.2, 0.5, 0.999, 1.0, 1.7]
                  if l != r]
    ring_cases += [(0.5, 0.5 + dh, rho) for rho in [1e-3, 0.1]
                   for dh in [-0.049, -1e-4, -1.01e-5, -0.99e-5, -1e-6, 1e-6, 0.99e-5, 1.01e-5, 1e-4, 0.049]]
    # Next to the ring for large sources too, right up to it, and about a lens near the centre
    # or the limb; and one radius about 1e-9 of the other, where the ring is all but a point.
    ring_cases += [(l, l + dh, rho) for rho in [10.0, 100.0] for l in [0.01, 0.5, 0.999]
                   for dh in [-1e-3, -1e-5, -1e-8, -1e-12, 1e-12, 1e-8, 1e-5, 1e-3]]
    ring_cases += [(0.5, 0.50001, 10.0), (0.5, 0.5 + 2**-53, 0.1), (0.999, 0.999 - 2**-53, 1e-3)]
    ring_cases += [(l, r, rho) for rho in [1e-3, 1.0, 100.0]
                   for l, r in [(2e-10, 0.3), (0.3, 2e-10), (4e-10, 0.3), (1e9, 0.5), (1e-12, 1e-3)]]
    ld_cases = [(rho, l) for rho in LD_RHOS for l in LD_SEPARATIONS]
    with Pool() as pool:
        disks = pool.map(disk_row, disk_cases)
        rings = pool.map(ring_row, ring_cases)
        limb_darkened = pool.map(limb_darkened_row, ld_cases)
    write("witt_mao_reference.txt",
          "# rho l A: uniform-disk magnification, re = 1, rstar = rho; mpmath 40 digits "
          "(tools/gen_magnification_reference.py)", disks)
    write("ring_reference.txt",
          "# l r rho A: thin-ring magnification, re = 1, rstar = rho; mpmath 40 digits "
          "(tools/gen_magnification_reference.py)", rings)
    write("limb_darkened_reference.txt",
          "# rho l A: linear limb darkening 0.6, re = 1, rstar = rho; rings integrated at 30 digits, "
          "checked against the disk form (tools/gen_magnification_reference.py)", limb_darkened)
    return 0


if __name__ == "__main__":
    sys.exit(main())
