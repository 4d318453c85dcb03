"""Matching arguments to parameters, converting them, and the messages of every mistake.

Where a message is the interpreter's own (a refused float conversion), the expected text is
taken from the running interpreter (conftest.float_refusal), since its wording moves between
CPython versions.
"""

import array
import collections
import sys

import numpy as np
import pytest

from conftest import BY_NAME, float_refusal, same_floats

WITT = BY_NAME["witt_mao_magnification"]
RING = BY_NAME["heyrovsky_magnification"]
FLUX = BY_NAME["discrete_flux_map_heyrovsky_magnification"]


def message_of(call):
    with pytest.raises(TypeError) as caught:
        call()
    assert type(caught.value) is TypeError
    return str(caught.value)


# ---- Matching ------------------------------------------------------------------------------

MISSING = [
    ("witt_mao_magnification", [], {},
     "missing 3 required positional arguments: 'l', 're', and 'rstar'"),
    ("witt_mao_magnification", [[1.0]], {},
     "missing 2 required positional arguments: 're' and 'rstar'"),
    ("witt_mao_magnification", [[1.0], 1.0], {},
     "missing 1 required positional argument: 'rstar'"),
    ("witt_mao_magnification", [], {"re": 1.0},
     "missing 2 required positional arguments: 'l' and 'rstar'"),
    ("witt_mao_magnification", [[1.0]], {"rstar": 0.1},
     "missing 1 required positional argument: 're'"),
    ("heyrovsky_magnification", [], {},
     "missing 4 required positional arguments: 'l', 'r', 're', and 'rstar'"),
    ("heyrovsky_magnification", [1.0, 2.0], {},
     "missing 2 required positional arguments: 're' and 'rstar'"),
    ("heyrovsky_magnification", [1.0], {"re": 1.0},
     "missing 2 required positional arguments: 'r' and 'rstar'"),
    ("heyrovsky_magnification", [1.0, 2.0, 1.0], {},
     "missing 1 required positional argument: 'rstar'"),
    ("discrete_flux_map_heyrovsky_magnification", [], {},
     "missing 5 required positional arguments: 'l', 're', 'rstar', 'bl', and 'bf'"),
    ("discrete_flux_map_heyrovsky_magnification", [], {"bl": [1.0]},
     "missing 4 required positional arguments: 'l', 're', 'rstar', and 'bf'"),
    ("discrete_flux_map_heyrovsky_magnification", [[1.0], 1.0], {"bf": [1.0]},
     "missing 2 required positional arguments: 'rstar' and 'bl'"),
    ("discrete_flux_map_heyrovsky_magnification", [[1.0], 1.0, 0.1, [1.0]], {},
     "missing 1 required positional argument: 'bf'"),
]


@pytest.mark.parametrize("name, args, kwargs, expected", MISSING)
def test_missing_arguments(caustica, name, args, kwargs, expected):
    f = getattr(caustica, name)
    assert message_of(lambda: f(*args, **kwargs)) == f"{name}() {expected}"


def test_all_missing_for_every_function(function):
    names = [f"'{p}'" for p in function.parameters]
    listed = ", ".join(names[:-1]) + ", and " + names[-1]
    expected = (f"{function.name}() missing {len(names)} required positional arguments: "
                + listed)
    assert message_of(function.callable) == expected


def test_too_many_positional(function):
    n = len(function.parameters)
    expected = f"{function.name}() takes {n} positional arguments but {n + 1} were given"
    args = function.arguments() + [0.0]
    assert message_of(lambda: function.callable(*args)) == expected
    # Keywords are not looked at once there are too many positional arguments.
    assert message_of(lambda: function.callable(*args, nonsense=1)) == expected
    assert message_of(lambda: function.callable(*args, 0.0, l=1)) == expected.replace(
        f"but {n + 1}", f"but {n + 2}")


