"""caustica against its peers: time per point, ratios and worst relative error, and the cost of
caustica's own calls, each figure beside its target.

    benchmarks/setup.sh                                   # once: benchmarks/.venv with the peers, kernel_bench
    benchmarks/.venv/bin/python benchmarks/compare.py     # prints the tables, writes results.md

Options: --only SECTION (repeatable: uniform, ld, onethread, regions, table, tables, costs; results.md is then left
alone unless --output is given), --quick (a smoke test: fewer rounds, rho and separations, and
without the tables of every contender; results.md is left alone too),
--kernel-bench PATH (default build-bench/benchmarks/kernel_bench, which setup.sh builds; without it
the kernels' lines are left out), --output FILE (default benchmarks/results.md).

Input: two light curves, for source radii rho = 1e-3, 1e-2, 0.1 and 1 Einstein radii, with points
evenly spaced in time. The near-source curve passes the source centre at an impact parameter of 0.3
source radii, out to separations l of 5 source radii (10^2 to 10^6 points). The realistic curve has
u0 = 0.5 rho and t from -1.5 to 1.5 tE with tE = 1, so u = sqrt(u0^2 + t^2) and l = u / rho, out to
1500 source radii at rho = 1e-3 (10^4 points). The peers take the separation in Einstein radii,
u = l * rho, computed in double precision as caustica computes it internally, or the times.

Sections:
- uniform: witt_mao_magnification on 10^6 float64 separations evenly spaced over [0, 5] against
  the same formula in numpy + scipy.special (target: 5 times faster); on the near-source curve of
  10^5 points against VBMicrolensing ESPLLightCurve with a1 = 0 (target: at most half its time);
  then every uniform contender on the near-source curve of 10^2, 10^4 and 10^6 points.
- ld: linear limb darkening, coefficient 0.6. integrated_heyrovsky_magnification and
  integrated_witt_mao_magnification against ESPLLightCurve with a1 = 0.6 on the near-source curve
  of 10^4 points (target: no more than its time) and on the realistic curve of 10^4 points
  (target: at most half its time), with the worst error beside the times; then every
  limb-darkened contender on the near-source curve as for the uniform disk.
- onethread: per core. caustica on a pool of one thread (RAYON_NUM_THREADS=1, in a subprocess:
  benchmarks/one_thread.py) against ESPLLightCurve (single-threaded) on the near-source and the
  realistic curves of 10^4 points, rho = 1e-3, 0.01, 0.1, 1 and 10: the uniform disk (a1 = 0) and
  both limb-darkened functions (a1 = 0.6), run in turn, time over its time, with both libraries'
  worst errors (targets: uniform <= 0.5; limb-darkened <= 1 near the source and <= 0.5 on the
  realistic curve for rho <= 1, <= 3 at rho = 10). The sections above run on the default pool.
- regions: the cost of one separation of the two limb-darkened functions on one thread
  (RAYON_NUM_THREADS=1, in a subprocess: benchmarks/separation_cost.py) by region of l: inside
  (0 <= l < 0.9, including l within 1e-8 of 0), near the limb (|l - 1| <= 0.1, including
  l = 1 +- 10^-k for k = 2 ... 14 and l = 1), outside (1.1 < l <= 10, including just below 10 and
  10 itself, where the uniform disk turns to its far-field series) and far (10 < l <= 1e6), for
  every rho; median and worst (target: worst <= 10 us over l in [0, 10]). A separation's cost is
  the time of one call on a float64 array of 16 copies of it, divided by 16, the median of 5 calls,
  in CPU time of the process (the targets are judged on it: on a shared machine the wall-clock
  time, printed beside it, also counts waits for a free core); nothing is subtracted. The 3
  slowest separations of each region are timed again and keep the lower of their two medians, so
  that a busy spell of the machine is not taken for a slow one.
- table: the same cost for integrated_flux_map_heyrovsky_magnification and
  integrated_flux_map_witt_mao_magnification with a table of 100 points (the linear law sampled at
  100 radii evenly spaced over [0, 1]), at separations near the source (0 to 5, the limb
  included), for every rho (target: worst <= 50 us).
- tables: benchmarks/tables.py, in a process of its own on one pool thread: a quadratic law at
  N = 100, 1000 and 10000 radii x = sin(theta), its time per separation over the built-in law's
  (l in [0, 3], rho = 0.01 and 1, both routes; targets 1.5x, 3x and 15x), with its error against
  the smooth law.
- costs: the cost model of caustica's calls (the kernels alone from kernel_bench, targets 80 ns for
  the uniform disk and 60 ns for the ring on one thread; a one-element call; list to double; the
  result list) and the share of a witt_mao_magnification call that is the interpreter's.

Ratios are caustica's time over the peer's, each the ratio of the medians of runs taken in turn
(caustica, the peer, caustica, ...) so that a busy spell of the shared machine falls on both; a
speed-up is the peer's over caustica's. caustica runs on its default pool (one thread per core,
unless RAYON_NUM_THREADS says otherwise), the peers on one thread, as each is shipped.

Contenders, each given its input in the form it takes, prepared before the clock starts, and
returning its own result type (caustica a list, the others arrays or lists):
caustica's functions with a list and with a float64 array; the Witt-Mao closed form vectorised
with numpy and scipy.special (ellipk, ellipe, and Pi from elliprf and elliprj, with no special
care near the limb); MulensModel through Model({t_0: 0, u_0: 0, t_E: 1, rho}), whose time then
is u exactly, with one finite-source method over the whole curve and, for limb darkening,
get_magnification(gamma=0.5), which is caustica's linear law with coefficient 0.6 in
MulensModel's convention Gamma = 2u / (3 - u); VBMicrolensing's ESPLMag(u, rho) (uniform, from its
precomputed table) and ESPLMagDark(u, rho) with a1 = 0.6 (its linear coefficient: the same law),
one call per point, ESPLMagDark at its default Tol (0.01) and at Tol = 1e-6, and its array entry
ESPLLightCurve([ln u0, ln tE, t0, ln rho], times) with a1 = 0 and a1 = 0.6.

Times are per point: the median of several runs, with the fastest and slowest run. A contender
too slow for the whole curve is timed on evenly spaced points of it (the number is given in the
row) and its time per point is used for the larger sizes: such a cell is marked with "~".

Errors are the worst relative error on 20 points per rho (16 spread along the curve and the 4
nearest the limb, of the 10^6-point near-source curve or of the 10^4-point realistic one), against 30-digit mpmath values from
tools/gen_magnification_reference.py (disk(), and for the linear law linear_law_by_polar(), the
lens-centred polar quadrature), cached in benchmarks/reference_cache.json.
"""

