"""Which exception each failure becomes, PanicException, and resuming a panic raised by Python code."""

import os
import subprocess
import sys
import textwrap

import pytest

from conftest import BY_NAME, CapacityOverflow

FLUX_MAPS = [
    "discrete_flux_map_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "integrated_flux_map_witt_mao_magnification",
]
RESUME_NOTICE = (
    "--- HostGlue is resuming a panic after fetching a PanicException from Python. ---\n"
    "Python stack trace below:\n"
)


# ---- Kernel errors ---------------------------------------------------------------------------

def test_ring_kernel_error_is_a_runtime_error_with_the_text(caustica):
    with pytest.raises(RuntimeError) as caught:
        caustica.heyrovsky_magnification(float("nan"), 1.0, 1.0, 1.0)
    error = caught.value
    assert type(error) is RuntimeError
    assert error.args == ("ellipk: Arguments cannot be NAN.",)
    assert error.__cause__ is None
    BY_NAME["heyrovsky_magnification"].check_usable()


def test_discrete_flux_map_passes_the_ring_error_on(caustica):
    with pytest.raises(RuntimeError) as caught:
        caustica.discrete_flux_map_heyrovsky_magnification([float("nan")], 1.0, 1.0, [1.0], [1.0])
    assert caught.value.args == ("ellipk: Arguments cannot be NAN.",)


# ---- PanicException --------------------------------------------------------------------------

@pytest.mark.parametrize("name", FLUX_MAPS)
@pytest.mark.parametrize("bl, bf", [([0.0, 0.5, 1.0], [1.0, 0.5]), ([1.0], []),
                                    ([1.0, 0.5], [1.0, 1.0, 1.0])])  # out of order as well
def test_unequal_table_is_a_value_error_naming_both(caustica, capfd, name, bl, bf):
    with pytest.raises(ValueError) as caught:
        getattr(caustica, name)([0.5], 1.0, 0.1, bl, bf)
    assert type(caught.value) is ValueError
    assert caught.value.args == (
        f"arguments 'bl' and 'bf' must have the same length, but len(bl) = {len(bl)} and "
        f"len(bf) = {len(bf)}",)
    assert capfd.readouterr().err == ""  # a caller's mistake, not a panic with its report
    BY_NAME[name].check_usable()


def test_panic_is_not_an_exception(caustica):
    with pytest.raises(BaseException) as caught:
        try:
            caustica.witt_mao_magnification(CapacityOverflow(), 1.0, 0.1)
        except Exception:  # noqa: BLE001 - the point is that this does not catch it
            pytest.fail("PanicException was caught as an Exception")
    assert not isinstance(caught.value, Exception)


PICKLED = textwrap.dedent("""
    import pickle
    import sys

    loaded = pickle.loads(sys.stdin.buffer.read())  # imports caustica to rebuild it
    import caustica
    class Huge:
        def __len__(self):
            return sys.maxsize
        def __getitem__(self, index):
            raise IndexError(index)
    try:
        caustica.witt_mao_magnification(Huge(), 1.0, 0.1)
    except BaseException as caught:
        own = type(caught)
    print(type(loaded) is own, loaded.args, loaded.note, "caustica" in sys.modules)
""")


def test_panic_exception_pickles_into_a_fresh_process(caustica, caught_panic):
    import pickle
    caught_panic.note = "kept"  # the instance's attributes travel too
    try:
        data = pickle.dumps(caught_panic)
    finally:
        del caught_panic.note
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", PICKLED], input=data, capture_output=True,
                          env=env, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.decode() == "True ('capacity overflow',) kept True\n"


def test_panic_exception_type(panic_exception):
    assert panic_exception.__module__ == "hostglue_runtime"
    assert panic_exception.__name__ == "PanicException"
    assert panic_exception.__qualname__ == "PanicException"
    assert panic_exception.__bases__ == (BaseException,)
    assert not issubclass(panic_exception, Exception)
    doc = panic_exception.__doc__
    assert doc.startswith("\n") and doc.endswith("\n") and "\n\n" in doc.strip("\n")
    assert "BaseException" in doc


