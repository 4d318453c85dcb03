#!/usr/bin/env python3
"""Every function of caustica once, with type annotations that ``mypy --strict`` checks.

Separations are in source radii; the Einstein radius and the source radius share one unit
(here the source radius is the unit, so the Einstein radius is 40 source radii).

    python3 examples/typed_usage.py
    mypy --strict examples/typed_usage.py

mypy finds the types of an installed caustica by itself; against a source tree, point it at
the stub with MYPYPATH=src/lib.
"""
import math
from array import array

import caustica

RE = 40.0  # Einstein radius
RSTAR = 1.0  # source radius, same unit: rho = RSTAR / RE = 0.025


def separations(impact: float, points: int) -> list[float]:
    """Separations along a straight trajectory with the given impact parameter (source radii)."""
    half = 2.0
    return [math.hypot(impact, -half + 2 * half * i / (points - 1)) for i in range(points)]


def main() -> None:
    l = separations(0.3, 9)

    uniform: list[float] = caustica.witt_mao_magnification(l, RE, RSTAR)
    darkened_disk: list[float] = caustica.integrated_witt_mao_magnification(l, RE, RSTAR)
    darkened_ring: list[float] = caustica.integrated_heyrovsky_magnification(
        l=l, re=RE, rstar=RSTAR)

    # A profile table: radii in source radii, ascending, with the brightness at each radius.
    bl = [i / 20 for i in range(21)]
    bf = array("d", (1.0 - 0.6 * (1.0 - (1.0 - x * x) ** 0.5) for x in bl))
    table_disk: list[float] = caustica.integrated_flux_map_witt_mao_magnification(
        l, RE, RSTAR, bl, bf)
    table_ring: list[float] = caustica.integrated_flux_map_heyrovsky_magnification(
        l, RE, RSTAR, bl, bf)
    rings: list[float] = caustica.discrete_flux_map_heyrovsky_magnification(
        l, RE, RSTAR, bl=[0.5, 1.0], bf=[0.5, 0.5])

    ring: float = caustica.heyrovsky_magnification(0.3, 0.5, RE, RSTAR)

    curves: list[list[float]] = caustica.multi_witt_mao_magnification(
        (0.0, 0.5, 1.0), [RE, 2 * RE], range(1, 3))

    print(f"{'l':>7} {'uniform':>10} {'LD disk':>10} {'LD ring':>10} "
          f"{'table disk':>10} {'table ring':>10} {'two rings':>10}")
    for row in zip(l, uniform, darkened_disk, darkened_ring, table_disk, table_ring, rings):
        print(" ".join(f"{value:10.5f}" if i else f"{value:7.3f}" for i, value in enumerate(row)))
    print(f"ring of radius 0.5 at l = 0.3: {ring:.5f}")
    for (re, rstar), curve in zip([(re, rstar) for re in (RE, 2 * RE) for rstar in (1, 2)],
                                  curves):
        print(f"re = {re:4.0f}, rstar = {rstar}: " + " ".join(f"{a:9.4f}" for a in curve))


if __name__ == "__main__":
    main()
