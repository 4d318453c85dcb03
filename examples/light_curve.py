#!/usr/bin/env python3
"""Magnification along a straight lens trajectory across a source star.

Prints the uniform-disk and the limb-darkened (linear, coefficient 0.6) magnification for a
small source, and, when matplotlib is installed, draws the light curves of three sources of
different sizes, and the ratio of limb-darkened to uniform, into a PNG whose path it prints.

    python3 examples/light_curve.py [--rho 0.01] [--impact 0.5] [--figure light_curve.png]
"""
import argparse
import math
import sys

import caustica


def print_table(rho, impact):
    times = [-1.5 + 0.1 * i for i in range(31)]
    l = [math.hypot(impact, t) for t in times]
    uniform = caustica.witt_mao_magnification(l, 1.0, rho)
    darkened = caustica.integrated_heyrovsky_magnification(l, 1.0, rho)
    print(f"rho = {rho}, impact parameter {impact} source radii (time in source-radius crossings)")
    print(f"{'t':>6} {'l':>8} {'uniform':>12} {'limb-darkened':>14}")
    for t, x, a, b in zip(times, l, uniform, darkened):
        print(f"{t:6.2f} {x:8.4f} {a:12.4f} {b:14.4f}")


def draw(path, u0=0.02, rhos=(0.05, 0.1, 0.3), colours=("tab:blue", "tab:orange", "tab:green")):
    """The light curves of a lens passing u0 Einstein radii from the centre of sources of radius
    rho (Einstein radii), against (t - t0) / tE, the distance travelled in Einstein radii."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.ticker import FuncFormatter, LogLocator, NullFormatter

    tau = [-0.4 + 0.8 * i / 800 for i in range(801)]
    fig, (top, bottom) = plt.subplots(2, 1, sharex=True, figsize=(9, 6),
                                      gridspec_kw={"height_ratios": [3, 1.6]})
    for rho, colour in zip(rhos, colours):
        l = [math.hypot(u0, x) / rho for x in tau]  # separation in source radii
        uniform = caustica.witt_mao_magnification(l, 1.0, rho)
        darkened = caustica.integrated_heyrovsky_magnification(l, 1.0, rho)
        top.plot(tau, uniform, color=colour, linestyle="--", label=f"uniform, rho = {rho}")
        top.plot(tau, darkened, color=colour, label=f"limb-darkened (linear, 0.6), rho = {rho}")
        bottom.plot(tau, [b / a for a, b in zip(uniform, darkened)], color=colour,
                    label=f"rho = {rho}")
    top.set_yscale("log")
    # Plain numbers at 1, 2, 5, 10, ... rather than powers of ten with factors ("4x10^1").
    top.yaxis.set_major_locator(LogLocator(base=10, subs=(1.0, 2.0, 5.0)))
    top.yaxis.set_major_formatter(FuncFormatter(lambda y, _: f"{y:g}"))
    top.yaxis.set_minor_formatter(NullFormatter())
    top.set_ylabel("magnification")
    top.set_title(f"Point lens passing a source star at u0 = {u0} Einstein radii; source radius "
                  "rho in Einstein radii;\nlimb darkening linear, I(x) = 1 - 0.6 (1 - sqrt(1 - x²))",
                  fontsize=10)
    bottom.axhline(1.0, color="grey", linewidth=0.5)
    bottom.set_ylabel("limb-darkened / uniform")
    bottom.set_xlabel("(t - t0) / tE")
    # Beside the panels, so that no legend hides a curve.
    top.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    bottom.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    fig.tight_layout()
    fig.savefig(path, dpi=110)
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
    draw(args.figure)
    return 0


if __name__ == "__main__":
    sys.exit(main())
