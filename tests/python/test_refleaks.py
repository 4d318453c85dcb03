"""Every path through a call, failing or not, gives back every reference and every byte it took."""

import gc
import os
import sys
import tracemalloc

import pytest

from conftest import (BY_NAME, CapacityOverflow, skip_impossible_allocation_under_asan,
                      skip_resident_size_under_asan)


class Raises:
    """Raises a new exception each time: one raised again would collect tracebacks."""

    def __init__(self, make_exception, *shared):
        self.make_exception = make_exception
        self.shared = shared  # objects every exception refers to, whose counts are watched

    def __float__(self):
        raise self.make_exception()


class FailingLength(list):
    def __len__(self):
        raise ValueError("no length")


class FailingIteration(list):
    def __iter__(self):
        raise TypeError("no iteration")


def _chained_type_error(root):
    error = TypeError("not a number")
    error.__cause__ = root
    return error


class Call:
    """One way of calling a function, with every object it passes kept for counting."""

    def __init__(self, function, path, caught_panic):
        self.function = function
        self.path = path
        self.extra = object()
        self.args = [self._fresh(value) for value in function.arguments()]
        self.kwargs = {}
        self.watched = []
        getattr(self, "_" + path.replace("-", "_"))(caught_panic)
        for value in self.args + list(self.kwargs.values()):
            self.watched.append(value)
            if isinstance(value, list):
                self.watched.extend(list.copy(value))
        for item in list(self.watched):
            if isinstance(item, Raises):
                self.watched.extend(item.shared)

    @staticmethod
    def _fresh(value):
        # Objects of this call alone, so that nothing else moves their counts.
        if isinstance(value, list):
            return [float(repr(x)) for x in value]
        return float(repr(value))

    def _index(self, kind):
        parameters = (self.function.sequence_parameters if kind == "sequence"
                      else self.function.parameters)
        if not parameters:
            pytest.skip("no such parameter")
        return self.function.parameters.index(parameters[-1])

    def _replace_last_item(self, item):
        index = self._index("any")
        if self.function.kinds[index] == "sequence":
            self.args[index] = self.args[index] + [item]
        else:
            self.args[index] = item

    def _valid(self, caught_panic):
        pass

    def _missing(self, caught_panic):
        self.args = self.args[:1]

    def _too_many(self, caught_panic):
        self.args.append(self.extra)

    def _unexpected_keyword(self, caught_panic):
        last = self.function.parameters[-1]
        self.kwargs = {last: self.args.pop(), "unexpected": self.extra}

    def _multiple_values(self, caught_panic):
        self.kwargs = {self.function.parameters[0]: self.extra}

    def _str_item_last(self, caught_panic):
        self._replace_last_item("1.0")

    def _not_a_sequence(self, caught_panic):
        self.args[self._index("sequence")] = {1.5, 2.5}

    def _str_for_a_sequence(self, caught_panic):
        self.args[self._index("sequence")] = "1.5"

    def _renamed_with_cause(self, caught_panic):
        root = ValueError("root")
        self._replace_last_item(Raises(lambda: _chained_type_error(root), root))

    def _passes_through(self, caught_panic):
        self._replace_last_item(Raises(lambda: ValueError("bad")))

    def _resumed_panic(self, caught_panic):
        panic_type, message = type(caught_panic), caught_panic.args[0]
        self._replace_last_item(Raises(lambda: panic_type(message), message))

    def _capacity_overflow(self, caught_panic):
        self.args[self._index("sequence")] = CapacityOverflow()

    def _length_fails(self, caught_panic):
        index = self._index("sequence")
        self.args[index] = FailingLength(self.args[index])

    def _iteration_fails(self, caught_panic):
        index = self._index("sequence")
        self.args[index] = FailingIteration(self.args[index])

    def _kernel_error(self, caught_panic):
        if self.function.name not in ("heyrovsky_magnification",
                                      "discrete_flux_map_heyrovsky_magnification"):
            pytest.skip("the driver reports no errors")
        self.args[0] = float("nan") if self.function.name == "heyrovsky_magnification" else [
            float("nan")]

    def _unequal_table(self, caught_panic):
        if "bl" not in self.function.parameters:
            pytest.skip("no table")
        self.args[-1] = self.args[-1][:-1]

    def __call__(self):
        try:
            self.function.callable(*self.args, **self.kwargs)
        except BaseException:  # noqa: BLE001 - every outcome is fine here, only counts matter
            pass


