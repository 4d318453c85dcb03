"""compare.py's one-thread section: caustica on a pool of one thread against VBMicrolensing.

compare.py runs this file in a subprocess with RAYON_NUM_THREADS=1 (the pool reads it once, when it
starts), after filling the reference cache; the subprocess prints the section's lines and its
targets as one JSON object. ESPLLightCurve runs on one thread as it is shipped.

For rho in ONE_THREAD_RHOS, on the near-source and the realistic curves of 10^4 points: the uniform
disk (witt_mao_magnification on a float64 array against ESPLLightCurve with a1 = 0) and both
limb-darkened functions (against ESPLLightCurve with a1 = 0.6), run in turn; caustica's time over
VBMicrolensing's, and each one's worst relative error on the curve's sample.
"""

import json
import sys
import warnings

from contenders import caustica_contenders, pick, vbm_contenders
from light_curves import (REALISTIC_IMPACT, Curve, format_error, light_curve, realistic_curve,
                          realistic_subsample, references, subsample, worst_error)
from timing import at_most, format_spread, paired_runs, sample_values, times

ONE_THREAD_RHOS = [1e-3, 1e-2, 0.1, 1.0, 10.0]
POINTS = 10**4
# The targets, time over ESPLLightCurve's on one thread.
UNIFORM_TARGET = 0.5
LD_TARGETS = {"near-source": 1.0, "realistic": 0.5}
LARGE_SOURCE_TARGET = 3.0  # rho = 10, limb-darkened, both curves

# (caustica's key, the peer's key, the reference kind, the row's name)
FUNCTIONS = [("witt_mao array", "ESPLLightCurve", "disk", "uniform"),
             ("integrated_heyrovsky", "ESPLLightCurve a1", "ld", "LD rings"),
             ("integrated_witt_mao", "ESPLLightCurve a1", "ld", "LD disks")]


def curves(rho):
    """(name, the timed curve, the error sample) for both curves."""
    t, l = realistic_curve(POINTS, rho)
    sample_l, sample_t = realistic_subsample(rho, POINTS)
    return [("near-source", Curve(light_curve(POINTS), rho), Curve(subsample(), rho)),
            ("realistic", Curve(l, rho, REALISTIC_IMPACT, t), Curve(sample_l, rho, REALISTIC_IMPACT, sample_t))]


def reference_tasks():
    tasks = []
    for rho in ONE_THREAD_RHOS:
        for _, _, sample in curves(rho):
            tasks += [(kind, rho, float(l)) for kind in ("disk", "ld") for l in sample.l]
    return tasks


def target_of(curve, kind, rho):
    if kind == "disk":
        return UNIFORM_TARGET
    return LARGE_SOURCE_TARGET if rho > 1 else LD_TARGETS[curve]


def measure(quick):
    refs = references(reference_tasks())
    contenders = caustica_contenders() + vbm_contenders()
    lines = [f"| rho | curve | function | caustica, one thread | ESPLLightCurve | time over its time | "
             f"caustica's worst rel. error | ESPLLightCurve's | target |", "|---|---|---|---|---|---|---|---|---|"]
    ratios = {}
    for rho in ONE_THREAD_RHOS:
        for curve, timed, sample in curves(rho):
            for ours_key, peer_key, kind, name in FUNCTIONS:
                ours, peer = pick(contenders, ours_key), pick(contenders, peer_key)
                if not (ours.available and peer.available):
                    lines.append(f"| {rho:g} | {curve} | {name} | unavailable: {ours.why or peer.why} | | | | | |")
                    continue
                f, g = ours.make(rho), peer.make(rho)
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore")
                    m = paired_runs({"ours": lambda: f(timed), "peer": lambda: g(timed)}, POINTS,
                                    0.0 if quick else 2.0, least=2 if quick else 3, most=2 if quick else 7)
                    errors = [format_error(worst_error(sample_values(h, sample), kind, rho, sample.l, refs))
                              for h in (f, g)]
                ratio = m["ours"][0] / m["peer"][0]
                target = target_of(curve, kind, rho)
                ratios.setdefault((curve, name), []).append((rho, ratio, target))
                lines.append(f"| {rho:g} | {curve} | {name} | {format_spread(m['ours'])} | {format_spread(m['peer'])} | "
                             f"{times(ratio)} | {errors[0]} | {errors[1]} | {at_most(ratio, target)} |")
                print(lines[-1], file=sys.stderr, flush=True)
    targets = []
    for (curve, name), rows in ratios.items():
        measured = " / ".join(times(r) for _, r, _ in rows) + " (rho = " + " / ".join(f"{rho:g}" for rho, _, _ in rows) + ")"
        wanted = " / ".join(f"{t:g}" for _, _, t in rows)
        status = "met" if all(r <= t for _, r, t in rows) else "short: " + ", ".join(
            f"rho {rho:g} {at_most(r, t)}" for rho, r, t in rows if r > t)
        targets.append((f"{name}, {curve} curve, 10^4 points, one thread: time over ESPLLightCurve's",
                        measured, f"≤ {wanted}", status))
    return {"lines": lines, "targets": targets}


if __name__ == "__main__":
    print(json.dumps(measure("--quick" in sys.argv)))
