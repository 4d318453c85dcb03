"""One thread, light curves: what the far field costs, this build against others.

    python3 benchmarks/far_field.py build/python [OTHER/python ...]

Each directory holds a built caustica module. On the realistic curve (u0 = 0.5 rho, t from -1.5
to 1.5 tE), which lies mostly beyond l = 3 where the series serves, it times the uniform disk and
the two limb-darkened functions, and on the near-source curve (impact 0.3 source radii, out to
l = 5), two fifths of which lie in [3, 5), the uniform disk; 10^4 points as a float64 array, on
one pool thread (RAYON_NUM_THREADS=1): CPU time per point, the median of 7 rounds, the builds
taking turns in every round so that a busy spell of the shared machine falls on each; a call is
repeated within a round until it has run 50 ms. The last column is the first build's time over
the last's.
"""
import json
import os
import statistics
import subprocess
import sys
import time

# numpy's OpenBLAS starts a polling thread per core at import, which shows in the timings on
# a machine of two cores; nothing timed here does linear algebra.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np

ROUNDS = 7
POINTS = 10**4
CASES = [("realistic", "witt_mao_magnification", rho) for rho in (1e-3, 1e-2, 0.1, 1.0)] + [
    ("realistic", name, rho)
    for name in ("integrated_heyrovsky_magnification", "integrated_witt_mao_magnification")
    for rho in (1e-3, 1e-2, 0.1)] + [("near-source", "witt_mao_magnification", rho)
                                     for rho in (1e-3, 1e-2, 0.1, 1.0)]


def curve(kind, rho):
    """Separations in source radii."""
    if kind == "near-source":
        half = np.sqrt(25 - 0.09)
        t = np.linspace(-half, half, POINTS)
        return np.sqrt(0.09 + t * t)
    t = np.linspace(-1.5, 1.5, POINTS)
    u0 = 0.5 * rho
    return np.sqrt(u0 * u0 + t * t) / rho


def measure():
    """One round in this process: CPU seconds per point of every case."""
    import caustica
    times = []
    for kind, name, rho in CASES:
        f, l = getattr(caustica, name), curve(kind, rho)
        f(l, 1.0, rho)
        calls, start = 0, time.process_time()
        while True:
            f(l, 1.0, rho)
            calls += 1
            spent = time.process_time() - start
            if spent >= 0.05:
                break
        times.append(spent / (calls * POINTS))
    return times


def main(builds):
    env = dict(os.environ, RAYON_NUM_THREADS="1")
    rounds = {build: [] for build in builds}
    for _ in range(ROUNDS):
        for build in builds:
            run = subprocess.run([sys.executable, __file__, "--measure"], check=True, capture_output=True,
                                 text=True, env=dict(env, PYTHONPATH=build))
            rounds[build].append(json.loads(run.stdout))
    medians = {b: [statistics.median(r[i] for r in rounds[b]) for i in range(len(CASES))] for b in builds}
    print("| curve | function | rho | beyond l = 3 | " + " | ".join(f"{b} (ns/point)" for b in builds)
          + (" | first / last |" if len(builds) > 1 else " |"))
    print("|---|---|---|---|" + "---|" * len(builds) + ("---|" if len(builds) > 1 else ""))
    for i, (kind, name, rho) in enumerate(CASES):
        beyond = np.mean(curve(kind, rho) >= 3)
        row = f"| {kind} | {name} | {rho:g} | {beyond:.0%} | " + " | ".join(f"{medians[b][i] * 1e9:.1f}" for b in builds)
        if len(builds) > 1:
            row += f" | {medians[builds[0]][i] / medians[builds[-1]][i]:.2f}"
        print(row + " |")


if __name__ == "__main__":
    if sys.argv[1:] == ["--measure"]:
        print(json.dumps(measure()))
    else:
        main(sys.argv[1:] or ["build/python"])
