"""The module object: its functions, their signatures, registration and import."""

import importlib
import importlib.util
import inspect
import shutil
import subprocess
import sys

import pytest

from conftest import BY_NAME, FUNCTIONS

ALL = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "multi_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]


def test_all_lists_the_functions_in_registration_order(caustica):
    assert caustica.__all__ == ALL
    assert type(caustica.__all__) is list


def test_module_docstring_is_one_sentence(caustica):
    assert isinstance(caustica.__doc__, str) and caustica.__doc__.strip()


def test_function_objects(caustica, function):
    f = getattr(caustica, function.name)
    assert f.__name__ == function.name
    assert f.__text_signature__ == "(" + ", ".join(function.parameters) + ")"
    assert f.__doc__ is None
    assert f.__self__ is caustica
    assert f.__module__ == "caustica"
    parameters = inspect.signature(f).parameters
    assert list(parameters) == list(function.parameters)
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in parameters.values())
    assert all(p.default is inspect.Parameter.empty for p in parameters.values())


def test_no_other_public_names(caustica):
    public = {name for name in vars(caustica) if not name.startswith("_")}
    assert public == set(ALL)
    # The one private name: what a pickled PanicException is rebuilt by.
    private = {name for name in vars(caustica) if name.startswith("_") and name[1] != "_"}
    assert private == {"_unpickle_panic_exception"}


def test_panic_exception_is_not_in_the_module(caustica, panic_exception):
    assert panic_exception not in vars(caustica).values()
    assert not hasattr(caustica, "PanicException")


def test_keyword_call(caustica):
    result = caustica.witt_mao_magnification(l=[1.0, 2.0], re=1.0, rstar=0.1)
    assert len(result) == 2 and all(type(x) is float for x in result)


def test_all_by_keyword_in_any_order(function):
    arguments = dict(zip(function.parameters, function.arguments()))
    function.check_result(function.callable(**dict(reversed(list(arguments.items())))))


def test_valid_call(function):
    function.check_result(function.call())


@pytest.mark.parametrize("name", [f.name for f in FUNCTIONS if f.name != "heyrovsky_magnification"
                                  and f.name != "multi_witt_mao_magnification"])
def test_empty_separations_give_an_empty_list(name):
    assert BY_NAME[name].call(l=[]) == []


def test_ring_gives_one_float(caustica):
    assert type(caustica.heyrovsky_magnification(0.5, 1.0, 1.0, 0.1)) is float


def test_multi_curves_are_re_major(caustica):
    l, re, rstar = [0.5, 1.0], [1.0, 2.0], [0.1, 0.2, 0.3]
    curves = caustica.multi_witt_mao_magnification(l, re, rstar)
    assert len(curves) == 6 and all(len(curve) == 2 for curve in curves)
    expected = [caustica.witt_mao_magnification(l, a, b) for a in re for b in rstar]
    assert curves == expected


@pytest.mark.parametrize("re, rstar", [([], [0.1]), ([1.0], []), ([], [])])
def test_multi_without_pairs_is_empty(caustica, re, rstar):
    assert caustica.multi_witt_mao_magnification([0.5], re, rstar) == []


def test_multi_without_separations_gives_empty_curves(caustica):
    assert caustica.multi_witt_mao_magnification([], [1.0, 2.0], [0.1]) == [[], []]


def test_results_are_new_lists(caustica):
    first = caustica.witt_mao_magnification([0.5], 1.0, 0.1)
    second = caustica.witt_mao_magnification([0.5], 1.0, 0.1)
    assert first == second and first is not second


def test_import_again_after_removal(caustica):
    saved = sys.modules.pop("caustica")
    try:
        again = importlib.import_module("caustica")
        assert again is not caustica
        assert again.__all__ == ALL
        for module in (caustica, again):
            f = module.witt_mao_magnification
            assert f.__self__ is module
            assert len(f([0.5, 1.5], 1.0, 0.1)) == 2
        assert again.witt_mao_magnification is not caustica.witt_mao_magnification
    finally:
        sys.modules["caustica"] = saved


def test_only_the_entry_point_is_exported(caustica):
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run([nm, "-D", "--defined-only", caustica.__file__],
                             capture_output=True, text=True, check=True).stdout
    symbols = {line.split()[-1] for line in listing.splitlines() if line.split()[1] in "TDBR"}
    assert symbols == {"PyInit_caustica"}


# The execution slot run on module objects prepared beforehand, as the import machinery would
# run it on a fresh one.

def _module_with(prepare):
    found = importlib.util.find_spec("caustica")
    module = importlib.util.module_from_spec(found)
    prepare(module)
    return found, module


def _exec(prepare):
    found, module = _module_with(prepare)
    found.loader.exec_module(module)
    return module


def test_existing_all_list_is_extended():
    module = _exec(lambda m: setattr(m, "__all__", ["existing"]))
    assert module.__all__ == ["existing"] + ALL


@pytest.mark.parametrize("value, type_name", [(5, "int"), (("x",), "tuple"), (None, "None")])
def test_all_that_is_not_a_list_fails_the_import(value, type_name):
    message = ("'None' is not an instance of 'list'" if value is None
               else f"'{type_name}' object is not an instance of 'list'")
    with pytest.raises(TypeError) as caught:
        _exec(lambda m: setattr(m, "__all__", value))
    assert str(caught.value) == message


def test_module_name_is_the_functions_module():
    module = _exec(lambda m: setattr(m, "__name__", "renamed"))
    assert module.witt_mao_magnification.__module__ == "renamed"


def test_nameless_module_fails_the_import():
    with pytest.raises(SystemError, match="^nameless module$"):
        _exec(lambda m: delattr(m, "__name__"))


def test_attribute_error_while_reading_all_makes_a_new_list():
    def missing(name):
        raise AttributeError(name)

    assert _exec(lambda m: setattr(m, "__getattr__", missing)).__all__ == ALL


def test_other_failure_while_reading_all_fails_the_import():
    def broken(name):
        raise ValueError(f"no {name} here")

    with pytest.raises(ValueError, match="^no __all__ here$"):
        _exec(lambda m: setattr(m, "__getattr__", broken))
