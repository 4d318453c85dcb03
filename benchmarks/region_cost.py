"""One-thread cost of a separation of the two limb-darkened functions, by region of l.

    RAYON_NUM_THREADS=1 PYTHONPATH=build/python python3 benchmarks/region_cost.py [COPIES]

Each separation is timed on a float64 array of COPIES copies of it (default 20000), so that the
call's own overhead is spread thin; its cost is the least process CPU time of 5 calls over
COPIES. Prints, per function, region and range of rho, the median and worst over the
separations of the region. Beside benchmarks/plan_counts (kernel evaluations read off the plan)
it says what those evaluations cost; run it for two builds in turn to compare them.
"""
import os
import statistics
import sys
import time

# numpy's OpenBLAS starts a polling thread per core at import, which shows in the timings on
# a machine of two cores; nothing timed here does linear algebra.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np

import caustica

RHOS = {"1e-3 ... 1": (1e-3, 0.1, 1.0), "10": (10.0,)}
REGIONS = {
    "inside": (0.0, 1e-6, 0.01, 0.1, 0.3, 0.5, 0.7, 0.85),
    "near the limb": (0.95, 0.99, 1 - 1e-6, 1 - 1e-10, 1.0, 1 + 1e-10, 1 + 1e-6, 1.01, 1.05),
    "outside": (1.2, 1.5, 2.0, 3.0, 3.9),
}
FUNCTIONS = {"rings": caustica.integrated_heyrovsky_magnification,
             "disks": caustica.integrated_witt_mao_magnification}


def cost(f, l, rho, copies):
    batch = np.full(copies, l)
    f(batch, 1.0, rho)
    best = float("inf")
    for _ in range(5):
        start = time.process_time()
        f(batch, 1.0, rho)
        best = min(best, time.process_time() - start)
    return best / copies


def main():
    copies = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    print("| function | region | rho | median (us) | worst (us) |")
    print("|---|---|---|---|---|")
    for name, f in FUNCTIONS.items():
        for region, ls in REGIONS.items():
            for rho_name, rhos in RHOS.items():
                costs = [cost(f, l, rho, copies) * 1e6 for rho in rhos for l in ls]
                print(f"| {name} | {region} | {rho_name} | {statistics.median(costs):.2f} | {max(costs):.2f} |",
                      flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
