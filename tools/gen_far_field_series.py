#!/usr/bin/env python3
"""Generates src/lib/magnification/far_field_series.hpp: the uniform-disk magnification far
outside the source as the disk average of the point-source magnification A(u),

    A_disk(u, rho) = sum_k (rho^2 / 4)^k / (k! (k + 1)!) Lap^k A(u),

the mean-value expansion in two dimensions (Lap the radial Laplacian d2/du2 + (1/u) d/du, which
in y = u^2 is 4 d/dy (y d/dy)). Lap^k A = N_k(y) / (u^(2k+1) (y + 4)^(2k + 1/2)) for a polynomial
N_k of degree 2k - 1, found here by that recursion in exact rationals, and with q = (rho / u)^2
= 1 / x^2 and w = y / (y + 4),

    A_disk = ((y + 2) + sum_k q^k R_k(w) / (y + 4)) / (u sqrt(y + 4)),
    R_k(w) = N_k(y) / ((y + 4)^(2k - 1) 4^k k! (k + 1)!),    a polynomial of degree 2k - 1 in w.

Term k is q^k R_k(w) (1 - w)^2 / (8 (1 + w)) of the leading term, at most B_k q^k with
B_k = R_k(0) / 8 (the largest over w in [0, 1], checked here), and B_k falls with k; so the
terms beyond the K-th add at most B_(K+1) q^(K+1) / (1 - q). Q_FOR_TERMS[K] is the largest q
(rounded down to three digits) at which that is below 1e-17 of the result, a tenth of its
rounding: K terms are exact to rounding there. TERMS reaches down to the switch from the closed
form, x = FAR_FIELD. For a small source w is small too (w < u^2 / 4), and the high powers of w
in R_k do not count: W_FOR_DEGREES[J - 1] is the largest w at which the powers from w^J on,
of all TERMS polynomials at q = 1 / FAR_FIELD^2, add below 1e-17 (by the sum of |c_kj| w^j q^k
/ 8). Both cuts together leave the result within 2e-17 of the whole series.

The coefficients of R_k are exact rationals, written as correctly rounded doubles; the script
checks the series against the closed form at 40 digits before writing.
Usage: python3 tools/gen_far_field_series.py
"""
import sys
from fractions import Fraction
from math import factorial
from pathlib import Path

import mpmath as mp

FAR_FIELD = 3.0
TOLERANCE = mp.mpf("1e-17")
HEADER = Path(__file__).resolve().parent.parent / "src/lib/magnification/far_field_series.hpp"


def _add(a, b):
    n = max(len(a), len(b))
    return [(a[i] if i < len(a) else 0) + (b[i] if i < len(b) else 0) for i in range(n)]


def _mul(a, b):
    product = [Fraction(0)] * (len(a) + len(b) - 1)
    for i, x in enumerate(a):
        for j, y in enumerate(b):
            product[i + j] += x * y
    return product


def _scale(a, c):
    return [c * x for x in a]


def _derivative(a):
    return [i * a[i] for i in range(1, len(a))] or [Fraction(0)]


def _trim(a):
    while len(a) > 1 and a[-1] == 0:
        a.pop()
    return a


