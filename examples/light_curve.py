#!/usr/bin/env python3
"""Magnification along a straight lens trajectory across a source star.

Prints the uniform-disk and the limb-darkened (linear, coefficient 0.6) magnification for a
small source, and, when matplotlib is installed, draws both for several source sizes with their
ratio into a PNG whose path it prints.

    python3 examples/light_curve.py [--rho 0.01] [--impact 0.5] [--figure light_curve.png]
"""
import argparse
import math
import sys

import caustica


def trajectory(impact, half_length, points):
    """Lens-source separations, in source radii, along a straight line past the source centre."""
    return [math.hypot(impact, -half_length + 2 * half_length * i / (points - 1))
            for i in range(points)]


def print_table(rho, impact):
    times = [-1.5 + 0.1 * i for i in range(31)]
    l = [math.hypot(impact, t) for t in times]
    uniform = caustica.witt_mao_magnification(l, 1.0, rho)
    darkened = caustica.integrated_heyrovsky_magnification(l, 1.0, rho)
    print(f"rho = {rho}, impact parameter {impact} source radii (time in source-radius crossings)")
    print(f"{'t':>6} {'l':>8} {'uniform':>12} {'limb-darkened':>14}")
    for t, x, a, b in zip(times, l, uniform, darkened):
        print(f"{t:6.2f} {x:8.4f} {a:12.4f} {b:14.4f}")


def draw(path, impact):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    half_length = 2.0
    t = [-half_length + 2 * half_length * i / 400 for i in range(401)]
    l = trajectory(impact, half_length, len(t))
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(7, 6),
                                      gridspec_kw={"height_ratios": [3, 1.4]})
    for rho, colour in [(0.01, "tab:blue"), (0.1, "tab:orange"), (1.0, "tab:green")]:
        uniform = caustica.witt_mao_magnification(l, 1.0, rho)
        darkened = caustica.integrated_heyrovsky_magnification(l, 1.0, rho)
        top.plot(t, uniform, color=colour, linestyle="--", label=f"uniform, rho = {rho}")
        top.plot(t, darkened, color=colour, label=f"limb-darkened, rho = {rho}")
        bottom.plot(t, [b / a for a, b in zip(uniform, darkened)], color=colour)
    top.set_yscale("log")
    top.set_ylabel("magnification")
    top.legend(fontsize=8)
    top.set_title(f"Point lens crossing a source star, impact parameter {impact} source radii")
    bottom.axhline(1.0, color="grey", linewidth=0.5)
    bottom.set_ylabel("limb-darkened / uniform")
    bottom.set_xlabel("lens position along the trajectory (source radii)")
    fig.tight_layout()
    fig.savefig(path, dpi=120)
    print(f"figure written to {path}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rho", type=float, default=0.01, help="source radius in Einstein radii")
    parser.add_argument("--impact", type=float, default=0.5, help="impact parameter, source radii")
    parser.add_argument("--figure", default="light_curve.png", help="where to write the figure")
    args = parser.parse_args()

    print_table(args.rho, args.impact)
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("\nInstall matplotlib (python3 -m pip install matplotlib) to get the figure.")
        return 0
    draw(args.figure, args.impact)
    return 0


if __name__ == "__main__":
    sys.exit(main())
