"""The inputs of compare.py: light curves, the points sampled for errors, and their mpmath values."""

import json
import math
import os
import sys
from multiprocessing import Pool
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tools"))

RHOS = [1e-3, 1e-2, 0.1, 1.0]
SAMPLE = 20
CACHE = HERE / "reference_cache.json"

# Near-source curve: impact 0.3 source radii, out to 5 source radii.
IMPACT = 0.3
FAR = 5.0
# Realistic curve: impact 0.5 source radii (u0 = 0.5 rho), t from -1.5 to 1.5 tE, tE = 1.
REALISTIC_IMPACT = 0.5
REALISTIC_SPAN = 1.5


def light_curve(points):
    """Near-source separations in source radii, evenly spaced in time."""
    half = math.sqrt(FAR * FAR - IMPACT * IMPACT)
    t = np.linspace(-half, half, points)
    return np.sqrt(IMPACT * IMPACT + t * t)


def realistic_curve(points, rho):
    """Times (tE) and separations in source radii: u = sqrt(u0^2 + t^2), l = u / rho."""
    t = np.linspace(-REALISTIC_SPAN, REALISTIC_SPAN, points)
    u0 = REALISTIC_IMPACT * rho
    u = np.sqrt(u0 * u0 + t * t)
    return t, u / rho


def spread_and_limb(l, t=None):
    """16 points spread over the outbound half of a curve and its 4 points nearest the limb."""
    start = len(l) // 2  # the curves are symmetric: one half has every value
    half = np.arange(start, len(l))
    spread = half[np.linspace(0, len(half) - 1, SAMPLE - 4).round().astype(int)]
    nearest = half[np.argsort(np.abs(l[half] - 1.0))[:4]]
    index = np.concatenate([spread, nearest])
    return l[index], (None if t is None else t[index])


def subsample():
    """The near-source sample, taken from the 10^6-point curve (the same for every rho)."""
    return spread_and_limb(light_curve(10**6))[0]


def realistic_subsample(rho, points=10**4):
    """The realistic sample of the curve that is timed: separations and times."""
    t, l = realistic_curve(points, rho)
    return spread_and_limb(l, t)


class Curve:
    """The inputs in every form a contender takes, made before the clock starts.

    impact is in source radii; t, when given, are the times (tE = 1, t0 = 0) that pass these
    separations, else the non-negative ones are derived from them."""

    def __init__(self, l, rho, impact=IMPACT, t=None):
        self.rho, self.impact = rho, impact
        self.l = np.ascontiguousarray(l, dtype=np.float64)   # separations, source radii
        self.l_list = self.l.tolist()
        self.u = self.l * rho                                # separations, Einstein radii
        self.u_list = self.u.tolist()
        if t is None:
            t = np.sqrt(np.maximum(self.u * self.u - (impact * rho) ** 2, 0.0))
        self.t_list = np.asarray(t, dtype=np.float64).tolist()


# ---- reference values ------------------------------------------------------------------------

def _key(task):
    kind, rho, l = task
    return f"{kind} {rho!r} {l!r}"


def _reference(task):
    import mpmath as mp
    import gen_magnification_reference as ref

    kind, rho, l = task
    mp.mp.dps = 30
    if kind == "disk":
        return task, mp.nstr(ref.disk(l, rho), 30)
    # Lens-centred polar quadrature of the linear law, coefficient 0.6 (the generator's own).
    return task, mp.nstr(ref.linear_law_by_polar(l, rho, 0.6), 30)


def references(tasks, prune=False):
    """30-digit values for the tasks (kind 'disk' or 'ld', rho, l), computed once and cached.

    prune drops cached values no task asks for (a whole run knows every task)."""
    cache = json.loads(CACHE.read_text()) if CACHE.exists() else {}
    known = {k for k, v in cache.items() if "inf" not in v and "nan" not in v}
    missing = sorted({t for t in tasks if _key(t) not in known})
    if missing:
        print(f"computing {len(missing)} reference values with mpmath (cached for later runs) ...", flush=True)
        with Pool(min(2, os.cpu_count() or 1)) as pool:
            for task, value in pool.imap_unordered(_reference, missing):
                cache[_key(task)] = value
    if missing or prune:
        keys = {_key(t) for t in tasks} if prune else set(cache)
        CACHE.write_text(json.dumps({k: v for k, v in cache.items() if k in keys}, indent=0, sort_keys=True) + "\n")
    return {t: cache[_key(t)] for t in tasks}


def worst_error(values, kind, rho, sample, refs):
    """The worst relative error over the finite values, and the number of non-finite ones."""
    import mpmath as mp

    mp.mp.dps = 30
    worst, failed = 0.0, 0
    for v, l in zip(values, sample):
        exact = mp.mpf(refs[(kind, rho, float(l))])
        if not math.isfinite(float(v)):
            failed += 1
            continue
        worst = max(worst, float(abs(mp.mpf(float(v)) / exact - 1)))
    return worst, failed


def format_error(error):
    worst, failed = error
    if failed == SAMPLE:
        return "no finite value"
    text = f"{worst:.1e}"
    return text + (f" (NaN or failure at {failed} of {SAMPLE} points)" if failed else "")
