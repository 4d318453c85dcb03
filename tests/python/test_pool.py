"""The worker pool as a Python caller meets it: its size follows the environment once per
process, results do not depend on it, and it survives fork().

Each case runs in a fresh interpreter, because the pool is created once per process.
"""

import os
import subprocess
import sys
import textwrap

import pytest

from conftest import skip_fork_under_asan, skip_impossible_allocation_under_asan

POOL_SIZES = [1, 2, 3, 7, 16]
LENGTHS = [0, 1, 2, 3, 1000, 10**6]
TIMEOUT = 240

COMMON = textwrap.dedent(
    """
    import os
    import caustica

    def threads():
        return len(os.listdir("/proc/self/task"))

    def pin_to(cpus):
        os.sched_setaffinity(0, sorted(os.sched_getaffinity(0))[:cpus])

    def batch():
        caustica.witt_mao_magnification([0.5] * 1000, 1.0, 0.1)
    """
)


def run_python_process(code, env=None, timeout=TIMEOUT):
    """Runs code after COMMON in a fresh interpreter, with only the given RAYON_* variables."""
    full_env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    full_env.update(env or {})
    proc = subprocess.run(
        [sys.executable, "-W", "ignore::DeprecationWarning", "-c", COMMON + textwrap.dedent(code)],
        env=full_env,
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    assert proc.returncode == 0, proc.stderr
    return proc


def run_python(code, env=None, timeout=TIMEOUT):
    return run_python_process(code, env, timeout).stdout


def workers_after_first_batch(env, cpus=1, empty=False):
    call = "caustica.witt_mao_magnification([], 1.0, 0.1)" if empty else "batch()"
    out = run_python(
        f"""
        pin_to({cpus})
        before = threads()
        {call}
        print(before, threads() - before)
        """,
        env,
    )
    before, workers = map(int, out.split())
    assert before == 1, "the pool must not exist before the first batch"
    return workers


# The process is pinned to one CPU, so the CPU count is 1 and RAYON_RS_NUM_CPUS=5 stands out.
@pytest.mark.parametrize(
    ("num_threads", "rs_num_cpus", "expected"),
    [
        ("3", None, 3),
        ("+3", None, 3),
        ("3", "5", 3),
        ("0", "5", 1),
        ("-1", "5", 5),
        ("3x", "5", 5),
        (" 3", "5", 5),
        ("", "5", 5),
        ("18446744073709551616", "5", 5),
        (None, "5", 5),
        (None, "0", 1),
        ("-1", "junk", 1),
        (None, None, 1),
    ],
)
def test_pool_size_follows_the_environment(num_threads, rs_num_cpus, expected):
    env = {}
    if num_threads is not None:
        env["RAYON_NUM_THREADS"] = num_threads
    if rs_num_cpus is not None:
        env["RAYON_RS_NUM_CPUS"] = rs_num_cpus
    assert workers_after_first_batch(env) == expected


def test_pool_size_defaults_to_the_cpus_of_the_affinity_mask():
    if len(os.sched_getaffinity(0)) < 2:
        pytest.skip("needs two CPUs")
    assert workers_after_first_batch({}, cpus=2) == 2


def test_first_batch_creates_the_pool_even_when_empty():
    assert workers_after_first_batch({"RAYON_NUM_THREADS": "3"}, empty=True) == 3


def test_changing_the_environment_after_the_first_batch_has_no_effect():
    out = run_python(
        """
        batch()
        first = threads()
        os.environ["RAYON_NUM_THREADS"] = "5"
        os.environ["RAYON_RS_NUM_CPUS"] = "6"
        batch()
        print(first, threads())
        """,
        {"RAYON_NUM_THREADS": "3"},
    )
    assert out.split() == ["4", "4"]


NOTICE = "caustica: could not start the worker pool ("


# Sizes whose per-worker allocations would wrap, the largest of all, and one more than a pool
# may have: each runs every batch on the calling thread, with the same results.
@pytest.mark.parametrize(("variable", "value"), [
    ("RAYON_NUM_THREADS", str(2**57)),
    ("RAYON_NUM_THREADS", str(2**64 - 1)),
    ("RAYON_RS_NUM_CPUS", str(2**57)),
    ("RAYON_NUM_THREADS", "8193"),
])
def test_an_impossible_pool_size_runs_batches_on_the_caller_and_says_so_once(
        caustica, variable, value):
    l = [0.01 * i for i in range(3000)]
    proc = run_python_process(
        f"""
        before = threads()
        curves = [caustica.witt_mao_magnification({l!r}, 1.0, 0.1) for _ in range(3)]
        print(threads() - before)
        print(all(curve == curves[0] for curve in curves))
        print(repr(curves[0]))
        """,
        {variable: value},
    )
    expected = repr(caustica.witt_mao_magnification(l, 1.0, 0.1))
    assert proc.stdout.splitlines() == ["0", "True", expected]
    assert proc.stderr == (f"{NOTICE}cannot start {value} worker threads, more than the 8192 a "
                           "pool may have); every batch runs on the thread that calls it\n")


@skip_impossible_allocation_under_asan
def test_a_pool_that_could_not_start_is_not_started_again():
    # Room for a few thread stacks only, then room for all again: the failed start is remembered.
    proc = run_python_process(
        """
        import resource
        soft, hard = resource.getrlimit(resource.RLIMIT_AS)
        with open("/proc/self/statm") as statm:
            size = int(statm.read().split()[0]) * os.sysconf("SC_PAGE_SIZE")
        resource.setrlimit(resource.RLIMIT_AS, (size + 300 * 2**20, hard))
        before = threads()
        batch()
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
        batch()
        batch()
        print(threads() - before)
        """,
        {"RAYON_NUM_THREADS": "1000"},
    )
    assert proc.stdout.split() == ["0"]
    assert proc.stderr.count(NOTICE) == 1
    assert proc.stderr.startswith(NOTICE + "could not start worker thread "), proc.stderr


def separations():
    """Random separations with the awkward ones mixed in: NaN, infinities, negatives, the
    limb and its neighbours, zero."""
    import numpy as np

    rng = np.random.default_rng(20240611)
    l = rng.uniform(-0.5, 3.0, 10**6)
    specials = np.array(
        [np.nan, np.inf, -np.inf, -1.0, -0.0, 0.0, 1.0, 1.0 - 1e-15, 1.0 + 1e-15,
         np.nextafter(1.0, 0.0), np.nextafter(1.0, 2.0), 1.0 - 1e-8, 1.0 + 1e-8, 1e-300, 1e300]
    )
    where = rng.choice(l.size, 5000, replace=False)
    l[where] = specials[np.arange(where.size) % specials.size]
    l[:3] = [1.0, np.nan, -2.0]
    return l


@pytest.fixture(scope="module")
def separations_file(tmp_path_factory):
    np = pytest.importorskip("numpy")

    path = tmp_path_factory.mktemp("pool") / "l.npy"
    np.save(path, separations())
    return path


def results_with(num_threads, l_path, out_dir):
    run_python(
        f"""
        import numpy as np
        l = np.load({str(l_path)!r})
        before = threads()
        for n in {LENGTHS!r}:
            m = caustica.witt_mao_magnification(l[:n].tolist(), 1.0, 0.1)
            np.asarray(m, dtype=np.float64).tofile({str(out_dir)!r} + f"/{{n}}.bin")
        assert threads() - before == {num_threads}
        """,
        {"RAYON_NUM_THREADS": str(num_threads)},
    )
    return {n: (out_dir / f"{n}.bin").read_bytes() for n in LENGTHS}


def test_results_are_identical_bit_for_bit_on_every_pool_size(separations_file, tmp_path):
    by_size = {}
    for num_threads in POOL_SIZES:
        out_dir = tmp_path / str(num_threads)
        out_dir.mkdir()
        by_size[num_threads] = results_with(num_threads, separations_file, out_dir)
    reference = by_size[1]
    for n in LENGTHS:
        assert len(reference[n]) == 8 * n
    for num_threads, results in by_size.items():
        for n in LENGTHS:
            assert results[n] == reference[n], f"{num_threads} threads, {n} separations"


FORK_COMMON = textwrap.dedent(
    """
    from array import array

    L = [0.1 * i for i in range(2000)] + [float("nan"), -1.0, 1.0]

    def curve():
        return array("d", caustica.witt_mao_magnification(L, 1.0, 0.1)).tobytes()
    """
)


@skip_fork_under_asan
def test_multiprocessing_children_with_fork_get_a_pool_of_their_own():
    out = run_python(
        FORK_COMMON
        + textwrap.dedent(
            """
        import multiprocessing

        def in_child(_):
            return curve(), threads()

        parent = curve()
        parent_threads = threads()
        with multiprocessing.get_context("fork").Pool(2) as pool:
            results = pool.map_async(in_child, range(4)).get(timeout=120)
        assert all(result == parent for result, _ in results)
        # Each child has its forking thread and a pool as large as the parent's.
        assert all(n == parent_threads for _, n in results), (parent_threads, results)
        assert curve() == parent
        print("ok")
        """
        ),
        {"RAYON_NUM_THREADS": "3"},
    )
    assert out.strip() == "ok"


@skip_fork_under_asan
def test_os_fork_child_computes_the_same_results_with_the_same_pool_size():
    out = run_python(
        FORK_COMMON
        + textwrap.dedent(
            """
        import signal

        parent = curve()
        # The child keeps the size decided in the parent, whatever the environment says now.
        os.environ["RAYON_NUM_THREADS"] = "5"
        read_end, write_end = os.pipe()
        pid = os.fork()
        if pid == 0:
            status = 1
            try:
                signal.alarm(120)
                os.close(read_end)
                ok = curve() == parent and threads() == 4
                os.write(write_end, b"ok" if ok else b"wrong")
                status = 0
            finally:
                os._exit(status)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            reply = pipe.read()
        _, status = os.waitpid(pid, 0)
        assert os.waitstatus_to_exitcode(status) == 0, status
        assert curve() == parent
        print(reply.decode())
        """
        ),
        {"RAYON_NUM_THREADS": "3"},
    )
    assert out.strip() == "ok"
