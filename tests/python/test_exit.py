"""Calls that the interpreter's exit overtakes, each in a fresh interpreter under a timeout.

Daemon threads are ended by the interpreter when they ask for its lock back while it finalises
(before 3.14, by unwinding the thread); a finaliser that gives the lock up inside a call is one
such place, and so is any Python code a call runs once a subinterpreter has existed. The program
must still end as it would have without the module: status 0, nothing on standard error.
"""

import os
import subprocess
import sys
import textwrap

import pytest

RUNS = 6  # before the mend, the finaliser cases aborted every run, the others about one in three

SUBINTERPRETER = textwrap.dedent("""
    def make_subinterpreter():
        for name in ("_interpreters", "_xxsubinterpreters"):
            try:
                module = __import__(name)
            except ImportError:
                continue
            module.destroy(module.create())
            return
        import _testcapi
        _testcapi.run_in_subinterp("pass")
""")


def has_subinterpreters():
    code = SUBINTERPRETER + "make_subinterpreter()"
    return subprocess.run([sys.executable, "-c", code], capture_output=True).returncode == 0


DAEMONS = textwrap.dedent("""
    import sys
    import threading
    import time

    import caustica

    if {subinterpreter}:
        make_subinterpreter()

    class Item:
        def __float__(self):
            if {sleep_in_float}:
                time.sleep(0)
            return 0.5

        if {sleep_in_del}:
            def __del__(self):
                time.sleep(0)

    class Items:
        def __len__(self):
            return 200

        def __getitem__(self, index):
            if index >= 200:
                raise IndexError(index)
            return Item()

    class Ignored(LookupError):
        def __del__(self):
            time.sleep(0)

    class LengthFails:
        # The call drops the exception of __len__, a hint only: its finaliser runs then.
        def __len__(self):
            raise Ignored()

        def __getitem__(self, index):
            if index >= 3:
                raise IndexError(index)
            return 0.5

    def work():
        while True:
            caustica.witt_mao_magnification({sequence}(), 1.0, 0.1)

    for _ in range(4):
        threading.Thread(target=work, daemon=True).start()
    time.sleep(0.03)
""")

CASES = {
    "an item's __del__ sleeps": dict(sequence="Items", sleep_in_del=True),
    "a dropped exception's __del__ sleeps": dict(sequence="LengthFails"),
    "after a subinterpreter, __float__ sleeps": dict(sequence="Items", sleep_in_float=True,
                                                     subinterpreter=True),
    "after a subinterpreter, an item's __del__ sleeps": dict(sequence="Items", sleep_in_del=True,
                                                            subinterpreter=True),
}


def run(code, timeout=20):
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env,
                          timeout=timeout)


@pytest.mark.parametrize("case", list(CASES))
def test_daemon_threads_in_calls_end_quietly_at_exit(case):
    options = dict(sleep_in_float=False, sleep_in_del=False, subinterpreter=False)
    options.update(CASES[case])
    if options["subinterpreter"] and not has_subinterpreters():
        pytest.skip("this interpreter cannot make a subinterpreter")
    code = SUBINTERPRETER + DAEMONS.format(**options)
    outcomes = [run(code) for _ in range(RUNS)]
    assert [(done.returncode, done.stderr) for done in outcomes] == [(0, "")] * RUNS


FINALISER = textwrap.dedent("""
    import os

    import caustica

    def report(write=os.write, call=caustica.witt_mao_magnification):
        # The first call that needs the "not a sequence" message, made while modules are cleared.
        try:
            call(5, 1.0, 0.1)
        except BaseException as caught:
            write(1, (type(caught).__name__ + ": " + str(caught) + "\\n").encode())

    class AtExit:
        def __del__(self, report=report):
            report()

    if {in_cycle}:
        import gc
        gc.disable()  # the cycle is found by the collection of the interpreter's exit
        cycle = AtExit()
        cycle.cycle = cycle
        del cycle
    else:
        kept = AtExit()
""")


@pytest.mark.parametrize("in_cycle", [False, True], ids=["module global", "collected cycle"])
def test_the_type_error_is_raised_during_finalisation(in_cycle):
    done = run(FINALISER.format(in_cycle=in_cycle))
    assert (done.returncode, done.stderr) == (0, "")
    assert done.stdout == "TypeError: argument 'l': 'int' object is not an instance of 'Sequence'\n"
