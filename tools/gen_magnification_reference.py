#!/usr/bin/env python3
"""Reference magnifications for the accuracy tests, computed with mpmath at 40 digits.

Writes to tests/data/:
  witt_mao_reference.txt      uniform disk on a grid of rho and separations, near the limb included
  ring_reference.txt          thin rings (Heyrovsky form) on a grid of l and r
  limb_darkened_centre.txt    linear limb darkening (coefficient 0.6) with the lens at the centre,
                              in closed form, checked against direct integration
  limb_darkened_reference.txt linear limb darkening (coefficient 0.6) from the centre to l = 1e6,
                              next to the limb to 1 -+ 1e-14; linear_law_reference.txt the same for
                              other coefficients. Lens-centred polar quadrature, every value checked
                              against source-centred rings; limb_darkened_extra_reference.txt the
                              same at separations where a quadrature plan once erred
  flux_map_tables.txt,        brightness tables (kinks, a step, a lit annulus, a ramp, a fine table, a rough one)
  flux_map_reference.txt      and their magnifications: rings, every value checked against uniform
                              disks integrated by parts

Inputs are the exact doubles the tests pass (re = 1, rstar = rho); the closed forms are first checked
against direct integration of the point-lens magnification, so the tables do not merely restate them.
Usage: python3 tools/gen_magnification_reference.py  (about half an hour on two cores);
       python3 tools/gen_magnification_reference.py profiles  (the limb-darkened and table files alone,
       about twenty minutes: eight minutes of processor time);
       python3 tools/gen_magnification_reference.py tables  (flux_map_tables.txt and
       flux_map_reference.txt alone);
       python3 tools/gen_magnification_reference.py kernels  (the uniform-disk, ring and centre files
       alone, a minute)
       python3 tools/gen_magnification_reference.py ld-extra  (limb_darkened_extra_reference.txt alone)
"""
import sys
from multiprocessing import Pool
from pathlib import Path

import mpmath as mp

DPS = 40
DATA = Path(__file__).resolve().parent.parent / "tests" / "data"
RHOS = [1e-4, 1e-3, 1e-2, 0.1, 1.0, 10.0]


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


def limb_darkened_centre(rho):
    """Linear limb darkening 0.6 with the lens at the centre: (A_U + A_mu) / 2, since
    I = 0.4 + 0.6 mu carries equal flux 0.4 pi in each part, with A_U = sqrt(rho^2 + 4) / rho and
    A_mu = [2 (rho^2 + 2) E(-rho^2/4) - (rho^2 + 4) K(-rho^2/4)] / rho^3 (parameter m), the
    mu-weighted mean of the point-source magnification over the disk."""
    rho = mp.mpf(rho)
    # The two terms of A_mu cancel to O(rho^2) of each other for a small source.
    with mp.extradps(2 * max(0, int(-mp.log10(rho))) + 10):
        c = rho * rho
        m = -c / 4
        A_mu = (2 * (c + 2) * mp.ellipe(m) - (c + 4) * mp.ellipk(m)) / (c * rho)
        return +((mp.sqrt(c + 4) / rho + A_mu) / 2)


def check_centre():
    """The centre's closed form against direct integration over rings about the lens."""
    mp.mp.dps = 25
    for rho in [mp.mpf("0.01"), mp.mpf(1), mp.mpf(30)]:
        profile = linear_law(LD_C)
        direct = mp.quad(lambda x: 2 * mp.pi * x * profile(x) * point(x * rho), [0, 1]) / (mp.pi * mp.mpf("0.8"))
        assert abs(limb_darkened_centre(rho) / direct - 1) < 1e-20, rho


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


def write(name, header, rows):
    with open(DATA / name, "w") as out:
        out.write(header + "\n")
        for row in rows:
            out.write(" ".join(mp.nstr(v, 25) if isinstance(v, mp.mpf) else v if isinstance(v, str) else repr(v)
                               for v in row) + "\n")