import argparse
import json
import os
import platform
import subprocess
import sys
import textwrap
import time
import warnings
from pathlib import Path

# numpy's OpenBLAS starts a polling thread per core at import, which shows in the timings on
# a machine of two cores; nothing timed here does linear algebra.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np

from call_costs import cost_model, separation_costs
from contenders import GAMMA, LINEAR_LD, caustica_contenders, mulens_contenders, pick, scipy_contenders, vbm_contenders
from light_curves import (FAR, REALISTIC_IMPACT, RHOS, Curve, format_error, light_curve, realistic_curve,
                          realistic_subsample, references, subsample, worst_error)
from timing import (Targets, at_least, at_most, format_spread, format_time, paired_runs, results_table,
                    run_contenders, sample_values, times)

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
SECTIONS = ("uniform", "ld", "onethread", "regions", "table", "tables", "costs")

SCIPY_SPEEDUP_TARGET = 5.0
UNIFORM_RATIO_TARGET = 0.5
NEAR_LD_RATIO_TARGET = 1.0
REALISTIC_LD_RATIO_TARGET = 0.5
SEPARATION_TARGET = 10e-6
TABLE_TARGET = 50e-6
RETIMED = 3          # the slowest separations of a group, timed a second time


class Run:
    """What every section needs: options, contenders, reference values, the targets met so far."""

    def __init__(self, args, refs, contenders):
        self.quick, self.args, self.refs, self.contenders = args.quick, args, refs, contenders
        self.targets = Targets()
        self.budget = 0.0 if args.quick else 3.0   # seconds of runs before a comparison stops

    def pick(self, key):
        return pick(self.contenders, key)

    def paired(self, calls, points):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            return paired_runs(calls, points, self.budget, least=2 if self.quick else 3, most=2 if self.quick else 7)


def ratio_list(ratios):
    return " / ".join(times(r) for r in ratios) + " (rho = " + " / ".join(f"{rho:g}" for rho in RHOS) + ")"


