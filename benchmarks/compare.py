"""caustica against its peers: time per point and worst relative error, uniform and limb-darkened.

    benchmarks/setup.sh                                   # once: benchmarks/.venv with the peers
    benchmarks/.venv/bin/python benchmarks/compare.py     # prints the tables, writes results.md

Options: --kernel-bench PATH (the kernel_bench program; default build-bench/benchmarks/kernel_bench,
the cost model's kernel lines are skipped without it), --quick (fewer repeats, for a smoke test),
--output FILE (default benchmarks/results.md).

Input: a light curve, the lens moving on a straight line past the source centre at an impact
parameter of 0.3 source radii, out to separations l of 5 source radii, with 10^2, 10^4 and 10^6
points evenly spaced in time, for source radii rho = 1e-3, 1e-2, 0.1 and 1 Einstein radii. The
peers take the separation in Einstein radii, u = l * rho, computed in double precision as caustica
computes it internally.

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

Errors are the worst relative error on 20 points per rho (16 spread along the curve and the 4 of
the 10^6-point curve nearest the limb), against 30-digit mpmath values from
tools/gen_magnification_reference.py (disk(), and limb_darkened_by_rings(), or its disk form
limb_darkened_by_disks() for the points next to the limb where the rings' quadrature meets the
singular ring), cached in benchmarks/reference_cache.json.
"""

import argparse
import json
import math
import os
import platform
import statistics
import subprocess
import sys
import textwrap
import time
import warnings
from multiprocessing import Pool
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(ROOT / "tools"))

RHOS = [1e-3, 1e-2, 0.1, 1.0]
SIZES = [10**2, 10**4, 10**6]
IMPACT = 0.3
FAR = 5.0
LINEAR_LD = 0.6                      # I(r) = 1 - 0.6 (1 - sqrt(1 - r^2)), caustica's built-in profile
GAMMA = 2 * LINEAR_LD / (3 - LINEAR_LD)  # the same law in MulensModel's Gamma convention: 0.5
SAMPLE = 20
CACHE = HERE / "reference_cache.json"


def light_curve(points):
    """Separations in source radii along the trajectory, evenly spaced in time."""
    half = math.sqrt(FAR * FAR - IMPACT * IMPACT)
    t = np.linspace(-half, half, points)
    return np.sqrt(IMPACT * IMPACT + t * t)


