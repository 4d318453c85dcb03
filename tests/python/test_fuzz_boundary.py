"""Arbitrary Python values in every parameter of every function, by position and by keyword.

Every call is checked against a model of the argument rules, written with the interpreter's own
protocol calls (PySequence_Check, len(), iteration, PyFloat_AsDouble): the call returns exactly
what the function gives for the converted values, or raises the exception the model predicts.
The model sees its own copy of every object, built from the same description, so objects with
state (iterators, objects that fail after some items) behave the same for both. Nothing may
crash, hang, or be left pending, and after every call a valid call gives the right numbers.

Runs are derandomized and keep no example database, so CI sees the same examples every time.
"""

import array
import ctypes
import decimal
import faulthandler
import fractions
import math
import sys

import numpy as np
import pytest
from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

from conftest import FUNCTIONS, SCALAR, SEQUENCE, UNDER_ASAN, same_floats

FUZZ = settings(
    max_examples=200,
    deadline=None,
    derandomize=True,
    database=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)

# A call of this module that hangs would hang CI: the whole process ends instead, with the
# Python stacks of all threads on standard error.
WATCHDOG_SECONDS = 600


@pytest.fixture(autouse=True)
def watchdog():
    faulthandler.dump_traceback_later(WATCHDOG_SECONDS, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


# ---- The model ---------------------------------------------------------------------------------

def _api(name, restype, *argtypes):
    # ctypes.pythonapi keeps the interpreter lock and raises what the call leaves pending.
    function = getattr(ctypes.pythonapi, name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function


PySequence_Check = _api("PySequence_Check", ctypes.c_int, ctypes.py_object)
PyObject_Size = _api("PyObject_Size", ctypes.c_ssize_t, ctypes.py_object)
PyFloat_AsDouble = _api("PyFloat_AsDouble", ctypes.c_double, ctypes.py_object)

# More doubles than this cannot be addressed in bytes (2^63 - 8 at most): a panic, not a reservation.
MAX_DOUBLES = (2**63 - 8) // 8
# Lengths whose reservation can never succeed on a 64-bit address space.
UNRESERVABLE = [2**50, MAX_DOUBLES]


class ModelPanic(Exception):
    """The model's way of saying: the call raises PanicException with this message."""


def model_scalar(value):
    if type(value) is float:
        return value
    return PyFloat_AsDouble(value)


def resume_if_panic(error, panic_type):
    # A PanicException fetched from Python code continues as a panic with its message.
    if type(error) is panic_type:
        raise ModelPanic(str(error)) from None


def model_sequence(value, panic_type):
    if isinstance(value, str):
        raise TypeError("Can't extract `str` to `Vec`")
    if not PySequence_Check(value):
        what = "'None' is" if value is None else f"'{type(value).__qualname__}' object is"
        raise TypeError(f"{what} not an instance of 'Sequence'")
    try:
        length = PyObject_Size(value)
    except (KeyboardInterrupt, SystemExit, MemoryError):
        raise  # an interrupt, an exit or a want of memory is never lost
    except BaseException as error:  # noqa: BLE001 - a failing length is only a missing hint
        resume_if_panic(error, panic_type)
        length = 0
    if length > MAX_DOUBLES:
        raise ModelPanic("capacity overflow")
    if length in UNRESERVABLE:
        raise MemoryError
    try:
        return [model_scalar(item) for item in value]
    except BaseException as error:  # noqa: BLE001
        resume_if_panic(error, panic_type)
        raise


def model_matching(function, args, kwargs):
    """The parameter slots, or a TypeError message prefix when the arguments do not match."""
    parameters = function.parameters
    if len(args) > len(parameters):
        return None
    slots = dict(zip(parameters, args))
    for name in kwargs:
        if name not in parameters or name in slots:
            return None
        slots[name] = kwargs[name]
    if len(slots) != len(parameters):
        return None
    return [slots[p] for p in parameters]


class Outcome:
    """What a call did: returned a value, or raised (type, args, message)."""

    def __init__(self, value=None, error=None, parameter=None):
        self.value = value
        self.error = error
        self.parameter = parameter  # the parameter whose conversion failed, if one did

    def __repr__(self):
        if self.error is None:
            return f"returned {self.value!r}"
        return f"raised {type(self.error).__name__}{self.error.args!r} at {self.parameter}"


def model_call(function, args, kwargs, panic_type):
    values = model_matching(function, args, kwargs)
    if values is None:
        return Outcome(error=TypeError(f"{function.name}() "))
    converted = []
    for parameter, kind, value in zip(function.parameters, function.kinds, values):
        try:
            if kind == SEQUENCE:
                converted.append(model_sequence(value, panic_type))
            else:
                converted.append(model_scalar(value))
        except ModelPanic as panic:
            return Outcome(error=panic_type(*panic.args), parameter=parameter)
        except BaseException as error:  # noqa: BLE001 - whatever conversion raised is expected
            return Outcome(error=error, parameter=parameter)
    # The numbers themselves are the module's: here only the conversion is under test.
    return actual_call(function, converted, {})


def actual_call(function, args, kwargs):
    try:
        return Outcome(value=function.callable(*args, **kwargs))
    except BaseException as error:  # noqa: BLE001 - every outcome is compared below
        return Outcome(error=error)


def same_result(a, b):
    if isinstance(a, float) or isinstance(b, float):
        return type(a) is type(b) is float and same_floats([a], [b])
    if a and isinstance(a[0], list) or b and isinstance(b[0], list):
        return len(a) == len(b) and all(same_floats(x, y) for x, y in zip(a, b))
    return type(a) is type(b) is list and same_floats(a, b)


def check_shape(function, result):
    if function.name == "heyrovsky_magnification":
        assert type(result) is float
        return
    assert type(result) is list
    items = [x for curve in result for x in curve] if function.name.startswith("multi") else result
    assert all(type(x) is float for x in items)


REFERENCE = {}


def check_still_usable(function):
    """No exception is pending and nothing is left behind: a valid call gives the first answer."""
    assert sys.exc_info() == (None, None, None)
    expected = REFERENCE.setdefault(function.name, function.call())
    assert same_result(function.call(), expected)


def check_against_model(function, args, kwargs, expected, panic_type):
    actual = actual_call(function, args, kwargs)
    if expected.error is None:
        assert actual.error is None, f"expected {expected}, got {actual}"
        check_shape(function, actual.value)
        assert same_result(actual.value, expected.value), f"expected {expected}, got {actual}"
    else:
        assert actual.error is not None, f"expected {expected}, got {actual}"
        error = actual.error
        assert type(error) is type(expected.error), f"expected {expected}, got {actual}"
        # The interpreter checks every native call's result: an exception left pending beside a
        # result, or none set beside a failure, would have become a SystemError.
        assert not isinstance(error, SystemError)
        if type(error) is TypeError and expected.parameter is None:
            assert str(error).startswith(f"{function.name}() "), str(error)
        elif type(error) is TypeError:
            # Renamed: the parameter's name, then the message of what failed.
            assert str(error) == f"argument '{expected.parameter}': {expected.error}"
        else:
            # Everything else passes through as it was raised.
            assert error.args == expected.error.args, f"expected {expected}, got {actual}"
    check_still_usable(function)
    return actual


# ---- Arbitrary values --------------------------------------------------------------------------

SPECIAL_FLOATS = [0.0, -0.0, 5e-324, -5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
                  math.nan, -math.nan, math.inf, -math.inf, 1.0, 1.0 + 1e-5, 0.5, 1e-300]
HUGE_INTS = [2**63, -(2**63), 2**64, 2**1023, 2**1024, 10**400, -(10**400)]


class FloatSubclass(float):
    pass


class IntSubclass(int):
    pass


def _decimals():
    # Decimal's __float__ raises ValueError for a signalling NaN.
    return st.decimals(allow_nan=True, allow_infinity=True) | st.sampled_from(
        [decimal.Decimal("sNaN"), decimal.Decimal("-0"), decimal.Decimal("1e-400")])


numbers = st.one_of(
    st.floats(allow_nan=True, allow_infinity=True, allow_subnormal=True),
    st.sampled_from(SPECIAL_FLOATS),
    st.integers(min_value=-(2**70), max_value=2**70),
    st.sampled_from(HUGE_INTS),
    st.booleans(),
    st.fractions(max_denominator=1000),
    _decimals(),
    st.floats().map(FloatSubclass),
    st.integers(-5, 5).map(IntSubclass),
    st.floats(width=32).map(np.float32),
    st.floats(width=16).map(np.float16),
    st.integers(-(2**63), 2**63 - 1).map(np.int64),
    st.booleans().map(np.bool_),
    st.complex_numbers(max_magnitude=1e3),
)
non_numbers = st.one_of(
    st.none(),
    st.text(max_size=4),
    st.binary(max_size=4),
    st.just(object()),
    st.just(Ellipsis),
    st.just(fractions.Fraction),  # a type, not a number
)
scalars = numbers | non_numbers


def _generator(items):
    return (x for x in items)


def _numpy_arrays():
    dtypes = st.sampled_from([
        np.float64, np.float32, np.float16, np.int64, np.int32, np.uint8, np.bool_,
        np.complex128, np.dtype(">f8"), np.dtype("<f4"), np.str_,
    ])
    shapes = hnp.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=3)
    # Object arrays name their items: the hypothesis that pip installs for Python 3.9 infers no
    # strategy for object.
    arrays = dtypes.flatmap(lambda dtype: hnp.arrays(dtype, shapes)) | hnp.arrays(
        np.object_, shapes, elements=scalars)
    # Strided views and float64 arrays, which are read from their buffer.
    return arrays | arrays.map(lambda a: a[::2] if a.ndim else a) | hnp.arrays(
        np.float64, st.integers(0, 5), elements=st.floats(allow_nan=True))


containers = st.one_of(
    st.lists(scalars, max_size=4),
    st.lists(scalars, max_size=4).map(tuple),
    st.lists(st.lists(numbers, max_size=2), max_size=3),
    st.lists(st.lists(numbers, max_size=2).map(tuple), max_size=2).map(tuple),
    st.builds(range, st.integers(-3, 3), st.integers(-3, 6)),
    st.binary(max_size=4),
    st.binary(max_size=4).map(bytearray),
    st.binary(max_size=4).map(memoryview),
    st.dictionaries(st.integers(0, 3) | st.text(max_size=2), numbers, max_size=3),
    st.sets(st.integers(-3, 3) | st.floats(allow_nan=False), max_size=3),
    st.frozensets(st.integers(-3, 3), max_size=3),
    st.lists(numbers, max_size=3).map(_generator),
    st.lists(st.floats(), max_size=4).map(lambda xs: array.array("d", xs)),
    st.lists(st.floats(width=32), max_size=4).map(lambda xs: array.array("f", xs)),
    st.lists(st.integers(-(2**31), 2**31 - 1), max_size=4).map(lambda xs: array.array("i", xs)),
    st.lists(st.floats(), max_size=4).map(lambda xs: memoryview(array.array("d", xs))),
    _numpy_arrays(),
)

# Values of the right kind often enough that calls reach the drivers.
plausible_floats = st.one_of(
    st.floats(min_value=-0.5, max_value=3.0),
    st.sampled_from(SPECIAL_FLOATS),
    st.integers(-2, 3),
)
plausible = {
    SEQUENCE: st.one_of(
        st.lists(plausible_floats, max_size=4),
        st.lists(plausible_floats, max_size=4).map(tuple),
        hnp.arrays(np.float64, st.integers(0, 4), elements=plausible_floats),
    ),
    SCALAR: plausible_floats,
}


def any_value(kind):
    return st.one_of(scalars, containers)


# Keyword names that are not parameters, some of which cannot be read as UTF-8.
odd_keywords = st.one_of(st.text(max_size=3), st.sampled_from(["L", "l ", "\ud800", "re\x00"]))


@st.composite
def call_layouts(draw, function, wild_value):
    """Positional and keyword arguments: plausible values, except in none, one or any of the
    parameters; sometimes with a matching mistake."""
    parameters = function.parameters
    wild = draw(st.sampled_from(["none", "one", "any"]))
    if wild == "one":
        chosen = [draw(st.sampled_from(parameters))]
    elif wild == "any":
        chosen = [p for p in parameters if draw(st.booleans())]
    else:
        chosen = []
    values = {p: draw(wild_value(kind) if p in chosen else plausible[kind])
              for p, kind in zip(parameters, function.kinds)}
    if "bf" in parameters and not {"bl", "bf"} & set(chosen) and draw(st.booleans()):
        # A table of equal columns, or the call would mostly end at the table check.
        values["bf"] = draw(st.lists(plausible_floats, min_size=len(values["bl"]),
                                     max_size=len(values["bl"])))
    positional = draw(st.integers(0, len(function.parameters)))
    names = list(function.parameters)
    args = [values[p] for p in names[:positional]]
    keywords = draw(st.permutations(names[positional:]))
    kwargs = {p: values[p] for p in keywords}
    mistake = draw(st.sampled_from([None] * 12 + ["missing", "extra", "unknown", "repeated"]))
    if mistake == "missing" and (args or kwargs):
        if kwargs and draw(st.booleans()):
            del kwargs[draw(st.sampled_from(sorted(kwargs)))]
        elif args:
            args.pop()
    elif mistake == "extra":
        args = [values[p] for p in names] + [draw(scalars)]
    elif mistake == "unknown":
        name = draw(odd_keywords)
        if name not in names:
            kwargs[name] = draw(scalars)
    elif mistake == "repeated" and args:
        kwargs[draw(st.sampled_from(names[:len(args)]))] = draw(scalars)
    return args, kwargs


def record(outcome):
    """For --hypothesis-show-statistics: how often calls reach the drivers."""
    event("returned" if outcome.error is None else f"raised {type(outcome.error).__name__}")


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.name)
@FUZZ
@given(data=st.data())
def test_arbitrary_values(function, data, panic_exception):
    args, kwargs = data.draw(call_layouts(function, any_value))
    expected = model_call(function, args, kwargs, panic_exception)
    record(check_against_model(function, args, kwargs, expected, panic_exception))


