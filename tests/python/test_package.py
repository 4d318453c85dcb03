"""The module as a package: its installed version, and a typed stub that agrees with it."""
import ast
import importlib.metadata
import importlib.util
import inspect
import os
import re
import subprocess
import sys
import sysconfig
import textwrap
from pathlib import Path

import pytest

import caustica
from conftest import UNDER_ASAN

ROOT = Path(__file__).resolve().parents[2]
MODULE_FILE = Path(caustica.__file__).resolve()


def installed_distribution():
    """The distribution whose files include the module that was imported, or None when the
    module comes from a build tree (or another copy than the installed one)."""
    try:
        distribution = importlib.metadata.distribution("caustica")
    except importlib.metadata.PackageNotFoundError:
        return None
    for file in distribution.files or ():
        if Path(distribution.locate_file(file)).resolve() == MODULE_FILE:
            return distribution
    return None


INSTALLED = installed_distribution()
# Set by tools/check_wheel.sh: the module must come from an installed wheel, so the tests that
# need one fail instead of being skipped.
EXPECT_INSTALLED = os.environ.get("CAUSTICA_EXPECT_INSTALLED") == "1"
needs_installed = pytest.mark.skipif(
    INSTALLED is None and not EXPECT_INSTALLED,
    reason="module imported from a build tree, not installed")


def project_version():
    """The version in pyproject.toml, the one place where it is written."""
    pyproject = ROOT / "pyproject.toml"
    if not pyproject.is_file():
        pytest.skip("no pyproject.toml beside the tests")
    project = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", pyproject.read_text(), re.M | re.S)
    assert project, "pyproject.toml has no [project] table"
    version = re.search(r'^version\s*=\s*"([^"]+)"\s*$', project.group(1), re.M)
    assert version, "pyproject.toml has no version in [project]"
    return version.group(1)


def stub_path():
    """The stub that type checkers see: the installed one when the module is installed."""
    if INSTALLED is not None:
        return MODULE_FILE.parent / "caustica.pyi"
    return ROOT / "src" / "lib" / "caustica.pyi"


def stub_tree():
    return ast.parse(stub_path().read_text(), filename=str(stub_path()))


def stub_functions():
    return [node for node in stub_tree().body
            if isinstance(node, ast.FunctionDef) and not node.name.startswith("_")]


def stub_all():
    for node in stub_tree().body:
        if isinstance(node, ast.Assign) and [t.id for t in node.targets
                                             if isinstance(t, ast.Name)] == ["__all__"]:
            return ast.literal_eval(node.value)
    raise AssertionError("the stub has no __all__")


STUB_FUNCTIONS = {node.name: node for node in stub_functions()}


@pytest.mark.skipif(not EXPECT_INSTALLED, reason="only when checking an installed wheel")
def test_the_module_comes_from_an_installed_distribution():
    site_packages = Path(sysconfig.get_paths()["platlib"]).resolve()
    assert MODULE_FILE.parent == site_packages
    assert INSTALLED is not None, f"no installed distribution owns {MODULE_FILE}"


@needs_installed
def test_installed_version_is_the_project_version():
    assert INSTALLED is not None, f"no installed distribution owns {MODULE_FILE}"
    assert importlib.metadata.version("caustica") == project_version()
    assert caustica.__name__ == INSTALLED.metadata["Name"]


def test_version_attribute_is_the_project_version():
    assert caustica.__version__ == project_version()
    if INSTALLED is not None:
        assert caustica.__version__ == INSTALLED.version


def test_panic_report_names_the_source_file_relative_to_the_source_tree(capfd):
    class CapacityOverflow:
        def __len__(self):
            return sys.maxsize

        def __getitem__(self, index):
            raise IndexError(index)

    with pytest.raises(BaseException) as caught:
        caustica.witt_mao_magnification(CapacityOverflow(), 1.0, 0.1)
    assert type(caught.value).__name__ == "PanicException"
    report = capfd.readouterr().err
    assert re.search(r"panicked at src/lib/boundary/arguments\.cpp:\d+:\d+:\n", report), report
    if not UNDER_ASAN:  # the sanitizers' source locations keep the full path
        assert str(ROOT).encode() not in MODULE_FILE.read_bytes()


@needs_installed
def test_the_stub_is_installed_beside_the_module_and_as_a_stub_package():
    assert INSTALLED is not None, f"no installed distribution owns {MODULE_FILE}"
    beside = MODULE_FILE.parent / "caustica.pyi"
    package = MODULE_FILE.parent / "caustica-stubs" / "__init__.pyi"
    assert beside.is_file()
    assert package.is_file()
    assert package.read_bytes() == beside.read_bytes()
    source = ROOT / "src" / "lib" / "caustica.pyi"
    if source.is_file():
        assert beside.read_bytes() == source.read_bytes()


def test_all_lists_exactly_the_functions_of_the_stub_in_order():
    assert caustica.__all__ == stub_all()
    assert list(STUB_FUNCTIONS) == caustica.__all__
    for name in caustica.__all__:
        assert callable(getattr(caustica, name))


@pytest.mark.parametrize("name", sorted(STUB_FUNCTIONS))
def test_stub_signature_matches_the_runtime_signature(name):
    stub = STUB_FUNCTIONS[name].args
    assert not stub.posonlyargs and not stub.kwonlyargs and not stub.defaults
    assert stub.vararg is None and stub.kwarg is None
    runtime = inspect.signature(getattr(caustica, name)).parameters.values()
    assert [p.name for p in runtime] == [a.arg for a in stub.args]
    for parameter in runtime:
        assert parameter.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD, parameter
        assert parameter.default is inspect.Parameter.empty, parameter


