"""Long runs of large calls keep the process's size flat, on success and on every failure path,
from one thread or several.

test_refleaks.py counts references and the interpreter's own allocations per call path; here
the native side is watched as well (converted vectors, result vectors, the pool's per-batch
and per-thread state), which only the process's resident size shows. Inputs are large but
cheap: NaN separations are not integrated, and a NaN separation fails a ring at once.
"""

import math
import os
import shutil
import subprocess
import sys
import threading
import tracemalloc

import numpy as np
import pytest

import caustica
from conftest import UNDER_ASAN, skip_resident_size_under_asan

needs_proc = pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")

N = 200_000  # doubles per large argument: 1.6 MB as a vector, 4.8 MB as a list of floats
MB = 2**20
NAN = math.nan


def _malloc_trim():
    """glibc's malloc_trim, or nothing where the C library has none."""
    import ctypes
    import ctypes.util
    try:
        return ctypes.CDLL(ctypes.util.find_library("c") or "libc.so.6").malloc_trim
    except (OSError, AttributeError):
        return None


MALLOC_TRIM = _malloc_trim()


def resident_bytes():
    # Free memory the allocator keeps in its arenas (one per thread that ever allocated, up to
    # eight per core) is handed back first: what stays resident is what is still held.
    if MALLOC_TRIM is not None:
        MALLOC_TRIM(0)
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def growth(run, rounds, settle=2):
    """How much the process grew over `rounds` runs, after `settle` runs to reach a steady size."""
    for _ in range(settle):
        run()
    before = resident_bytes()
    for _ in range(rounds):
        run()
    return resident_bytes() - before


def big_separations(valid=(0.5, 1.0, 2.0)):
    """N separations, all but a few NaN: large vectors, little computing."""
    return list(valid) + [NAN] * (N - len(valid))


BL = list(np.linspace(0.0, 1.0, N))
BF = list(1.0 - 0.6 * (1.0 - np.sqrt(1.0 - np.linspace(0.0, 1.0, N) ** 2)))