# ---- Hostile objects ---------------------------------------------------------------------------

class Hostile(Exception):
    """Raised by the objects below: it must reach the caller unchanged."""


class HostileTypeError(TypeError):
    """A TypeError subclass passes through without the parameter's name."""


RAISED = {
    "Hostile": lambda panic_type: Hostile("hostile"),
    "HostileTypeError": lambda panic_type: HostileTypeError("hostile"),
    "TypeError": lambda panic_type: TypeError("hostile"),
    "ValueError": lambda panic_type: ValueError("hostile"),
    "OverflowError": lambda panic_type: OverflowError("hostile"),
    "MemoryError": lambda panic_type: MemoryError("hostile"),
    "IndexError": lambda panic_type: IndexError("hostile"),
    "StopIteration": lambda panic_type: StopIteration("hostile"),
    "KeyboardInterrupt": lambda panic_type: KeyboardInterrupt("hostile"),
    "SystemExit": lambda panic_type: SystemExit("hostile"),
    # Python code that raises a PanicException it caught from this module earlier.
    "PanicException": lambda panic_type: panic_type("hostile panic"),
}
raised = st.sampled_from(sorted(RAISED)).map(lambda name: ("raise", name))

# A description is a tuple of plain values, so that hypothesis can show and shrink it; build()
# makes a fresh object from it for each call.
LENGTHS = [0, 1, 3, 1000, -1, 2**100, "x", None, 1.5, True, FloatSubclass(2.0), IntSubclass(2),
           MAX_DOUBLES + 1, 2**62, sys.maxsize, 2**20]
