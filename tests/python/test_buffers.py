"""Arrays of doubles are read straight from their buffer; callers see the same values as iteration.

Everything else (other dtypes, strided or 2-D arrays, other formats) takes the sequence rule,
with its messages. numpy's own messages are taken from the running numpy, whose wording moves
between versions.
"""

import array
import ctypes
import math
import struct

import numpy as np
import pytest

from conftest import float_refusal, same_floats

SPECIAL = [0.5, -0.0, 0.0, 5e-324, 2.2250738585072014e-308, 1.7976931348623157e308,
           math.inf, -math.inf, math.nan, -1.0, 1.0, 1e-300, 3.0, 0.999999999999]
NAN_WITH_PAYLOAD = struct.unpack("<d", struct.pack("<Q", 0x7FF8_0000_DEAD_BEEF))[0]


def bits(values):
    return struct.pack(f"<{len(values)}d", *values)


def result_bits(result):
    if result and isinstance(result[0], list):
        return b"".join(bits(curve) for curve in result)
    return bits(result)


def outcome(function, **replaced):
    """The result's bits, or the error a driver reported for these values."""
    try:
        return result_bits(function.call(**replaced))
    except RuntimeError as error:
        return error.args


def test_float64_values_bit_for_bit(sequence_parameter):
    function, parameter = sequence_parameter
    values = SPECIAL + [NAN_WITH_PAYLOAD] if parameter == "l" else function.valid(parameter)
    through_list = outcome(function, **{parameter: list(values)})
    through_buffer = outcome(function, **{parameter: np.array(values, dtype=np.float64)})
    assert through_buffer == through_list


def _ctypes_doubles(values):
    return (ctypes.c_double * len(values))(*values)


NATIVE_DOUBLE_EXPORTERS = {
    "numpy": lambda v: np.array(v, dtype=np.float64),
    "numpy-fortran": lambda v: np.asfortranarray(np.array(v, dtype=np.float64)),
    "numpy-subclass": lambda v: np.array(v, dtype=np.float64).view(type("Plain", (np.ndarray,), {})),
    "array": lambda v: array.array("d", v),
    "memoryview": lambda v: memoryview(array.array("d", v)),
    "memoryview-cast": lambda v: memoryview(bits(v)).cast("d"),
    "ctypes": _ctypes_doubles,  # format "<d"
    "numpy-slice": lambda v: np.array([9.0] + list(v) + [9.0])[1:-1],
}


@pytest.mark.parametrize("make", NATIVE_DOUBLE_EXPORTERS.values(),
                         ids=NATIVE_DOUBLE_EXPORTERS.keys())
def test_native_double_buffers(caustica, make):
    values = SPECIAL
    exporter = make(values)
    expected = caustica.witt_mao_magnification(values, 1.0, 0.1)
    assert result_bits(caustica.witt_mao_magnification(exporter, 1.0, 0.1)) == result_bits(expected)


def test_ctypes_format_is_little_endian_double():
    assert memoryview(_ctypes_doubles([1.0])).format == "<d"


def test_readonly_array(caustica):
    values = np.array([0.5, 1.5])
    values.flags.writeable = False
    assert caustica.witt_mao_magnification(values, 1.0, 0.1) == (
        caustica.witt_mao_magnification([0.5, 1.5], 1.0, 0.1))


@pytest.mark.parametrize("make", [
    lambda: np.array([], dtype=np.float64), lambda: array.array("d"),
    lambda: memoryview(b"").cast("d"),
], ids=["numpy", "array", "memoryview"])
def test_empty_buffers(caustica, make):
    assert caustica.witt_mao_magnification(make(), 1.0, 0.1) == []


OTHER_LAYOUTS = {
    "float32": lambda v: np.array(v, dtype=np.float32),
    "float16": lambda v: np.array(v, dtype=np.float16),
    "int64": lambda v: np.array(v, dtype=np.int64),
    "uint8": lambda v: np.array(v, dtype=np.uint8),
    "bool": lambda v: np.array([x != 0 for x in v]),
    "big-endian": lambda v: np.array(v, dtype=">f8"),
    "longdouble": lambda v: np.array(v, dtype=np.longdouble),
    "object": lambda v: np.array(v, dtype=object),
    "strided": lambda v: np.repeat(np.array(v, dtype=np.float64), 2)[::2],
    "reversed": lambda v: np.array(v[::-1], dtype=np.float64)[::-1],
    "array-f": lambda v: array.array("f", v),
    "memoryview-B": lambda v: memoryview(bytes(int(x) for x in v)),
}


