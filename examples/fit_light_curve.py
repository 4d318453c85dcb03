#!/usr/bin/env python3
"""Fit a simulated finite-source, limb-darkened microlensing event with least squares.

Simulates an event in which the lens crosses the source star (point lens, linear limb darkening
of coefficient c), observed at about 2000 epochs with a dense stretch across the source, with
Gaussian noise; fits t0, u0, tE, rho, the source and blend fluxes and c with
scipy.optimize.least_squares; prints the recovered parameters with their uncertainties next to
the true ones. With matplotlib installed it also draws data, model and residuals.

    python3 examples/fit_light_curve.py [--seed 1] [--figure fit_light_curve.png] [--no-figure]

Needs numpy and scipy. The run is seeded, so it prints the same numbers every time.
"""
import argparse
import functools
import math
import sys
import time

import numpy as np
from scipy.optimize import least_squares

import caustica

NAMES = ["t0", "u0", "tE", "rho", "f_source", "f_blend", "c"]
TRUE = {"t0": 9500.0, "u0": 0.008, "tE": 22.0, "rho": 0.015,
        "f_source": 1.0, "f_blend": 0.25, "c": 0.45}


def separation(t, t0, u0, tE, rho):
    """Lens-source separation in source radii at the times t (days): the lens moves on a
    straight line at impact parameter u0 (Einstein radii) and crosses an Einstein radius in tE
    days; dividing by rho = rstar / re gives source radii."""
    tau = (t - t0) / tE
    return np.hypot(u0, tau) / rho


class Event:
    """The light curve model for fixed epochs, with its two magnification curves cached."""

    def __init__(self, t):
        self.t = t
        self.evaluations = 0

    @functools.lru_cache(maxsize=16)
    def curves(self, t0, u0, tE, rho):
        """Uniform disk A_U and the profile sqrt(1 - x^2), A_mu = 2 A_0.6 - A_U. Only these
        depend on the geometry; the fluxes and c enter linearly, so changing them (as the
        finite-difference Jacobian does, one parameter at a time) reuses the curves."""
        self.evaluations += 1
        l = separation(self.t, t0, u0, tE, rho)
        uniform = np.array(caustica.witt_mao_magnification(l, 1.0, rho))
        built_in = np.array(caustica.integrated_heyrovsky_magnification(l, 1.0, rho))
        return uniform, 2 * built_in - uniform

    def flux(self, p):
        t0, u0, tE, rho, f_source, f_blend, c = p
        uniform, mu = self.curves(float(t0), float(u0), float(tE), float(rho))
        magnification = ((1 - c) * uniform + (2 * c / 3) * mu) / (1 - c / 3)
        return f_source * magnification + f_blend


def epochs(rng):
    """1600 epochs over 200 days with gaps, and 400 across the source crossing."""
    survey = np.sort(rng.uniform(TRUE["t0"] - 100, TRUE["t0"] + 100, 1600))
    half_crossing = TRUE["rho"] * TRUE["tE"] * 1.2
    dense = np.sort(rng.uniform(TRUE["t0"] - half_crossing, TRUE["t0"] + half_crossing, 400))
    return np.concatenate([survey, dense])


def simulate(seed):
    rng = np.random.default_rng(seed)
    t = epochs(rng)
    event = Event(t)
    true_flux = event.flux([TRUE[n] for n in NAMES])
    sigma = 0.004 * np.sqrt(true_flux) + 0.002  # photon noise and a floor
    return event, true_flux + rng.normal(0.0, sigma), sigma


def fit(event, observed, sigma):
    start = np.array([TRUE["t0"] + 0.05, 0.012, 19.0, 0.018, 0.9, 0.3, 0.3])
    lower = [-np.inf, 0.0, 1e-3, 1e-5, -np.inf, -np.inf, 0.0]
    upper = [np.inf, np.inf, np.inf, 10.0, np.inf, np.inf, 1.0]
    result = least_squares(lambda p: (event.flux(p) - observed) / sigma, start,
                            bounds=(lower, upper), x_scale="jac")
    covariance = np.linalg.inv(result.jac.T @ result.jac)
    return result, np.sqrt(np.diag(covariance))