def subsample():
    """16 points spread along the curve and the 4 points of the 10^6 curve nearest the limb."""
    full = light_curve(10**6)
    outbound = full[len(full) // 2:]  # the curve is symmetric: one half has every value
    spread = outbound[np.linspace(0, len(outbound) - 1, SAMPLE - 4).round().astype(int)]
    nearest = outbound[np.argsort(np.abs(outbound - 1.0))[:4]]
    return np.concatenate([spread, nearest])


# ---- reference values ------------------------------------------------------------------------

def _reference(task):
    import mpmath as mp
    import gen_magnification_reference as ref

    kind, rho, l = task
    mp.mp.dps = 30
    if kind == "disk":
        return task, mp.nstr(ref.disk(l, rho), 30)
    value = ref.limb_darkened_by_rings(l, rho)
    if not mp.isfinite(value):
        # Within about 1e-5 of the limb a quadrature node of the rings' integral rounds onto the
        # ring through the lens; the disk form has no such node.
        value = ref.limb_darkened_by_disks(l, rho)
    return task, mp.nstr(value, 30)


def references(sample):
    cache = json.loads(CACHE.read_text()) if CACHE.exists() else {}
    tasks = [(kind, rho, float(l)) for kind in ("disk", "ld") for rho in RHOS for l in sample]
    known = {k for k, v in cache.items() if "inf" not in v and "nan" not in v}
    missing = [t for t in tasks if f"{t[0]} {t[1]!r} {t[2]!r}" not in known]
    if missing:
        print(f"computing {len(missing)} reference values with mpmath (cached for later runs) ...", flush=True)
        with Pool(min(2, os.cpu_count() or 1)) as pool:
            for (kind, rho, l), value in pool.imap_unordered(_reference, missing):
                cache[f"{kind} {rho!r} {l!r}"] = value
        keys = {f"{t[0]} {t[1]!r} {t[2]!r}" for t in tasks}
        CACHE.write_text(json.dumps({k: v for k, v in cache.items() if k in keys}, indent=0, sort_keys=True) + "\n")
    return {t: cache[f"{t[0]} {t[1]!r} {t[2]!r}"] for t in tasks}


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


# ---- contenders --------------------------------------------------------------------------------

def scipy_witt_mao(l, rho):
    """The uniform-disk closed form vectorised with scipy.special; Pi from Carlson's RF and RJ."""
    from scipy import special

    c = rho * rho
    u = l * rho
    d = u - rho
    d2 = d * d
    w = np.sqrt(d2 + 4)
    s = rho + u
    n = (rho * 4 * u) / (s * s)
    m = n * 4 / (w * w)
    with np.errstate(all="ignore"):
        E = special.ellipe(m)
        K = special.ellipk(m)
        P = special.elliprf(0, 1 - m, 1) + n / 3 * special.elliprj(0, 1 - m, 1, 1 - n)
        A = ((s * w) / (c + c) * E - (d * ((u * u - c) * 0.5 + 4)) / (w * c) * K
             + ((d2 + d2) * (c + 1)) / (w * (s * c)) * P) / math.pi
    limb = (2 / rho + (c + 1) / c * 2 * math.atan(rho)) / math.pi
    return np.where(d == 0, limb, A)


class Curve:
    """The inputs in every form a contender takes, made before the clock starts."""

    def __init__(self, l, rho):
        self.l = np.ascontiguousarray(l, dtype=np.float64)   # separations, source radii
        self.l_list = self.l.tolist()
        self.u = self.l * rho                                # separations, Einstein radii
        self.u_list = self.u.tolist()
        # Times along a trajectory with t_E = 1 and u_0 = 0.3 rho that pass these separations.
        self.t_list = np.sqrt(np.maximum(self.u * self.u - (IMPACT * rho) ** 2, 0.0)).tolist()


class Contender:
    """name; kind 'disk' or 'ld'; make(rho) -> f(curve) giving the values."""

    def __init__(self, name, kind, make, cap=None, available=True, why=""):
        self.name, self.kind, self.make, self.cap = name, kind, make, cap
        self.available, self.why = available, why


def caustica_contenders():
    try:
        import caustica
    except ImportError as error:
        return [Contender("caustica", "disk", None, available=False, why=str(error))]
    return [
        Contender("caustica.witt_mao_magnification (list)", "disk",
                  lambda rho: lambda c: caustica.witt_mao_magnification(c.l_list, 1.0, rho)),
        Contender("caustica.witt_mao_magnification (float64 array)", "disk",
                  lambda rho: lambda c: caustica.witt_mao_magnification(c.l, 1.0, rho)),
        Contender("caustica.integrated_heyrovsky_magnification", "ld",
                  lambda rho: lambda c: caustica.integrated_heyrovsky_magnification(c.l, 1.0, rho), cap=300),
        Contender("caustica.integrated_witt_mao_magnification", "ld",
                  lambda rho: lambda c: caustica.integrated_witt_mao_magnification(c.l, 1.0, rho), cap=300),
    ]


def scipy_contenders():
    try:
        import scipy  # noqa: F401
    except ImportError as error:
        return [Contender("numpy + scipy.special, Witt-Mao form", "disk", None, available=False, why=str(error))]
    return [Contender("numpy + scipy.special, Witt-Mao form", "disk",
                      lambda rho: lambda c: scipy_witt_mao(c.l, rho))]


MULENS_METHODS = [
    ("finite_source_uniform_WittMao94", "disk", 1000),
    ("finite_source_uniform_Lee09", "disk", 300),
    ("finite_source_uniform_Gould94", "disk", 10**4),
    ("finite_source_LD_WittMao94", "ld", 30),
    ("finite_source_LD_Lee09", "ld", 20),
    ("finite_source_LD_Yoo04", "ld", 10**5),
]


def mulens_contenders():
    try:
        import MulensModel as mm
    except ImportError as error:
        return [Contender(f"MulensModel {m}", k, None, available=False, why=str(error)) for m, k, _ in MULENS_METHODS]

    def make(method, kind):
        def for_rho(rho):
            # u_0 = 0, t_0 = 0, t_E = 1: the trajectory's u is the time itself, exactly.
            model = mm.Model({"t_0": 0.0, "u_0": 0.0, "t_E": 1.0, "rho": rho})
            model.set_magnification_methods([-1.0, method, 10.0])
            if kind == "ld":
                return lambda c: model.get_magnification(c.u, gamma=GAMMA)
            return lambda c: model.get_magnification(c.u)
        return for_rho

    return [Contender(f"MulensModel {mm.__version__} {method}", kind, make(method, kind), cap=cap)
            for method, kind, cap in MULENS_METHODS]


def vbm_contenders():
    try:
        import VBMicrolensing
    except ImportError as error:
        names = ["ESPLMag", "ESPLLightCurve", "ESPLMagDark", "ESPLMagDark Tol=1e-6", "ESPLLightCurve a1=0.6"]
        return [Contender(f"VBMicrolensing {n}", "disk" if "Dark" not in n and "a1" not in n else "ld", None,
                          available=False, why=str(error)) for n in names]
    version = getattr(VBMicrolensing, "__version__", "")

    def engine(a1=0.0, tol=None):
        vbm = VBMicrolensing.VBMicrolensing()
        vbm.a1 = a1                 # linear law I(r) = 1 - a1 (1 - sqrt(1 - r^2)), as caustica's
        if tol is not None:
            vbm.Tol = tol
        return vbm

    def per_call(method, a1=0.0, tol=None):
        def for_rho(rho):
            vbm = engine(a1, tol)
            f = getattr(vbm, method)
            return lambda c: [f(x, rho) for x in c.u_list]
        return for_rho

    def light_curve_entry(a1):
        def for_rho(rho):
            vbm = engine(a1)
            # Its own trajectory: parameters [ln u0, ln tE, t0, ln rho], u = sqrt(u0^2 + t^2).
            params = [math.log(IMPACT * rho), 0.0, 0.0, math.log(rho)]

            return lambda c: vbm.ESPLLightCurve(params, c.t_list)[0]
        return for_rho

    return [
        Contender(f"VBMicrolensing {version} ESPLMag (one call per point)", "disk", per_call("ESPLMag")),
        Contender(f"VBMicrolensing {version} ESPLLightCurve (array)", "disk", light_curve_entry(0.0), cap=10**5),
        Contender(f"VBMicrolensing {version} ESPLMagDark, default Tol", "ld", per_call("ESPLMagDark", LINEAR_LD), cap=10**5),
        Contender(f"VBMicrolensing {version} ESPLMagDark, Tol=1e-6", "ld", per_call("ESPLMagDark", LINEAR_LD, 1e-6), cap=5),
        Contender(f"VBMicrolensing {version} ESPLLightCurve a1=0.6 (array)", "ld", light_curve_entry(LINEAR_LD), cap=10**5),
    ]


# ---- timing ------------------------------------------------------------------------------------

def time_runs(f, curve, budget):
    """Per-point seconds of at least 3 runs (5 when they are quick), within about budget seconds."""
    runs = []
    points = len(curve.l)
    while len(runs) < 5 and (len(runs) < 3 or sum(runs) * points < budget):
        start = time.perf_counter()
        f(curve)
        runs.append((time.perf_counter() - start) / points)
    return statistics.median(runs), min(runs), max(runs)


def sample_values(f, sample, rho):
    """The contender's values on the sample; a point on which it fails is NaN."""
    try:
        return np.asarray(f(Curve(sample, rho)), dtype=float)
    except Exception:
        values = []
        for l in sample:
            try:
                values.append(float(np.asarray(f(Curve([l], rho)), dtype=float)[0]))
            except Exception:
                values.append(math.nan)
        return np.asarray(values)


def format_time(seconds):
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.3g} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.3g} µs"
    return f"{seconds * 1e9:.3g} ns"


