#!/usr/bin/env python3
"""Light curves of many events across a dask.distributed cluster of worker processes.

Each event (t0, u0, tE, rho, linear limb-darkening coefficient c) gets its limb-darkened light
curve on a LocalCluster of worker processes; the same curves computed by a serial loop in this
process must come back identical, bit for bit, whatever the number of workers and threads.

caustica's uniform-disk batches run on a pool of threads in each process. With W worker
processes each pool is sized to cores // W threads through RAYON_NUM_THREADS, set in the
workers' environment before they start, so that W x threads does not exceed the cores. Every
worker reports the size of the pool it actually runs, and the script checks it.

    python3 examples/many_events_dask.py [--workers 2] [--events 48] [--epochs 1000]

Needs dask[distributed] and numpy. On a cluster, dask-jobqueue's SLURMCluster or PBSCluster
take the place of LocalCluster (set RAYON_NUM_THREADS in the job script or with env=).
"""
import argparse
import os
import sys
import time
from pathlib import Path

import numpy as np


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


def light_curve(event, epochs):
    """Magnification of one event at the given number of epochs over t0 +- 2 tE, with linear
    limb darkening c from the two built-in profiles: A(c) = [(1 - c) A_U + (2c/3) A_mu] /
    (1 - c/3), A_mu = 2 A_0.6 - A_U."""
    import caustica

    t0, u0, tE, rho, c = event
    t = np.linspace(t0 - 2 * tE, t0 + 2 * tE, epochs)
    l = np.hypot(u0, (t - t0) / tE) / rho
    uniform = np.array(caustica.witt_mao_magnification(l, 1.0, rho))
    mu = 2 * np.array(caustica.integrated_heyrovsky_magnification(l, 1.0, rho)) - uniform
    return ((1 - c) * uniform + (2 * c / 3) * mu) / (1 - c / 3)


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


def on_cluster(all_events, epochs, workers, threads):
    from dask.distributed import Client, LocalCluster

    # env= reaches each worker process before it runs any task, so before caustica's pool
    # starts, whether the workers are spawned (dask's default) or forked.
    with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                      env={"RAYON_NUM_THREADS": str(threads)}, dashboard_address=None,
                      silence_logs=40) as cluster, Client(cluster) as client:
        reports = client.run(pool_report)
        began = time.perf_counter()
        futures = client.map(light_curve, all_events, epochs=epochs, pure=False)
        curves = client.gather(futures)
        seconds = time.perf_counter() - began
    return curves, seconds, reports


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--workers", type=int, default=2, help="worker processes")
    parser.add_argument("--events", type=int, default=48, help="number of events")
    parser.add_argument("--epochs", type=int, default=1000, help="epochs per event")
    args = parser.parse_args(argv)

    threads = max(1, cores() // args.workers)
    all_events = events(args.events)

    curves, seconds, reports = on_cluster(all_events, args.epochs, args.workers, threads)
    print(f"{args.workers} worker process(es) x {threads} pool thread(s) on {cores()} cores: "
          f"{args.events} events of {args.epochs} epochs in {seconds:.2f} s, "
          f"{args.events / seconds:.1f} events/s")
    for address, (variable, running) in sorted(reports.items()):
        print(f"  worker {address}: RAYON_NUM_THREADS={variable}, {running} pool thread(s)")
        if variable != str(threads) or running != threads:
            print(f"worker {address} runs {running} pool threads, not {threads}", file=sys.stderr)
            return 1

    began = time.perf_counter()
    serial = [light_curve(event, args.epochs) for event in all_events]
    seconds = time.perf_counter() - began
    print(f"serial loop in this process: {seconds:.2f} s, {args.events / seconds:.1f} events/s")
    same = all(np.array_equal(a, b) and a.tobytes() == b.tobytes()
               for a, b in zip(curves, serial))
    print("cluster and serial results identical bit for bit:", "yes" if same else "NO")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
