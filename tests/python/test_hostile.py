"""Objects that misbehave in every way the sequence and number protocols allow.

Each call either returns a result of the right shape or raises exactly one exception, and the
next valid call succeeds. Interpreter messages are those of CPython 3.11.
"""

import sys

import pytest

from conftest import same_floats, skip_impossible_allocation_under_asan


def results_match(function, result, expected):
    if function.name == "multi_witt_mao_magnification":
        return len(result) == len(expected) and all(
            same_floats(a, b) for a, b in zip(result, expected))
    return same_floats(result, expected)


class Sequence:
    """Holds valid items; each protocol method can be made to misbehave."""

    def __init__(self, items, length=None, length_raises=None, iter_raises=None,
                 next_raises_after=None, next_raises=None, iterator=None):
        self.items = items
        self.length = len(items) if length is None else length
        self.length_raises = length_raises
        self.iter_raises = iter_raises
        self.next_raises_after = next_raises_after
        self.next_raises = next_raises
        self.iterator = iterator

    def __len__(self):
        if self.length_raises is not None:
            raise self.length_raises
        return self.length

    def __getitem__(self, index):
        return self.items[index]

    def __iter__(self):
        if self.iter_raises is not None:
            raise self.iter_raises
        if self.iterator is not None:
            return self.iterator
        return Iterator(self.items, self.next_raises_after, self.next_raises)


class Iterator:
    def __init__(self, items, raises_after, raises):
        self.items = list(items)
        self.position = 0
        self.raises_after = raises_after
        self.raises = raises

    def __iter__(self):
        return self

    def __next__(self):
        if self.raises_after is not None and self.position >= self.raises_after:
            raise self.raises
        if self.position >= len(self.items):
            raise StopIteration
        self.position += 1
        return self.items[self.position - 1]


# ---- __len__ -----------------------------------------------------------------------------------

class BadLength:
    def __index__(self):
        raise ValueError("no length")


@pytest.mark.parametrize("length_kwargs", [
    {"length_raises": ValueError("no length")},
    {"length_raises": TypeError("no length")},
    {"length_raises": OverflowError("no length")},
    {"length": -1},
    {"length": 2**100},
    {"length": BadLength()},
    {"length": 0},
    {"length": 1},
    {"length": 1000},
    {"length": 2**24},
], ids=lambda kw: repr(next(iter(kw.values()))))
def test_length_is_only_a_hint(sequence_parameter, length_kwargs):
    function, parameter = sequence_parameter
    items = function.valid(parameter)
    expected = function.call(**{parameter: items})
    result = function.call(**{parameter: Sequence(items, **length_kwargs)})
    function.check_result(result, **{parameter: items})
    assert results_match(function, result, expected)


@pytest.mark.parametrize("raised", [KeyboardInterrupt(), SystemExit(3), MemoryError("len"),
                                    LookupError("ignored")], ids=lambda e: type(e).__name__)
def test_an_interrupt_exit_or_want_of_memory_in_len_passes_through(sequence_parameter, raised):
    function, parameter = sequence_parameter
    items = function.valid(parameter)
    sequence = Sequence(items, length_raises=raised)
    if isinstance(raised, LookupError):
        assert results_match(function, function.call(**{parameter: sequence}),
                             function.call(**{parameter: items}))
        return
    with pytest.raises(type(raised)) as caught:
        function.call(**{parameter: sequence})
    assert caught.value is raised
    function.check_usable()


def test_more_items_than_the_length_said(caustica):
    sequence = Sequence([0.5] * 100, length=2)
    assert len(caustica.witt_mao_magnification(sequence, 1.0, 0.1)) == 100


@skip_impossible_allocation_under_asan
def test_room_for_a_huge_length_cannot_be_had(sequence_parameter):
    function, parameter = sequence_parameter
    items = function.valid(parameter)
    # Below the overflow limit, but no machine has 2^63 bytes to reserve.
    with pytest.raises(MemoryError):
        function.call(**{parameter: Sequence(items, length=2**60 - 1)})
    function.check_usable()