@pytest.mark.parametrize("name", sorted(STUB_FUNCTIONS))
def test_stub_documents_every_function_and_parameter(name):
    doc = ast.get_docstring(STUB_FUNCTIONS[name])
    assert doc
    for argument in STUB_FUNCTIONS[name].args.args:
        assert f":param {argument.arg}:" in doc
    assert ":returns:" in doc


SAMPLES = {
    "witt_mao_magnification": ([0.5, 2.0], 1.0, 0.1),
    "integrated_witt_mao_magnification": ([0.5, 2.0], 1.0, 0.1),
    "integrated_flux_map_witt_mao_magnification": ([0.5, 2.0], 1.0, 0.1, [0.0, 1.0], [1.0, 0.4]),
    "multi_witt_mao_magnification": ([0.5, 2.0], [1.0, 2.0], [0.1, 0.2, 0.3]),
    "heyrovsky_magnification": (0.5, 0.8, 1.0, 0.1),
    "integrated_heyrovsky_magnification": ([0.5, 2.0], 1.0, 0.1),
    "integrated_flux_map_heyrovsky_magnification": ([0.5, 2.0], 1.0, 0.1, [0.0, 1.0], [1.0, 0.4]),
    "discrete_flux_map_heyrovsky_magnification": ([0.5, 2.0], 1.0, 0.1, [0.3, 0.9], [1.0, 0.4]),
}


def matches(value, annotation):
    """Whether a value has the type written in the stub as float, list[float] or
    list[list[float]]."""
    if isinstance(annotation, ast.Name) and annotation.id == "float":
        return type(value) is float
    if (isinstance(annotation, ast.Subscript) and isinstance(annotation.value, ast.Name)
            and annotation.value.id == "list"):
        return type(value) is list and all(matches(v, annotation.slice) for v in value)
    raise AssertionError(f"unexpected return annotation {ast.dump(annotation)}")


def test_samples_cover_every_function():
    assert sorted(SAMPLES) == sorted(caustica.__all__)


@pytest.mark.parametrize("name", sorted(SAMPLES))
def test_results_have_the_type_the_stub_promises(name):
    result = getattr(caustica, name)(*SAMPLES[name])
    assert matches(result, STUB_FUNCTIONS[name].returns)
    if isinstance(result, list):
        assert result, "a sample with an empty result proves nothing"


# Each line marked "rejected" must be a type error, and no other line may be one; the other
# lines also run.
TYPING_SAMPLE = '''
    from array import array
    from fractions import Fraction

    import numpy as np
    import numpy.typing as npt

    import caustica

    grid: npt.NDArray[np.float64] = np.linspace(0.0, 2.0, 5, dtype=np.float64)
    a: list[float] = caustica.witt_mao_magnification(grid, np.float64(1.0), np.float32(0.1))
    b: list[float] = caustica.witt_mao_magnification(np.arange(3), 1, Fraction(1, 10))
    c: list[float] = caustica.witt_mao_magnification(b"\\x01\\x02", 1, 0.1)
    d: list[float] = caustica.integrated_witt_mao_magnification(range(3), 1, 0.1)
    e: list[float] = caustica.integrated_heyrovsky_magnification(array("d", [1.0]), 1, 0.1)
    f: list[list[float]] = caustica.multi_witt_mao_magnification((1, 2.0), grid, [0.1])
    g: float = caustica.heyrovsky_magnification(grid[1], r=0.5, re=1, rstar=0.1)
    h: list[float] = caustica.discrete_flux_map_heyrovsky_magnification(
        [1.0], 1.0, 0.1, bl=grid, bf=grid)
    caustica.witt_mao_magnification("0.5", 1.0, 0.1)  # rejected
    caustica.witt_mao_magnification(5, 1.0, 0.1)  # rejected
    caustica.witt_mao_magnification({1.0}, 1.0, 0.1)  # rejected
    caustica.witt_mao_magnification(["1"], 1.0, 0.1)  # rejected
    caustica.witt_mao_magnification([1.0], "1", 0.1)  # rejected
    caustica.heyrovsky_magnification([1.0], 1.0, 1.0, 0.1)  # rejected
    caustica.multi_witt_mao_magnification([1.0], 1.0, [0.1])  # rejected
    caustica.witt_mao_magnification([1.0], 1.0)  # rejected
    caustica.witt_mao_magnification([1.0], 1.0, 0.1, rho=0.1)  # rejected
    i: float = caustica.witt_mao_magnification([1.0], 1.0, 0.1)  # rejected
'''


@pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")
def test_mypy_accepts_what_the_module_accepts_and_rejects_the_rest(tmp_path):
    pytest.importorskip("numpy")
    source = tmp_path / "sample.py"
    source.write_text(textwrap.dedent(TYPING_SAMPLE))
    command = [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
               "--cache-dir", str(tmp_path / "cache"), "--python-executable", sys.executable,
               str(source)]
    environment = dict(os.environ)
    if INSTALLED is None:  # a build tree: point mypy at the stub in the sources
        environment["MYPYPATH"] = str(stub_path().parent)
    run = subprocess.run(command, capture_output=True, text=True, cwd=tmp_path, env=environment)
    lines = source.read_text().splitlines()
    expected = {n for n, line in enumerate(lines, 1) if line.endswith("# rejected")}
    reported = {int(m.group(1)) for m in re.finditer(r"^[^:\n]*sample\.py:(\d+): error:",
                                                      run.stdout, re.M)}
    assert reported == expected, run.stdout + run.stderr

    accepted = "\n".join(line for line in lines if not line.endswith("# rejected"))
    exec(compile(accepted, str(source), "exec"), {})
