#!/usr/bin/env python3
"""Any limb-darkening law, as a table of the integrated flux-map functions.

The integrated flux-map functions take any radial profile exactly as its piecewise-linear table
(radii bl in source radii, brightness bf at any scale). A smooth law I(mu), mu = sqrt(1 - x^2),
sampled at radii x = sin(theta), theta evenly spaced over [0, pi/2], converges fast: the points
crowd towards the limb, where the law is steepest in x. Copy `law_table` into your code:

    bl, bf = law_table("quadratic", (0.4, 0.3), n=1000)
    A = caustica.integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)

Laws (mu = cos theta, the coefficients in the usual notation):
    linear       (u,)             I = 1 - u (1 - mu)
    quadratic    (a, b)           I = 1 - a (1 - mu) - b (1 - mu)^2
    square-root  (c, d)           I = 1 - c (1 - mu) - d (1 - sqrt(mu))
    logarithmic  (e, f)           I = 1 - e (1 - mu) - f mu ln(mu)
    power-2      (c, alpha)       I = 1 - c (1 - mu^alpha)
    nonlinear    (a1, a2, a3, a4) I = 1 - sum_k a_k (1 - mu^(k/2))   (Claret's four coefficients)

A law that is negative anywhere on the source (a sampler's a = 0.9, b = 0.5) gives NaN: it is no
physical star. Run this file to print the accuracy against the smooth laws themselves (a committed
30-digit reference, tests/data/limb_laws_reference.txt) and the cost per separation on one thread:

    python3 examples/limb_darkening_laws.py
"""
import math
import os
import sys
import time
from pathlib import Path

LAWS = {
    "linear": lambda mu, u: 1 - u[0] * (1 - mu),
    "quadratic": lambda mu, u: 1 - u[0] * (1 - mu) - u[1] * (1 - mu) ** 2,
    "square-root": lambda mu, u: 1 - u[0] * (1 - mu) - u[1] * (1 - math.sqrt(mu)),
    "logarithmic": lambda mu, u: 1 - u[0] * (1 - mu) - (u[1] * mu * math.log(mu) if mu > 0 else 0.0),
    "power-2": lambda mu, u: 1 - u[0] * (1 - mu ** u[1]),
    "nonlinear": lambda mu, u: 1 - sum(u[k] * (1 - mu ** ((k + 1) / 2)) for k in range(4)),
}


def law_table(law, coefficients, n=1000):
    """Radii and brightness of a limb-darkening law at n radii x = sin(theta), theta evenly spaced
    from the centre (theta = 0) to the limb (theta = pi/2, exactly x = 1 and mu = 0)."""
    if n < 2:
        raise ValueError(f"a law table needs at least 2 radii, not {n}")
    intensity = LAWS[law]
    bl, bf = [], []
    for j in range(n):
        theta = (math.pi / 2) * j / (n - 1)
        x, mu = (1.0, 0.0) if j == n - 1 else (math.sin(theta), math.cos(theta))
        bl.append(x)
        bf.append(intensity(mu, coefficients))
    return bl, bf


def reference():
    """Rows (law, coefficients, rho, l, A) of the smooth laws' 30-digit reference."""
    path = Path(__file__).resolve().parent.parent / "tests" / "data" / "limb_laws_reference.txt"
    rows = []
    for line in path.read_text().splitlines():
        if line.startswith("#"):
            continue
        law, coefficients, rho, l, value = line.split()
        rows.append((law, tuple(float(c) for c in coefficients.split(",")), float(rho), float(l),
                     float(value)))
    return rows


def worst_errors(n):
    """The largest relative error of each route against the smooth laws, over the reference."""
    import caustica

    worst = {"rings": 0.0, "disks": 0.0}
    for law, coefficients, rho, l, value in reference():
        bl, bf = law_table(law, coefficients, n)
        rings = caustica.integrated_flux_map_heyrovsky_magnification([l], 1.0, rho, bl, bf)[0]
        disks = caustica.integrated_flux_map_witt_mao_magnification([l], 1.0, rho, bl, bf)[0]
        worst["rings"] = max(worst["rings"], abs(rings / value - 1))
        worst["disks"] = max(worst["disks"], abs(disks / value - 1))
    return worst


def cost_per_separation(function, rho, *table):
    """CPU seconds per separation of one call on 241 separations in [0, 3] (on one thread, the
    call's own cost however busy the machine)."""
    l = [3.0 * k / 240 for k in range(241)]
    function(l, 1.0, rho, *table)
    runs = []
    for _ in range(5):
        start = time.process_time()
        function(l, 1.0, rho, *table)
        runs.append((time.process_time() - start) / len(l))
    return sorted(runs)[2]


def main():
    os.environ.setdefault("RAYON_NUM_THREADS", "1")
    import caustica

    print("n       worst error (rings / disks)   cost per separation, rho = 0.01 (rings / disks)")
    built_in = [cost_per_separation(f, 0.01) for f in (caustica.integrated_heyrovsky_magnification,
                                                       caustica.integrated_witt_mao_magnification)]
    print(f"built-in linear law (0.6)             {built_in[0] * 1e6:.2f} / {built_in[1] * 1e6:.2f} us")
    for n in (100, 1000, 10000):
        errors = worst_errors(n)
        bl, bf = law_table("quadratic", (0.4, 0.3), n)
        costs = [cost_per_separation(f, 0.01, bl, bf)
                 for f in (caustica.integrated_flux_map_heyrovsky_magnification,
                           caustica.integrated_flux_map_witt_mao_magnification)]
        print(f"{n:<7d} {errors['rings']:.1e} / {errors['disks']:.1e}             "
              f"{costs[0] * 1e6:.2f} / {costs[1] * 1e6:.2f} us")
    return 0


if __name__ == "__main__":
    sys.exit(main())
