#!/usr/bin/env python3
"""Writes tests/data/tanh_sinh_reference.txt: definite integrals to 40 digits with mpmath.

Each row names an integrand known to the C++ test, the limits as doubles (the reference is
taken over exactly those doubles, so pi stands for 3.141592653589793), the target error the
test passes to integrate, and the integral by mpmath.quad (tanh-sinh, split into six panels)
at 100 and at 150 significant digits; the two must agree to 45 digits before 40 are printed.
End-point singularities need the higher precision: mpmath's own node range is truncated too.

Usage: python3 tools/gen_quadrature_reference.py [output path]
"""

import sys
from pathlib import Path

import mpmath

ROOT = Path(__file__).resolve().parent.parent
DEFAULT_OUTPUT = ROOT / "tests" / "data" / "tanh_sinh_reference.txt"
PI_DOUBLE = 3.141592653589793

INTEGRANDS = {
    "one": lambda x: mpmath.mpf(1),
    "cubic": lambda x: x**3 - 2 * x + 1,
    "exp": mpmath.exp,
    "sin": mpmath.sin,
    "cos": mpmath.cos,
    "runge": lambda x: 1 / (1 + 25 * x**2),
    "gauss": lambda x: mpmath.exp(-x * x),
    "cos10": lambda x: mpmath.cos(10 * x),
    "quarter_circle": lambda x: mpmath.sqrt(1 - x * x),
    "log": mpmath.log,
    "inv_sqrt": lambda x: 1 / mpmath.sqrt(x),
    # The linear limb-darkening profile with the coefficient as the double 0.6.
    "limb_flux": lambda r: 2 * mpmath.pi * r * (1 - mpmath.mpf(0.6) * (1 - mpmath.sqrt(1 - r * r))),
}

# (integrand, a, b, target_error)
CASES = [
    ("one", 0.0, 1.0, 1e-16),
    ("cubic", -1.0, 2.0, 1e-12),
    ("exp", 0.0, 1.0, 1e-16),
    ("exp", 1.0, 0.0, 1e-16),
    ("exp", -2.0, 3.0, 1e-10),
    ("sin", 0.0, PI_DOUBLE, 1e-12),
    ("cos", 0.0, 1.0, 1e-14),
    ("runge", -1.0, 1.0, 1e-12),
    ("gauss", -3.0, 3.0, 1e-12),
    ("cos10", 0.0, 3.0, 1e-12),
    ("quarter_circle", 0.0, 1.0, 1e-16),
    ("log", 0.0, 1.0, 1e-12),
    ("inv_sqrt", 0.0, 1.0, 1e-10),
    ("limb_flux", 0.0, 1.0, 1e-16),
]


def quad_at(digits, name, a, b):
    with mpmath.workdps(digits):
        return mpmath.quad(INTEGRANDS[name], mpmath.linspace(mpmath.mpf(a), mpmath.mpf(b), 7))


def reference(name, a, b):
    value, check = quad_at(100, name, a, b), quad_at(150, name, a, b)
    with mpmath.workdps(150):
        if abs(value - check) > mpmath.mpf(10) ** -45 * max(1, abs(check)):
            raise SystemExit(f"{name} on [{a}, {b}]: no 45 digits at 100-digit precision")
    return check


def main():
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_OUTPUT
    lines = [
        "# integrand a b target_error integral; integral by tools/gen_quadrature_reference.py"
        " (mpmath.quad at 100 and 150 digits over the exact double limits), 40 digits"
    ]
    for name, a, b, target in CASES:
        with mpmath.workdps(150):
            integral = mpmath.nstr(reference(name, a, b), 40)
        lines.append(f"{name} {a!r} {b!r} {target!r} {integral}")
    output.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
