"""Calls from many Python threads at once give what the same calls give one after another.

Each case runs in a fresh interpreter under a timeout, so that the first call of the process is
made by several threads at once (the worker pool and the lazily made interpreter objects are
created then), and so that a deadlock fails the test instead of hanging the run.
"""

import json
import os
import subprocess
import sys
import textwrap

import pytest

from conftest import skip_fork_under_asan

TIMEOUT = 240  # seconds for a whole case; a case takes a few seconds

SCRIPT = textwrap.dedent(
    """
    import array
    import faulthandler
    import json
    import math
    import random
    import struct
    import sys
    import threading

    faulthandler.dump_traceback_later({timeout} - 20, exit=True)  # stacks, should it hang

    import caustica

    THREADS = 8
    CALLS_PER_THREAD = {calls}


    class Reentrant:
        # Converting it calls the module again, and lets other threads run meanwhile.
        def __init__(self, value):
            self.value = value

        def __float__(self):
            caustica.witt_mao_magnification([0.5, 1.0, 2.0], 1.0, 0.1)
            threading.Event().wait(0)
            return self.value


    class Doubles(array.array):
        # A Python subclass: reading its buffer first looks up its methods by interned names.
        pass


    class Huge:
        def __len__(self):
            return sys.maxsize

        def __getitem__(self, index):
            raise IndexError(index)


    def separations(rng, n):
        special = [0.0, 1.0, 1.0 - 1e-9, 2.0, float("nan"), -1.0]
        return [rng.choice(special) if rng.random() < 0.1 else rng.uniform(0.0, 3.0)
                for _ in range(n)]


    def make_call(rng):
        kind = rng.randrange(13)
        re, rstar = rng.uniform(0.5, 2.0), rng.uniform(0.01, 1.0)
        if kind == 0:
            return "witt_mao_magnification", (separations(rng, rng.choice([1, 50, 2000])), re, rstar)
        if kind == 1:
            return "integrated_witt_mao_magnification", (separations(rng, 3), re, rstar)
        if kind == 2:
            return "integrated_heyrovsky_magnification", (separations(rng, 3), re, rstar)
        if kind == 3:
            return "multi_witt_mao_magnification", (
                separations(rng, 40), [rng.uniform(0.5, 2.0) for _ in range(3)],
                [rng.uniform(0.01, 1.0) for _ in range(2)])
        if kind == 4:
            l = rng.choice([rng.uniform(0.0, 3.0), float("nan")])  # NaN: RuntimeError
            return "heyrovsky_magnification", (l, rng.uniform(0.0, 1.0), re, rstar)
        bl, bf = [0.0, 0.4, 1.0], [1.0, 0.7, 0.4]
        if kind in (5, 6):
            name = ("discrete_flux_map_heyrovsky_magnification",
                    "integrated_flux_map_witt_mao_magnification")[kind - 5]
            return name, (separations(rng, 3), re, rstar, bl, bf)
        if kind == 7:  # unequal table: a ValueError
            name = rng.choice(["discrete_flux_map_heyrovsky_magnification",
                               "integrated_flux_map_heyrovsky_magnification",
                               "integrated_flux_map_witt_mao_magnification"])
            return name, (separations(rng, 3), re, rstar, bl, bf[:2])
        if kind == 8:  # a length no vector can hold: a PanicException
            return "witt_mao_magnification", (Huge(), re, rstar)
        if kind == 9:  # not a sequence: a TypeError naming the Sequence type
            return "integrated_witt_mao_magnification", (rng.choice([5, None, {{1.0}}]), re, rstar)
        if kind == 10:
            return "witt_mao_magnification", ([Reentrant(x) for x in separations(rng, 5)], re, rstar)
        if kind == 11:
            return "witt_mao_magnification", (Doubles("d", separations(rng, 30)), re, rstar)
        return "integrated_flux_map_heyrovsky_magnification", (separations(rng, 2), re, rstar, bl, bf)


    def outcome(name, args):
        try:
            result = getattr(caustica, name)(*args)
        except BaseException as caught:
            return [type(caught).__module__ + "." + type(caught).__name__, str(caught)]
        if isinstance(result, float):
            result = [result]
        flat = [x for item in result for x in (item if isinstance(item, list) else [item])]
        return ["ok", struct.pack(f"<{{len(flat)}}d", *flat).hex()]


    calls = [[make_call(random.Random(1000 * t + i)) for i in range(CALLS_PER_THREAD)]
             for t in range(THREADS)]
    concurrent = [None] * THREADS
    start = threading.Barrier(THREADS)
    sys.setswitchinterval(1e-5)


    def work(t):
        start.wait()  # the first call of the process, from every thread at once
        concurrent[t] = [outcome(name, args) for name, args in calls[t]]


    threads = [threading.Thread(target=work, args=(t,)) for t in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    serial = [[outcome(name, args) for name, args in calls[t]] for t in range(THREADS)]
    mismatches = [(t, i, calls[t][i][0], concurrent[t][i], serial[t][i])
                  for t in range(THREADS) for i in range(CALLS_PER_THREAD)
                  if concurrent[t][i] != serial[t][i]]
    kinds = sorted({{o[0] for per_thread in serial for o in per_thread}})
    print(json.dumps({{"mismatches": mismatches[:5], "count": len(mismatches), "kinds": kinds}}))
    """
)