@pytest.mark.parametrize("args, kwargs, expected", [
    ([[1.0], 1.0], {"rstar": 0.1, "x": 1}, "got an unexpected keyword argument 'x'"),
    ([], {"rstar": 0.1, "x": 1}, "got an unexpected keyword argument 'x'"),
    ([[1.0], 1.0], {"RSTAR": 0.1}, "got an unexpected keyword argument 'RSTAR'"),
    ([[1.0], 1.0], {"rstar\u0301": 0.1}, "got an unexpected keyword argument 'rstar\u0301'"),
    ([[1.0], 1.0, 0.1], {"re": 2.0}, "got multiple values for argument 're'"),
    ([[1.0], 1.0, 0.1], {"l": [2.0], "x": 1}, "got multiple values for argument 'l'"),
    ([[1.0], 1.0, 0.1], {"x": 1, "l": [2.0]}, "got an unexpected keyword argument 'x'"),
    ([[1.0]], {"l": [2.0]}, "got multiple values for argument 'l'"),
])
def test_keyword_mistakes_in_call_order(caustica, args, kwargs, expected):
    assert message_of(lambda: caustica.witt_mao_magnification(*args, **kwargs)) == (
        "witt_mao_magnification() " + expected)


def test_multiple_values_for_every_parameter(function):
    args = function.arguments()
    for parameter, value in zip(function.parameters, args):
        expected = f"{function.name}() got multiple values for argument '{parameter}'"
        assert message_of(lambda: function.callable(*args, **{parameter: value})) == expected


def test_keyword_that_cannot_be_utf8(caustica):
    name = "\ud800"
    expected = f"witt_mao_magnification() got an unexpected keyword argument '{name}'"
    assert message_of(lambda: caustica.witt_mao_magnification(
        [1.0], 1.0, 0.1, **{name: 1})) == expected


class KeywordName(str):
    """A keyword name of a str subclass: matched by its characters, printed by its __str__."""

    def __str__(self):
        raise ValueError("no text for this name")


def test_keyword_of_a_str_subclass_matches_by_its_text(caustica):
    result = caustica.witt_mao_magnification([1.0], 1.0, **{KeywordName("rstar"): 0.1})
    assert len(result) == 1


def test_unprintable_keyword_name(caustica, monkeypatch):
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    name = KeywordName("x")
    message = message_of(lambda: caustica.witt_mao_magnification([1.0], 1.0, 0.1, **{name: 1}))
    assert message == ("witt_mao_magnification() got an unexpected keyword argument "
                       "'<unprintable KeywordName object>'")
    assert len(reported) == 1
    assert reported[0].object is name
    assert type(reported[0].exc_value) is ValueError


def test_matching_failures_are_not_renamed(caustica):
    assert not message_of(lambda: caustica.witt_mao_magnification([1.0])).startswith("argument")


class Counting:
    """A sequence that counts how often it is iterated."""

    def __init__(self):
        self.iterations = 0

    def __len__(self):
        return 1

    def __getitem__(self, index):
        if index > 0:
            raise IndexError(index)
        self.iterations += 1
        return 1.0


def test_nothing_is_converted_when_matching_fails(caustica):
    sequence = Counting()
    with pytest.raises(TypeError):
        caustica.witt_mao_magnification(sequence, 1.0, unknown=0.1)
    assert sequence.iterations == 0


# ---- Conversion order ----------------------------------------------------------------------

def test_first_failing_parameter_in_parameter_order(caustica):
    message = message_of(lambda: caustica.witt_mao_magnification(rstar="c", re="b", l=[1.0]))
    assert message == f"argument 're': {float_refusal('b')}"
    message = message_of(lambda: caustica.discrete_flux_map_heyrovsky_magnification(
        [1.0], 1.0, 0.1, bf="x", bl=5))
    assert message == "argument 'bl': 'int' object is not an instance of 'Sequence'"


def test_later_parameters_are_not_converted_after_a_failure(caustica):
    sequence = Counting()
    with pytest.raises(TypeError, match="^argument 're'"):
        caustica.discrete_flux_map_heyrovsky_magnification([1.0], None, 0.1, sequence, [1.0])
    assert sequence.iterations == 0


# ---- Sequence rule ---------------------------------------------------------------------------

class Holder:
    class NotASequence:
        pass


class MappingWithItems(dict):
    def __getitem__(self, key):
        return 1.0


class Text(str):
    pass


def _generator():
    yield 1.0


REFUSED = [
    ("0.5", "Can't extract `str` to `Vec`"),
    ("", "Can't extract `str` to `Vec`"),
    (Text("1"), "Can't extract `str` to `Vec`"),
    (5, "'int' object is not an instance of 'Sequence'"),
    (0.5, "'float' object is not an instance of 'Sequence'"),
    (None, "'None' is not an instance of 'Sequence'"),
    ({1.0}, "'set' object is not an instance of 'Sequence'"),
    (frozenset(), "'frozenset' object is not an instance of 'Sequence'"),
    ({0: 1.0}, "'dict' object is not an instance of 'Sequence'"),
    (MappingWithItems(), "'MappingWithItems' object is not an instance of 'Sequence'"),
    (_generator(), "'generator' object is not an instance of 'Sequence'"),
    (iter([1.0]), "'list_iterator' object is not an instance of 'Sequence'"),
    (Holder.NotASequence(), "'Holder.NotASequence' object is not an instance of 'Sequence'"),
]