PATHS = ["valid", "missing", "too-many", "unexpected-keyword", "multiple-values",
         "str-item-last", "not-a-sequence", "str-for-a-sequence", "renamed-with-cause",
         "passes-through", "resumed-panic", "capacity-overflow", "length-fails",
         "iteration-fails", "kernel-error", "unequal-table"]


@pytest.fixture(params=PATHS)
def call(request, function, caught_panic):
    # No collection runs while counting: a call must give everything back by reference
    # counting alone, since a reference cycle made by each call would be a leak of its own.
    gc.disable()
    try:
        yield Call(function, request.param, caught_panic)
    finally:
        gc.enable()


def _counts(objects):
    return [sys.getrefcount(o) for o in objects]


def test_references_are_given_back(call):
    for _ in range(3):
        call()
    before = _counts(call.watched)
    for _ in range(30):
        call()
    assert _counts(call.watched) == before


def _traced_growth(call, repeats):
    before = tracemalloc.get_traced_memory()[0]
    for _ in range(repeats):
        call()
    return tracemalloc.get_traced_memory()[0] - before


def test_memory_does_not_grow(call):
    slow = call.path in ("valid", "length-fails") and call.function.name.startswith("integrated")
    repeats = 30 if slow else 300
    tracemalloc.start()
    try:
        # The first round fills the interpreter's caches (printed tracebacks read source lines).
        _traced_growth(call, repeats)
        growth = _traced_growth(call, repeats)
    finally:
        tracemalloc.stop()
    # A leaked float would be 24 bytes a call.
    assert growth < 12 * repeats


def _resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


@skip_resident_size_under_asan
@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc")
@pytest.mark.parametrize("name, failing", [
    ("witt_mao_magnification", {"rstar": "x"}),
    ("multi_witt_mao_magnification", {"rstar": ["x"]}),
    ("integrated_flux_map_witt_mao_magnification", {"bf": [1.0, "x"]}),
    ("discrete_flux_map_heyrovsky_magnification", {"bf": [1.0, 2.0]}),  # a panic
    ("witt_mao_magnification", {"l": [0.5] * 200_000 + ["x"]}),  # fails while converting
])
def test_converted_vectors_are_released_when_a_later_step_fails(name, failing):
    # Vectors live outside the interpreter's allocator, so only the process's size tells.
    function = BY_NAME[name]
    big = [0.5] * 200_000
    big_arguments = {p: big for p in function.sequence_parameters if p not in ("bl", "bf")}
    if "bl" in function.parameters:
        big_arguments.update(bl=[0.0, 0.5, 1.0], bf=[1.0, 0.5, 0.25])
    big_arguments.update(failing)

    def call():
        with pytest.raises(BaseException):
            function.call(**big_arguments)

    call()
    before = _resident_bytes()
    for _ in range(100):
        call()
    # Leaking a vector per call would be 160 MB.
    assert _resident_bytes() - before < 32 * 2**20


@skip_impossible_allocation_under_asan
def test_memory_error_path_leaks_nothing():
    function = BY_NAME["witt_mao_magnification"]

    class Huge(list):
        def __len__(self):
            return 2**60 - 1

    huge = Huge([0.5])
    count = sys.getrefcount(huge)
    for _ in range(20):
        with pytest.raises(MemoryError):
            function.call(l=huge)
    assert sys.getrefcount(huge) == count
