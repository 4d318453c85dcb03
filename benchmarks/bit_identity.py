"""Check that every result is unchanged, bit for bit, after a change meant only for speed.

    python3 benchmarks/bit_identity.py [--binary PATH] [--record] [--keep DIR] [--against DIR]

The results of the kernels, the drivers and the elliptic integrals over large fixed input sets
come from the bit_dump program (configure with -DCAUSTICA_BENCHMARKS=ON and build the target
bit_dump); the Python functions are called on their own input set through the module on
PYTHONPATH (lists and float64 arrays, NaN, negative, huge and near-limb values included). Each
group is hashed, and the hashes are compared with benchmarks/bit_identity.json.

--record    writes the hashes of this build as the new expectation (do this only on a build whose
            results are known to be right, before the change)
--keep DIR  keeps the raw records in DIR; --against DIR then names the first record that differs
            from those kept earlier, with its index.

The hashes hold for the C library the expectation was recorded with (glibc's log, atan, asin and
pow enter the results); on another platform record first, then change.
"""

import argparse
import hashlib
import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
EXPECTED = HERE / "bit_identity.json"
DEFAULT_BINARY = HERE.parent / "build-bench" / "benchmarks" / "bit_dump"
RECORD = 9  # one tag byte, eight payload bytes


def python_inputs():
    """Separations for the module's functions: the edges of the domain and random values."""
    rng = random.Random(7)
    edge = [0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 1e-300, 5e-324, 1e300, 1.7976931348623157e308,
            math.inf, -math.inf, math.nan, 1.0 + 2**-52, 1.0 - 2**-53, 1.0 + 1e-5, 1.0 - 1e-5,
            1.0 + 0.99e-5, 1.0 + 1.01e-5, 0.9, 1.1, 100.0]
    values = list(edge)
    while len(values) < 20000:
        kind = rng.randrange(5)
        if kind == 0:
            values.append(rng.uniform(0.0, 5.0))
        elif kind == 1:
            values.append(10.0 ** rng.uniform(-8, 8))
        elif kind == 2:
            values.append(1.0 + rng.choice((-1.0, 1.0)) * 10.0 ** rng.uniform(-16, -0.5))
        elif kind == 3:
            values.append(-rng.uniform(0.0, 3.0))
        else:
            values.append(struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0])
    return values


def pack(values):
    """Records in bit_dump's layout; a raised exception is recorded by its type and text."""
    out = bytearray()
    for v in values:
        if isinstance(v, float):
            out += b"\0" + struct.pack("<d", v)
        else:
            out += b"\1" + hashlib.sha256(repr(v).encode()).digest()[:8]
    return bytes(out)


def call(function, *args):
    try:
        return function(*args)
    except Exception as error:  # the error itself is part of the result
        return (type(error).__name__, str(error))


def python_groups():
    import caustica

    try:
        import numpy
    except ImportError:
        numpy = None
    l = python_inputs()
    groups = {}
    disk = []
    for re, rstar in [(1.0, 1e-3), (1.0, 0.01), (1.0, 0.1), (1.0, 1.0), (1.0, 10.0), (7.0, 0.3),
                      (1.0, 0.0), (1.0, -0.1)]:
        disk += caustica.witt_mao_magnification(l, re, rstar)
        if numpy is not None:
            as_array = caustica.witt_mao_magnification(numpy.array(l, dtype=numpy.float64), re, rstar)
            assert pack(as_array) == pack(disk[-len(l):]), "array and list results differ"
    groups["py_witt_mao_magnification"] = disk
    rng = random.Random(8)
    ring = []
    for i in range(20000):
        x = l[i]
        r = rng.uniform(0.0, 1.0) if i % 3 else (x + rng.choice((-1, 1)) * 10.0 ** rng.uniform(-12, -1))
        ring.append(call(caustica.heyrovsky_magnification, x, r, 1.0, 10.0 ** rng.uniform(-4, 1)))
    groups["py_heyrovsky_magnification"] = ring
    sample = l[:60]
    for name in ("integrated_witt_mao_magnification", "integrated_heyrovsky_magnification"):
        function = getattr(caustica, name)
        groups["py_" + name] = [v for rho in (1e-3, 0.1, 1.0) for v in function(sample, 1.0, rho)]
    multi = caustica.multi_witt_mao_magnification(l[:2000], [1.0, 2.0], [0.01, 0.1, 1.0])
    groups["py_multi_witt_mao_magnification"] = [v for curve in multi for v in curve]
    return {name: pack(values) for name, values in groups.items()}


def native_groups(binary, directory):
    subprocess.run([str(binary), str(directory)], check=True)
    return {p.stem: p.read_bytes() for p in sorted(Path(directory).glob("*.bin"))}


def first_difference(old, new):
    for i in range(0, min(len(old), len(new)), RECORD):
        if old[i:i + RECORD] != new[i:i + RECORD]:
            return i // RECORD
    return min(len(old), len(new)) // RECORD


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", default=str(DEFAULT_BINARY))
    parser.add_argument("--record", action="store_true")
    parser.add_argument("--keep")
    parser.add_argument("--against")
    args = parser.parse_args()

    if args.keep:
        Path(args.keep).mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        groups = native_groups(args.binary, args.keep or scratch)
    python = python_groups()
    groups.update(python)
    if args.keep:
        for name, data in python.items():
            Path(args.keep, name + ".bin").write_bytes(data)
    digests = {name: hashlib.sha256(data).hexdigest() for name, data in sorted(groups.items())}
    counts = {name: len(data) // RECORD for name, data in groups.items()}

    if args.record:
        EXPECTED.write_text(json.dumps(digests, indent=2) + "\n")
        print(f"recorded {len(digests)} groups, {sum(counts.values())} results, in {EXPECTED}")
        return 0

    expected = json.loads(EXPECTED.read_text())
    failures = 0
    for name in sorted(set(expected) | set(digests)):
        if expected.get(name) == digests.get(name):
            print(f"same       {name} ({counts[name]} results)")
            continue
        failures += 1
        where = ""
        if args.against and name in groups and Path(args.against, name + ".bin").exists():
            where = f": first difference at record {first_difference(Path(args.against, name + '.bin').read_bytes(), groups[name])}"
        print(f"DIFFERENT  {name}{where}")
    print("bit-identical" if failures == 0 else f"{failures} groups differ")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