# ---------------------------------------------------------------------------------------------
# Limb-darkened and tabulated sources.
#
# A source of surface brightness I(x) (x in source radii) magnifies by
#   A = (1/F) int_source I(x) A_point(|y| rho) dArea,   F = int_0^1 2 pi x I(x) dx.
# Three independent ways to do the integral:
#   rings:  source-centred, int_0^1 2 pi x I(x) ring(l, x) dx;
#   polar:  lens-centred, int_0^{1+l} s A_point(s rho) [int over the arc inside the source of I dphi] ds,
#           where for I = 1 - c (1 - sqrt(1 - x^2)) the arc integral is a closed form in E and K;
#   disks:  by parts, I(1) pi A_1 - int pi x^2 A_x I'(x) dx, A_x the uniform disk of radius x.

LD_C = 0.6
LD_RHOS = [1e-4, 1e-3, 1e-2, 0.1, 1.0, 10.0, 100.0]
LD_FULL_SWEEP_RHOS = [1e-2, 1.0]
LD_SEPARATIONS = [0.0, 1e-9, 0.3, 0.7, 1.0, 1.5, 3.0, 5.0, 9.999, 10.0, 10.001, 20.0, 1e2, 1e4, 1e6]
# (rho, l) between the grid's points where a quadrature plan lost 4e-14 to 1e-13: inside, next to
# the centre and within 1e-9 of the limb, and for large sources.
LD_EXTRA = [(0.0031329, 0.39859), (1e-3, 0.9225), (1.0, 0.9225), (1e-2, 1 - 1.334e-10),
            (0.1, 1 - 2.054e-10), (1e-3, 1.7782794100389228e-09), (0.1, 1e-10), (1e-2, 0.05),
            (10.0, 0.5), (100.0, 0.05),
            # The centre side taken in cos v, where the branch points or the centre weigh most,
            # and the whole source in one piece with the lens off it.
            (1e-4, 0.280671), (1e-3, 0.283996), (0.1, 0.06346), (3.0, 0.75014), (3.0, 0.767726),
            (10.0, 0.386972), (10.0, 0.880741), (30.0, 0.6), (1e-2, 1.1), (1.0, 1.2), (3.0, 1.3),
            (10.0, 1.45), (0.1, 1.9)]
LINEAR_LAW_CS = [0.3, 1.0]
LINEAR_LAW_RHOS = [1e-3, 0.1, 10.0]
LINEAR_LAW_SEPARATIONS = [0.0, 0.5, 0.999, 1.0, 1.001, 2.0, 20.0]
# Digits of the value and of its check; the second pair where the first does not settle the check.
PRECISIONS = [(30, 20), (40, 30)]
AGREEMENT = mp.mpf("1e-18")


def limb_separations(ks):
    return [v for k in ks for v in (1.0 - 10.0 ** -k, 1.0 + 10.0 ** -k)]


def point_area_weight(s, rho):
    """s A_point(s rho): the lens-centred area element times the point magnification, finite at s = 0."""
    u = s * rho
    return (u * u + 2) / (rho * mp.sqrt(u * u + 4))


def exact(c):
    """The coefficient as the decimal it is written as (0.6, not the double nearest to it)."""
    return mp.mpf(repr(c))


def linear_law_arc(s, l, c):
    """int I(x) dphi over the arc of the circle of radius s about the lens inside the source,
    I(x) = 1 - c (1 - sqrt(1 - x^2)), x^2 = s^2 + l^2 - 2 s l cos(phi).

    With q = 1 - (s - l)^2 (the square root's value at phi = 0) and m = q / (4 s l):
    a whole circle (s + l <= 1) gives int sqrt = 4 sqrt(q) E(1/m); a part (|phi| < phi0,
    sin^2(phi0/2) = m) gives int sqrt = 8 sqrt(s l) [E(m) - (1 - m) K(m)]."""
    t = s - l
    q = (1 - t) * (1 + t)
    if q <= 0:
        return mp.mpf(0)
    if s + l <= 1:
        k2 = min(4 * s * l / q, mp.mpf(1))  # rounding just past the circle that touches the limb
        return (1 - c) * 2 * mp.pi + c * 4 * mp.sqrt(q) * mp.ellipe(k2)
    m = q / (4 * s * l)
    if m >= 1:  # rounding just past the whole circle
        return (1 - c) * 2 * mp.pi + c * 8 * mp.sqrt(s * l)
    phi0 = 2 * mp.asin(mp.sqrt(m))
    return (1 - c) * 2 * phi0 + c * 8 * mp.sqrt(s * l) * (mp.ellipe(m) - (1 - m) * mp.ellipk(m))


