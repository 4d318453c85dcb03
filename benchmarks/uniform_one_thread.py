"""The uniform disk on one thread against ESPLLightCurve, for one build or several side by side.

    RAYON_NUM_THREADS=1 benchmarks/.venv/bin/python benchmarks/uniform_one_thread.py build/python [OTHER/python ...]

compare.py's onethread section, its uniform rows only, with every build in one process: each
directory's caustica module is imported beside the others, so that the builds and the peer can
take turns call by call and a busy spell of the shared machine falls on all of them alike.
witt_mao_magnification on a float64 array of 10^4 points against VBMicrolensing's ESPLLightCurve
with a1 = 0 on the same curve (the near-source and the realistic curve); then the boundary alone:
a call with nothing to compute (rstar = 0, every result NaN) with a list and with a float64
array, whose difference is reading a list element into a double and whose array call is making
and freeing the result list. Each figure is the median of ROUNDS rounds of wall-clock time per
point (a round repeats the call until it has run about 20 ms), and the ratio is of the medians.
The pool size is read once per module: set RAYON_NUM_THREADS=1 for the one-thread figures.
"""
import importlib
import math
import os
import statistics
import sys
import time
import warnings

from light_curves import REALISTIC_IMPACT, Curve, light_curve, realistic_curve

ROUNDS = 15
POINTS = 10**4
RHOS = [1e-3, 1e-2, 0.1, 1.0, 10.0]


def load(directory):
    """The caustica module built in directory, imported beside any other: it is taken out of
    sys.modules again, so that the next directory's is imported afresh."""
    sys.path.insert(0, os.path.abspath(directory))
    try:
        return importlib.import_module("caustica")
    finally:
        sys.path.pop(0)
        sys.modules.pop("caustica", None)


def per_point(calls, points):
    """Median seconds per point of each call, the calls taking turns in every round."""
    repeats = {}
    for name, call in calls.items():
        start = time.perf_counter()
        call()
        repeats[name] = max(1, math.ceil(0.02 / (time.perf_counter() - start)))
    runs = {name: [] for name in calls}
    for _ in range(ROUNDS):
        for name, call in calls.items():
            start = time.perf_counter()
            for _ in range(repeats[name]):
                call()
            runs[name].append((time.perf_counter() - start) / (repeats[name] * points))
    return {name: statistics.median(r) for name, r in runs.items()}


def main(builds):
    import VBMicrolensing
    modules = [load(b) for b in builds]
    vbm = VBMicrolensing.VBMicrolensing()
    vbm.a1 = 0.0
    print("| curve | rho | " + " | ".join(f"{b}: ns/point, time over ESPLLightCurve's" for b in builds) + " |")
    print("|---|---|" + "---|" * len(builds))
    for kind in ("realistic", "near-source"):
        for rho in RHOS:
            if kind == "near-source":
                c = Curve(light_curve(POINTS), rho)
            else:
                t, l = realistic_curve(POINTS, rho)
                c = Curve(l, rho, REALISTIC_IMPACT, t)
            params = [math.log(c.impact * rho), 0.0, 0.0, math.log(rho)]
            calls = {i: (lambda m: lambda: m.witt_mao_magnification(c.l, 1.0, rho))(m) for i, m in enumerate(modules)}
            calls["peer"] = lambda: vbm.ESPLLightCurve(params, c.t_list)
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                m = per_point(calls, POINTS)
            cells = [f"{m[i] * 1e9:.1f}, {m[i] / m['peer']:.2f}" for i in range(len(modules))]
            print(f"| {kind} | {rho:g} | " + " | ".join(cells) + " |", flush=True)
    print()
    print("| nothing to compute (rstar = 0), ns per element | " + " | ".join(builds) + " |")
    print("|---|" + "---|" * len(builds))
    for n in (10**4, 10**6):
        array = light_curve(n)
        as_list = array.tolist()
        calls = {}
        for i, m in enumerate(modules):
            calls[(i, "list")] = (lambda m: lambda: m.witt_mao_magnification(as_list, 1.0, 0.0))(m)
            calls[(i, "array")] = (lambda m: lambda: m.witt_mao_magnification(array, 1.0, 0.0))(m)
        t = per_point(calls, n)
        for title, value in (("list in", lambda i: t[(i, "list")]),
                             ("float64 array in: the result list, made and freed", lambda i: t[(i, "array")]),
                             ("list in less array in: a list element to a double", lambda i: t[(i, "list")] - t[(i, "array")])):
            print(f"| 10^{round(math.log10(n))} elements, {title} | "
                  + " | ".join(f"{value(i) * 1e9:.1f}" for i in range(len(modules))) + " |", flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