def every_contender(run, kind):
    lines = ["### Every contender on the near-source curve", ""]
    if run.quick:
        return lines + ["(left out of a --quick run)"]
    rows = run_contenders([c for c in run.contenders if c.kind == kind], subsample(), run.refs, run.quick, RHOS)
    return lines + results_table(rows)


# ---- uniform disk ------------------------------------------------------------------------------

def uniform_against_scipy(run):
    ours, theirs = run.pick("witt_mao array"), run.pick("scipy")
    lines = ["### witt_mao_magnification against numpy + scipy.special, 10^6 float64 separations over [0, 5]", ""]
    if not (ours.available and theirs.available):
        run.targets.add("witt_mao_magnification against numpy + scipy.special", "—", "", "not measured: unavailable")
        return lines + ["(unavailable: " + "; ".join(c.why for c in (ours, theirs) if not c.available) + ")"]
    lines += ["| rho | caustica, float64 array | numpy + scipy.special | speed-up | target ≥ 5× |", "|---|---|---|---|---|"]
    speedups = []
    for rho in RHOS:
        curve = Curve(np.linspace(0.0, FAR, 10**6), rho)
        f, g = ours.make(rho), theirs.make(rho)
        m = run.paired({"caustica": lambda: f(curve), "scipy": lambda: g(curve)}, len(curve.l))
        speedup = m["scipy"][0] / m["caustica"][0]
        speedups.append(speedup)
        lines.append(f"| {rho:g} | {format_spread(m['caustica'])} | {format_spread(m['scipy'])} | "
                     f"{speedup:.2f}× | {at_least(speedup, SCIPY_SPEEDUP_TARGET)} |")
        print(lines[-1], flush=True)
    run.targets.add("witt_mao_magnification, 10^6 float64 points, l in [0, 5]: speed-up over numpy + scipy.special",
                    ratio_list(speedups), f"≥ {SCIPY_SPEEDUP_TARGET:g}×", at_least(min(speedups), SCIPY_SPEEDUP_TARGET))
    return lines


def uniform_against_vbm(run):
    lines = ["### witt_mao_magnification against VBMicrolensing ESPLLightCurve (a1 = 0), near-source curve, 10^5 points", ""]
    peer, forms = run.pick("ESPLLightCurve"), [run.pick("witt_mao list"), run.pick("witt_mao array")]
    if not (peer.available and all(c.available for c in forms)):
        run.targets.add("witt_mao_magnification against ESPLLightCurve", "—", "", "not measured: unavailable")
        return lines + ["(unavailable: " + "; ".join(c.why for c in [peer] + forms if not c.available) + ")"]
    lines += ["| rho | ESPLLightCurve | caustica, list in | ratio | caustica, float64 array in | ratio | target ≤ 0.5 |",
              "|---|---|---|---|---|---|---|"]
    worst = {"list": [], "array": []}
    for rho in RHOS:
        curve = Curve(light_curve(10**5), rho)
        f_peer, f_list, f_array = peer.make(rho), forms[0].make(rho), forms[1].make(rho)
        m = run.paired({"peer": lambda: f_peer(curve), "list": lambda: f_list(curve),
                        "array": lambda: f_array(curve)}, len(curve.l))
        ratios = {form: m[form][0] / m["peer"][0] for form in ("list", "array")}
        for form in ratios:
            worst[form].append(ratios[form])
        status = ", ".join(f"{form} {at_most(ratios[form], UNIFORM_RATIO_TARGET)}" for form in ratios)
        lines.append(f"| {rho:g} | {format_spread(m['peer'])} | {format_spread(m['list'])} | {ratios['list']:.2f} | "
                     f"{format_spread(m['array'])} | {ratios['array']:.2f} | {status} |")
        print(lines[-1], flush=True)
    for form, ratios in worst.items():
        run.targets.add(f"witt_mao_magnification ({form} in), near-source curve, 10^5 points: time over ESPLLightCurve's",
                        ratio_list(ratios), f"≤ {UNIFORM_RATIO_TARGET:g}", at_most(max(ratios), UNIFORM_RATIO_TARGET))
    return lines


def section_uniform(run):
    lines = ["## Uniform disk", ""]
    lines += uniform_against_scipy(run) + [""]
    lines += uniform_against_vbm(run) + [""]
    return lines + every_contender(run, "disk")


# ---- limb darkening ----------------------------------------------------------------------------

LD_FUNCTIONS = ("integrated_heyrovsky", "integrated_witt_mao")


