"""The examples in examples/ run and deliver what they print."""
import importlib.util
import os
import subprocess
import sys
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"

# Under the sanitizers every process is many times slower and the ASan runtime is not fork-safe;
# the examples start worker processes and run a whole fit.
pytestmark = pytest.mark.skipif(bool(os.environ.get("CAUSTICA_SANITIZERS")),
                                reason="the examples are run by the plain build's tests")


def load(name):
    path = EXAMPLES / f"{name}.py"
    if not path.is_file():
        pytest.skip(f"no {path}")
    module_spec = importlib.util.spec_from_file_location(f"example_{name}", path)
    module = importlib.util.module_from_spec(module_spec)
    module_spec.loader.exec_module(module)
    return module


@pytest.mark.parametrize("c", [0.0, 0.6])
def test_limb_darkening_helper_gives_the_built_in_profiles(c):
    import caustica

    example = load("limb_darkening")
    l = [0.0, 0.3, 0.999, 1.0, 1.001, 2.5, 40.0]
    helper = example.linear_limb_darkening_magnification(l, 1.0, 0.05, c)
    if c == 0.0:
        assert helper == caustica.witt_mao_magnification(l, 1.0, 0.05)
    else:
        built_in = caustica.integrated_heyrovsky_magnification(l, 1.0, 0.05)
        assert max(abs(h / b - 1) for h, b in zip(helper, built_in)) <= 4.5e-16


@pytest.mark.slow
def test_fit_recovers_every_parameter_within_four_sigma(capsys):
    pytest.importorskip("scipy")
    example = load("fit_light_curve")
    names, true, fitted, errors = example.run(seed=1, figure=None)
    assert len(names) == 7
    for name, t, f, e in zip(names, true, fitted, errors):
        assert 0 < e and abs(f - t) <= 4 * e, (name, t, f, e)
    assert "uncertainty" in capsys.readouterr().out


@pytest.mark.slow
def test_many_events_on_two_dask_workers_equal_a_serial_loop_bit_for_bit():
    pytest.importorskip("distributed")
    run = subprocess.run(
        [sys.executable, str(EXAMPLES / "many_events_dask.py"), "--workers", "2",
         "--events", "12", "--epochs", "300"],
        capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stdout + run.stderr
    assert "identical bit for bit: yes" in run.stdout
