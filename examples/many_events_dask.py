#!/usr/bin/env python3
"""Light curves of many events across a dask.distributed cluster, and when the cluster pays off.

Each event (t0, u0, tE, rho, linear limb-darkening coefficient c) gets its limb-darkened light
curve on a LocalCluster of worker processes; the same curves computed by a serial loop in this
process must come back identical, bit for bit, whatever the number of workers and threads.

caustica's batches already run on a pool of threads in each process, so a serial loop uses
every core for the magnifications themselves. What one process runs on a single core is the
rest: the interpreter's share of each call (reading the separations, building the result list
of floats) and the numpy work around it. A cluster of one-thread workers runs that rest on every
core, but costs a scheduling round trip and the transfer of the curves per task. It therefore
pays off where that rest is large and what a task sends back is small: a fit's step, which needs
one chi-squared per event, not the curve, for a cheap profile (the uniform disk, whose call is
about half the interpreter's). Sending whole curves back costs more than the cluster gains, and
for limb-darkened curves, microseconds per separation on the pool, the rest is small anyway. The
script measures it: events per second of the serial loop and of clusters of each number of
workers, for limb-darkened and uniform-disk curves and a fit's step at each length, and says
where a cluster is ahead.

With W worker processes each pool is sized to cores // W threads through RAYON_NUM_THREADS,
set in the workers' environment before they start, so that W x threads does not exceed the
cores. Every worker reports the size of the pool it actually runs, and the script checks it.
Events go to the workers in chunks (a few tasks per worker), so that the scheduler's cost per
task is spread over many events.

    python3 examples/many_events_dask.py [--workers 1 2] [--epochs 200 2000 20000] [--events N]

Needs dask[distributed] and numpy. On a cluster, dask-jobqueue's SLURMCluster or PBSCluster
take the place of LocalCluster (set RAYON_NUM_THREADS in the job script or with env=).
"""
import argparse
import math
import os
import sys
import time
from pathlib import Path

import numpy as np

# Each rate is from the fastest of this many rounds, so that a busy spell of a shared machine
# falls out of it.
ROUNDS = 3

def cores():
    """The CPUs this process may run on."""
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def events(count, seed=7):
    """Random events: t0 (days), u0 (Einstein radii), tE (days), rho, c."""
    rng = np.random.default_rng(seed)
    return [(float(rng.uniform(-5, 5)), float(rng.uniform(0.0, 0.03)),
             float(rng.uniform(10, 60)), float(rng.uniform(0.005, 0.03)),
             float(rng.uniform(0.3, 0.8))) for _ in range(count)]


def light_curve(event, epochs, profile="limb"):
    """Magnification of one event at the given number of epochs over t0 +- 2 tE: of a uniform
    disk, or with linear limb darkening c from the two built-in profiles:
    A(c) = [(1 - c) A_U + (2c/3) A_mu] / (1 - c/3), A_mu = 2 A_0.6 - A_U."""
    import caustica

    t0, u0, tE, rho, c = event
    t = np.linspace(t0 - 2 * tE, t0 + 2 * tE, epochs)
    l = np.hypot(u0, (t - t0) / tE) / rho
    uniform = np.array(caustica.witt_mao_magnification(l, 1.0, rho))
    if profile == "uniform":
        return uniform
    if profile == "fit":
        return np.array([chi_squared(t, uniform)])
    mu = 2 * np.array(caustica.integrated_heyrovsky_magnification(l, 1.0, rho)) - uniform
    return ((1 - c) * uniform + (2 * c / 3) * mu) / (1 - c / 3)


def chi_squared(t, magnification, blend=0.1, sigma=0.01):
    """One step of a fit: the blended model's chi-squared against the event's photometry (here a
    made-up one, 1 % off in a slow wave), which is all a task of a fit needs to send back."""
    model = magnification + blend
    data = magnification * (1 + sigma * np.sin(t)) + blend
    return float(np.sum(((data - model) / sigma) ** 2))


def light_curves(chunk, epochs, profile):
    return [light_curve(event, epochs, profile) for event in chunk]


def pool_report():
    """RAYON_NUM_THREADS as this process sees it, and the number of caustica's pool threads
    running in it (they are named caustica-w<index>); runs one batch first, which starts the
    pool if it is not running yet."""
    import caustica

    caustica.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)
    running = 0
    for _ in range(20):  # a new thread names itself once it runs: look for a while
        names = [(task / "comm").read_text() for task in Path("/proc/self/task").iterdir()]
        running = max(running, sum(n.startswith("caustica-w") for n in names))
        time.sleep(0.05)
    return os.environ.get("RAYON_NUM_THREADS"), running