def draw(path, event, observed, sigma, best):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    t0, tE = best[0], best[2]
    tau = (event.t - t0) / tE
    fine_t = np.linspace(event.t.min(), event.t.max(), 4000)
    fine_t = np.sort(np.concatenate([fine_t, np.linspace(t0 - 0.5, t0 + 0.5, 1000)]))
    model = Event(fine_t).flux(best)
    fig, axes = plt.subplots(2, 2, figsize=(10, 6), sharex="col",
                             gridspec_kw={"height_ratios": [3, 1]})
    for column, window in enumerate([None, 2 * TRUE["rho"]]):
        top, bottom = axes[0, column], axes[1, column]
        shown = slice(None) if window is None else np.abs(tau) < window
        # The data over the model, which is drawn thin and translucent so that the points
        # it passes through stay visible.
        top.errorbar(tau[shown], observed[shown], sigma[shown], fmt=".", ms=2, lw=0.5,
                     color="tab:grey", label="data", zorder=3)
        fine_tau = (fine_t - t0) / tE
        fine_shown = slice(None) if window is None else np.abs(fine_tau) < window
        top.plot(fine_tau[fine_shown], model[fine_shown], color="tab:red", lw=0.8, alpha=0.8,
                 label="fit", zorder=2)
        top.legend(loc="upper left")
        residual = (observed - event.flux(best)) / sigma
        bottom.plot(tau[shown], residual[shown], ".", ms=2, color="tab:grey")
        bottom.axhline(0.0, color="tab:red", linewidth=0.8)
        bottom.set_xlabel("(t - t0) / tE")
        bottom.set_ylabel("residual / sigma")
        top.set_title("whole event" if window is None else "across the source")
    axes[0, 0].set_ylabel("flux")
    axes[0, 0].set_yscale("log")
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    print(f"figure written to {path}")


def run(seed=1, figure=None):
    """Simulates and fits; returns the names, true values, estimates and uncertainties."""
    event, observed, sigma = simulate(seed)
    began = time.perf_counter()
    result, errors = fit(event, observed, sigma)
    seconds = time.perf_counter() - began
    chi2 = float(result.fun @ result.fun)
    print(f"{len(event.t)} epochs, fit in {seconds:.1f} s ({event.evaluations} light curves), "
          f"chi2 = {chi2:.1f} for {len(event.t) - len(NAMES)} degrees of freedom")
    print(f"{'parameter':>10} {'true':>12} {'fitted':>12} {'uncertainty':>12} {'off by':>8}")
    for name, estimate, error in zip(NAMES, result.x, errors):
        pull = (estimate - TRUE[name]) / error
        digits = max(0, 1 - math.floor(math.log10(error)))  # two significant digits of error
        print(f"{name:>10} {TRUE[name]:12.{digits}f} {estimate:12.{digits}f} {error:12.2g} "
              f"{pull:+7.2f}σ")
    gamma = 2 * result.x[6] / (3 - result.x[6])
    print(f"c = {result.x[6]:.4f} is MulensModel's Gamma = {gamma:.4f}, VBMicrolensing's a1 = c")
    if figure:
        draw(figure, event, observed, sigma, result.x)
    return NAMES, [TRUE[n] for n in NAMES], list(result.x), list(errors)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=1, help="seed of the simulated noise")
    parser.add_argument("--figure", default="fit_light_curve.png", help="where to draw the fit")
    parser.add_argument("--no-figure", action="store_true", help="do not draw the figure")
    args = parser.parse_args()
    figure = None
    if not args.no_figure:
        try:
            import matplotlib  # noqa: F401
            figure = args.figure
        except ImportError:
            print("Install matplotlib (python3 -m pip install matplotlib) to get the figure.")
    run(args.seed, figure)
    return 0


if __name__ == "__main__":
    sys.exit(main())
