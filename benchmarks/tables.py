#!/usr/bin/env python3
"""Any limb-darkening law as a table: its cost per separation over the built-in law's.

    python3 benchmarks/tables.py            # about a minute on two shared cores
    python3 benchmarks/tables.py --quick    # a smoke test: fewer runs

One pool thread (RAYON_NUM_THREADS=1, set here before caustica is first called). A quadratic law
(a, b) = (0.4, 0.3) tabulated at N = 100, 1000 and 10000 radii x = sin(theta), theta evenly spaced
(examples/limb_darkening_laws.py), against the built-in linear law, on one call of 241 separations
in l in [0, 3], for rho = 0.01 and 1 and both integrated functions. The cost of a separation is the
median over the runs of the call's CPU time divided by 241, the table's conversion included. The
ratio is that of a table caustica has kept from an earlier call (as in a fit that holds its law
fixed, after its first call); beside it, the cost with a new table in every call (as in a fit of
the law's coefficients), when the table's preparation is part of the call. The error column is
the table's largest relative error against the smooth law itself, over the 30-digit reference
of tests/data/limb_laws_reference.txt at that rho.
"""
import argparse
import json
import os
import statistics
import sys
import time
from pathlib import Path

# numpy's OpenBLAS starts a polling thread per core at import, which shows in the timings on
# a machine of two cores; nothing timed here does linear algebra.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
from limb_darkening_laws import law_table, reference  # noqa: E402

SEPARATIONS = [3.0 * k / 240 for k in range(241)]
LAW = ("quadratic", (0.4, 0.3))
POINTS = (100, 1000, 10000)
RHOS = (0.01, 1.0)
# The built-in law's function and the table's, by route (names: importing this file for its
# table layout, as compare.py does, must not start caustica's pool).
ROUTES = {
    "rings": ("integrated_heyrovsky_magnification", "integrated_flux_map_heyrovsky_magnification"),
    "disks": ("integrated_witt_mao_magnification", "integrated_flux_map_witt_mao_magnification"),
}


def cost(function, rho, table, runs, new_table=False):
    """With new_table, run k's table is dimmer at its centre by k units in the last place than
    the table itself, so that none of them was kept from an earlier call."""
    def arguments(k):
        if not new_table:
            return table
        bl, bf = table
        return bl, [bf[0] * (1 - k * 2.0 ** -52)] + bf[1:]

    function(SEPARATIONS, 1.0, rho, *table)
    times = []
    for k in range(1, runs + 1):
        run_table = arguments(k)
        start = time.process_time()
        function(SEPARATIONS, 1.0, rho, *run_table)
        times.append((time.process_time() - start) / len(SEPARATIONS))
    return statistics.median(times)


def error(function, rho, table):
    worst = 0.0
    for law, coefficients, ref_rho, l, value in reference():
        if (law, coefficients) == LAW and ref_rho == rho:
            worst = max(worst, abs(function([l], 1.0, rho, *table)[0] / value - 1))
    return worst


TARGETS = {100: 1.5, 1000: 3.0, 10000: 15.0}   # time over the built-in law's, per N


def measure(runs):
    """Rows {rho, route, built_in, cells: [{n, time, ratio, error}]}, in the table's order."""
    import caustica

    tables = {n: law_table(*LAW, n) for n in POINTS}
    rows = []
    for rho in RHOS:
        for route, names in ROUTES.items():
            built_in, flux_map = (getattr(caustica, name) for name in names)
            base = cost(built_in, rho, (), runs)
            cells = []
            for n in POINTS:
                t = cost(flux_map, rho, tables[n], runs)
                new = cost(flux_map, rho, tables[n], runs, new_table=True)
                cells.append({"n": n, "time": t, "ratio": t / base, "new_time": new, "new_ratio": new / base,
                              "error": error(flux_map, rho, tables[n])})
            rows.append({"rho": rho, "route": route, "built_in": base, "cells": cells})
    return rows


def markdown(rows):
    lines = ["| rho | route | built-in law | "
             + " | ".join(f"N = {n}: time (ratio, target ≤ {TARGETS[n]:g}×); new table each call; error"
                          for n in POINTS) + " |",
             "|---|---|---|" + "---|" * len(POINTS)]
    for row in rows:
        cells = [f"{c['time'] * 1e6:.3g} µs ({c['ratio']:.3g}×); {c['new_time'] * 1e6:.3g} µs "
                 f"({c['new_ratio']:.3g}×); {c['error']:.1e}" for c in row["cells"]]
        lines.append(f"| {row['rho']:g} | {row['route']} | {row['built_in'] * 1e6:.3g} µs | "
                     + " | ".join(cells) + " |")
    return lines


def main():
    # One pool thread: the pool reads this once, at caustica's first call.
    os.environ["RAYON_NUM_THREADS"] = "1"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer runs")
    parser.add_argument("--json", action="store_true", help="print the rows as JSON (for compare.py)")
    args = parser.parse_args()
    rows = measure(3 if args.quick else 9)
    if args.json:
        print(json.dumps(rows))
        return 0
    print("\n".join(markdown(rows)))
    print(f"\nload average after the run: {', '.join(f'{x:.2f}' for x in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