# (name, arguments, exception or None). Each call converts, computes and returns (or fails
# with) several vectors of N doubles.
CALLS = {
    "uniform-disk list": ("witt_mao_magnification", (list(np.linspace(0, 3, N)), 1.0, 0.1), None),
    "uniform-disk array": ("witt_mao_magnification", (np.linspace(0, 3, N), 1.0, 0.1), None),
    "multi": ("multi_witt_mao_magnification",
              (list(np.linspace(0, 3, N // 4)), [1.0, 2.0], [0.1, 0.2]), None),
    "limb-darkened rings": ("integrated_heyrovsky_magnification",
                            (big_separations(), 1.0, 0.1), None),
    "limb-darkened disks": ("integrated_witt_mao_magnification",
                            (big_separations(), 1.0, 0.1), None),
    "table rings": ("integrated_flux_map_heyrovsky_magnification",
                    (big_separations(), 1.0, 0.1, BL, BF), None),
    "table disks": ("integrated_flux_map_witt_mao_magnification",
                    (big_separations(), 1.0, 0.1, BL, BF), None),
    "discrete rings": ("discrete_flux_map_heyrovsky_magnification",
                       ([0.5], 1.0, 0.1, BL[::40], BF[::40]), None),
    # Failures after large vectors were converted, or made by the driver.
    "ring error": ("discrete_flux_map_heyrovsky_magnification",
                   ([0.5, NAN] + [0.5] * N, 1.0, 0.1, BL[:10], BF[:10]), RuntimeError),
    "unequal table": ("integrated_flux_map_witt_mao_magnification",
                      (big_separations(), 1.0, 0.1, BL, BF[:-1]), BaseException),
    "bad item last": ("multi_witt_mao_magnification",
                      (list(np.linspace(0, 3, N)), [1.0] * N, [0.1, "x"]), TypeError),
    "bad scalar": ("integrated_flux_map_heyrovsky_magnification",
                   (big_separations(), 1.0, None, BL, BF), TypeError),
}


def call(name, arguments, exception):
    function = getattr(caustica, name)
    if exception is None:
        result = function(*arguments)
        assert len(result) == (4 if name.startswith("multi") else len(arguments[0]))
    else:
        with pytest.raises(exception):
            function(*arguments)


@skip_resident_size_under_asan
@needs_proc
@pytest.mark.parametrize("case", sorted(CALLS))
def test_large_calls_leave_nothing_behind(case):
    name, arguments, exception = CALLS[case]
    grew = growth(lambda: call(name, arguments, exception), rounds=20)
    # A vector of N doubles kept per call would be 32 MB over the rounds, its list 96 MB.
    assert grew < 12 * MB, f"{grew / MB:.1f} MB"


@skip_resident_size_under_asan
@needs_proc
def test_every_path_from_several_threads_leaves_nothing_behind():
    cases = list(CALLS.values())

    def run():
        def work(offset):
            for k in range(len(cases)):
                call(*cases[(k + offset) % len(cases)])

        threads = [threading.Thread(target=work, args=(t,)) for t in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    # Each thread's malloc arena settles in the first runs; new threads may be handed arenas not
    # used before (up to eight per core) on a busy machine, so more runs settle them.
    grew = growth(run, rounds=4, settle=5)
    assert grew < 16 * MB, f"{grew / MB:.1f} MB"


@skip_resident_size_under_asan
@needs_proc
def test_many_short_lived_calling_threads():
    # Each thread that waits for the pool has a latch of its own, freed when the thread ends.
    def run():
        for _ in range(200):
            thread = threading.Thread(
                target=caustica.witt_mao_magnification, args=([0.5] * 64, 1.0, 0.1))
            thread.start()
            thread.join()

    grew = growth(run, rounds=5)
    assert grew < 4 * MB, f"{grew / MB:.1f} MB"


class HugeLength(list):
    """Claims more items than memory can hold; the reservation fails with MemoryError."""

    def __len__(self):
        return 2**60 - 1


def test_interpreter_memory_stays_flat_over_a_long_mixed_run():
    """The interpreter's allocations over many calls of every function on every path."""
    small = [
        ("witt_mao_magnification", ([0.5, 1.0, NAN], 1.0, 0.1), None),
        ("integrated_witt_mao_magnification", ([0.5, NAN], 1.0, 0.1), None),
        ("integrated_heyrovsky_magnification", ([0.5, -1.0], 1.0, 0.1), None),
        ("multi_witt_mao_magnification", ([0.5], [1.0, 2.0], [0.1]), None),
        ("heyrovsky_magnification", (0.5, 1.0, 1.0, 0.1), None),
        ("heyrovsky_magnification", (NAN, 1.0, 1.0, 0.1), RuntimeError),
        ("discrete_flux_map_heyrovsky_magnification", ([0.5], 1.0, 0.1, [0.5], [1.0]), None),
        ("discrete_flux_map_heyrovsky_magnification", ([0.5], 1.0, 0.1, [0.5], []),
         BaseException),
        ("integrated_flux_map_witt_mao_magnification", ([0.5], 1.0, 0.1, [0.0, 1.0], [1, 1]),
         None),
        ("integrated_flux_map_heyrovsky_magnification", ("x", 1.0, 0.1, [0.0], [1.0]),
         TypeError),
        ("witt_mao_magnification", ([0.5], 1.0), TypeError),
    ]
    if not UNDER_ASAN:  # where ASan would abort instead
        small.append(("witt_mao_magnification", (HugeLength(), 1.0, 0.1), MemoryError))

    def run():
        failures = 0
        for _ in range(50):
            for name, arguments, exception in small:
                # Not pytest.raises: what it keeps of each exception would be counted here.
                try:
                    getattr(caustica, name)(*arguments)
                except BaseException as caught:  # noqa: BLE001 - checked just below
                    assert exception is not None and isinstance(caught, exception)
                    failures += 1
        assert failures == 50 * sum(exception is not None for _, _, exception in small)

    tracemalloc.start()
    try:
        run()
        before = tracemalloc.get_traced_memory()[0]
        for _ in range(4):
            run()
        grew = tracemalloc.get_traced_memory()[0] - before
    finally:
        tracemalloc.stop()
    # 2400 calls: a float or an exception kept per call would be 50 kB or more.
    assert grew < 16_000


# ---- Per-thread state when memory has run out ------------------------------------------------

OUT_OF_MEMORY = """
import ctypes
import resource
import threading

import caustica

caustica.witt_mao_magnification([0.5, 1.0], 1.0, 0.1)  # the pool is up before memory runs out
malloc = ctypes.CDLL(None).malloc
malloc.restype, malloc.argtypes = ctypes.c_void_p, [ctypes.c_size_t]
outcomes = []


def first_call_of_a_thread():
    # Under the limit, every block of this thread's allocator is taken: nothing is left for
    # memory that is had lazily.
    for size in (1 << 20, 4096, 256, 16):
        while malloc(size):
            pass
    try:
        outcomes.append(caustica.witt_mao_magnification([], 1.0, 0.1))
    except MemoryError:
        outcomes.append("MemoryError")


size = int(next(line for line in open("/proc/self/status") if line.startswith("VmSize"))
           .split()[1]) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + (64 << 20), resource.RLIM_INFINITY))
thread = threading.Thread(target=first_call_of_a_thread, daemon=True)
thread.start()
thread.join(20)
print(outcomes)
"""


@pytest.mark.skipif(UNDER_ASAN, reason="AddressSanitizer reserves more than any limit allows")
@needs_proc
def test_a_thread_whose_memory_ran_out_still_gets_a_result_or_memory_error():
    resource = pytest.importorskip("resource")
    pytest.importorskip("ctypes")
    assert resource.RLIMIT_AS
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    for _ in range(3):
        done = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY], capture_output=True,
                              text=True, env=env, timeout=60)
        # glibc ends the process with status 127 where it cannot allocate thread-local data.
        assert done.returncode == 0, done.stderr
        assert done.stdout in ("[[]]\n", "['MemoryError']\n"), done.stdout + done.stderr


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="glibc's dynamic loading")
def test_per_thread_state_comes_with_every_thread():
    # Pool workers too: a module whose thread-local block is in static TLS (flag STATIC_TLS) has
    # it in every thread from its creation; without the flag each thread's is had on first use.
    readelf = shutil.which("readelf")
    if readelf is None:
        pytest.skip("needs readelf")
    module = caustica.__file__
    segments = subprocess.run([readelf, "-lW", module], capture_output=True, text=True).stdout
    dynamic = subprocess.run([readelf, "-dW", module], capture_output=True, text=True).stdout
    if " TLS " in segments:
        assert "STATIC_TLS" in dynamic