@pytest.mark.parametrize("length", [2**60, 2**62, sys.maxsize])
def test_capacity_overflow(sequence_parameter, panic_exception, length):
    function, parameter = sequence_parameter
    with pytest.raises(panic_exception) as caught:
        function.call(**{parameter: Sequence(function.valid(parameter), length=length)})
    assert caught.value.args == ("capacity overflow",)
    function.check_usable()


# ---- __iter__ and __next__ --------------------------------------------------------------------

@pytest.mark.parametrize("where", ["iter", "next"])
def test_type_error_from_iteration_is_renamed(sequence_parameter, where):
    function, parameter = sequence_parameter
    raised = TypeError("cannot iterate")
    misbehaving = ({"iter_raises": raised} if where == "iter"
                   else {"next_raises_after": 1, "next_raises": raised})
    with pytest.raises(TypeError) as caught:
        function.call(**{parameter: Sequence(function.valid(parameter), **misbehaving)})
    assert str(caught.value) == f"argument '{parameter}': cannot iterate"
    function.check_usable()


@pytest.mark.parametrize("raised", [ValueError("v"), KeyboardInterrupt(), StopAsyncIteration()],
                         ids=lambda e: type(e).__name__)
@pytest.mark.parametrize("where", ["iter", "next"])
def test_other_exceptions_from_iteration_pass_through(sequence_parameter, where, raised):
    function, parameter = sequence_parameter
    misbehaving = ({"iter_raises": raised} if where == "iter"
                   else {"next_raises_after": 1, "next_raises": raised})
    with pytest.raises(BaseException) as caught:
        function.call(**{parameter: Sequence(function.valid(parameter), **misbehaving)})
    assert caught.value is raised
    function.check_usable()


@pytest.mark.parametrize("where", ["iter", "next"])
def test_caught_panic_from_iteration(sequence_parameter, panic_exception, caught_panic, capfd,
                                     where):
    function, parameter = sequence_parameter
    misbehaving = ({"iter_raises": caught_panic} if where == "iter"
                   else {"next_raises_after": 0, "next_raises": caught_panic})
    with pytest.raises(panic_exception) as caught:
        function.call(**{parameter: Sequence(function.valid(parameter), **misbehaving)})
    assert caught.value is not caught_panic and caught.value.args == caught_panic.args
    assert "resuming a panic" in capfd.readouterr().err
    function.check_usable()


def test_iter_returning_a_non_iterator(sequence_parameter):
    function, parameter = sequence_parameter
    with pytest.raises(TypeError) as caught:
        function.call(**{parameter: Sequence([], iterator=5)})
    assert str(caught.value) == f"argument '{parameter}': iter() returned non-iterator of type 'int'"


# ---- Items ---------------------------------------------------------------------------------

class Item:
    def __init__(self, float_result=None, float_raises=None):
        self.float_result = float_result
        self.float_raises = float_raises

    def __float__(self):
        if self.float_raises is not None:
            raise self.float_raises
        return self.float_result


class IndexItem:
    def __init__(self, result=None, raises=None):
        self.result = result
        self.raises = raises

    def __index__(self):
        if self.raises is not None:
            raise self.raises
        return self.result


class FloatSubclass(float):
    pass


