#!/usr/bin/env python3
"""Writes src/numeric/log_gauss_rules.hpp: generalized Gaussian rules on [0, 1] for an integrand
with a logarithmic end point at t = 0 (Ma, Rokhlin and Wandzura 1996).

- LOG_END_n: n nodes exact for a(t) + b(t) ln t with deg a, deg b < n (a ring's magnification
  next to the lens);
- T_LOG_END_n: n nodes exact for a(t) + t b(t) ln t with deg a, deg b < n (a disk's, whose
  logarithm comes with a factor of the distance).

Each rule solves the 2n moment equations sum w_i f(t_i) = integral of f over [0, 1] for its 2n
functions. Newton on them straight from Gauss-Legendre stalls; what works is a Muntz
continuation. The span of t^j (j < n) and t^(k + c + beta) (k < n; c = 0, or 1 for the t log
family) is, at beta = n - c, the polynomials of degree < 2n, whose Gaussian rule is
Gauss-Legendre; beta then goes down to 0, each step starting Newton from the rule before it.
Where an exponent e comes within 1/2 of an integer m already in the span, its function is the
divided difference (t^e - t^m) / (e - m), the same span but well conditioned, which is t^m ln t
at e = m. The last function of the t log family has m = n, not in the span of the powers: it is
the divided difference all the way.

Each rule is solved at PRECISION digits to a residual of 1e-50 and again from there at
CHECK_PRECISION digits; both must round to the same doubles.

Usage: python3 tools/gen_log_gauss_rules.py [output path]
"""

import sys
from pathlib import Path

import mpmath
from mpmath import mpf

SIZES = range(4, 17)
PRECISION = 60
CHECK_PRECISION = 90
DEFAULT_OUTPUT = Path(__file__).resolve().parent.parent / "src" / "numeric" / "log_gauss_rules.hpp"


def basis(n, c, beta):
    """The 2n functions as (e, m): t^e when m is None, else (t^e - t^m) / (e - m)."""
    functions = [(mpf(j), None) for j in range(n)]
    for k in range(n):
        e = k + c + beta
        m = int(mpmath.nint(e))
        if k + c >= n:
            functions.append((e, k + c))
        elif abs(e - m) < 0.5 and m < n:
            functions.append((e, m))
        else:
            functions.append((e, None))
    return functions


def value_and_slope(f, t):
    e, m = f
    L = mpmath.log(t)
    if m is None:
        v = mpmath.exp(e * L)
        return v, e * v / t
    d = e - m
    tm = mpmath.power(t, m)
    if d == 0:
        return tm * L, tm / t * (m * L + 1)
    q = mpmath.expm1(d * L) / d
    return tm * q, tm / t * (m * q + mpmath.exp(d * L))


def moment(f):
    e, m = f
    if m is None:
        return 1 / (e + 1)
    return -1 / ((e + 1) * (m + 1))


def residual(functions, t, w):
    rows = []
    for f in functions:
        rows.append(sum(wi * value_and_slope(f, ti)[0] for ti, wi in zip(t, w)) - moment(f))
    return mpmath.matrix(rows)


def admissible(t, w):
    return (all(0 < a < b for a, b in zip(t, t[1:])) and 0 < t[0] and t[-1] < 1
            and all(x > 0 for x in w))


def newton(functions, t, w, tolerance, iterations=30):
    """(t, w) solving the moment equations, or None when Newton leaves the admissible rules."""
    n = len(t)
    r = residual(functions, t, w)
    for _ in range(iterations):
        if mpmath.norm(r, mpmath.inf) < tolerance:
            return t, w
        J = mpmath.zeros(2 * n, 2 * n)
        for row, f in enumerate(functions):
            for i in range(n):
                v, dv = value_and_slope(f, t[i])
                J[row, i] = dv * w[i]
                J[row, n + i] = v
        delta = mpmath.lu_solve(J, -r)
        step = mpf(1)
        norm = mpmath.norm(r, mpmath.inf)
        while True:
            t1 = [t[i] + step * delta[i] for i in range(n)]
            w1 = [w[i] + step * delta[n + i] for i in range(n)]
            if admissible(t1, w1):
                r1 = residual(functions, t1, w1)
                if mpmath.norm(r1, mpmath.inf) < norm or step == 1:
                    break
            step /= 2
            if step < mpf(2) ** -20:
                return None
        t, w, r = t1, w1, r1
    return (t, w) if mpmath.norm(r, mpmath.inf) < tolerance else None


