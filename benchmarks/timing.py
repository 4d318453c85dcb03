"""How compare.py times contenders and writes its figures: medians of runs, ratios, targets."""

import math
import statistics
import time
import warnings

import numpy as np

from light_curves import Curve, format_error, light_curve, worst_error

SIZES = [10**2, 10**4, 10**6]


def time_runs(f, curve, budget):
    """Per-point seconds of at least 3 runs (5 when they are quick), within about budget seconds."""
    runs = []
    points = len(curve.l)
    while len(runs) < 5 and (len(runs) < 3 or sum(runs) * points < budget):
        start = time.perf_counter()
        f(curve)
        runs.append((time.perf_counter() - start) / points)
    return statistics.median(runs), min(runs), max(runs)


def paired_runs(calls, points, budget, least=3, most=7, run_length=0.05):
    """Per-point seconds of each call as (median, fastest, slowest), the calls run in turn.

    Round-robin, so that a busy spell of the shared machine falls on every contender alike: at
    least `least` rounds, more (up to `most`) while the rounds so far took less than budget seconds.
    A call quicker than run_length seconds is repeated within each run until the run lasts about
    that long, so that one preemption of the process does not make a run; a slower call's first
    call, which measures it, is its first run."""
    runs, repeats = {}, {}
    spent = 0.0
    for name, call in calls.items():
        start = time.perf_counter()
        call()
        elapsed = time.perf_counter() - start
        spent += elapsed
        repeats[name] = max(1, math.ceil(run_length / elapsed)) if elapsed < run_length else 1
        runs[name] = [elapsed / points] if repeats[name] == 1 else []

    def done():
        return min(len(r) for r in runs.values())

    while done() < most and (done() < least or spent < budget):
        for name, call in calls.items():
            if len(runs[name]) > done():
                continue
            start = time.perf_counter()
            for _ in range(repeats[name]):
                call()
            elapsed = time.perf_counter() - start
            spent += elapsed
            runs[name].append(elapsed / (points * repeats[name]))
    return {name: (statistics.median(r), min(r), max(r)) for name, r in runs.items()}


def sample_values(f, curve):
    """The contender's values on the sample; a point on which it fails is NaN."""
    try:
        return np.asarray(f(curve), dtype=float)
    except Exception:
        values = []
        for i in range(len(curve.l)):
            one = Curve(curve.l[i:i + 1], curve.rho, curve.impact, curve.t_list[i:i + 1])
            try:
                values.append(float(np.asarray(f(one), dtype=float)[0]))
            except Exception:
                values.append(math.nan)
        return np.asarray(values)


def format_time(seconds):
    if seconds is None or not math.isfinite(seconds):
        return "—"
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.3g} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.3g} µs"
    return f"{seconds * 1e9:.3g} ns"


def format_spread(cell):
    """median (fastest–slowest)"""
    median, low, high = cell
    return f"{format_time(median)} ({format_time(low)}–{format_time(high)})"


def format_cell(cell):
    if cell is None:
        return "—"
    median, low, high, extrapolated = cell
    mark = "~" if extrapolated else ""
    return f"{mark}{format_spread((median, low, high))}"


# ---- targets -----------------------------------------------------------------------------------

def times(x):
    """A ratio in two significant digits, without an exponent."""
    return f"{x:.2g}" if x < 100 else f"{x:.0f}"


def at_most(value, limit):
    """'met', or by how many times value exceeds the limit."""
    if value is None or not math.isfinite(value):
        return "not measured"
    return "met" if value <= limit else f"short by ×{times(value / limit)}"


def at_least(value, floor):
    if value is None or not math.isfinite(value) or value <= 0:
        return "not measured"
    return "met" if value >= floor else f"short by ×{times(floor / value)}"


class Targets:
    """Every figure with a target, gathered as the sections run, for the summary table."""

    def __init__(self):
        self.rows = []

    def add(self, figure, measured, target, status):
        self.rows.append((figure, measured, target, status))
        return status

    def table(self):
        lines = ["| figure | measured | target | status |", "|---|---|---|---|"]
        lines += [f"| {f} | {m} | {t} | {s} |" for f, m, t, s in self.rows]
        return lines


# ---- the tables of every contender ---------------------------------------------------------------

def run_contenders(contenders, sample, refs, quick, rhos):
    """Each contender on the near-source curve of every size, and its worst error on the sample."""
    rows = []
    curves = {n: light_curve(n) for n in SIZES}
    budget = 0.3 if quick else 1.0
    for contender in contenders:
        if not contender.available:
            rows.append((contender, None, f"unavailable: {contender.why}", None, None))
            print(f"{contender.name}: unavailable ({contender.why})", flush=True)
            continue
        for rho in rhos:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                f = contender.make(rho)
                cells, measured, notes = [], {}, []
                for n in SIZES:
                    points = min(n, contender.cap or n)
                    if points not in measured:
                        full = curves[n] if points == n else curves[n][np.linspace(0, n - 1, points).round().astype(int)]
                        try:
                            measured[points] = time_runs(f, Curve(full, rho), budget)
                        except Exception as exc:  # a peer that fails on an input is reported
                            measured[points] = None
                            notes.append(f"failed on {points} points: {type(exc).__name__}: {str(exc).splitlines()[0][:60]}")
                    cells.append(None if measured[points] is None else (*measured[points], points < n))
                error = worst_error(sample_values(f, Curve(sample, rho)), contender.kind, rho, sample, refs)
            if contender.cap and contender.cap < SIZES[-1]:
                notes.insert(0, f"timed on {contender.cap} points")
            note = "; ".join(notes)
            rows.append((contender, rho, note, cells, error))
            print(f"{contender.name}, rho={rho:g}: " + " | ".join(format_cell(c) for c in cells)
                  + f" | error {format_error(error)}" + (f" | {note}" if note else ""), flush=True)
    return rows


def results_table(rows):
    lines = ["| contender | rho | 10^2 points | 10^4 points | 10^6 points | worst rel. error | note |",
             "|---|---|---|---|---|---|---|"]
    for contender, rho, note, cells, error in rows:
        if rho is None:
            lines.append(f"| {contender.name} | all | — | — | — | — | {note} |")
            continue
        times = [format_cell(c) for c in cells]
        lines.append(f"| {contender.name} | {rho:g} | {' | '.join(times)} | {format_error(error)} | {note} |")
    return lines