def chunks(items, count):
    size = -(-len(items) // count)
    return [items[i:i + size] for i in range(0, len(items), size)]


def on_cluster(workloads, workers, threads):
    """{epochs: (curves, seconds)} on a LocalCluster of the given workers, each running a pool
    of the given threads; a warm-up round first, so that imports and pool starts are not
    counted. Also returns what each worker says about its pool."""
    from dask.distributed import Client, LocalCluster

    # env= reaches each worker process before it runs any task, so before caustica's pool
    # starts, whether the workers are spawned (dask's default) or forked.
    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                      env={"RAYON_NUM_THREADS": str(threads)}, dashboard_address=None,
                      silence_logs=40) as cluster, Client(cluster) as client:
        reports = client.run(pool_report)
        results = {}
        for (profile, epochs), all_events in workloads.items():
            parts = chunks(all_events, 4 * workers)
            client.gather(client.map(light_curves, parts[:workers], epochs=epochs,
                                     profile=profile, pure=False))
            fastest = math.inf
            for _ in range(ROUNDS):
                began = time.perf_counter()
                done = client.gather(client.map(light_curves, parts, epochs=epochs,
                                                profile=profile, pure=False))
                fastest = min(fastest, time.perf_counter() - began)
            results[profile, epochs] = ([c for part in done for c in part], fastest)
    return results, reports


def serial(all_events, epochs, profile):
    light_curves(all_events[:2], epochs, profile)  # warm-up: the pool starts
    fastest = math.inf
    for _ in range(ROUNDS):
        began = time.perf_counter()
        curves = light_curves(all_events, epochs, profile)
        fastest = min(fastest, time.perf_counter() - began)
    return curves, fastest


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--workers", type=int, nargs="+", default=[1, 2],
                        help="numbers of worker processes to try")
    parser.add_argument("--epochs", type=int, nargs="+", default=[200, 2000, 20000],
                        help="light-curve lengths (epochs per event) to try")
    parser.add_argument("--profiles", nargs="+", choices=["limb", "uniform", "fit"],
                        default=["limb", "uniform", "fit"],
                        help="limb-darkened or uniform-disk curves, or a fit's step: the "
                             "uniform-disk model's chi-squared, one number per event")
    parser.add_argument("--events", type=int, default=None,
                        help="events per length (default: 4.8 million epochs' worth, at least "
                             "240: about a second of work per round, so that the cluster's "
                             "cost per round is small beside it)")
    args = parser.parse_args(argv)

    workloads = {(p, n): events(args.events or max(240, 4_800_000 // n))
                 for p in args.profiles for n in args.epochs}
    print(f"{cores()} cores; caustica's pool in this process: {cores()} thread(s)")
    baseline = {key: serial(workloads[key], key[1], key[0]) for key in workloads}

    rates = {}
    pools_ok = identical = True
    for workers in args.workers:
        threads = max(1, cores() // workers)
        results, reports = on_cluster(workloads, workers, threads)
        for address, (variable, running) in sorted(reports.items()):
            print(f"  {workers} worker(s), {address}: RAYON_NUM_THREADS={variable}, "
                  f"{running} pool thread(s)")
            if variable != str(threads) or running != threads:
                print(f"worker {address} runs {running} pool threads, not {threads}", file=sys.stderr)
                pools_ok = False
        for key, (curves, seconds) in results.items():
            rates[workers, key] = len(workloads[key]) / seconds
            same = all(a.tobytes() == b.tobytes() for a, b in zip(curves, baseline[key][0]))
            identical = identical and same and len(curves) == len(baseline[key][0])

    labels = [f"{w} x {max(1, cores() // w)}" for w in args.workers]
    print(f"\nevents per second, fastest of {ROUNDS} rounds (cluster: worker processes x pool "
          "threads; start-up not counted)")
    print(f"{'curve':>8} {'epochs':>7} {'events':>7} {'serial':>9} "
          + " ".join(f"{x:>9}" for x in labels) + "  best cluster / serial")
    paying = []
    for key, all_events in workloads.items():
        serial_rate = len(all_events) / baseline[key][1]
        best = max(rates[w, key] for w in args.workers)
        print(f"{key[0]:>8} {key[1]:7d} {len(all_events):7d} {serial_rate:9.0f} "
              + " ".join(f"{rates[w, key]:9.0f}" for w in args.workers)
              + f"  {best / serial_rate:8.2f}")
        if best > serial_rate:
            paying.append(f"{key[0]} curves of {key[1]} epochs")
    if paying:
        print(f"the cluster pays off here for {'; '.join(paying)}")
    else:
        print("the cluster does not pay off here for any of these workloads")
    print("cluster and serial results identical bit for bit:", "yes" if identical else "NO")
    return 0 if identical and pools_ok else 1


if __name__ == "__main__":
    sys.exit(main())
