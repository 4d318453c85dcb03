"""Every dispatch path of the kernels' lanes gives the same bits through the Python functions.

Each path is forced by CAUSTICA_SIMD in a fresh interpreter (it is read once per process), which
hashes the results of benchmarks/bit_identity.py's Python groups, of the discrete flux map and
of uniform-disk light curves in time order (whose blocks hold the closed form's points and the
far-field series' side by side, with the series' length changing from point to point) and of a
dense table on both routes (its breakpoints summed by cells, its tails in lanes); the
hashes must match the scalar path's. The C++ tests call each path directly on the reference
grids and fuzzed inputs; this checks the drivers over them, the integrating ones included.
"""

import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

BENCHMARKS = Path(__file__).resolve().parents[2] / "benchmarks"

HASH_SCRIPT = textwrap.dedent("""
    import hashlib, json, math, random
    import bit_identity, caustica
    groups = bit_identity.python_groups()
    rng = random.Random(9)
    l = bit_identity.python_inputs()[:3000]
    bl = sorted(rng.uniform(0.0, 1.0) for _ in range(150)) + [1.0]
    bf = [1.0 - 0.6 * (1.0 - (1.0 - r * r) ** 0.5) for r in bl]
    flux = []
    for rstar in (1e-3, 0.1, 3.0):
        flux += caustica.discrete_flux_map_heyrovsky_magnification(
            [x for x in l if x >= 0], 1.0, rstar, bl, bf)
    groups["discrete_flux_map"] = bit_identity.pack(flux)
    curves = []
    for rho in (1e-3, 0.01, 0.1, 0.7, 1.0, 10.0):
        t = [-1.5 + 3.0 * i / 4999 for i in range(5000)]
        curves += caustica.witt_mao_magnification(
            [((0.5 * rho) ** 2 + s * s) ** 0.5 / rho for s in t], 1.0, rho)
    groups["light_curves"] = bit_identity.pack(curves)
    # A dense table, whose long plan pieces sum their breakpoints by cells, on both routes.
    n = 3000
    bl = [math.sin(math.pi / 2 * j / (n - 1)) for j in range(n)]
    mu = [(1.0 - r * r) ** 0.5 for r in bl]
    bf = [1.0 - 0.4 * (1.0 - m) - 0.3 * (1.0 - m) ** 2 for m in mu]
    tables = []
    for rho in (1e-3, 0.1, 3.0):
        for f in (caustica.integrated_flux_map_heyrovsky_magnification,
                  caustica.integrated_flux_map_witt_mao_magnification):
            tables += f([0.0, 0.3, 0.999, 1.0, 1.2, 2.5, 40.0], 1.0, rho, bl, bf)
    groups["dense_tables"] = bit_identity.pack(tables)
    print(json.dumps({name: hashlib.sha256(data).hexdigest() for name, data in groups.items()}))
""")


def hashes(path):
    import json
    env = dict(os.environ, CAUSTICA_SIMD=path,
               PYTHONPATH=os.pathsep.join([str(BENCHMARKS)] + [p for p in sys.path if p]))
    done = subprocess.run([sys.executable, "-c", HASH_SCRIPT], capture_output=True, text=True,
                          env=env, timeout=300)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


@pytest.mark.slow
def test_every_path_gives_the_scalar_bits():
    scalar = hashes("scalar")
    assert len(scalar) == 8
    # A path the processor cannot run, or an unknown name, leaves the widest it runs.
    for path in ("baseline", "avx2", "avx512", "no-such-path"):
        assert hashes(path) == scalar, path
