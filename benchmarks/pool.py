"""Worker pool figures: the overhead of a batch, and the speedup of two threads over one.

    PYTHONPATH=build/python python3 benchmarks/pool.py [--overhead-binary PATH]

The overhead table comes from the pool_overhead program (configure with
-DCAUSTICA_TESTS=ON -DCAUSTICA_BENCHMARKS=ON and build the target pool_overhead); without it,
the overhead is measured through the module on tiny inputs, Python conversion included.
The speedups run each pool size in its own interpreter, sized with RAYON_NUM_THREADS.
"""

import argparse
import json
import os
import subprocess
import sys
import textwrap
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

TIMING = textwrap.dedent(
    """
    import json, random, sys, time
    import caustica

    def best_of(repeats, call):
        best = (float("inf"), 0.0)
        for _ in range(repeats):
            start, cpu = time.perf_counter(), time.process_time()
            call()
            wall = time.perf_counter() - start
            best = min(best, (wall, (time.process_time() - cpu) / wall))
        return best

    random.seed(1)
    case = sys.argv[1]
    if case == "single":
        l = [random.uniform(0.0, 3.0) for _ in range(10**6)]
        call = lambda: caustica.witt_mao_magnification(l, 1.0, 0.1)
    else:
        points, re_n, rstar_n = map(int, case.split("x"))
        l = [random.uniform(0.0, 3.0) for _ in range(points)]
        re = [1.0 + 0.1 * i for i in range(re_n)]
        rstar = [0.05 + 0.01 * j for j in range(rstar_n)]
        call = lambda: caustica.multi_witt_mao_magnification(l, re, rstar)
    try:
        call()
    except Exception as error:
        print(json.dumps({"error": f"{type(error).__name__}: {error}"}))
        sys.exit(0)
    seconds, busy = best_of(5, call)
    print(json.dumps({"seconds": seconds, "busy": busy}))
    """
)

CASES = [
    ("witt_mao_magnification, 10^6 separations", "single"),
    ("multi_witt_mao_magnification, 100 curves x 1000 points", "1000x10x10"),
    ("multi_witt_mao_magnification, 4 curves x 250000 points", "250000x2x2"),
]


def time_case(case, num_threads):
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = str(num_threads)
    proc = subprocess.run(
        [sys.executable, "-c", TIMING, case], env=env, capture_output=True, text=True, check=False
    )
    if proc.returncode != 0:
        return {"error": proc.stderr.strip().splitlines()[-1] if proc.stderr.strip() else "failed"}
    return json.loads(proc.stdout)


def speedups():
    print("Speedup of 2 threads over 1 (best of 5, seconds; busy = CPU time / wall time at N=2)")
    print(f"{'case':<58} {'N=1':>8} {'N=2':>8} {'speedup':>8} {'busy':>6}")
    for title, case in CASES:
        one, two = time_case(case, 1), time_case(case, 2)
        if "error" in one or "error" in two:
            print(f"{title:<58} skipped: {one.get('error') or two.get('error')}")
            continue
        print(f"{title:<58} {one['seconds']:8.3f} {two['seconds']:8.3f} "
              f"{one['seconds'] / two['seconds']:8.2f} {two['busy']:6.2f}")


def find_overhead_binary(given):
    if given:
        return Path(given)
    for build in ("build-parallel", "build"):
        candidate = ROOT / build / "benchmarks" / "pool_overhead"
        if candidate.exists():
            return candidate
    return None


def overhead_through_module():
    code = textwrap.dedent(
        """
        import time, caustica
        for n in (1, 2, 1000):
            l = [0.5] * n
            caustica.witt_mao_magnification(l, 1.0, 0.1)
            times = []
            for _ in range(2000):
                start = time.perf_counter()
                caustica.witt_mao_magnification(l, 1.0, 0.1)
                times.append(time.perf_counter() - start)
            times.sort()
            print(f"{n:8d} {times[len(times) // 2] * 1e6:12.2f}")
        """
    )
    print("Batch through the module (median microseconds, kernel and conversion included)")
    print(f"{'elements':>8} {'call_us':>12}")
    sys.stdout.flush()
    subprocess.run([sys.executable, "-c", code], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--overhead-binary", help="path to the pool_overhead program")
    args = parser.parse_args()

    binary = find_overhead_binary(args.overhead_binary)
    if binary is not None:
        print("Batch overhead, trivial elements (median microseconds per batch;")
        print("outside: from a thread outside the pool; nested: from a worker)")
        sys.stdout.flush()
        subprocess.run([str(binary)], check=True)
    else:
        overhead_through_module()
    print()
    speedups()


if __name__ == "__main__":
    main()
