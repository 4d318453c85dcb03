#!/usr/bin/env python3
"""Prints the README's accuracy table, measured against the mpmath references in tests/data.

Every row is the worst relative error of the module over one reference table (the elliptic
rows: the worst error in ulp that the C++ accuracy tests print, from their own references). The
README holds the same table between the lines

    <!-- accuracy-report: begin -->   and   <!-- accuracy-report: end -->

    PYTHONPATH=build/python python3 tools/accuracy_report.py            # print the table
    PYTHONPATH=build/python python3 tools/accuracy_report.py --check    # README up to date?
    PYTHONPATH=build/python python3 tools/accuracy_report.py --write    # regenerate it there

The elliptic rows need the C++ tests built (tools/run_tests.sh builds them in build/; another
directory with --build DIR). --check exits 1, showing the difference, when the README's table
is not what this prints.
"""
import argparse
import difflib
import math
import re
import subprocess
import sys
from pathlib import Path

import caustica

ROOT = Path(__file__).resolve().parents[1]
DATA = ROOT / "tests" / "data"
BEGIN, END = "<!-- accuracy-report: begin -->", "<!-- accuracy-report: end -->"
LIMB_BAND = 1e-2  # |l - 1| at most this, the lens on the limb included


def rows(name):
    for line in (DATA / name).read_text().splitlines():
        if line and not line.startswith("#"):
            yield line.split()


def relative(value, reference):
    return abs(value - reference) / abs(reference)


def grouped(cases):
    """{key: ([l...], [reference...])} from (key, l, reference) triples, in file order."""
    groups = {}
    for key, l, reference in cases:
        ls, references = groups.setdefault(key, ([], []))
        ls.append(l)
        references.append(reference)
    return groups


def worst(function_of_key, cases, where=lambda l: True):
    """Worst relative error of function_of_key(key, ls) over the cases whose l passes where."""
    result = 0.0
    for key, (ls, references) in grouped(cases).items():
        for l, reference, value in zip(ls, references, function_of_key(key, ls)):
            if where(l):
                result = max(result, relative(value, reference))
    return result


def span(values):
    values = sorted(set(values))
    return f"{fmt_number(values[0])} to {fmt_number(values[-1])}"


def fmt_number(x):
    if x == 0:
        return "0"
    if x == int(x) and abs(x) < 1e4:
        return str(int(x))
    exponent = math.floor(math.log10(abs(x)))
    mantissa = x / 10.0 ** exponent
    return f"1e{exponent}" if abs(mantissa - 1) < 1e-9 else f"{x:g}"


def fmt_error(e):
    return f"{e:.1e}"


def built_in(route):
    return lambda rho, ls: route(ls, 1.0, rho)


def linear_law(route):
    def of(key, ls):
        c, rho = key
        uniform = caustica.witt_mao_magnification(ls, 1.0, rho)
        a06 = route(ls, 1.0, rho)
        return [((1 - c) * u + (2 * c / 3) * (2 * a - u)) / (1 - c / 3) for u, a in zip(uniform, a06)]
    return of


def tables():
    result = {}
    for fields in rows("flux_map_tables.txt"):
        name, n = fields[0], int(fields[2])
        result[name] = ([float(v) for v in fields[3:3 + n]], [float(v) for v in fields[3 + n:3 + 2 * n]])
    return result


SWITCH_PROBES = [b - 10.0 ** -k for b in (3.0, 5.0, 10.0) for k in range(1, 13)]


def reference_disk(l, rho):
    """The uniform disk at 40 digits, by the closed form the reference tables were made with."""
    sys.path.insert(0, str(ROOT / "tools"))
    import mpmath
    from gen_magnification_reference import DPS, disk

    mpmath.mp.dps = DPS
    return disk(l, rho)


