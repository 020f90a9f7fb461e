"""Finite-source magnification of a point-mass gravitational lens.

Lengths: separations ``l``, the ring radius ``r`` and the profile radii ``bl`` are
in units of the stellar radius; ``re`` (Einstein radius) and ``rstar`` (stellar
radius) are in one common unit of your choice, and only their ratio matters.
rho = rstar / re is the source radius in Einstein radii, u = l * rho the
separation in Einstein radii.

Sequences are any objects that implement the sequence protocol (list, tuple,
range, ``array.array``, a NumPy array, a class with ``__getitem__``), except
``str``; their items and the float parameters convert as ``float()`` does from a
number (an object with ``__float__`` or ``__index__``).

Errors:

- ``TypeError``: wrong number or names of arguments, a non-sequence or a ``str``
  where a sequence is expected, a value that does not convert to float. A
  conversion error carries the note ``while processing '<parameter>'``.
- ``RuntimeError``: an elliptic integral failed inside the ring functions; the
  message is the integral's own, e.g. ``ellipk: Arguments cannot be NAN.``.
- ``pyo3_runtime.PanicException``: a broken invariant inside the module (for
  example ``bl`` and ``bf`` of different lengths). It derives from
  ``BaseException``, not ``Exception``, and is not an attribute of this module;
  the process and the worker pool stay usable after it.

Numerical trouble in the uniform-disk and integrated functions is never raised:
it shows as NaN or infinite elements.
"""

from typing import Protocol, SupportsFloat, SupportsIndex, TypeAlias, type_check_only

# What converts to a C double: float, int, NumPy scalars, anything with __float__ or __index__.
_Real: TypeAlias = SupportsFloat | SupportsIndex

@type_check_only
class _RealSequence(Protocol):
    """Anything indexable by position whose items are real numbers: a list or tuple of
    floats, ``range``, ``array.array``, a 1-D NumPy array."""

    def __getitem__(self, index: int, /) -> _Real: ...

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

def witt_mao_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Magnification of a uniform stellar disk (Witt & Mao 1994), one per separation.

    ``l`` in stellar radii; ``re`` and ``rstar`` in one common unit. Computed in
    parallel on the worker pool; the result has the length and order of ``l``.
    rho <= 0 gives the point-source magnification. Never raises for numerical
    reasons (NaN or infinite elements instead); raises ``TypeError`` for bad
    arguments.
    """

def integrated_witt_mao_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Magnification of a limb-darkened star (linear law, coefficient 0.6), one per separation.

    Integrates uniform-disk magnifications of concentric sub-disks over the
    stellar radius (tanh-sinh quadrature). ``l`` in stellar radii; ``re`` and
    ``rstar`` in one common unit. Never raises for numerical reasons; raises
    ``TypeError`` for bad arguments.
    """

def integrated_flux_map_witt_mao_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Magnification of a star with a tabulated radial brightness, from uniform-disk annuli.

    ``bl`` (ascending radii in stellar radii, 0 to 1) and ``bf`` (brightness) are
    interpolated linearly, and are 0 outside the table; the scale of ``bf`` does
    not matter. ``l`` in stellar radii; ``re`` and ``rstar`` in one common unit.
    Raises ``TypeError`` for bad arguments and ``PanicException`` if ``bl`` and
    ``bf`` differ in length; numerical trouble gives NaN elements.
    """

def multi_witt_mao_magnification(
    l: _RealSequence, re: _RealSequence, rstar: _RealSequence
) -> list[list[float]]:
    """Uniform-disk magnification for every (re, rstar) pair, one row per pair.

    Rows come in the order (re[0], rstar[0]), (re[0], rstar[1]), ..., with ``re``
    as the outer index; each row has one element per separation in ``l``
    (stellar radii). ``re`` and ``rstar`` are sequences here, in one common unit.
    Computed in parallel; raises only ``TypeError`` for bad arguments.
    """

def heyrovsky_magnification(l: _Real, r: _Real, re: _Real, rstar: _Real) -> float:
    """Point-lens magnification averaged over a ring of radius ``r`` centred at distance ``l``.

    ``l`` and ``r`` in stellar radii; ``re`` and ``rstar`` in one common unit.
    Returns one float. Raises ``RuntimeError`` with the elliptic integral's
    message when it fails (e.g. a NaN argument), ``TypeError`` for bad arguments.
    """

def integrated_heyrovsky_magnification(l: _RealSequence, re: _Real, rstar: _Real) -> list[float]:
    """Magnification of a limb-darkened star (linear law, coefficient 0.6), integrated over rings.

    ``l`` in stellar radii; ``re`` and ``rstar`` in one common unit. Never raises
    for numerical reasons; raises ``TypeError`` for bad arguments.
    """

def integrated_flux_map_heyrovsky_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Magnification of a star with a tabulated radial brightness, integrated over rings.

    ``bl`` (ascending radii in stellar radii, 0 to 1) and ``bf`` (brightness) are
    interpolated linearly and normalised by the profile's own flux. ``l`` in
    stellar radii; ``re`` and ``rstar`` in one common unit. Raises ``TypeError``
    for bad arguments and ``PanicException`` if ``bl`` and ``bf`` differ in
    length; numerical trouble gives NaN elements.
    """

def discrete_flux_map_heyrovsky_magnification(
    l: _RealSequence, re: _Real, rstar: _Real, bl: _RealSequence, bf: _RealSequence
) -> list[float]:
    """Sum of ring magnifications weighted by ``bf``: ring j has radius ``bl[j]`` (stellar radii).

    No normalisation: shares ``bf`` that add up to 1 give a magnification. ``l``
    in stellar radii; ``re`` and ``rstar`` in one common unit. Raises
    ``RuntimeError`` with the elliptic integral's message at the first failure,
    ``TypeError`` for bad arguments, ``PanicException`` if ``bl`` and ``bf``
    differ in length.
    """
