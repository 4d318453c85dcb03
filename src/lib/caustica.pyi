"""Finite-source magnification by a single point-mass gravitational lens, in native code.

Units, the same for every function:

* ``l`` (lens-source separation), ``r`` (ring radius) and ``bl`` (radii of a tabulated profile)
  are in source radii: ``l = 1`` puts the lens on the limb of the source, ``r = 0`` is the
  source centre and ``r = 1`` its limb.
* ``re`` (Einstein radius of the lens) and ``rstar`` (source radius) are in any one common
  unit; only their ratio ``rho = rstar / re`` enters. ``rho`` is the source radius in Einstein
  radii, and ``l * rho`` the separation in Einstein radii.

Sequence arguments accept lists, tuples, ranges, bytes, ``array.array`` and NumPy arrays;
contiguous ``float64`` buffers (``numpy.ndarray`` of dtype float64, ``array('d')``) are read
directly from their memory. Every item is converted like ``float()``. A ``str`` is refused.
Results are plain Python floats, in the order of ``l``.

Every function that takes a sequence of separations spreads them (and
:func:`multi_witt_mao_magnification` its curves) over a process-wide pool of worker threads,
sized once per process from ``RAYON_NUM_THREADS``, else ``RAYON_RS_NUM_CPUS``, else the number
of CPUs available to the process. A call holds the interpreter lock until it returns.

Exceptions a caller can see:

* ``TypeError`` -- arguments missing, too many, unknown or repeated keywords (the message
  names the function), or an argument of the wrong type, such as a ``str`` or a scalar where a
  sequence is expected (the message names the parameter, as in ``argument 'l': ...``).
* ``OverflowError`` and any other exception raised while converting an argument (an int too
  large for a float, or an exception from an object's own ``__float__``, ``__index__``,
  ``__iter__``, ...) propagates unchanged.
* ``MemoryError`` when room for the arguments or the result cannot be obtained (also for a
  sequence whose ``__len__`` claims more items than memory holds).
* ``RuntimeError`` -- a complete elliptic integral failed (only
  :func:`heyrovsky_magnification` and :func:`discrete_flux_map_heyrovsky_magnification`); its
  single argument is the message text, e.g. ``"ellipk: Arguments cannot be NAN."``.
* ``PanicException`` -- an internal failure, such as a sequence whose ``__len__`` claims more
  items than 64-bit memory can address.
  Its ``__module__`` is ``"hostglue_runtime"`` and it derives from ``BaseException``, not
  ``Exception``, so ``except Exception`` does not catch it; it is not an attribute of this
  module and can be caught with ``except BaseException``. A report of the failure is written
  to standard error as it happens. It pickles, rebuilt through this module. The module stays
  usable afterwards.
"""

from typing import Protocol, SupportsFloat, SupportsIndex

__all__ = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "multi_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

__version__: str

# What the module converts with float(): floats, ints, NumPy scalars, Fractions, ...
_FloatLike = SupportsFloat | SupportsIndex

class _FloatSequence(Protocol):
    """Anything indexable whose items convert with float(): list[float], tuple, range, bytes,
    array.array, numpy.ndarray, ... (a str does not qualify: its items are str)."""

    def __len__(self) -> int: ...
    def __getitem__(self, index: int, /) -> _FloatLike: ...

def witt_mao_magnification(
    l: _FloatSequence, re: _FloatLike, rstar: _FloatLike
) -> list[float]:
    """Magnification of a uniform-disk source by a point-mass lens, one per separation.

    Witt-Mao closed form in the complete elliptic integrals K, E and Pi.

    :param l: lens-source separations, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :returns: ``len(l)`` floats, in the order of ``l``.

    Near the limb (``l`` close to 1) the elliptic integrals are evaluated on complements formed
    from the geometry, so no accuracy is lost right up to the limb (the README's accuracy table
    gives the worst errors); exactly on the limb (``l == 1``) the closed on-limb form is used. A negative or NaN
    separation gives NaN. At ``l = 0`` the result is ``sqrt(rho**2 + 4) / rho``.

    :raises TypeError: for arguments that cannot be matched or converted.
    """

def integrated_witt_mao_magnification(
    l: _FloatSequence, re: _FloatLike, rstar: _FloatLike
) -> list[float]:
    """Magnification of a limb-darkened source, built from uniform-disk magnifications.

    The source has linear limb darkening with coefficient 0.6,
    ``I(x) = 1 - 0.6 * (1 - sqrt(1 - x**2))`` at radius ``x`` (source radii), normalised by its
    flux ``0.8 * pi``. The magnification integrates ``I(x) * pi * d/dx[x**2 * A_disk(x)]`` over
    ``0 < x < 1``, where ``A_disk(x)`` is the uniform-disk magnification of the inner disk of
    radius ``x``; the integral is split at the lens when ``0 < l < 1``.

    :param l: lens-source separations, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :returns: ``len(l)`` floats, in the order of ``l``. A NaN, infinite or negative separation
        gives NaN.
    :raises TypeError: for arguments that cannot be matched or converted.
    """