def geometric_points(a, b, d):
    """a, a + d, a + 10 d, ... up to b: a tanh-sinh piece per decade of a feature of width d at a."""
    points = [a]
    while d < (b - a) / 10:
        points.append(a + d)
        d *= 10
    return points + [b]


def linear_law_by_polar(l, rho, c):
    l, rho, c = mp.mpf(l), mp.mpf(rho), exact(c)
    flux = mp.pi * (1 - c / 3)
    d = abs(1 - l)
    if l < 1:
        f = lambda s: point_area_weight(s, rho) * linear_law_arc(s, l, c)
        # Whole circles up to s = 1 - l, arcs beyond; next to the limb the arc opens over the width 1 - l.
        points = [0, 1] if l == 0 else [0] + geometric_points(d, 1 + l, d)
        return mp.quad(f, points) / flux
    # Outside, integrate over t = s - l in [-1, 1], which keeps 1 - t^2 exact however far the lens.
    f = lambda t: point_area_weight(l + t, rho) * linear_law_arc(l + t, l, c)
    points = [-1, 1] if l == 1 else geometric_points(-1, 1, d)
    return mp.quad(f, points) / flux


def linear_law(c):
    c = exact(c)
    return lambda x: 1 - c * (1 - mp.sqrt(1 - x * x))


def by_rings(l, rho, profile, flux, kinks):
    """Source-centred rings; the integrand has a logarithmic singularity at x = l and corners at kinks."""
    l = mp.mpf(l)

    def f(x):
        if x == l:  # a node that rounds onto the ring's singularity carries no weight
            return mp.mpf(0)
        return 2 * mp.pi * x * profile(x) * ring(l, x, rho)

    points = sorted(set([mp.mpf(0), mp.mpf(1)] + [mp.mpf(k) for k in kinks if 0 < k < 1]
                        + ([l] if 0 < l < 1 else [])))
    return pieces_quad(f, points, l) / flux


def pieces_quad(f, points, l):
    """Gauss-Legendre where f is analytic on and near the piece, tanh-sinh where the piece ends at
    or next to the separation (f is singular there) or at the limb (where a profile may be)."""
    total = mp.mpf(0)
    for a, b in zip(points, points[1:]):
        near = min(abs(a - l), abs(b - l)) < b - a or b == 1
        total += mp.quad(f, [a, b], method="tanh-sinh" if near else "gauss-legendre")
    return total


def linear_law_row(args):
    rho, l, c = args
    for dps, check_dps in PRECISIONS:
        mp.mp.dps = dps + 10
        polar = linear_law_by_polar(l, rho, c)
        mp.mp.dps = check_dps
        rings = by_rings(l, rho, linear_law(c), mp.pi * (1 - exact(c) / 3), [])
        if abs(rings / polar - 1) < AGREEMENT:
            return rho, l, c, polar
    raise AssertionError((rho, l, c, polar, rings))


# A table is exactly its piecewise-linear profile, 0 outside its radii, a step where two radii are equal.
def fine_table():
    mu = lambda x: mp.sqrt(1 - x * x)
    bl = [j / 99 for j in range(100)]
    return bl, [float(1 - mp.mpf("0.4") * (1 - mu(mp.mpf(x))) - mp.mpf("0.3") * (1 - mu(mp.mpf(x))) ** 2)
                for x in bl]