def format_cell(cell):
    if cell is None:
        return "—"
    median, low, high, extrapolated = cell
    mark = "~" if extrapolated else ""
    return f"{mark}{format_time(median)} ({format_time(low)}–{format_time(high)})"


def run_contenders(contenders, sample, refs, quick):
    rows = []
    curves = {n: light_curve(n) for n in SIZES}
    budget = 0.3 if quick else 1.0
    for contender in contenders:
        if not contender.available:
            rows.append((contender, None, f"unavailable: {contender.why}", None, None))
            print(f"{contender.name}: unavailable ({contender.why})", flush=True)
            continue
        for rho in RHOS:
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
                error = worst_error(sample_values(f, sample, rho), contender.kind, rho, sample, refs)
            if contender.cap and contender.cap < SIZES[-1]:
                notes.insert(0, f"timed on {contender.cap} points")
            note = "; ".join(notes)
            rows.append((contender, rho, note, cells, error))
            print(f"{contender.name}, rho={rho:g}: " + " | ".join(format_cell(c) for c in cells)
                  + f" | error {format_error(error)}" + (f" | {note}" if note else ""), flush=True)
    return rows


def format_error(error):
    worst, failed = error
    if failed == SAMPLE:
        return "no finite value"
    text = f"{worst:.1e}"
    return text + (f" (NaN or failure at {failed} of {SAMPLE} points)" if failed else "")


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