if not UNDER_ASAN:  # ASan aborts where the reservation would raise MemoryError
    LENGTHS += UNRESERVABLE

float_results = st.sampled_from([0.5, -0.0, math.nan, math.inf, 1, "1.0", None,
                                 FloatSubclass(1.5), 2**2000])
index_results = st.sampled_from([3, -1, 10**400, 1.5, "3", None, IntSubclass(4), True])


def method(results):
    return st.none() | raised | results.map(lambda value: ("return", value))


number_descriptions = st.tuples(st.just("number"), method(float_results), method(index_results))
items = st.one_of(plausible_floats, number_descriptions, st.sampled_from(["1.0", None, [1.0]]))


def sequence_descriptions(item_strategy):
    iteration = st.one_of(
        st.just(("items",)),
        raised,
        # The iterator yields this many items, then raises (or ends, for None).
        st.tuples(st.just("fails-after"), st.integers(0, 3), st.none() | raised),
        st.tuples(st.just("returns"), st.sampled_from([5, None, [1.0, 2.0], "ab"])),
    )
    return st.tuples(
        st.just("sequence"),
        st.lists(item_strategy, max_size=4).map(tuple),
        st.none() | raised | st.sampled_from(LENGTHS).map(lambda n: ("return", n)),
        st.none() | iteration,  # None: no __iter__, iteration through __getitem__
        st.booleans(),  # whether __getitem__ exists (without it, not a sequence)
    )