ITEM_FAILURES = [
    (Item(float_raises=ValueError("bad")), ValueError, "bad"),
    (Item(float_raises=ZeroDivisionError("zero")), ZeroDivisionError, "zero"),
    (Item(float_raises=TypeError("bad")), TypeError, "argument '{}': bad"),
    (Item(float_result=1), TypeError,
     "argument '{}': Item.__float__ returned non-float (type int)"),
    (Item(float_result="1.0"), TypeError,
     "argument '{}': Item.__float__ returned non-float (type str)"),
    (Item(float_result=None), TypeError,
     "argument '{}': Item.__float__ returned non-float (type NoneType)"),
    (IndexItem(raises=ValueError("index")), ValueError, "index"),
    (IndexItem(raises=TypeError("index")), TypeError, "argument '{}': index"),
    (IndexItem(result="3"), TypeError, "argument '{}': __index__ returned non-int (type str)"),
    (IndexItem(result=10**400), OverflowError, "int too large to convert to float"),
    (object(), TypeError, "argument '{}': must be real number, not object"),
    # pytest turns warnings into errors here: the deprecation is then raised as it is.
    (Item(float_result=FloatSubclass(1.0)), DeprecationWarning,
     "Item.__float__ returned non-float (type FloatSubclass).  The ability to return an "
     "instance of a strict subclass of float is deprecated, and may be removed in a future "
     "version of Python."),
]


@pytest.mark.parametrize("item, exception, text", ITEM_FAILURES,
                         ids=lambda x: type(x).__name__ if not isinstance(x, str) else "")
def test_items_that_fail_float(function, item, exception, text):
    for parameter in function.parameters:
        value = [1.0, item] if parameter in function.sequence_parameters else item
        with pytest.raises(exception) as caught:
            function.call(**{parameter: value})
        assert type(caught.value) is exception
        assert str(caught.value) == text.format(parameter)
    function.check_usable()


def test_deprecated_float_subclass_is_accepted_when_only_warned(caustica):
    with pytest.warns(DeprecationWarning):
        result = caustica.witt_mao_magnification([Item(float_result=FloatSubclass(0.5))], 1.0, 0.1)
    assert result == caustica.witt_mao_magnification([0.5], 1.0, 0.1)


def test_index_items_are_values(caustica):
    assert caustica.witt_mao_magnification([IndexItem(result=2)], 1.0, 0.1) == (
        caustica.witt_mao_magnification([2.0], 1.0, 0.1))


def test_caught_panic_from_an_item(sequence_parameter, panic_exception, caught_panic, capfd):
    function, parameter = sequence_parameter
    with pytest.raises(panic_exception) as caught:
        function.call(**{parameter: [Item(float_raises=caught_panic)]})
    assert caught.value.args == caught_panic.args
    assert "resuming a panic" in capfd.readouterr().err
    function.check_usable()


# ---- Sequences that change while read -----------------------------------------------------------

class Growing(list):
    """A list that appends to itself while it is iterated."""

    def __iter__(self):
        for index, value in enumerate(list.__iter__(self)):
            if index < 50:
                self.append(value)
            yield value


def test_sequence_growing_while_read(caustica):
    result = caustica.witt_mao_magnification(Growing([0.5, 1.5]), 1.0, 0.1)
    assert len(result) == 52


class Shrinking:
    def __init__(self):
        self.items = [0.5, 1.5, 2.5]

    def __len__(self):
        return 3

    def __getitem__(self, index):
        if index >= len(self.items):
            raise IndexError(index)
        value = self.items[index]
        self.items.pop()
        return value


def test_sequence_shrinking_while_read(caustica):
    assert len(caustica.witt_mao_magnification(Shrinking(), 1.0, 0.1)) == 2


class Mutates:
    """An item whose __float__ changes the plain list that holds it: empties it (dropping the
    list's reference to the item while it converts) or appends to it."""

    def __init__(self, target, how):
        self.target, self.how = target, how

    def __float__(self):
        if self.how == "clear":
            self.target.clear()
        else:
            self.target.append(3.5)
        return 2.0


@pytest.mark.parametrize("how, read", [("clear", [0.5, 2.0]), ("append", [0.5, 2.0, 1.5, 2.5, 3.5])])
def test_plain_list_changed_by_an_item_is_read_as_iteration_reads_it(caustica, how, read):
    items = [0.5]
    items += [Mutates(items, how), 1.5, 2.5]
    assert caustica.witt_mao_magnification(items, 1.0, 0.1) == caustica.witt_mao_magnification(read, 1.0, 0.1)