def ld_curve(run, title, curve_of, sample_of, target):
    """The two limb-darkened functions against ESPLLightCurve (a1 = 0.6) on one curve, every rho."""
    peer = run.pick("ESPLLightCurve a1")
    ours = [run.pick(key) for key in LD_FUNCTIONS]
    lines = [f"### {title}", ""]
    if not (peer.available and all(c.available for c in ours)):
        run.targets.add(title, "—", "", "not measured: unavailable")
        return lines + ["(unavailable: " + "; ".join(c.why for c in [peer] + ours if not c.available) + ")"]
    lines += [f"| rho | contender | time per point, median (fastest–slowest) | time over ESPLLightCurve's | "
              f"worst rel. error | target ≤ {target:g} |", "|---|---|---|---|---|---|"]
    ratios = {key: [] for key in LD_FUNCTIONS}
    for rho in RHOS:
        curve = curve_of(rho)
        made = {"peer": peer.make(rho), **{key: c.make(rho) for key, c in zip(LD_FUNCTIONS, ours)}}
        m = run.paired({key: (lambda f=f: f(curve)) for key, f in made.items()}, len(curve.l))
        sample = sample_of(rho)
        for key, contender in [("peer", peer)] + list(zip(LD_FUNCTIONS, ours)):
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                error = worst_error(sample_values(made[key], sample), "ld", rho, sample.l, run.refs)
            if key == "peer":
                lines.append(f"| {rho:g} | {contender.name} | {format_spread(m[key])} | 1 | {format_error(error)} | |")
            else:
                ratio = m[key][0] / m["peer"][0]
                ratios[key].append(ratio)
                lines.append(f"| {rho:g} | {contender.name} | {format_spread(m[key])} | {times(ratio)} | "
                             f"{format_error(error)} | {at_most(ratio, target)} |")
            print(lines[-1], flush=True)
    for key, values in ratios.items():
        run.targets.add(f"{key}_magnification, {title.split(',')[0].lower()}: time over ESPLLightCurve's (a1 = 0.6)",
                        ratio_list(values), f"≤ {target:g}", at_most(max(values), target))
    return lines


def near_source_ld(rho):
    return Curve(light_curve(10**4), rho)


def near_source_ld_sample(rho):
    return Curve(subsample(), rho)


def realistic_ld(rho):
    t, l = realistic_curve(10**4, rho)
    return Curve(l, rho, REALISTIC_IMPACT, t)


def realistic_ld_sample(rho):
    l, t = realistic_subsample(rho)
    return Curve(l, rho, REALISTIC_IMPACT, t)


def section_ld(run):
    lines = [f"## Linear limb darkening, coefficient {LINEAR_LD} (VBMicrolensing a1 = {LINEAR_LD}, "
             f"MulensModel Gamma = {GAMMA:g})", ""]
    lines += ld_curve(run, "Near-source curve, 10^4 points", near_source_ld, near_source_ld_sample,
                      NEAR_LD_RATIO_TARGET) + [""]
    lines += ld_curve(run, "Realistic curve, 10^4 points (u0 = 0.5 rho, t from -1.5 to 1.5 tE)", realistic_ld,
                      realistic_ld_sample, REALISTIC_LD_RATIO_TARGET) + [""]
    return lines + every_contender(run, "ld")


# ---- per core ----------------------------------------------------------------------------------

def section_onethread(run):
    import json

    import one_thread

    lines = ["## One thread: caustica with RAYON_NUM_THREADS=1 against ESPLLightCurve", ""]
    references(one_thread.reference_tasks())  # filled here, where the pool of mpmath workers may use every core
    env = dict(os.environ, RAYON_NUM_THREADS="1")
    done = subprocess.run([sys.executable, str(HERE / "one_thread.py")] + (["--quick"] if run.quick else []),
                          env=env, capture_output=True, text=True, check=True, cwd=str(HERE))
    result = json.loads(done.stdout)
    for figure, measured, target, status in result["targets"]:
        run.targets.add(figure, measured, target, status)
    return lines + result["lines"]


# ---- one separation on one thread ----------------------------------------------------------------

def limb_neighbours(ks):
    return [1.0] + [x for k in ks for x in (1.0 - 10.0 ** -k, 1.0 + 10.0 ** -k)]