@pytest.mark.parametrize("value, text", REFUSED, ids=lambda x: type(x).__name__)
def test_refused_sequences(sequence_parameter, value, text):
    function, parameter = sequence_parameter
    message = message_of(lambda: function.call(**{parameter: value}))
    assert message == f"argument '{parameter}': {text}"
    function.check_usable()


# Whole-number values, so that every container below can hold them; bl and bf of equal length.
WHOLE = {"l": [1, 2], "re": [1, 2], "rstar": [1, 2, 3], "bl": [0, 1, 2], "bf": [3, 2, 1]}


class OldStyleSequence:
    """Iterated through __getitem__ until IndexError, as the interpreter does without __iter__."""

    def __init__(self, values):
        self.values = values

    def __getitem__(self, index):
        return self.values[index]


def _range(values):
    step = values[1] - values[0]
    return range(values[0], values[-1] + step, step)


CONTAINERS = {
    "tuple": tuple,
    "range": _range,
    "bytes": bytes,
    "bytearray": bytearray,
    "memoryview": lambda v: memoryview(bytes(v)),
    "array-d": lambda v: array.array("d", v),
    "array-i": lambda v: array.array("i", v),
    "deque": collections.deque,
    "list-subclass": type("Floats", (list,), {}),
    "old-style": OldStyleSequence,
    "numpy-int64": lambda v: np.array(v, dtype=np.int64),
    "numpy-float64": lambda v: np.array(v, dtype=np.float64),
    "float-items": lambda v: [float(x) for x in v],
    "bool-and-int-items": lambda v: [bool(x) if x in (0, 1) else x for x in v],
}


@pytest.mark.parametrize("container", CONTAINERS.values(), ids=CONTAINERS.keys())
def test_accepted_sequences_give_the_values_of_a_list(sequence_parameter, container):
    function, parameter = sequence_parameter
    values = WHOLE[parameter]
    expected = function.call(**{parameter: [float(x) for x in values]})
    result = function.call(**{parameter: container(values)})
    function.check_result(result, **{parameter: values})
    if function.name == "multi_witt_mao_magnification":
        assert all(same_floats(a, b) for a, b in zip(result, expected))
    else:
        assert same_floats(result, expected)


def test_bytes_are_byte_values(caustica):
    assert caustica.witt_mao_magnification(b"\x01\x02", 1.0, 0.1) == (
        caustica.witt_mao_magnification([1.0, 2.0], 1.0, 0.1))


def test_str_item(sequence_parameter):
    function, parameter = sequence_parameter
    items = [1.0] * len(function.valid(parameter))
    items[-1] = "2.0"
    message = message_of(lambda: function.call(**{parameter: items}))
    assert message == f"argument '{parameter}': {float_refusal('2.0')}"


@pytest.mark.parametrize("item", [None, [1.0], 1j], ids=lambda x: type(x).__name__)
def test_items_float_refuses(sequence_parameter, item):
    function, parameter = sequence_parameter
    message = message_of(lambda: function.call(**{parameter: [item]}))
    assert message == f"argument '{parameter}': {float_refusal(item)}"


def test_item_too_large_for_a_double(sequence_parameter):
    function, parameter = sequence_parameter
    with pytest.raises(OverflowError) as caught:
        function.call(**{parameter: [1.0, 10**400]})
    assert type(caught.value) is OverflowError
    assert str(caught.value) == "int too large to convert to float"


# ---- Scalar rule ---------------------------------------------------------------------------

class Index:
    def __index__(self):
        return 2


class Float:
    def __init__(self, value=0.75):
        self.value = value

    def __float__(self):
        return self.value


class SubFloat(float):
    pass


@pytest.mark.parametrize("value", [
    1, True, SubFloat(1.5), Index(), Float(), np.float64(0.5), np.int32(3), 2**53 + 1,
], ids=lambda x: type(x).__name__)
def test_accepted_scalars(scalar_parameter, value):
    function, parameter = scalar_parameter
    function.check_result(function.call(**{parameter: value}))