def test_one_panic_exception_type_per_process(caustica, panic_exception):
    with pytest.raises(BaseException) as from_table:
        caustica.integrated_flux_map_witt_mao_magnification([0.5], 1.0, 0.1, [1.0],
                                                            CapacityOverflow())
    saved = sys.modules.pop("caustica")
    try:
        import caustica as again
        with pytest.raises(BaseException) as from_reimport:
            again.witt_mao_magnification(CapacityOverflow(), 1.0, 0.1)
    finally:
        sys.modules["caustica"] = saved
    assert type(from_table.value) is panic_exception
    assert type(from_reimport.value) is panic_exception


def test_capacity_overflow_is_a_panic(caustica, panic_exception, sequence_parameter):
    function, parameter = sequence_parameter
    with pytest.raises(panic_exception) as caught:
        function.call(**{parameter: CapacityOverflow()})
    assert caught.value.args == ("capacity overflow",)
    function.check_usable()


# ---- Resuming a panic ------------------------------------------------------------------------

class Source:
    """A sequence whose protocol methods raise the exception they are given."""

    def __init__(self, exception, where):
        self.exception = exception
        self.where = where

    def _maybe_raise(self, where):
        if self.where == where:
            raise self.exception

    def __len__(self):
        self._maybe_raise("__len__")
        return 1

    def __getitem__(self, index):
        if index > 0:
            raise IndexError(index)
        return self

    def __iter__(self):
        self._maybe_raise("__iter__")
        return self

    def __next__(self):
        self._maybe_raise("__next__")
        raise StopIteration

    def __float__(self):
        self._maybe_raise("__float__")
        return 1.0


@pytest.mark.parametrize("where", ["__len__", "__iter__", "__next__"])
def test_panic_exception_from_python_code_is_resumed(caustica, panic_exception, caught_panic,
                                                     capfd, where):
    with pytest.raises(panic_exception) as caught:
        caustica.witt_mao_magnification(Source(caught_panic, where), 1.0, 0.1)
    assert caught.value is not caught_panic
    assert caught.value.args == ("capacity overflow",)
    err = capfd.readouterr().err
    assert RESUME_NOTICE in err
    assert "hostglue_runtime.PanicException: capacity overflow" in err
    BY_NAME["witt_mao_magnification"].check_usable()


def test_panic_exception_from_float_is_resumed(caustica, panic_exception, caught_panic, capfd):
    with pytest.raises(panic_exception) as caught:
        caustica.heyrovsky_magnification(1.0, Source(caught_panic, "__float__"), 1.0, 0.1)
    assert caught.value.args == caught_panic.args
    assert RESUME_NOTICE in capfd.readouterr().err


class Unprintable:
    def __str__(self):
        raise ValueError("cannot print")


def test_resumed_panic_without_printable_message(caustica, panic_exception, capfd):
    raised = panic_exception(Unprintable())
    with pytest.raises(panic_exception) as caught:
        caustica.heyrovsky_magnification(Source(raised, "__float__"), 1.0, 1.0, 0.1)
    assert caught.value.args == ("Unwrapped panic from Python code",)
    assert RESUME_NOTICE in capfd.readouterr().err


def test_subclass_of_panic_exception_is_not_resumed(caustica, panic_exception, capfd):
    Sub = type("SubPanic", (panic_exception,), {})
    raised = Sub("mine")
    with pytest.raises(Sub) as caught:
        caustica.witt_mao_magnification(Source(raised, "__iter__"), 1.0, 0.1)
    assert caught.value is raised
    assert RESUME_NOTICE not in capfd.readouterr().err


RESUME_SCRIPT = textwrap.dedent("""
    import sys
    import caustica

    class Huge:
        def __len__(self):
            return sys.maxsize
        def __getitem__(self, index):
            raise IndexError(index)

    try:
        caustica.witt_mao_magnification(Huge(), 1.0, 0.1)
    except BaseException as caught:
        kept = caught

    class Resumes:
        def __len__(self):
            return 1
        def __getitem__(self, index):
            return 1.0
        def __iter__(self):
            raise kept

    sys.stderr.flush()
    print("--- mark ---", file=sys.stderr, flush=True)
    try:
        caustica.witt_mao_magnification(Resumes(), 1.0, 0.1)
    except BaseException as resumed:
        print(type(resumed) is type(kept), resumed is kept, repr(str(resumed)))
    print(caustica.witt_mao_magnification([0.5], 1.0, 0.1) != [])
""")