def regions(quick):
    """(name, separations, has the 10 us target) for the cost by region."""
    ks = range(2, 15, 4) if quick else range(2, 15)
    inside = [0.0, 1e-12, 1e-8, 1e-6, 1e-4, 1e-3, 1e-2, 0.05] + [round(x, 12) for x in np.linspace(0.1, 0.85, 4 if quick else 9)] + [0.89]
    limb = limb_neighbours(ks) + [round(x, 12) for x in np.linspace(0.9, 1.1, 5 if quick else 9)]
    outside = [1.1000001, 1.2, 1.5, 2.0, 3.0, 5.0, 7.5, 9.5, 9.999999, 10.0]
    far = [10.000001, 20.0, 100.0, 1e3, 1e4, 1e5, 1e6] if quick else \
        [10.000001, 15.0, 20.0, 50.0, 100.0, 300.0, 1e3, 3e3, 1e4, 1e5, 1e6]
    return [("inside, 0 ≤ l < 0.9", inside, True), ("near the limb, 0.9 ≤ l ≤ 1.1", limb, True),
            ("outside, 1.1 < l ≤ 10", outside, True), ("far, 10 < l ≤ 1e6", far, False)]


class Group:
    """The cost of one separation over a group of separations and every rho: CPU and wall time."""

    def __init__(self, function, name, has_target, cases):
        self.function, self.name, self.has_target, self.count = function, name, has_target, len(cases)
        self.median = float(np.median([c["cpu"] for c in cases]))
        self.median_wall = float(np.median([c["median"] for c in cases]))
        self.worst = max(cases, key=lambda c: c["cpu"])

    def where(self):
        return f"l = {self.worst['l']!r}, rho = {self.worst['rho']:g}"

    def row(self, target):
        status = at_most(self.worst["cpu"], target) if self.has_target else "—"
        return (f"{format_time(self.median)} | {format_time(self.worst['cpu'])} | {self.where()} | "
                f"{format_time(self.median_wall)} | {format_time(self.worst['median'])} | {status} |")


def measure_separations(run, functions, groups):
    """Cost per separation for every function, group of separations (name, separations, has the
    target) and rho, on one thread."""
    rhos = [1e-2, 1.0] if run.quick else RHOS
    cases = [{"function": f, "rho": rho, "l": l, "group": name}
             for f in functions for name, ls, _ in groups for l in ls for rho in rhos]
    runs = 3 if run.quick else 5
    results = separation_costs(cases, runs)

    def of(f, name):
        return [r for r in results if r["function"] == f and r["group"] == name]

    # A busy spell of the shared machine is not a slow separation: the slowest few of each group
    # are timed again, and each keeps the lower of its two medians.
    again = [r for f in functions for name, _, _ in groups
             for r in sorted(of(f, name), key=lambda r: -r["cpu"])[:RETIMED]]
    retimed = separation_costs([{k: r[k] for k in ("function", "rho", "l", "group")} for r in again], runs)
    for first, second in zip(again, retimed):
        first["cpu"] = min(first["cpu"], second["cpu"])
        first["median"] = min(first["median"], second["median"])
    return [Group(f, name, has_target, of(f, name)) for f in functions for name, _, has_target in groups], rhos


ONE_SEPARATION = (
    "One thread (RAYON_NUM_THREADS=1, in a subprocess). A separation's cost: one call on a float64 array of "
    "16 copies of it, divided by 16, the median of 5 calls, in CPU time of the process (all its threads) and "
    "in wall-clock time; nothing is subtracted, so the call's own overhead is in it, spread over the 16. On "
    "a machine shared with other work the wall-clock time also counts waits for a free core, so the targets "
    "are judged on the CPU time. The 3 slowest separations of each group are timed again and keep the lower "
    "of their two medians. Median and worst over the separations of the group and every rho; the worst's "
    "separation and rho are given.")


def separation_table(title_column, groups, target):
    lines = [f"| function | {title_column} | cases | median, CPU | worst, CPU | worst at | median, wall | "
             f"worst, wall | target ≤ {format_time(target)} |", "|---|---|---|---|---|---|---|---|---|"]
    for g in groups:
        lines.append(f"| {g.function}_magnification | {g.name} | {g.count} | {g.row(target)}")
        print(lines[-1], flush=True)
    return lines