def _raise(description, panic_type):
    raise RAISED[description[1]](panic_type)


def _behave(description, panic_type):
    if description[0] == "raise":
        _raise(description, panic_type)
    return description[1]


def build(description, panic_type):
    """A fresh object from its description; plain values are taken as they are."""
    if not isinstance(description, tuple) or not description:
        return description
    if description[0] == "number":
        return build_number(description, panic_type)
    if description[0] == "sequence":
        return build_sequence(description, panic_type)
    return description


def build_number(description, panic_type):
    _, on_float, on_index = description
    namespace = {}
    if on_float is not None:
        namespace["__float__"] = lambda self: _behave(on_float, panic_type)
    if on_index is not None:
        namespace["__index__"] = lambda self: _behave(on_index, panic_type)
    return type("HostileNumber", (), namespace)()


class HostileIterator:
    def __init__(self, items, count, then, panic_type):
        self.items = list(items)[:count]
        self.then = then
        self.panic_type = panic_type

    def __iter__(self):
        return self

    def __next__(self):
        if self.items:
            return self.items.pop(0)
        if self.then is not None:
            _raise(self.then, self.panic_type)
        raise StopIteration


def build_sequence(description, panic_type):
    _, item_descriptions, on_len, on_iter, has_getitem = description
    items = [build(item, panic_type) for item in item_descriptions]
    namespace = {}
    if on_len is not None:
        namespace["__len__"] = lambda self: _behave(on_len, panic_type)
    if has_getitem:
        namespace["__getitem__"] = lambda self, index: items[index]
    if on_iter is not None:
        def __iter__(self):
            if on_iter[0] == "raise":
                _raise(on_iter, panic_type)
            if on_iter[0] == "returns":
                return on_iter[1]
            if on_iter[0] == "fails-after":
                return HostileIterator(items, on_iter[1], on_iter[2], panic_type)
            return iter(items)
        namespace["__iter__"] = __iter__
    return type("HostileSequence", (), namespace)()


