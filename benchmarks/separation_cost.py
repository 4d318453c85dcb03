"""Time caustica's profile-integrated functions one separation at a time.

    RAYON_NUM_THREADS=1 python benchmarks/separation_cost.py < cases.json > costs.jsonl

compare.py runs this in a subprocess with a pool of one thread. Each input case is
{"function": NAME, "rho": RHO, "l": L}; NAME is one of the keys of FUNCTIONS. For each case the
function is called on a float64 array holding BATCH copies of the one separation L (re = 1,
rstar = RHO), RUNS times; the cost of the separation is the median call time divided by BATCH,
both in wall-clock time and in the CPU time of the process (all its threads). On a machine shared
with other work the wall-clock time also counts the waits for a free core; the CPU time does not,
and on one thread it is the separation's cost. Nothing is subtracted: the call's own overhead
(argument conversion, result list, the pool's hand-off) is in the figure, spread over the BATCH
copies. One JSON line per case comes out: median wall and CPU time per separation ("median",
"cpu") and the slowest call's wall time per separation ("slowest").

The tabulated profile is the built-in linear law (coefficient 0.6) sampled at TABLE_POINTS radii
evenly spaced over [0, 1].
"""

import json
import statistics
import sys
import time

import numpy as np

import caustica

BATCH = 16
RUNS = 5
TABLE_POINTS = 100

TABLE_RADII = np.linspace(0.0, 1.0, TABLE_POINTS)
TABLE_VALUES = 1.0 - 0.6 * (1.0 - np.sqrt(1.0 - TABLE_RADII * TABLE_RADII))
BL, BF = TABLE_RADII.tolist(), TABLE_VALUES.tolist()

FUNCTIONS = {
    "integrated_heyrovsky": lambda l, rho: caustica.integrated_heyrovsky_magnification(l, 1.0, rho),
    "integrated_witt_mao": lambda l, rho: caustica.integrated_witt_mao_magnification(l, 1.0, rho),
    "integrated_flux_map_heyrovsky":
        lambda l, rho: caustica.integrated_flux_map_heyrovsky_magnification(l, 1.0, rho, BL, BF),
    "integrated_flux_map_witt_mao":
        lambda l, rho: caustica.integrated_flux_map_witt_mao_magnification(l, 1.0, rho, BL, BF),
}


def cost(function, rho, l, runs=RUNS):
    f = FUNCTIONS[function]
    batch = np.full(BATCH, l)
    f(batch, rho)  # the first call of a function may fault in code and tables
    wall, cpu = [], []
    for _ in range(runs):
        start, start_cpu = time.perf_counter(), time.process_time()
        f(batch, rho)
        cpu.append((time.process_time() - start_cpu) / BATCH)
        wall.append((time.perf_counter() - start) / BATCH)
    return statistics.median(wall), statistics.median(cpu), max(wall)


def main():
    cases = json.load(sys.stdin)
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else RUNS
    for case in cases:
        median, cpu, slowest = cost(case["function"], case["rho"], case["l"], runs)
        print(json.dumps({**case, "median": median, "cpu": cpu, "slowest": slowest}), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