@pytest.mark.parametrize("value", [-1.0, Float(-1.0)], ids=["float", "__float__"])
def test_minus_one_is_a_value(scalar_parameter, value):
    # -1.0 is also float()'s failure value: only a pending exception makes it one. Negative
    # radii may leave the elliptic integrals' domain, which is the ring's to report.
    function, parameter = scalar_parameter
    try:
        result = function.call(**{parameter: value})
    except RuntimeError as error:
        assert function.name == "heyrovsky_magnification" and str(error).startswith("ellip")
    else:
        function.check_result(result)


@pytest.mark.parametrize("value", ["1.0", None, [1.0], 1j], ids=lambda x: type(x).__name__)
def test_refused_scalars(scalar_parameter, value):
    function, parameter = scalar_parameter
    assert message_of(lambda: function.call(**{parameter: value})) == (
        f"argument '{parameter}': {float_refusal(value)}")
    function.check_usable()


def test_scalar_too_large_for_a_double(scalar_parameter):
    function, parameter = scalar_parameter
    with pytest.raises(OverflowError) as caught:
        function.call(**{parameter: 10**400})
    assert str(caught.value) == "int too large to convert to float"


def test_separation_of_the_ring_is_a_scalar(caustica):
    message = message_of(lambda: caustica.heyrovsky_magnification([0.5], 1.0, 1.0, 0.1))
    assert message == f"argument 'l': {float_refusal([0.5])}"


def test_radii_of_multi_are_sequences(caustica):
    message = message_of(lambda: caustica.multi_witt_mao_magnification([1.0], 1.0, [0.1]))
    assert message == "argument 're': 'float' object is not an instance of 'Sequence'"


def test_exact_floats_are_read_without_a_call(caustica):
    # float.__float__ cannot be replaced, so exactness shows only as equal results.
    assert caustica.heyrovsky_magnification(0.5, 1.0, 1.0, 0.1) == (
        caustica.heyrovsky_magnification(SubFloat(0.5), 1.0, 1.0, 0.1))


# ---- Renaming rule -------------------------------------------------------------------------

class Raises:
    """An item whose float() raises the exception it is given."""

    def __init__(self, exception):
        self.exception = exception

    def __float__(self):
        raise self.exception


def _caught(function, parameter, value):
    replaced = [value] if parameter in function.sequence_parameters else value
    with pytest.raises(BaseException) as caught:
        function.call(**{parameter: replaced})
    return caught.value


def test_type_error_gets_the_parameter_name_and_keeps_the_cause(function):
    for parameter in function.parameters:
        root = ValueError("root")
        raised = TypeError("not a number")
        raised.__cause__ = root
        renamed = _caught(function, parameter, Raises(raised))
        assert type(renamed) is TypeError and renamed is not raised
        assert str(renamed) == f"argument '{parameter}': not a number"
        assert renamed.__cause__ is root
        assert renamed.__suppress_context__


def test_renamed_type_error_without_cause(function):
    parameter = function.parameters[0]
    renamed = _caught(function, parameter, Raises(TypeError("plain")))
    assert renamed.__cause__ is None


class Unprintable:
    def __str__(self):
        raise RuntimeError("cannot print")


def test_renaming_an_unprintable_type_error(caustica, monkeypatch):
    reported = []
    monkeypatch.setattr(sys, "unraisablehook", reported.append)
    raised = TypeError(Unprintable())
    message = message_of(lambda: caustica.witt_mao_magnification([Raises(raised)], 1.0, 0.1))
    assert message == "argument 'l': <unprintable TypeError object>"
    assert len(reported) == 1 and reported[0].object is raised


class SpecialTypeError(TypeError):
    pass


@pytest.mark.parametrize("raised", [
    SpecialTypeError("subclass"), ValueError("value"), ZeroDivisionError("zero"),
    KeyboardInterrupt(), ArithmeticError(),
], ids=lambda e: type(e).__name__)
def test_other_exceptions_pass_through_unchanged(function, raised):
    for parameter in function.parameters:
        passed = _caught(function, parameter, Raises(raised))
        assert passed is raised
        assert str(passed) == str(raised)
    function.check_usable()


def test_a_late_item_fails_the_whole_sequence(function):
    if not function.sequence_parameters:
        pytest.skip("no sequence parameter")
    parameter = function.sequence_parameters[-1]
    with pytest.raises(ValueError, match="^late$"):
        function.call(**{parameter: [1.0, 2.0, Raises(ValueError("late"))]})