# ---- cost model of caustica's own calls --------------------------------------------------------

PYTHON_COSTS = textwrap.dedent(
    """
    import json, math, statistics, sys, time
    import numpy as np
    import caustica

    def interleaved(calls, n, repeats):
        # Round-robin, so that a slow spell of the machine falls on every case alike.
        runs = {name: [] for name in calls}
        for _ in range(repeats):
            for name, call in calls.items():
                start = time.perf_counter(); call(); runs[name].append((time.perf_counter() - start) / n)
        return {name: statistics.median(r) for name, r in runs.items()}

    n = 10**6
    half = math.sqrt(25 - 0.09)
    l = np.sqrt(0.09 + np.linspace(-half, half, n) ** 2)
    ll = l.tolist()
    empty, empty_list = np.empty(0), []
    out = interleaved({
        "call_list": lambda: caustica.witt_mao_magnification(ll, 1.0, 0.01),
        "call_array": lambda: caustica.witt_mao_magnification(l, 1.0, 0.01),
        # An empty profile table: each element costs only its conversion and its result slot.
        "empty_list": lambda: caustica.discrete_flux_map_heyrovsky_magnification(ll, 1.0, 0.01, empty_list, empty_list),
        "empty_array": lambda: caustica.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.01, empty, empty),
    }, n, 7)
    one, one_array, k = [0.5], np.array([0.5]), 10**4
    out.update(interleaved({
        "one_list": lambda: [caustica.witt_mao_magnification(one, 1.0, 0.01) for _ in range(k)],
        "one_array": lambda: [caustica.witt_mao_magnification(one_array, 1.0, 0.01) for _ in range(k)],
        "one_ring": lambda: [caustica.heyrovsky_magnification(0.5, 0.7, 1.0, 0.01) for _ in range(k)],
        "one_empty": lambda: [caustica.discrete_flux_map_heyrovsky_magnification(one, 1.0, 0.01, empty_list, empty_list) for _ in range(k)],
        "empty_loop": lambda: [None for _ in range(k)],
    }, k, 9))
    print(json.dumps(out))
    """
)


def with_threads(n):
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = str(n)
    return env