TABLES = {
    "kinks": ([0.0, 0.3, 0.55, 0.8, 1.0], [1.0, 0.9, 0.95, 0.5, 0.2]),
    "step": ([0.0, 0.5, 0.5, 1.0], [1.0, 0.8, 0.4, 0.3]),
    "annulus": ([0.25, 0.5, 0.75], [0.5, 1.0, 0.5]),
    "ramp": ([0.0, 1.0], [1.0, 0.25]),
    "beyond": ([-0.5, 0.4, 1.6], [0.2, 1.0, 0.1]),  # radii past the centre and the limb
    "constant": ([0.5], [3.0]),  # one point: the same value everywhere
    "fine": fine_table(),
    # Uneven radii and brightness: the lens just past a kink, where the plan's piece towards the
    # centre reaches the lens's mirror and its parts once took too few nodes next to it.
    "rough": ([0.06310682188770933, 0.11791870367106105, 0.20995480637147712, 0.37961522332372777,
               0.47224524357611664, 0.48785665652414756, 0.5692038748222122, 0.7609624449125756,
               0.8022650611681835, 0.8933170425576351],
              [0.6074379962852603, 0.767157629147962, 0.6958328667684435, 0.26633056045725956,
               0.8018263669964836, 0.5911534350013039, 0.10222715811004823, 0.3174296321763842,
               0.022322111021323865, 0.6495461355254983]),
}
TABLE_RHOS = [1e-2, 1.0]
# Separations some tables are also taken at.
TABLE_EXTRA_SEPARATIONS = {"rough": [0.5718063565323186, 0.572]}
TABLE_SEPARATIONS = [0.0, 1e-9, 0.3, 0.5, 0.55, 0.9, 1.0 - 1e-10, 1.0, 1.0 + 1e-10, 1.001, 2.0, 20.0, 1e3]
FINE_TABLE_SEPARATIONS = [0.0, 0.5, 0.999, 1.0, 1.001, 2.0, 20.0]


def linear_pieces(bl, bf):
    """(a, b, alpha, beta): the profile is alpha + beta x on [a, b], the pieces inside (0, 1)."""
    if len(bl) == 1:
        return [(mp.mpf(0), mp.mpf(1), mp.mpf(bf[0]), mp.mpf(0))]
    pieces = []
    for x0, x1, f0, f1 in zip(bl, bl[1:], bf, bf[1:]):
        if x1 == x0:
            continue
        x0, x1, f0, f1 = mp.mpf(x0), mp.mpf(x1), mp.mpf(f0), mp.mpf(f1)
        beta = (f1 - f0) / (x1 - x0)
        a, b = max(x0, mp.mpf(0)), min(x1, mp.mpf(1))
        if a < b:
            pieces.append((a, b, f0 - beta * x0, beta))
    return pieces


def table_flux(pieces):
    return sum(2 * mp.pi * (alpha * (b * b - a * a) / 2 + beta * (b ** 3 - a ** 3) / 3)
               for a, b, alpha, beta in pieces)


def table_profile(pieces):
    def profile(x):
        for a, b, alpha, beta in pieces:
            if a <= x <= b:
                return alpha + beta * x
        return mp.mpf(0)
    return profile


def table_by_disks(l, rho, pieces):
    """By parts over each piece: int_a^b 2 pi x P(x) ring(l, x) dx
    = [P(x) pi x^2 A_x]_a^b - beta int_a^b pi x^2 A_x dx, A_x the uniform disk of radius x."""
    l = mp.mpf(l)
    disk_flux = lambda x: mp.pi * x * x * disk(l / x, rho * x) if x > 0 else mp.mpf(0)
    total = mp.mpf(0)
    for a, b, alpha, beta in pieces:
        total += (alpha + beta * b) * disk_flux(b) - (alpha + beta * a) * disk_flux(a)
        if beta != 0:
            points = [a, l, b] if a < l < b else [a, b]
            total -= beta * pieces_quad(disk_flux, points, l)
    return total / table_flux(pieces)


def table_row(args):
    name, rho, l = args
    for dps, check_dps in PRECISIONS:
        mp.mp.dps = dps
        pieces = linear_pieces(*TABLES[name])  # slopes at this precision, not the previous row's
        rings = by_rings(l, rho, table_profile(pieces), table_flux(pieces), TABLES[name][0])
        mp.mp.dps = check_dps
        disks = table_by_disks(l, rho, pieces)
        if abs(disks / rings - 1) < AGREEMENT:
            return name, rho, l, rings
    raise AssertionError((name, rho, l, rings, disks))