def python_rows():
    disk = [(float(rho), float(l), float(A)) for rho, l, A in rows("witt_mao_reference.txt")]
    uniform = lambda rho, ls: caustica.witt_mao_magnification(ls, 1.0, rho)
    in_band = lambda l: abs(l - 1) <= LIMB_BAND
    yield (f"uniform disk, `rho` {span(r for r, _, _ in disk)}, `l` {span(l for _, l, _ in disk)}, "
           f"the limb band (`l = 1 ± 10^-14 ... 10^-2`) included",
           f"{fmt_error(worst(uniform, disk))} ({fmt_error(worst(uniform, disk, in_band))} "
           "in the limb band)")

    probe = sorted({float(r) for r, _, _ in disk} & {1e-4, 1e-3, 1e-2, 0.1, 1.0})
    near = [(rho, l, float(reference_disk(l, rho))) for rho in probe for l in SWITCH_PROBES]
    yield (f"uniform disk between the table's points, just inside `l = 3`, `l = 5` and `l = 10` "
           f"(`3 − 10^-k`, `5 − 10^-k`, `10 − 10^-k`, k = 1 … 12; `rho` {span(probe)}; mpmath when "
           "the report runs)",
           fmt_error(worst(uniform, near)))

    ring = [(float(l), float(r), float(rho), float(A)) for l, r, rho, A in rows("ring_reference.txt")]
    ring_worst = max(relative(caustica.heyrovsky_magnification(l, r, 1.0, rho), A)
                     for l, r, rho, A in ring)
    closest = min(abs(r - l) / r for l, r, _, _ in ring if r > 0 and l != r)
    yield (f"ring, `rho` {span(rho for _, _, rho, _ in ring)}, off the ring itself and up to "
           f"{closest:.0e} of its radius from it", fmt_error(ring_worst))

    darkened = [(float(rho), float(l), float(A))
                for name in ("limb_darkened_reference.txt", "limb_darkened_extra_reference.txt",
                             "limb_darkened_centre.txt")
                for rho, l, A in rows(name)]
    grid = (f"`rho` {span(r for r, _, _ in darkened)}, `l` {span(l for _, l, _ in darkened)}: "
            "the centre, `l = 1 ± 10^-k`, the limb, the far field, and separations between them")
    yield (f"limb-darkened 0.6, from disks ({grid})",
           fmt_error(worst(built_in(caustica.integrated_witt_mao_magnification), darkened)))
    yield ("limb-darkened 0.6, from rings (same grid)",
           fmt_error(worst(built_in(caustica.integrated_heyrovsky_magnification), darkened)))

    law = [((float(c), float(rho)), float(l), float(A)) for c, rho, l, A in rows("linear_law_reference.txt")]
    coefficients = " and ".join(fmt_number(c) for c in sorted({c for (c, _), _, _ in law}))
    yield (f"any linear coefficient by the identity above (c = {coefficients}), from rings / disks",
           f"{fmt_error(worst(linear_law(caustica.integrated_heyrovsky_magnification), law))} / "
           f"{fmt_error(worst(linear_law(caustica.integrated_witt_mao_magnification), law))}")

    bl_bf = tables()
    profiles = [((name, float(rho)), float(l), float(A)) for name, rho, l, A in rows("flux_map_reference.txt")]
    by = lambda f: lambda key, ls: f(ls, 1.0, key[1], *bl_bf[key[0]])
    yield (f"tabulated profiles ({', '.join(bl_bf)}), from rings / disks",
           f"{fmt_error(worst(by(caustica.integrated_flux_map_heyrovsky_magnification), profiles))} / "
           f"{fmt_error(worst(by(caustica.integrated_flux_map_witt_mao_magnification), profiles))}")

    sys.path.insert(0, str(ROOT / "examples"))
    from limb_darkening_laws import law_table

    dense = [(float(rho), float(l), float(A)) for rho, l, A in rows("dense_table_reference.txt")]
    table = law_table("quadratic", (0.4, 0.3), 1000)
    of = lambda f: lambda rho, ls: f(ls, 1.0, rho, *table)
    yield ("a 1000-point quadratic-law table at `sin θ` radii, against its exact piecewise-linear "
           "profile, from rings / disks",
           f"{fmt_error(worst(of(caustica.integrated_flux_map_heyrovsky_magnification), dense))} / "
           f"{fmt_error(worst(of(caustica.integrated_flux_map_witt_mao_magnification), dense))}")

    annuli = [((float(rho), float(w)), float(l), float(A))
              for rho, w, l, A in rows("narrow_annulus_reference.txt")]
    lit = lambda f: lambda key, ls: f(ls, 1.0, key[0], [0.5, 0.5 + key[1]], [1.0, 1.0])
    widths = ", ".join(f"{w:.0e}" for w in sorted({w for (_, w), _, _ in annuli}, reverse=True))
    yield (f"lit annuli `bl = [0.5, 0.5 + w]` of widths w = {widths}, from rings / disks",
           f"{fmt_error(worst(lit(caustica.integrated_flux_map_heyrovsky_magnification), annuli))} / "
           f"{fmt_error(worst(lit(caustica.integrated_flux_map_witt_mao_magnification), annuli))}")