@pytest.mark.parametrize("make", OTHER_LAYOUTS.values(), ids=OTHER_LAYOUTS.keys())
def test_other_layouts_read_as_their_items(caustica, make):
    exporter = make([1.0, 2.0, 3.0])
    expected = caustica.witt_mao_magnification([float(x) for x in exporter], 1.0, 0.1)
    assert same_floats(caustica.witt_mao_magnification(exporter, 1.0, 0.1), expected)


def test_two_dimensional_array_takes_the_sequence_rule(sequence_parameter):
    function, parameter = sequence_parameter
    # Its items are the rows, which numpy's __float__ refuses.
    with pytest.raises(TypeError) as caught:
        function.call(**{parameter: np.ones((3, 2))})
    assert str(caught.value) == f"argument '{parameter}': {float_refusal(np.ones(2))}"
    function.check_usable()


def test_zero_dimensional_array(sequence_parameter):
    function, parameter = sequence_parameter
    with pytest.raises(TypeError) as caught:
        function.call(**{parameter: np.array(1.0)})
    assert str(caught.value) == f"argument '{parameter}': iteration over a 0-d array"


def test_two_dimensional_memoryview(caustica):
    view = memoryview(bits([1.0, 2.0, 3.0, 4.0])).cast("d", (2, 2))
    with pytest.raises(NotImplementedError):
        caustica.witt_mao_magnification(view, 1.0, 0.1)


# ---- Python overrides are honoured -----------------------------------------------------------

class Doubled(np.ndarray):
    def __iter__(self):
        return (2.0 * float(x) for x in np.ndarray.__iter__(self))


class Indexed(np.ndarray):
    def __getitem__(self, index):
        return 3.0 * float(np.ndarray.__getitem__(self, index))


class ArrayDoubled(array.array):
    def __iter__(self):
        return (2.0 * x for x in array.array.__iter__(self))


class NoIteration(np.ndarray):
    __iter__ = None


class Mixin:
    def __iter__(self):
        return iter([0.25])


class LateOverride(np.ndarray, Mixin):
    pass


class EarlyOverride(Mixin, np.ndarray):
    pass


@pytest.mark.parametrize("make, expected", [
    (lambda: np.array([0.5, 1.0]).view(Doubled), [1.0, 2.0]),
    (lambda: np.array([0.5, 1.0]).view(Indexed), [1.5, 3.0]),
    (lambda: ArrayDoubled("d", [0.5, 1.0]), [1.0, 2.0]),
    (lambda: np.array([0.5, 1.0]).view(LateOverride), [0.5, 1.0]),
    (lambda: np.array([0.5, 1.0]).view(EarlyOverride), [0.25]),
], ids=["ndarray-iter", "ndarray-getitem", "array-iter", "mixin-after", "mixin-before"])
def test_overrides_in_python_are_used(caustica, make, expected):
    assert caustica.witt_mao_magnification(make(), 1.0, 0.1) == (
        caustica.witt_mao_magnification(expected, 1.0, 0.1))


def test_iteration_switched_off(caustica):
    with pytest.raises(TypeError) as caught:
        caustica.witt_mao_magnification(np.array([0.5]).view(NoIteration), 1.0, 0.1)
    assert str(caught.value) == "argument 'l': 'NoIteration' object is not iterable"


def test_str_is_still_refused_first(caustica):
    with pytest.raises(TypeError, match="^argument 'l': Can't extract `str` to `Vec`$"):
        caustica.witt_mao_magnification("1.0", 1.0, 0.1)


def test_buffer_is_released(caustica):
    values = np.array([0.5, 1.5])
    caustica.witt_mao_magnification(values, 1.0, 0.1)
    values.resize(4, refcheck=False)  # refused while any buffer is still exported
    buffer = bytearray(bits([0.5, 1.5]))
    caustica.witt_mao_magnification(memoryview(buffer).cast("d"), 1.0, 0.1)
    buffer.extend(b"x")  # likewise


def test_released_memoryview(caustica):
    view = memoryview(array.array("d", [0.5]))
    view.release()
    with pytest.raises(ValueError, match="^operation forbidden on released memoryview object$"):
        caustica.witt_mao_magnification(view, 1.0, 0.1)
    assert len(caustica.witt_mao_magnification([0.5], 1.0, 0.1)) == 1