def cost_model(kernel_bench, rounds):
    # Each pool size in its own processes, alternating, several rounds: the median of the rounds
    # keeps a busy spell of the shared machine from landing on one pool size only.
    has_kernel_bench = bool(kernel_bench) and Path(kernel_bench).exists()
    kernel_runs = {1: [], 2: []}
    python_runs = {1: [], 2: []}
    for _ in range(rounds):
        for n in (1, 2):
            if has_kernel_bench:
                proc = subprocess.run([kernel_bench, "time", str(10**6)], env=with_threads(n),
                                      capture_output=True, text=True, check=True)
                kernel_runs[n].append({(d["case"], d["rho"]): d["ns_per_element"] * 1e-9
                                       for d in map(json.loads, proc.stdout.splitlines())})
            proc = subprocess.run([sys.executable, "-c", PYTHON_COSTS], env=with_threads(n),
                                  capture_output=True, text=True, check=True)
            python_runs[n].append(json.loads(proc.stdout))
    python = {n: {key: statistics.median(run[key] for run in runs) for key in runs[0]}
              for n, runs in python_runs.items()}
    kernel = {n: {key: statistics.median(run[key] for run in runs) for key in runs[0]}
              for n, runs in kernel_runs.items() if runs}

    def kernel_s(case, n, rho=0.01):
        return kernel.get(n, {}).get((case, rho))

    def shown(value):
        if value is None:
            return "—"
        if abs(value) < 3e-9:  # differences of medians below a few ns are noise here
            return f"≈ 0 ({format_time(value) if value > 0 else '-' + format_time(-value)})"
        return format_time(value)

    def row(title, value):
        lines.append(f"| {title} | {shown(value(1))} | {shown(value(2))} |")

    lines = ["| per element, 10^6 elements, rho = 0.01 | N = 1 | N = 2 |", "|---|---|---|"]
    row("uniform-disk kernel alone, C++ loop on one thread", lambda n: kernel_s("witt_mao_kernel", n))
    row("uniform-disk batch driver on the pool, C++", lambda n: kernel_s("witt_mao_magnification", n))
    row("ring kernel alone, C++ loop on one thread (r spread over (0, 1))", lambda n: kernel_s("heyrovsky_magnification", n))
    row("witt_mao_magnification from Python, list in", lambda n: python[n]["call_list"])
    row("witt_mao_magnification from Python, float64 array in", lambda n: python[n]["call_array"])
    row("argument conversion, list element to double (a) (list minus array, empty-table call)",
        lambda n: python[n]["empty_list"] - python[n]["empty_array"])
    row("result list building and freeing, with the array's copy (b) (empty-table call, array in)",
        lambda n: python[n]["empty_array"])
    lines += ["", "| one call, whole | N = 1 | N = 2 |", "|---|---|---|"]
    row("witt_mao_magnification([0.5], 1, 0.01)", lambda n: python[n]["one_list"] - python[n]["empty_loop"])
    row("witt_mao_magnification(np.array([0.5]), 1, 0.01)", lambda n: python[n]["one_array"] - python[n]["empty_loop"])
    row("heyrovsky_magnification(0.5, 0.7, 1, 0.01)", lambda n: python[n]["one_ring"] - python[n]["empty_loop"])
    row("discrete_flux_map_heyrovsky_magnification([0.5], 1, 0.01, [], []) (nothing to compute)",
        lambda n: python[n]["one_empty"] - python[n]["empty_loop"])
    if kernel:
        lines += ["", "Kernels alone by rho, ns per element (C++; the driver on a pool of N threads):", "",
                  "| rho | uniform-disk kernel | driver, N = 1 | driver, N = 2 | ring kernel |",
                  "|---|---|---|---|---|"]
        for rho in RHOS:
            cells = [kernel_s("witt_mao_kernel", 1, rho), kernel_s("witt_mao_magnification", 1, rho),
                     kernel_s("witt_mao_magnification", 2, rho), kernel_s("heyrovsky_magnification", 1, rho)]
            lines.append(f"| {rho:g} | " + " | ".join(shown(c) for c in cells) + " |")
    else:
        lines += ["", f"(kernel_bench not found at {kernel_bench}: build it with -DCAUSTICA_BENCHMARKS=ON)"]
    return lines


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
    parser.add_argument("--output", default=str(HERE / "results.md"))
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()

    started = time.perf_counter()
    sample = subsample()
    refs = references(sample)
    contenders = caustica_contenders() + scipy_contenders() + mulens_contenders() + vbm_contenders()
    uniform = run_contenders([c for c in contenders if c.kind == "disk"], sample, refs, args.quick)
    darkened = run_contenders([c for c in contenders if c.kind == "ld"], sample, refs, args.quick)
    costs = cost_model(args.kernel_bench, 1 if args.quick else 3)

    report = ["# caustica and its peers", ""]
    report += machine()
    report += ["", "Input: " + textwrap.dedent(__doc__.split("Input:", 1)[1]).strip(), ""]
    report += ["## Uniform disk", ""] + results_table(uniform)
    report += ["", f"## Linear limb darkening, coefficient {LINEAR_LD} (MulensModel Gamma = {GAMMA:g})", ""]
    report += results_table(darkened)
    report += ["", "## Cost model of caustica's calls", "",
               "N is the size of the worker pool (RAYON_NUM_THREADS), each in its own processes; every "
               "figure is the median of three rounds of processes, each round itself a median of 7 runs.", ""]
    report += costs
    report += ["", f"Whole run: {time.perf_counter() - started:.0f} s."]
    text = "\n".join(report) + "\n"
    print()
    print(text)
    Path(args.output).write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