def section_regions(run):
    lines = ["## Cost of one separation on one thread, linear limb darkening", "", ONE_SEPARATION, ""]
    try:
        import caustica  # noqa: F401
    except ImportError as error:
        run.targets.add("worst separation on one thread", "—", "", "not measured: caustica unavailable")
        return lines + [f"(unavailable: {error})"]
    groups, rhos = measure_separations(run, list(LD_FUNCTIONS), regions(run.quick))
    lines += [f"rho = {', '.join(f'{r:g}' for r in rhos)}; the target holds over l in [0, 10].", ""]
    lines += separation_table("region", groups, SEPARATION_TARGET)
    for f in LD_FUNCTIONS:
        near = [g for g in groups if g.function == f and g.has_target]
        worst = max(near, key=lambda g: g.worst["cpu"])
        far = [g for g in groups if g.function == f and not g.has_target][0]
        run.targets.add(f"{f}_magnification, worst separation over l in [0, 10], one thread (CPU time)",
                        f"{format_time(worst.worst['cpu'])} ({worst.where()}); medians by region "
                        + " / ".join(format_time(g.median) for g in near) + " (inside / limb / outside)",
                        f"≤ {format_time(SEPARATION_TARGET)}", at_most(worst.worst["cpu"], SEPARATION_TARGET))
        run.targets.add(f"{f}_magnification, far (10 < l ≤ 1e6), one thread (CPU time)",
                        f"median {format_time(far.median)}, worst {format_time(far.worst['cpu'])}", "(reported)", "—")
    return lines


def section_table(run):
    lines = ["## Tabulated profile of 100 points, cost of one separation on one thread", "",
             "The linear law (coefficient 0.6) sampled at 100 radii evenly spaced over [0, 1]; separations "
             "from 0 to 5 source radii, the limb included.", "", ONE_SEPARATION, ""]
    try:
        import caustica  # noqa: F401
    except ImportError as error:
        run.targets.add("tabulated profile of 100 points", "—", "", "not measured: caustica unavailable")
        return lines + [f"(unavailable: {error})"]
    ks = (2, 6, 10, 14) if run.quick else (2, 4, 6, 8, 10, 12, 14)
    near = [0.0, 1e-8, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99] + limb_neighbours(ks) + [1.01, 1.1, 1.5, 2.0, 3.0, 5.0]
    functions = ["integrated_flux_map_heyrovsky", "integrated_flux_map_witt_mao"]
    groups, rhos = measure_separations(run, functions, [("0 ≤ l ≤ 5", near, True)])
    lines += [f"rho = {', '.join(f'{r:g}' for r in rhos)}.", ""]
    lines += separation_table("separations", groups, TABLE_TARGET)
    for g in groups:
        run.targets.add(f"{g.function}_magnification, table of 100 points, worst separation near the source, "
                        "one thread (CPU time)", f"{format_time(g.worst['cpu'])} ({g.where()}; median {format_time(g.median)})",
                        f"≤ {format_time(TABLE_TARGET)}", at_most(g.worst["cpu"], TABLE_TARGET))
    return lines


def section_tables(run):
    """benchmarks/tables.py in a process of its own: it runs on one pool thread."""
    lines = ["## Any limb-darkening law as a table: cost per separation over the built-in law's, one thread", "",
             "A quadratic law (0.4, 0.3) at N radii x = sin θ (examples/limb_darkening_laws.py) against the "
             "built-in linear law: one call of 241 separations in l ∈ [0, 3], CPU time per separation "
             "(benchmarks/tables.py); the error is the table's against the smooth law itself.", ""]
    command = [sys.executable, str(HERE / "tables.py"), "--json"] + (["--quick"] if run.quick else [])
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        run.targets.add("tables of any law", "—", "", "not measured: tables.py failed")
        return lines + ["(tables.py failed: " + done.stderr.strip().splitlines()[-1] + ")"]
    sys.path.insert(0, str(HERE))
    import tables

    rows = json.loads(done.stdout)
    lines += tables.markdown(rows)
    for n, target in tables.TARGETS.items():
        ratios = [c["ratio"] for row in rows for c in row["cells"] if c["n"] == n]
        run.targets.add(f"table of {n} points (quadratic law at sin θ), time per separation over the built-in "
                        "law's, one thread, both routes, rho = 0.01 and 1",
                        " / ".join(f"{r:.3g}×" for r in ratios), f"≤ {target:g}×", at_most(max(ratios), target))
    return lines


def section_costs(run):
    lines = ["## Cost model of caustica's calls", "",
             "N is the size of the worker pool (RAYON_NUM_THREADS), each in its own processes; every "
             f"figure is the median of {1 if run.quick else 3} rounds of processes, each round itself a median of 7 runs.", ""]
    return lines + cost_model(run.args.kernel_bench, 1 if run.quick else 3, run.targets)