def check_linear_law_arc():
    """The arc integral's closed form against direct quadrature over the angle."""
    mp.mp.dps = 25
    for s, l, c in [(0.3, 0.5, 0.6), (0.8, 0.5, 0.6), (1.2, 0.5, 1.0), (0.5, 1.3, 0.3), (0.2, 0.0, 0.6)]:
        s, l, c = mp.mpf(s), mp.mpf(l), mp.mpf(c)
        x2 = lambda phi: s * s + l * l - 2 * s * l * mp.cos(phi)
        edge = mp.pi if s + l <= 1 else mp.acos((s * s + l * l - 1) / (2 * s * l))
        direct = 2 * mp.quad(lambda phi: 1 - c * (1 - mp.sqrt(1 - x2(phi))), [0, edge])
        assert abs(linear_law_arc(s, l, c) / direct - 1) < 1e-20, (s, l, c)


def profile_tables():
    check_closed_forms()
    check_linear_law_arc()
    ld_cases = [(rho, l, LD_C) for rho in LD_RHOS for l in LD_SEPARATIONS + limb_separations(
        range(2, 15) if rho in LD_FULL_SWEEP_RHOS else [2, 5, 8, 11, 14])]
    ld_cases += [(rho, l, c) for c in LINEAR_LAW_CS for rho in LINEAR_LAW_RHOS for l in LINEAR_LAW_SEPARATIONS]
    with Pool(2) as pool:
        laws = pool.map(linear_law_row, ld_cases, chunksize=1)
    write("limb_darkened_reference.txt",
          "# rho l A: linear limb darkening I(x) = 1 - 0.6 (1 - sqrt(1 - x^2)), re = 1, rstar = rho; "
          "lens-centred polar quadrature at 40 digits (arcs in closed form by E and K), checked to 1e-18 "
          "against source-centred rings at 20 (or 30) digits (tools/gen_magnification_reference.py)",
          [(rho, l, A) for rho, l, c, A in laws if c == LD_C])
    write("linear_law_reference.txt",
          "# c rho l A: linear limb darkening I(x) = 1 - c (1 - sqrt(1 - x^2)), computed as "
          "limb_darkened_reference.txt (tools/gen_magnification_reference.py)",
          [(c, rho, l, A) for rho, l, c, A in laws if c != LD_C])
    return flux_map_tables()


def flux_map_tables():
    table_cases = [(name, rho, l) for name in TABLES if name != "fine" for rho in TABLE_RHOS
                   for l in TABLE_SEPARATIONS + TABLE_EXTRA_SEPARATIONS.get(name, [])]
    table_cases += [("fine", TABLE_RHOS[0], l) for l in FINE_TABLE_SEPARATIONS]
    with Pool(2) as pool:
        tables = pool.map(table_row, table_cases, chunksize=1)
    mp.mp.dps = 30
    write("flux_map_tables.txt",
          "# name flux n bl[0..n-1] bf[0..n-1]: brightness tables, each exactly its piecewise-linear "
          "profile (0 outside its radii); flux = int_0^1 2 pi x P(x) dx in closed form at 30 digits "
          "(tools/gen_magnification_reference.py)",
          [(name, table_flux(linear_pieces(bl, bf)), len(bl), *bl, *bf) for name, (bl, bf) in TABLES.items()])
    write("flux_map_reference.txt",
          "# name rho l A: the tables of flux_map_tables.txt, re = 1, rstar = rho; source-centred rings "
          "at 30 (or 40) digits, checked to 1e-18 against uniform disks by parts at 20 (or 30) digits "
          "(tools/gen_magnification_reference.py)", tables)
    return 0


def ld_extra_table():
    with Pool(2) as pool:
        laws = pool.map(linear_law_row, [(rho, l, LD_C) for rho, l in LD_EXTRA], chunksize=1)
    write("limb_darkened_extra_reference.txt",
          "# rho l A: as limb_darkened_reference.txt, at separations between its points "
          "(tools/gen_magnification_reference.py)", [(rho, l, A) for rho, l, c, A in laws])
    return 0