def series_polynomials(terms):
    """[R_1, ..., R_terms], each the list of its exact coefficients of w^0, w^1, ..."""
    # f = N(y) y^a (y + 4)^b; 4 d/dy (y d/dy) f = 4 y^(a-1) (y + 4)^(b-2) N_next with
    # M = N' y (y + 4) + a N (y + 4) + b N y and N_next = M' y (y + 4) + a M (y + 4) + (b - 1) M y.
    y_y4, y4, y = [Fraction(0), Fraction(4), Fraction(1)], [Fraction(4), Fraction(1)], [Fraction(0), Fraction(1)]

    def step(N, a, b):
        return _add(_add(_mul(_derivative(N), y_y4), _scale(_mul(N, y4), a)), _scale(_mul(N, y), b))

    N, a, b = [Fraction(2), Fraction(1)], Fraction(-1, 2), Fraction(-1, 2)  # A = (y + 2) / sqrt(y (y + 4))
    polynomials = []
    for k in range(1, terms + 1):
        N = _trim(_scale(step(step(N, a, b), a, b - 1), 4))
        a, b = a - 1, b - 2
        assert len(N) - 1 == 2 * k - 1, (k, len(N))
        # y = 4 w / (1 - w), y + 4 = 4 / (1 - w): R = sum_j N_j (4 w)^j (1 - w)^(2k-1-j) / 4^(2k-1) / (4^k k! (k+1)!).
        R = [Fraction(0)]
        for j, c in enumerate(N):
            t = [Fraction(0)] * j + [c * 4**j]
            for _ in range(2 * k - 1 - j):
                t = _mul(t, [Fraction(1), Fraction(-1)])
            R = _add(R, t)
        polynomials.append(_trim(_scale(R, Fraction(1, 4**(2 * k - 1) * 4**k * factorial(k) * factorial(k + 1)))))
    return polynomials


def _value(R, w):
    return sum(mp.mpf(c.numerator) / c.denominator * w**j for j, c in enumerate(R))


def term_bounds(polynomials):
    """B_k = R_k(0) / 8, checked to be the largest relative size of term k / q^k over w, and falling."""
    mp.mp.dps = 30
    bounds = [_value(R, 0) / 8 for R in polynomials]
    for R, B in zip(polynomials, bounds):
        for i in range(1, 1001):
            w = mp.mpf(i) / 1000
            assert abs(_value(R, w)) * (1 - w)**2 / (8 * (1 + w)) <= B, (R, w)
    assert all(b1 < b0 for b0, b1 in zip(bounds, bounds[1:]))
    return bounds


def q_for_terms(polynomials):
    """Q_FOR_TERMS[K], K = 0 ... len(polynomials) - 1: the largest q, three digits rounded down,
    at which the terms beyond the K-th add below TOLERANCE."""
    bounds = term_bounds(polynomials)
    limits = []
    for K in range(len(polynomials)):
        tail = lambda q: bounds[K] * q**(K + 1) / (1 - q) - TOLERANCE
        q = mp.findroot(tail, (mp.mpf(0), mp.mpf("0.5")), solver="bisect")
        digits = int(mp.floor(mp.log10(q))) - 2
        limits.append(float(mp.floor(q / mp.mpf(10)**digits) * mp.mpf(10)**digits))
        assert bounds[K] * mp.mpf(limits[-1])**(K + 1) / (1 - limits[-1]) < TOLERANCE
    return limits


def w_for_degrees(polynomials, start):
    """W_FOR_DEGREES[J - 1], J = 1 ... 2 TERMS - 1: the largest w, three digits rounded down, at
    which the powers w^j, j >= J, of every R_k add below TOLERANCE to the result, wherever the
    series serves (q <= 1 / start^2)."""
    mp.mp.dps = 30
    q0 = 1 / mp.mpf(start)**2
    coefficients = [[abs(mp.mpf(c.numerator) / c.denominator) for c in R] for R in polynomials]

    def tail(J, w):
        return sum(q0**(k + 1) * sum(c * w**j for j, c in enumerate(C) if j >= J)
                   for k, C in enumerate(coefficients)) / 8

    limits = []
    for J in range(1, 2 * len(polynomials)):
        w = mp.findroot(lambda w: tail(J, w) - TOLERANCE, (mp.mpf(0), mp.mpf(1)), solver="bisect")
        digits = int(mp.floor(mp.log10(w))) - 2
        limits.append(float(mp.floor(w / mp.mpf(10)**digits) * mp.mpf(10)**digits))
        assert tail(J, mp.mpf(limits[-1])) < TOLERANCE
    return limits


def degrees_for(limits, w):
    """As the kernel chooses them: the powers of w below J, J the first whose limit w does not exceed."""
    return next((J + 1 for J, limit in enumerate(limits) if not w > limit), len(limits) + 1)


def terms_for(limits, start):
    """The fewest terms that are exact to rounding from x = start on."""
    return next(K for K, limit in enumerate(limits) if 1 / (start * start) <= limit)