SECTION_RUNNERS = {"uniform": section_uniform, "ld": section_ld, "onethread": section_onethread,
                   "regions": section_regions,
                   "table": section_table, "tables": section_tables, "costs": section_costs}


def reference_tasks(sections):
    near = [float(l) for l in subsample()]
    tasks = []
    if "uniform" in sections:
        tasks += [("disk", rho, l) for rho in RHOS for l in near]
    if "ld" in sections:
        tasks += [("ld", rho, l) for rho in RHOS for l in near]
        tasks += [("ld", rho, float(l)) for rho in RHOS for l in realistic_subsample(rho)[0]]
    if "onethread" in sections:
        import one_thread

        tasks += one_thread.reference_tasks()
    return tasks


# ---- the machine -------------------------------------------------------------------------------

def machine():
    cpu = "unknown"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    try:
        compiler = subprocess.run(["c++", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    except (OSError, IndexError):
        compiler = "unknown"
    versions = []
    for name in ("caustica", "numpy", "scipy", "mpmath", "MulensModel", "VBMicrolensing"):
        try:
            from importlib.metadata import version
            versions.append(f"{name} {version(name)}")
        except Exception:
            versions.append(f"{name} absent")
    load = ", ".join(f"{x:.2f}" for x in os.getloadavg())
    return [
        f"- load average when the run ended (1, 5, 15 minutes): {load}",
        f"- CPU: {cpu}; {os.cpu_count()} logical cores available ({len(os.sched_getaffinity(0))} to this process), shared with other work",
        f"- Python {platform.python_version()} ({platform.python_implementation()}), {platform.system()} {platform.release()}",
        f"- compiler: {compiler} (caustica built with -O3, -ffp-contract=off)",
        "- " + ", ".join(versions),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--kernel-bench", default=str(ROOT / "build-bench" / "benchmarks" / "kernel_bench"))
    parser.add_argument("--output", default=None, help="default benchmarks/results.md (for a whole run)")
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--only", action="append", choices=SECTIONS, metavar="SECTION",
                        help="run only this section (repeatable): " + ", ".join(SECTIONS))
    args = parser.parse_args()
    sections = [s for s in SECTIONS if s in (args.only or SECTIONS)]
    whole = sections == list(SECTIONS)

    started = time.perf_counter()
    refs = references(reference_tasks(sections), prune=whole)
    contenders = caustica_contenders() + scipy_contenders() + mulens_contenders() + vbm_contenders()
    run = Run(args, refs, contenders)
    body, spent = [], []
    for section in sections:
        print(f"--- {section}", flush=True)
        begun = time.perf_counter()
        try:
            body += [""] + SECTION_RUNNERS[section](run)
        except Exception as exc:  # an unattended run reports a failing section and goes on
            detail = (exc.stderr or "").strip().splitlines()[-1:] if isinstance(exc, subprocess.CalledProcessError) else []
            message = f"{type(exc).__name__}: {exc}" + (f" ({detail[0]})" if detail else "")
            print(f"section {section} failed: {message}", flush=True)
            body += ["", f"## Section {section} failed", "", message]
            run.targets.add(f"section {section}", "—", "", f"not measured: {type(exc).__name__}")
        spent.append(f"{section} {time.perf_counter() - begun:.0f} s")

    report = ["# caustica and its peers", ""]
    report += machine()
    report += [f"- caustica's pool: RAYON_NUM_THREADS={os.environ.get('RAYON_NUM_THREADS', 'unset')} "
               "(unset: one thread per core); the one-thread sections set it to 1 in their subprocess"]
    if args.quick:
        report += ["- a --quick run: fewer rounds, rho and separations"]
    report += ["", "## Targets", ""] + run.targets.table()
    report += body
    report += ["", "## How each figure is measured", "",
               "Input: " + textwrap.dedent(__doc__.split("Input:", 1)[1]).strip()]
    report += ["", f"Whole run: {time.perf_counter() - started:.0f} s ({', '.join(spent)})."]
    text = "\n".join(report) + "\n"
    print()
    print(text)
    output = args.output or (str(HERE / "results.md") if whole and not args.quick else None)
    if output:
        Path(output).write_text(text)
    else:
        print("(a partial or --quick run: results.md left as it was; --output FILE writes this report)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