# Either side of the far-field series' start for a profile whose moments are at most the disk's
# (l = 2; nearer the source its terms would not serve): the built-in law, and tables whose
# moments are the disk's (constant) or below them.
HANDOVER_SEPARATIONS = [1.5, 1.7, 1.8, 1.9, 1.99, 2.0, 2.01, 2.1, 2.3, 2.6]
HANDOVER_LD_RHOS = [1e-3, 1e-2, 0.1, 1.0, 10.0, 100.0]
HANDOVER_TABLES = ["constant", "kinks", "annulus"]
HANDOVER_TABLE_RHOS = [1e-2, 1.0, 10.0]


def handover_row(args):
    profile, rho, l = args
    if profile == "linear":
        _rho, _l, _c, A = linear_law_row((rho, l, LD_C))
        return profile, rho, l, A
    return table_row((profile, rho, l))


def handover_table():
    cases = [("linear", rho, l) for rho in HANDOVER_LD_RHOS for l in HANDOVER_SEPARATIONS]
    cases += [(name, rho, l) for name in HANDOVER_TABLES for rho in HANDOVER_TABLE_RHOS
              for l in HANDOVER_SEPARATIONS]
    with Pool(2) as pool:
        found = pool.map(handover_row, cases, chunksize=1)
    write("far_field_handover_reference.txt",
          "# profile rho l A: re = 1, rstar = rho; profile linear is the limb-darkening law of "
          "limb_darkened_reference.txt, any other the table of that name in flux_map_tables.txt, "
          "each computed as in its own reference file (tools/gen_magnification_reference.py)", found)
    return 0


CENTRE_RHOS = [1e-4, 1e-3, 1e-2, 0.1, 0.5, 1.0, 2.0, 10.0, 100.0]


def centre_row(rho):
    mp.mp.dps = DPS
    return rho, 0.0, limb_darkened_centre(rho)


def kernel_tables():
    check_closed_forms()
    check_centre()
    # Either side of the switch to the far-field series (l = 3) and of the former switch (l = 5),
    # where the closed form's terms cancel most.
    separations = [0.0, 0.1, 0.5, 0.9, 0.99, 1.0, 1.01, 1.1, 1.5, 2.0, 2.5, 2.999, 2.9999999999, 3.0,
                   3.5, 4.0, 4.5, 4.9, 4.95, 4.999, 4.9999999999, 5.0, 9.999, 10.0, 100.0, 3e4, 1e6]
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
    # Ring and lens a few 1e-303 from the centre of the largest source, where the value nears 1e300.
    ring_cases += [(l, r, 1e6) for l, r in [(3e-303, 5e-303), (5e-303, 3e-303), (1e-303, 4e-303),
                                             (3e-308, 5e-308)]]
    with Pool() as pool:
        disks = pool.map(disk_row, disk_cases)
        rings = pool.map(ring_row, ring_cases)
        centres = pool.map(centre_row, CENTRE_RHOS)
    write("witt_mao_reference.txt",
          "# rho l A: uniform-disk magnification, re = 1, rstar = rho; mpmath 40 digits "
          "(tools/gen_magnification_reference.py)", disks)
    write("ring_reference.txt",
          "# l r rho A: thin-ring magnification, re = 1, rstar = rho; mpmath 40 digits "
          "(tools/gen_magnification_reference.py)", rings)
    write("limb_darkened_centre.txt",
          "# rho l A: linear limb darkening 0.6, lens at the centre, re = 1, rstar = rho; closed form "
          "(A_U + A_mu) / 2 in E and K at 40 digits, checked against direct integration "
          "(tools/gen_magnification_reference.py)", centres)
    return 0


def main(argv):
    if argv[1:] == ["profiles"]:  # the limb-darkened and tabulated-profile tables alone
        return profile_tables() or ld_extra_table()
    if argv[1:] == ["kernels"]:  # the uniform-disk, ring and centre tables alone
        return kernel_tables()
    if argv[1:] == ["handover"]:  # either side of the start of the profiles' far-field series
        return handover_table()
    if argv[1:] == ["tables"]:  # the tabulated profiles alone
        return flux_map_tables()
    if argv[1:] == ["ld-extra"]:
        return ld_extra_table()
    return kernel_tables() or profile_tables() or ld_extra_table()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