def routes_agree():
    """Worst relative difference of the two limb-darkened routes every 0.01 source radii out to
    25 and next to the limb, for rho = 1e-3, 0.1 and 10 (as the suite checks it)."""
    l = [k / 100 for k in range(2501)] + [1 + d * 10.0 ** -k for k in range(2, 15) for d in (-3, -1, 1, 3)]
    result = 0.0
    for rho in (1e-3, 0.1, 10.0):
        rings = caustica.integrated_heyrovsky_magnification(l, 1.0, rho)
        disks = caustica.integrated_witt_mao_magnification(l, 1.0, rho)
        result = max(result, max(abs(b - a) / a for a, b in zip(rings, disks)))
    return result


WORST_LINE = re.compile(r"^\[  worst   \] (.*)$", re.M)


def gtest_worst(binary, test_filter):
    run = subprocess.run([str(binary), f"--gtest_filter={test_filter}"], capture_output=True,
                         text=True, check=False)
    if run.returncode != 0:
        sys.exit(f"accuracy_report.py: {binary.name} failed:\n{run.stdout}{run.stderr}")
    return WORST_LINE.findall(run.stdout)


def elliptic_rows(build):
    binary = build / "tests" / "cpp" / "test_elliptic"
    if not binary.is_file():
        sys.exit(f"accuracy_report.py: no {binary}: build the C++ tests (tools/run_tests.sh) "
                 "or name their build directory with --build")
    groups, at = {}, {}
    for line in gtest_worst(binary, "Elliptic/Accuracy.*"):
        name, ulp, where = re.match(r"(\S+)\s+([0-9.]+) ulp at \(([^)]*)\)", line).groups()
        groups[name], at[name] = float(ulp), [float(x) for x in where.split(",")]
    pi = max(v for k, v in groups.items() if k.startswith("ellippi"))
    # The test's K group reaches down to m = -10; its worst point tells whether 0 <= m < 1 has it.
    k_range = "0 ≤ m < 1" if 0 <= at["ellipk"][0] < 1 else "−10 ≤ m < 1"
    yield (f"`ellipk` ({k_range}), `ellipe` (0 ≤ m < 1), `ellippi` (every characteristic n)",
           f"{groups['ellipk']:.1f}, {groups['ellipe']:.1f} and {pi:.1f} ulp")
    fused = gtest_worst(binary, "FusedIntegrals.WithinEightUlpOverTheKernelsRange")
    k, e, p = re.match(r"K ([0-9.]+), E ([0-9.]+), Pi ([0-9.]+) ulp", fused[0]).groups()
    yield ("K, E and Π together in one loop, as the kernels use them",
           f"{float(k):.1f}, {float(e):.1f} and {float(p):.1f} ulp")


def report(build):
    lines = ["| quantity | worst error |", "|---|---|"]
    for quantity, error in [*elliptic_rows(build), *python_rows()]:
        lines.append(f"| {quantity} | {error} |")
    lines.append("")
    lines.append("The two limb-darkened functions compute the same quantity by independent routes "
                 f"and agree to {fmt_error(routes_agree())} over `l` from 0 to 25 and next to the "
                 "limb (`rho` = 0.001, 0.1 and 10).")
    return "\n".join(lines) + "\n"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--check", action="store_true", help="exit 1 unless README.md holds this table")
    mode.add_argument("--write", action="store_true", help="write the table into README.md")
    parser.add_argument("--build", type=Path, default=ROOT / "build",
                        help="build directory of the C++ tests (default: build)")
    parser.add_argument("--readme", type=Path, default=ROOT / "README.md")
    args = parser.parse_args(argv)
    table = report(args.build)
    if not (args.check or args.write):
        sys.stdout.write(table)
        return 0
    text = args.readme.read_text(encoding="utf-8")
    found = re.search(re.escape(BEGIN) + r"\n(.*?)" + re.escape(END), text, re.S)
    if not found:
        sys.exit(f"accuracy_report.py: {args.readme} has no {BEGIN} ... {END}")
    if args.check:
        if found.group(1) == table:
            print(f"{args.readme.name}: the accuracy table is up to date")
            return 0
        sys.stdout.writelines(difflib.unified_diff(
            found.group(1).splitlines(True), table.splitlines(True), "README.md", "measured"))
        print(f"{args.readme.name}: the accuracy table is stale; regenerate it with "
              "tools/accuracy_report.py --write", file=sys.stderr)
        return 1
    args.readme.write_text(text[:found.start(1)] + table + text[found.end(1):], encoding="utf-8")
    print(f"{args.readme.name}: accuracy table written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