def run_case(num_threads, calls):
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    env["RAYON_NUM_THREADS"] = str(num_threads)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    done = subprocess.run(
        [sys.executable, "-c", SCRIPT.format(timeout=TIMEOUT, calls=calls)],
        capture_output=True, text=True, env=env, timeout=TIMEOUT)
    assert done.returncode == 0, done.stderr[-5000:]
    return json.loads(done.stdout.splitlines()[-1])


@pytest.mark.parametrize("num_threads", [1, 2, 5])
def test_eight_threads_at_once_give_the_serial_results(num_threads):
    report = run_case(num_threads, calls=150)
    assert report["count"] == 0, report["mismatches"]
    # Every kind of outcome took place: results, ring errors, panics and conversion errors.
    assert report["kinds"] == ["builtins.RuntimeError", "builtins.TypeError",
                               "builtins.ValueError", "hostglue_runtime.PanicException", "ok"]


# ---- First use of the lazily made interpreter objects -----------------------------------------
# The Sequence type (for the "not a sequence" message), the names looked up on a Python subclass
# of a buffer type, and the PanicException type are made by the first call that needs them.

FIRST_USE = textwrap.dedent(
    """
    import array
    import builtins
    import os
    import signal
    import sys
    import threading
    import time

    import caustica


    class Doubles(array.array):
        pass


    class Huge:
        def __len__(self):
            return sys.maxsize

        def __getitem__(self, index):
            raise IndexError(index)


    def first_use(kind):
        try:
            if kind == "sequence":
                caustica.witt_mao_magnification(5, 1.0, 0.1)
            elif kind == "subclass":
                caustica.witt_mao_magnification(Doubles("d", [0.5]), 1.0, 0.1)
            else:
                caustica.witt_mao_magnification(Huge(), 1.0, 0.1)
        except BaseException as caught:
            return type(caught).__name__ + ": " + str(caught)
        return "ok"


    def slow_import_of_collections_abc(seconds, only_off_main_thread=False):
        real_import = builtins.__import__

        def slow_import(name, *args, **kwargs):
            if name == "collections.abc" and not (
                    only_off_main_thread and threading.current_thread() is threading.main_thread()):
                time.sleep(seconds)
            return real_import(name, *args, **kwargs)

        builtins.__import__ = slow_import
    """
)


def run_first_use(code, timeout=60):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    return subprocess.run([sys.executable, "-c", FIRST_USE + textwrap.dedent(code)],
                          capture_output=True, text=True, env=env, timeout=timeout)


@skip_fork_under_asan
@pytest.mark.parametrize("kind", ["sequence", "subclass", "panic"])
def test_a_child_forked_during_another_threads_first_use_does_not_hang(kind):
    # The Sequence type's import can be slowed down, so that every child is forked while the
    # other thread is making it; the other objects leave a narrow window, tried several times.
    processes = 1 if kind == "sequence" else 6
    for _ in range(processes):
        done = run_first_use(f"""
            if {kind!r} == "sequence":
                slow_import_of_collections_abc(0.3, only_off_main_thread=True)
            sys.setswitchinterval(1e-6)
            making = threading.Thread(target=first_use, args=({kind!r},))
            making.start()
            children = []
            for _ in range(40):
                pid = os.fork()
                if pid == 0:
                    signal.alarm(5)  # a child that hangs is ended by SIGALRM
                    first_use({kind!r})
                    os._exit(0)
                children.append(pid)
            making.join()
            statuses = [os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) for pid in children]
            print(sum(status != 0 for status in statuses))
            """)
        assert done.returncode == 0, done.stderr[-3000:]
        assert done.stdout.split()[-1] == "0", "children hung: " + done.stdout


def test_the_not_a_sequence_message_imports_nothing():
    # Worded without collections.abc, it needs no import: an import hook sees none, and a call
    # from the hook itself gets the same message.
    done = run_first_use("""
        real_import = builtins.__import__
        imported = []

        def recording_import(name, *args, **kwargs):
            imported.append(name)
            if len(imported) == 1:
                imported.append(first_use("sequence"))
            return real_import(name, *args, **kwargs)

        import collections.abc
        del sys.modules["collections.abc"]
        builtins.__import__ = recording_import
        print(first_use("sequence"))
        builtins.__import__ = real_import
        print(imported)
        """, timeout=20)
    message = "TypeError: argument 'l': 'int' object is not an instance of 'Sequence'"
    assert done.returncode == 0, done.stderr[-3000:]
    assert done.stdout.splitlines() == [message, "[]"]


@pytest.mark.parametrize("inside", ["first use", "__float__"])
@pytest.mark.parametrize("main_lasts", [round(0.035 + 0.002 * i, 3) for i in range(10)])
def test_daemon_threads_inside_a_call_end_quietly_at_exit(inside, main_lasts):
    # The threads are still inside a call, making the Sequence type or converting an item, when
    # the interpreter finalises, and are ended by it when they ask for the interpreter lock back.
    if inside == "first use":
        setup, call = "slow_import_of_collections_abc(0.05)", "first_use('sequence')"
    else:
        setup, call = "", "caustica.witt_mao_magnification([Slow(), Slow()], 1.0, 0.1)"
    done = run_first_use(f"""
        class Slow:
            def __float__(self):
                time.sleep(0.05)
                return 0.5

        {setup}
        for _ in range(4):
            threading.Thread(target=lambda: {call}, daemon=True).start()
        time.sleep({main_lasts})
        """, timeout=20)
    assert (done.returncode, done.stderr) == (0, "")