def far_field(x, rho, polynomials, degrees=None):
    """The series at 40 digits, the powers of w in each R_k below `degrees` if given."""
    x, rho = mp.mpf(x), mp.mpf(rho)
    u = x * rho
    y = u * u
    w = y / (y + 4)
    q = 1 / (x * x)
    S = sum(q**(k + 1) * _value(R[:degrees], w) for k, R in enumerate(polynomials))
    return ((y + 2) + S / (y + 4)) / (u * mp.sqrt(y + 4))


def check(polynomials, limits, w_limits):
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    from gen_magnification_reference import disk
    for x in (FAR_FIELD, 4.0, 5.0, 10.0, 100.0, 1e4, 1e8):
        K = terms_for(limits, x)
        for rho in (1e-5, 1e-3, 1e-2, 0.1, 1.0, 30.0):
            mp.mp.dps = 40
            u = mp.mpf(x) * rho
            J = degrees_for(w_limits, float(u * u / (u * u + 4)))
            error = abs(far_field(x, rho, polynomials[:K], J) / disk(x, rho) - 1)
            assert error < 2 * TOLERANCE, (x, rho, K, J, error)


def header_text(namespace, generator, polynomials, limits):
    terms = len(polynomials)
    width = max(len(R) for R in polynomials)
    rows = "\n".join("    {" + ", ".join(repr(float(c)) for c in R) + "}," for R in polynomials)
    return (
        f"// Generated by {generator} (exact rationals rounded to nearest); do not edit.\n"
        f"// R_k(w), k = 1 ... {terms}: coefficients of w^0, w^1, ... of the far-field series of the\n"
        "// uniform-disk magnification; the series is checked against the closed form at 40 digits.\n"
        "// Q_FOR_TERMS[K]: the largest q = (reach / x)^2 at which the first K terms are exact to\n"
        "// rounding (the rest add below 1e-17 of the result).\n"
        f"#pragma once\n\n#include <array>\n\nnamespace {namespace} {{\n\n"
        f"inline constexpr int TERMS = {terms};\n"
        f"inline constexpr std::array<std::array<double, {width}>, TERMS> R = {{{{\n{rows}\n}}}};\n"
        f"inline constexpr std::array<double, TERMS + 1> Q_FOR_TERMS = {{"
        + ", ".join(repr(q) for q in limits) + "};\n\n"
        f"}}  // namespace {namespace}\n")


def series_header(namespace, script, start_name, start, start_comment, w_from, check):
    """The header of a series that serves from x = start on: its terms and powers of w, checked
    by check(polynomials, limits, w_limits), with the start and W_FOR_DEGREES written in."""
    limits = q_for_terms(series_polynomials(30))
    terms = terms_for(limits, start)
    polynomials = series_polynomials(terms)
    w_limits = w_for_degrees(polynomials, start)
    check(polynomials, limits, w_limits)
    text = header_text(namespace, script, polynomials, limits[:terms + 1])
    text = text.replace("inline constexpr int TERMS",
                        start_comment
                        + f"inline constexpr double {start_name} = {start!r};\ninline constexpr int TERMS")
    return text.replace(f"\n\n}}  // namespace {namespace}",
                        "\n// W_FOR_DEGREES[J - 1]: the largest w at which the powers w^j, j >= J, of every R_k add\n"
                        f"// below 1e-17 of the result from {w_from} on.\n"
                        "inline constexpr std::array<double, 2 * TERMS - 1> W_FOR_DEGREES = {"
                        + ", ".join(repr(w) for w in w_limits) + f"}};\n\n}}  // namespace {namespace}")


def main():
    HEADER.write_text(series_header(
        "caustica::far_field", "tools/gen_far_field_series.py", "FAR_FIELD", FAR_FIELD,
        "// The closed form hands over to the series from x = FAR_FIELD on (at the latest).\n",
        "x = FAR_FIELD", check))
    return 0


if __name__ == "__main__":
    sys.exit(main())