def integrated_flux_map_witt_mao_magnification(
    l: _FloatSequence, re: _FloatLike, rstar: _FloatLike, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a source with a tabulated brightness profile, built from uniform disks.

    The profile is ``bf`` at the radii ``bl`` (source radii, ascending), interpolated linearly
    and 0 outside ``[bl[0], bl[-1]]``; it is normalised by its own flux
    ``integral of 2*pi*x*P(x)`` over ``0 < x < 1``. Otherwise as
    :func:`integrated_witt_mao_magnification`.

    :param l: lens-source separations, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :param bl: radii of the profile table, in source radii, ascending.
    :param bf: surface brightness at each radius of ``bl`` (any scale).
    :returns: ``len(l)`` floats, in the order of ``l``. A NaN, infinite or negative separation
        gives NaN; so does every separation when the profile has no flux (e.g. an empty table),
        when ``bf`` holds a NaN or infinite value, or when ``rstar / re`` is not finite and
        positive.
    :raises TypeError: for arguments that cannot be matched or converted.
    :raises ValueError: when ``bl`` and ``bf`` differ in length, or when ``bl`` is not finite
        and ascending (equal neighbours, a step, are allowed); the message names both lengths,
        or the first offending pair.
    """

def multi_witt_mao_magnification(
    l: _FloatSequence, re: _FloatSequence, rstar: _FloatSequence
) -> list[list[float]]:
    """Uniform-disk magnification curves for every pair of an Einstein and a source radius.

    :param l: lens-source separations, in source radii, shared by all curves.
    :param re: Einstein radii, in the unit of ``rstar`` (a sequence here).
    :param rstar: source radii, in the unit of ``re`` (a sequence here).
    :returns: ``len(re) * len(rstar)`` lists of ``len(l)`` floats, ordered by ``re`` first:
        ``(re[0], rstar[0]), (re[0], rstar[1]), ..., (re[1], rstar[0]), ...``. Each curve equals
        ``witt_mao_magnification(l, re[i], rstar[j])``. An empty ``re`` or ``rstar`` gives ``[]``.
    :raises TypeError: for arguments that cannot be matched or converted (also a plain float
        for ``re`` or ``rstar``).
    """

def heyrovsky_magnification(
    l: _FloatLike, r: _FloatLike, re: _FloatLike, rstar: _FloatLike
) -> float:
    """Magnification of a thin ring of the source, of radius ``r``, by a lens at separation ``l``.

    Heyrovsky closed form in the complete elliptic integrals K and Pi, evaluated on complements
    formed from ``r - l``, so that it stays accurate to rounding right up to the ring. At ``r = 0`` it is the
    point-source magnification ``(u**2 + 2) / (u * sqrt(u**2 + 4))`` with ``u = l * rho``; on
    the ring itself (``l == r > 0``) it is ``inf``.

    :param l: separation of the lens from the source centre, in source radii (one float).
    :param r: radius of the ring, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :returns: one float.
    :raises RuntimeError: when an elliptic integral fails, e.g. for NaN arguments or a negative
        ``l * r``; the single argument is the message text.
    :raises TypeError: for arguments that cannot be matched or converted.
    """

def integrated_heyrovsky_magnification(
    l: _FloatSequence, re: _FloatLike, rstar: _FloatLike
) -> list[float]:
    """Magnification of a limb-darkened source, built from ring magnifications.

    The source has linear limb darkening with coefficient 0.6,
    ``I(x) = 1 - 0.6 * (1 - sqrt(1 - x**2))``, normalised by its flux ``0.8 * pi``. The
    magnification integrates ``2 * pi * x * g(x) * I(x)`` over ``0 < x < 1``, where ``g(x)`` is
    :func:`heyrovsky_magnification` of the ring of radius ``x``; the integral is split at the
    lens when ``0 < l < 1``.

    :param l: lens-source separations, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :returns: ``len(l)`` floats, in the order of ``l``. A NaN, infinite or negative separation
        gives NaN.
    :raises TypeError: for arguments that cannot be matched or converted.
    """

def integrated_flux_map_heyrovsky_magnification(
    l: _FloatSequence, re: _FloatLike, rstar: _FloatLike, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a source with a tabulated brightness profile, built from rings.

    The profile is ``bf`` at the radii ``bl`` (source radii, ascending), interpolated linearly
    and 0 outside ``[bl[0], bl[-1]]``; it is normalised by its own flux
    ``integral of 2*pi*x*P(x)`` over ``0 < x < 1``. Otherwise as
    :func:`integrated_heyrovsky_magnification`.

    :param l: lens-source separations, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :param bl: radii of the profile table, in source radii, ascending.
    :param bf: surface brightness at each radius of ``bl`` (any scale).
    :returns: ``len(l)`` floats, in the order of ``l``. A NaN, infinite or negative separation
        gives NaN; so does every separation when the profile has no flux (e.g. an empty table),
        when ``bf`` holds a NaN or infinite value, or when ``rstar / re`` is not finite and
        positive.
    :raises TypeError: for arguments that cannot be matched or converted.
    :raises ValueError: when ``bl`` and ``bf`` differ in length, or when ``bl`` is not finite
        and ascending (equal neighbours, a step, are allowed); the message names both lengths,
        or the first offending pair.
    """

def discrete_flux_map_heyrovsky_magnification(
    l: _FloatSequence, re: _FloatLike, rstar: _FloatLike, bl: _FloatSequence, bf: _FloatSequence
) -> list[float]:
    """Magnification of a source made of thin rings: ``sum(bf[j] * ring(l, bl[j]))``.

    ``ring`` is :func:`heyrovsky_magnification`; the weights ``bf`` are used as given, without
    normalisation, so an empty table gives 0.0 for every separation.

    :param l: lens-source separations, in source radii.
    :param re: Einstein radius, in the unit of ``rstar``.
    :param rstar: source radius, in the unit of ``re``.
    :param bl: ring radii, in source radii.
    :param bf: weight of each ring of ``bl``.
    :returns: ``len(l)`` floats, in the order of ``l``.
    :raises RuntimeError: when an elliptic integral of any ring fails (the first failure, in the
        order of ``l`` and then of ``bl``); the single argument is the message text.
    :raises TypeError: for arguments that cannot be matched or converted.
    :raises ValueError: when ``bl`` and ``bf`` differ in length; the message names both lengths.
    """