def test_resume_notice_goes_to_the_standard_error_descriptor():
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", RESUME_SCRIPT], capture_output=True, text=True,
                          env=env, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["True False 'capacity overflow'", "True"]
    err = done.stderr.split("--- mark ---\n", 1)[1]
    assert err.startswith(RESUME_NOTICE)
    trace = err[len(RESUME_NOTICE):]
    assert trace.startswith("Traceback (most recent call last):\n")
    assert "in __iter__" in trace
    assert "hostglue_runtime.PanicException: capacity overflow\n" in trace
    # Then the report of the resumed panic itself.
    assert trace.rstrip().endswith("capacity overflow")


FIRST_USE_SCRIPT = textwrap.dedent("""
    import sys
    import threading
    import caustica

    class Huge:
        def __len__(self):
            return sys.maxsize
        def __getitem__(self, index):
            raise IndexError(index)

    sys.setswitchinterval(1e-6)
    start = threading.Barrier(8)
    outcomes = []

    def work(i):
        start.wait()
        for _ in range(25):
            try:
                if i % 2:
                    caustica.witt_mao_magnification(5, 1.0, 0.1)
                else:
                    caustica.witt_mao_magnification(Huge(), 1.0, 0.1)
            except BaseException as caught:
                outcomes.append((type(caught), str(caught)))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    print(len(outcomes), len({kind for kind, _ in outcomes}))
    for kind, text in sorted({(kind.__module__, text) for kind, text in outcomes}):
        print(kind, text)
""")


def test_lazily_made_objects_on_first_use_from_many_threads():
    # The Sequence type of the message and PanicException are both made by the first calls,
    # which here come from eight threads at once.
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", FIRST_USE_SCRIPT], capture_output=True,
                          text=True, env=env, timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == [
        "200 2",
        "builtins argument 'l': 'int' object is not an instance of 'Sequence'",
        "hostglue_runtime capacity overflow",
    ]


# ---- No memory for the result --------------------------------------------------------------------

NO_MEMORY_SCRIPT = textwrap.dedent("""
    import array
    import sys
    import _testcapi
    import caustica

    l = array.array("d", [0.5] * 300)
    call = {{
        "witt_mao_magnification": lambda: caustica.witt_mao_magnification(l, 1.0, 0.1),
        "multi_witt_mao_magnification":
            lambda: caustica.multi_witt_mao_magnification(l, [1.0], [0.1, 0.2]),
        "heyrovsky_magnification": lambda: caustica.heyrovsky_magnification(0.5, 0.3, 1.0, 0.1),
    }}[{name!r}]
    call()
    outcomes = set()
    for k in range(30):
        drained = [i + 0.5 for i in range(300)]  # no float left on the interpreter's free list
        _testcapi.set_nomemory(k, k + 1)  # the k-th allocation from now on fails, and only it
        try:
            call()
            outcomes.add("ok")
        except BaseException as caught:
            outcomes.add(type(caught).__name__)
        _testcapi.remove_mem_hooks()
    print(" ".join(sorted(outcomes)))
""")


@pytest.mark.parametrize("name", ["witt_mao_magnification", "multi_witt_mao_magnification",
                                  "heyrovsky_magnification"])
def test_no_memory_for_the_result_is_the_interpreters_memory_error(name):
    pytest.importorskip("_testcapi")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p))
    done = subprocess.run([sys.executable, "-c", NO_MEMORY_SCRIPT.format(name=name)],
                          capture_output=True, text=True, env=env, timeout=120)
    assert done.returncode == 0, done.stderr
    # Never a PanicException, and the MemoryError is raised, not reported as unraisable.
    assert set(done.stdout.split()) <= {"MemoryError", "ok"} and "MemoryError" in done.stdout
    assert done.stderr == ""