def gauss_legendre(n):
    # Golub-Welsch on [0, 1] from the Legendre recurrence.
    J = mpmath.zeros(n, n)
    for i in range(n):
        J[i, i] = mpf(1) / 2
        if i + 1 < n:
            k = i + 1
            J[i, i + 1] = J[i + 1, i] = mpmath.sqrt(mpf(k * k) / (4 * (4 * k * k - 1)))
    E, Q = mpmath.eigsy(J)
    pairs = sorted((E[i], Q[0, i] ** 2) for i in range(n))
    return [p[0] for p in pairs], [p[1] for p in pairs]


def continued(n, c):
    """The rule of the family at PRECISION digits, continued from Gauss-Legendre."""
    with mpmath.workdps(PRECISION):
        t, w = gauss_legendre(n)
        beta, step = mpf(n - c), mpf(1) / 4
        loose = mpf(10) ** -(PRECISION // 2)
        while beta > 0:
            target = max(beta - step, mpf(0))
            solved = newton(basis(n, c, target), t, w, loose)
            if solved is None:
                step /= 2
                if step < mpf(10) ** -6:
                    sys.exit(f"n = {n}, c = {c}: the continuation stalls at beta = {beta}")
                continue
            t, w = solved
            beta, step = target, min(step * 3 / 2, mpf(1))
        solved = newton(basis(n, c, mpf(0)), t, w, mpf(10) ** -50)
        if solved is None:
            sys.exit(f"n = {n}, c = {c}: Newton does not reach 1e-50")
        return solved


def checked(n, c):
    t, w = continued(n, c)
    doubles = [(float(x), float(y)) for x, y in zip(t, w)]
    with mpmath.workdps(CHECK_PRECISION):
        again = newton(basis(n, c, mpf(0)), [mpf(x) for x in t], [mpf(y) for y in w],
                       mpf(10) ** -80)
    if again is None:
        sys.exit(f"n = {n}, c = {c}: Newton at {CHECK_PRECISION} digits fails")
    if doubles != [(float(x), float(y)) for x, y in zip(*again)]:
        sys.exit(f"n = {n}, c = {c}: rounding differs between {PRECISION} and {CHECK_PRECISION} digits")
    return doubles


def table(name, pairs):
    rows = "\n".join(f"    {{{x!r}, {w!r}}}," for x, w in pairs)
    return f"inline constexpr std::array<Node, {len(pairs)}> {name} = {{{{\n{rows}\n}}}};\n"


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_OUTPUT
    parts = [
        "// Generated by tools/gen_log_gauss_rules.py (mpmath, Muntz continuation from Gauss-Legendre,\n"
        f"// Newton at {PRECISION} digits, checked at {CHECK_PRECISION}); do not edit.\n"
        "// Generalized Gaussian rules on [0, 1], {node, weight}, nodes ascending: LOG_END_n is exact\n"
        "// for a(t) + b(t) ln t, T_LOG_END_n for a(t) + t b(t) ln t, with deg a, deg b < n.\n"
        "#pragma once\n\n#include <array>\n\n#include \"numeric/gauss_rules.hpp\"\n\n"
        "namespace caustica::numeric::gauss {\n\n"
    ]
    for c, name in ((0, "LOG_END"), (1, "T_LOG_END")):
        for n in SIZES:
            parts.append(table(f"{name}_{n}", checked(n, c)))
            print(f"{name}_{n}", file=sys.stderr, flush=True)
    parts.append("\n}  // namespace caustica::numeric::gauss\n")
    out.write_text("".join(parts))


if __name__ == "__main__":
    main()