hostile_values = {
    SEQUENCE: st.one_of(sequence_descriptions(items), number_descriptions),
    SCALAR: st.one_of(number_descriptions, sequence_descriptions(items)),
}


@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.name)
@FUZZ
@given(data=st.data())
def test_hostile_objects(function, data, panic_exception):
    args, kwargs = data.draw(call_layouts(function, hostile_values.__getitem__))

    def fresh():
        return ([build(a, panic_exception) for a in args],
                {k: build(v, panic_exception) for k, v in kwargs.items()})

    expected = model_call(function, *fresh(), panic_exception)
    record(check_against_model(function, *fresh(), expected, panic_exception))


# ---- Every kind once ---------------------------------------------------------------------------

@pytest.mark.parametrize("function", FUNCTIONS, ids=lambda f: f.name)
def test_every_parameter_refuses_every_container_kind(function, panic_exception):
    """Each parameter once with each kind of container, so that no kind depends on the draw."""
    kinds = [{1.0: 2.0}, {1.0}, frozenset([1.0]), _generator([1.0]), [[1.0]], "1.0", b"\x01",
             np.zeros((2, 2)), np.float64(1.0), np.zeros(()), memoryview(np.zeros((2, 2)))]
    for parameter in function.parameters:
        for value in kinds:
            args = function.arguments(**{parameter: value})
            expected = model_call(function, args, {}, panic_exception)
            check_against_model(function, function.arguments(**{parameter: value}), {},
                                expected, panic_exception)
