"""The costs of caustica's own calls: the cost model of a call (kernels, conversion, result list)
and the cost of one separation of the profile-integrated functions on one thread."""

import json
import os
import resource
import statistics
import subprocess
import sys
import textwrap
import time
from pathlib import Path

from light_curves import RHOS
from timing import at_most, format_time

HERE = Path(__file__).resolve().parent

KERNEL_DISK_TARGET = 80e-9
KERNEL_RING_TARGET = 60e-9
KERNEL_POINTS = 3 * 10**5   # kernel_bench's curve: its cost per element does not depend on the length

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


def cost_model(kernel_bench, rounds, targets):
    # Each pool size in its own processes, alternating, several rounds: the median of the rounds
    # keeps a busy spell of the shared machine from landing on one pool size only.
    has_kernel_bench = bool(kernel_bench) and Path(kernel_bench).exists()
    kernel_runs = {1: [], 2: []}
    core_share = []
    python_runs = {1: [], 2: []}
    for _ in range(rounds):
        for n in (1, 2):
            if has_kernel_bench:
                cpu, wall = children_cpu(), time.perf_counter()
                proc = subprocess.run([kernel_bench, "time", str(KERNEL_POINTS)], env=with_threads(n),
                                      capture_output=True, text=True, check=True)
                if n == 1:  # one thread busy at a time: how much of a core it was given
                    core_share.append((children_cpu() - cpu) / (time.perf_counter() - wall))
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

    def conversion(n):  # (a): reading a list element into a double
        return python[n]["empty_list"] - python[n]["empty_array"]

    def result_list(n):  # (b): making and freeing the result list, with the array's copy
        return python[n]["empty_array"]

    lines = ["| per element, rho = 0.01 (C++: kernel_bench on 3·10^5 elements; Python: 10^6) | N = 1 | N = 2 |",
             "|---|---|---|"]
    row("uniform-disk kernel alone, C++ loop on one thread", lambda n: kernel_s("witt_mao_kernel", n))
    row("uniform-disk batch driver on the pool, C++", lambda n: kernel_s("witt_mao_magnification", n))
    row("ring kernel alone, C++ loop on one thread (r spread over (0, 1))", lambda n: kernel_s("heyrovsky_magnification", n))
    row("witt_mao_magnification from Python, list in", lambda n: python[n]["call_list"])
    row("witt_mao_magnification from Python, float64 array in", lambda n: python[n]["call_array"])
    row("argument conversion, list element to double (a) (list minus array, empty-table call)", conversion)
    row("result list building and freeing, with the array's copy (b) (empty-table call, array in)", result_list)

    def share(part, whole):
        return f"{format_time(part)} = {100 * part / whole:.0f} %"

    lines += ["", "Where a witt_mao_magnification call of 10^6 elements goes: the interpreter's part is "
              "reading the list (a) and making and freeing the result list (b); ours is the rest "
              "(the kernels, the pool, the copies).", "",
              "| share of the call, per element | N = 1 | N = 2 |", "|---|---|---|"]
    for form, whole, theirs in (
            ("list in", lambda n: python[n]["call_list"], lambda n: conversion(n) + result_list(n)),
            ("float64 array in", lambda n: python[n]["call_array"], result_list)):
        lines.append(f"| {form}, the interpreter's ({'a + b' if form == 'list in' else 'b'}) | "
                     + " | ".join(share(theirs(n), whole(n)) for n in (1, 2)) + " |")
        lines.append(f"| {form}, ours | "
                     + " | ".join(share(whole(n) - theirs(n), whole(n)) for n in (1, 2)) + " |")

    lines += ["", "| one call, whole | N = 1 | N = 2 |", "|---|---|---|"]
    row("witt_mao_magnification([0.5], 1, 0.01)", lambda n: python[n]["one_list"] - python[n]["empty_loop"])
    row("witt_mao_magnification(np.array([0.5]), 1, 0.01)", lambda n: python[n]["one_array"] - python[n]["empty_loop"])
    row("heyrovsky_magnification(0.5, 0.7, 1, 0.01)", lambda n: python[n]["one_ring"] - python[n]["empty_loop"])
    row("discrete_flux_map_heyrovsky_magnification([0.5], 1, 0.01, [], []) (nothing to compute)",
        lambda n: python[n]["one_empty"] - python[n]["empty_loop"])
    if kernel:
        one = python[1]["one_list"] - python[1]["empty_loop"]
        alone = kernel_s("witt_mao_kernel", 1)
        lines += ["", f"Of the one-element call on one thread ({format_time(one)}), the kernel is "
                  f"{share(alone, one)}; the rest ({share(one - alone, one)}) is the call itself: the "
                  "interpreter's call and result list, argument parsing and the pool's hand-off."]
        lines += ["", f"kernel_bench with one thread had {100 * statistics.median(core_share):.0f} % of a core "
                  "while it ran (its CPU time over its wall-clock time; a quiet machine gives about 100 %): its "
                  "times, which are wall-clock, are longer by about the inverse of that share."]
        lines += ["", "Kernels alone by rho, ns per element (C++; the driver on a pool of N threads):", "",
                  f"| rho | uniform-disk kernel (target ≤ {format_time(KERNEL_DISK_TARGET)}) | driver, N = 1 "
                  f"| driver, N = 2 | ring kernel (target ≤ {format_time(KERNEL_RING_TARGET)}) |",
                  "|---|---|---|---|---|"]
        for rho in RHOS:
            disk, ring = kernel_s("witt_mao_kernel", 1, rho), kernel_s("heyrovsky_magnification", 1, rho)
            cells = [f"{shown(disk)}, {at_most(disk, KERNEL_DISK_TARGET)}", shown(kernel_s("witt_mao_magnification", 1, rho)),
                     shown(kernel_s("witt_mao_magnification", 2, rho)), f"{shown(ring)}, {at_most(ring, KERNEL_RING_TARGET)}"]
            lines.append(f"| {rho:g} | " + " | ".join(cells) + " |")
        for title, case, limit in (("uniform-disk kernel alone, one thread, rho = 0.01", "witt_mao_kernel", KERNEL_DISK_TARGET),
                                   ("ring kernel alone, one thread, rho = 0.01", "heyrovsky_magnification", KERNEL_RING_TARGET)):
            value = kernel_s(case, 1)
            targets.add(title, format_time(value), f"≤ {format_time(limit)}", at_most(value, limit))
    else:
        lines += ["", f"(kernel_bench not found at {kernel_bench}: build it with -DCAUSTICA_BENCHMARKS=ON)"]
        for title in ("uniform-disk kernel alone", "ring kernel alone"):
            targets.add(title, "—", "", "not measured: no kernel_bench")
    for form, whole, theirs in (
            ("list in", python[1]["call_list"], conversion(1) + result_list(1)),
            ("float64 array in", python[1]["call_array"], result_list(1))):
        targets.add(f"witt_mao_magnification, 10^6 elements, {form}, one thread: the interpreter's share",
                    f"{100 * theirs / whole:.0f} % ({format_time(theirs)} of {format_time(whole)})",
                    "(reported)", "—")
    return lines


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


# ---- one separation at a time, one thread ----------------------------------------------------------

def separation_costs(cases, runs):
    """Per-separation seconds of each case {function, rho, l}, from separation_cost.py on one thread."""
    proc = subprocess.run([sys.executable, str(HERE / "separation_cost.py"), str(runs)],
                          input=json.dumps(cases), env=with_threads(1),
                          capture_output=True, text=True, check=True)
    return [json.loads(line) for line in proc.stdout.splitlines()]
