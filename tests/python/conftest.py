"""The eight functions of caustica as data, so that rules shared by all of them are tested on all.

caustica is imported inside the fixtures, so that tests of other layers run without the module.
"""

import importlib
import math
import os
import sys
from dataclasses import dataclass

import pytest

SEQUENCE = "sequence"
SCALAR = "scalar"

# Valid values per parameter: small, and quick for the integrating functions.
VALID = {
    "l": [0.5, 1.5],
    "r": 1.0,
    "re": 1.0,
    "rstar": 0.1,
    "bl": [0.0, 0.5, 1.0],
    "bf": [1.0, 0.8, 0.6],
}
MULTI_VALID = {"l": [0.5, 1.5], "re": [1.0, 2.0], "rstar": [0.1, 0.2, 0.3]}
RING_VALID = {"l": 0.5, "r": 1.0, "re": 1.0, "rstar": 0.1}
SPECIAL_VALID = {"multi_witt_mao_magnification": MULTI_VALID, "heyrovsky_magnification": RING_VALID}


@dataclass(frozen=True)
class Function:
    name: str
    parameters: tuple
    kinds: tuple

    @property
    def callable(self):
        return getattr(importlib.import_module("caustica"), self.name)

    @property
    def sequence_parameters(self):
        return [p for p, kind in zip(self.parameters, self.kinds) if kind == SEQUENCE]

    @property
    def scalar_parameters(self):
        return [p for p, kind in zip(self.parameters, self.kinds) if kind == SCALAR]

    def valid(self, parameter):
        source = SPECIAL_VALID.get(self.name, VALID)
        value = source[parameter]
        return list(value) if isinstance(value, list) else value

    def arguments(self, **replaced):
        """All parameters by position, valid unless replaced."""
        return [replaced[p] if p in replaced else self.valid(p) for p in self.parameters]

    def call(self, **replaced):
        return self.callable(*self.arguments(**replaced))

    def check_result(self, result, **replaced):
        """The result has the shape the function promises for these arguments."""
        arguments = dict(zip(self.parameters, self.arguments(**replaced)))
        if self.name == "heyrovsky_magnification":
            assert type(result) is float
        elif self.name == "multi_witt_mao_magnification":
            count = len(list(arguments["re"])) * len(list(arguments["rstar"]))
            assert type(result) is list and len(result) == count
            for curve in result:
                assert type(curve) is list and len(curve) == len(list(arguments["l"]))
                assert all(type(x) is float for x in curve)
        else:
            assert type(result) is list and len(result) == len(list(arguments["l"]))
            assert all(type(x) is float for x in result)

    def check_usable(self):
        """A valid call succeeds: nothing was left behind by the one before."""
        self.check_result(self.call())


L_RE_RSTAR = ("l", "re", "rstar")
FLUX_MAP = ("l", "re", "rstar", "bl", "bf")
S, X = SEQUENCE, SCALAR

# Set by tools/sanitize.sh, which runs these tests against a module built with AddressSanitizer.
UNDER_ASAN = "address" in os.environ.get("CAUSTICA_SANITIZERS", "").split(",")
# ASan's operator new aborts the process where a failed allocation would throw std::bad_alloc.
skip_impossible_allocation_under_asan = pytest.mark.skipif(
    UNDER_ASAN, reason="AddressSanitizer aborts on an allocation it cannot satisfy")
# Freed memory stays in ASan's quarantine, so the process's size tells nothing about leaks there.
skip_resident_size_under_asan = pytest.mark.skipif(
    UNDER_ASAN, reason="AddressSanitizer's quarantine keeps freed memory resident")
# GCC 12's ASan allocator takes no locks around fork(): a child forked while a pool thread is
# inside malloc keeps that lock held and hangs at its own first allocation.
skip_fork_under_asan = pytest.mark.skipif(
    UNDER_ASAN, reason="AddressSanitizer's allocator is not fork-safe with other threads running")

FUNCTIONS = [
    Function("witt_mao_magnification", L_RE_RSTAR, (S, X, X)),
    Function("integrated_witt_mao_magnification", L_RE_RSTAR, (S, X, X)),
    Function("integrated_flux_map_witt_mao_magnification", FLUX_MAP, (S, X, X, S, S)),
    Function("multi_witt_mao_magnification", L_RE_RSTAR, (S, S, S)),
    Function("heyrovsky_magnification", ("l", "r", "re", "rstar"), (X, X, X, X)),
    Function("integrated_heyrovsky_magnification", L_RE_RSTAR, (S, X, X)),
    Function("integrated_flux_map_heyrovsky_magnification", FLUX_MAP, (S, X, X, S, S)),
    Function("discrete_flux_map_heyrovsky_magnification", FLUX_MAP, (S, X, X, S, S)),
]
BY_NAME = {f.name: f for f in FUNCTIONS}

SEQUENCE_PARAMETERS = [(f, p) for f in FUNCTIONS for p in f.sequence_parameters]
SCALAR_PARAMETERS = [(f, p) for f in FUNCTIONS for p in f.scalar_parameters]


def _pair_id(pair):
    function, parameter = pair
    return f"{function.name}-{parameter}"


@pytest.fixture(scope="session")
def caustica():
    return importlib.import_module("caustica")


@pytest.fixture(params=FUNCTIONS, ids=lambda f: f.name)
def function(request):
    return request.param


@pytest.fixture(params=SEQUENCE_PARAMETERS, ids=_pair_id)
def sequence_parameter(request):
    """(function, name of one of its sequence parameters)."""
    return request.param


@pytest.fixture(params=SCALAR_PARAMETERS, ids=_pair_id)
def scalar_parameter(request):
    """(function, name of one of its scalar parameters)."""
    return request.param


class CapacityOverflow:
    """A sequence claiming more items than any vector of doubles can hold."""

    def __len__(self):
        return sys.maxsize

    def __getitem__(self, index):
        raise IndexError(index)


@pytest.fixture(scope="session")
def panic_exception(caustica):
    """The PanicException type, reachable only through a caught instance."""
    try:
        caustica.witt_mao_magnification(CapacityOverflow(), 1.0, 0.1)
    except BaseException as caught:  # noqa: B036 - a PanicException is what is wanted here
        return type(caught)
    pytest.fail("a sequence of length sys.maxsize was accepted")


@pytest.fixture(scope="session")
def caught_panic(caustica, panic_exception):
    """A PanicException instance, as Python code could have kept one."""
    try:
        caustica.witt_mao_magnification(CapacityOverflow(), 1.0, 0.1)
    except panic_exception as caught:
        return caught


def float_refusal(value):
    """The interpreter's own message for a value that PyFloat_AsDouble refuses (math.fabs reads
    its argument through it). The wording moves between CPython versions ("can't convert complex
    to float" before 3.10) and, for an array's __float__, between numpy versions."""
    try:
        math.fabs(value)
    except TypeError as error:
        return str(error)
    raise AssertionError(f"{value!r} converts to a float")


def same_floats(a, b):
    """Element for element the same doubles, NaN included."""
    return len(a) == len(b) and all(
        x == y or (math.isnan(x) and math.isnan(y)) for x, y in zip(a, b)
    )
