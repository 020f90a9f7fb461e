"""Finite-source magnification of a point-mass lens for NumPy arrays.

Separations ``u`` and source radii ``rho`` are in Einstein radii. Every function broadcasts
its array arguments by NumPy's rules and returns a float64 array of the broadcast shape, or a
NumPy scalar when every argument is a scalar. The work runs on vellomir's worker pool with the
interpreter released; results do not depend on the number of workers.

Functions
---------
point_source   point-source magnification
uniform        uniform stellar disk (Witt & Mao closed form)
limb_darkened  a limb-darkening law with its coefficients, to a relative tolerance
profile        a tabulated, piecewise-linear radial profile, to a relative tolerance
light_curve    magnification against time for a rectilinear lens-source motion
"""

import warnings
from typing import Any, Final

import numpy as np
import numpy.typing as npt

from . import _core

__all__ = ["LAWS", "light_curve", "limb_darkened", "point_source", "profile", "uniform"]

#: Names of the limb-darkening laws and how many coefficients each takes.
LAWS: Final[dict[str, int]] = {
    "linear": 1,
    "quadratic": 2,
    "square-root": 2,
    "logarithmic": 2,
    "power-2": 2,
    "claret": 4,
}

RTOL_RANGE: Final = (1e-14, 1e-2)

#: What the functions return: a float64 array, or a NumPy float64 scalar for scalar input.
Magnification = npt.NDArray[np.float64] | np.float64

_REAL_KINDS: Final = frozenset("biuf")
_POINT_SOURCE_RHO: Final = np.zeros(())


def _as_float64(value: Any, name: str) -> npt.NDArray[np.float64]:
    """`value` as a float64 array (any layout), or TypeError naming the argument."""
    if type(value) is np.ndarray and value.dtype == np.float64:
        return value
    if type(value) is float:
        return np.array(value)
    try:
        array = np.asarray(value)
        if array.dtype.kind in _REAL_KINDS:
            return array.astype(np.float64, copy=False)
        if array.dtype.kind == "c":
            raise TypeError("complex values")
        return np.asarray(array, dtype=np.float64)
    except (TypeError, ValueError) as error:
        raise TypeError(f"{name} must be convertible to float64 ({error})") from None


def _check_rtol(rtol: Any) -> float:
    try:
        value = float(rtol)
    except (TypeError, ValueError):
        raise TypeError(f"rtol must be a real number, got {rtol!r}") from None
    if not (RTOL_RANGE[0] <= value <= RTOL_RANGE[1]):
        raise ValueError(
            f"rtol must be within [1e-14, 1e-2] (1e-14 is the tightest tolerance the integration meets "
            f"everywhere), got {rtol!r}"
        )
    return value


def _broadcast_shape(names: tuple[str, ...], arrays: tuple[npt.NDArray[np.float64], ...]) -> tuple[int, ...]:
    try:
        return np.broadcast_shapes(*(array.shape for array in arrays))
    except ValueError:
        listed = ", ".join(names[:-1]) + " and " + names[-1]
        shapes = ", ".join(str(array.shape) for array in arrays)
        raise ValueError(f"{listed} do not broadcast together (shapes {shapes})") from None


def _flat_pair(
    u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64]
) -> tuple[tuple[int, ...], npt.NDArray[np.float64], npt.NDArray[np.float64]]:
    """The broadcast shape and C-contiguous 1-D u and rho (rho may keep a single element)."""
    if u.shape == rho.shape:
        return u.shape, u.ravel(), rho.ravel()
    if rho.ndim == 0:  # the common case, without the cost of np.broadcast_shapes
        return u.shape, u.ravel(), rho.reshape(1)
    shape = _broadcast_shape(("u", "rho"), (u, rho))
    if rho.size == 1 and u.shape == shape:
        return shape, u.ravel(), rho.ravel()
    return shape, np.broadcast_to(u, shape).ravel(), np.broadcast_to(rho, shape).ravel()


def _result(out: npt.NDArray[np.float64]) -> Magnification:
    return out if out.ndim else out[()]


def _uniform(u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64]) -> Magnification:
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    out = np.empty(shape)
    _core.uniform(flat_u, flat_rho, out)
    return _result(out)


def _coefficients(law: Any, coefficients: Any) -> tuple[str, npt.NDArray[np.float64]]:
    if not isinstance(law, str) or law not in LAWS:
        known = ", ".join(repr(name) for name in LAWS)
        raise ValueError(f"law must be one of {known}, got {law!r}")
    values = _as_float64(coefficients, "coefficients")
    if values.ndim > 1:
        raise ValueError(f"coefficients must be a 1-D sequence, got shape {values.shape}")
    values = np.ascontiguousarray(values.reshape(-1))
    if values.size != LAWS[law]:
        raise ValueError(f"coefficients: the {law!r} law takes {LAWS[law]}, got {values.size}")
    return law, values


def _warn_missed(outcome: tuple[int, float], rtol: float) -> None:
    """One RuntimeWarning for the elements whose integral reached its cap short of `rtol`."""
    missed, worst = outcome
    if missed:
        warnings.warn(
            f"{missed} element(s) did not reach rtol={rtol:g}: the adaptive integral hit its cap; "
            f"largest relative error estimate {worst:.3g}",
            RuntimeWarning,
            stacklevel=3,
        )


def _limb_darkened(
    u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64], law: str, values: npt.NDArray[np.float64], rtol: float
) -> Magnification:
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    out = np.empty(shape)
    _warn_missed(_core.limb_darkened(flat_u, flat_rho, law, values, rtol, False, out), rtol)
    return _result(out)


def point_source(u: npt.ArrayLike) -> Magnification:
    """Point-source magnification of a point-mass lens.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii (its sign is ignored).

    Returns
    -------
    numpy.ndarray or numpy.float64
        ``(u**2 + 2) / (u * sqrt(u**2 + 4))``; ``inf`` at ``u = 0``, NaN for NaN.

    Raises
    ------
    TypeError
        If `u` cannot be converted to float64 (e.g. complex values).

    Examples
    --------
    >>> float(point_source(1.0))
    1.3416407864998738
    """
    return _uniform(_as_float64(u, "u"), _POINT_SOURCE_RHO)


def uniform(u: npt.ArrayLike, rho: npt.ArrayLike) -> Magnification:
    """Magnification of a uniform stellar disk by a point-mass lens.

    The closed form of Witt & Mao (1994) in complete elliptic integrals, the same kernel as
    ``vellomir.witt_mao_magnification``.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii (its sign is ignored).
    rho : array_like
        Source radius in Einstein radii, ``>= 0``; ``rho = 0`` is the point source. Broadcasts
        against `u`.

    Returns
    -------
    numpy.ndarray or numpy.float64
        Magnification of the broadcast shape; NaN where `u` or `rho` is NaN.

    Raises
    ------
    ValueError
        If `rho` is negative or the shapes do not broadcast.
    TypeError
        If an argument cannot be converted to float64.

    Examples
    --------
    >>> uniform([0.0, 0.1, 1.0], 0.1).round(6)
    array([20.024984, 12.774752,  1.343077])
    """
    return _uniform(_as_float64(u, "u"), _as_float64(rho, "rho"))


def limb_darkened(
    u: npt.ArrayLike, rho: npt.ArrayLike, law: str, coefficients: npt.ArrayLike, *, rtol: float = 1e-10
) -> Magnification:
    """Magnification of a limb-darkened star by a point-mass lens.

    With ``mu = sqrt(1 - r**2)`` (``r`` in stellar radii) the laws are

    ================  ============  ==================================================
    law               coefficients  intensity I(mu)
    ================  ============  ==================================================
    ``"linear"``      a             1 - a (1 - mu)
    ``"quadratic"``   a, b          1 - a (1 - mu) - b (1 - mu)**2
    ``"square-root"`` c, d          1 - c (1 - mu) - d (1 - sqrt(mu))
    ``"logarithmic"`` c, d          1 - c (1 - mu) - d mu ln(mu)
    ``"power-2"``     c, alpha      1 - c (1 - mu**alpha)
    ``"claret"``      a1..a4        1 - sum_k a_k (1 - mu**(k/2))
    ================  ============  ==================================================

    The result is the magnified flux over the unmagnified flux of the same profile. Far from
    the lens a series in ``(rho/u)**2`` over the profile's radial moments is used where its
    truncation bound is below ``rtol / 10``; elsewhere the star is integrated as a stack of
    uniform sub-disks (the closed-form disk magnification against ``-dI/dr``) by an adaptive
    Gauss-Kronrod rule whose summed error estimate is brought below `rtol`.

    The intensity must be non-negative over the whole star (``mu`` in ``[0, 1]``): coefficients
    that make it negative anywhere are refused, since the magnification of such a profile is not
    bounded below and no relative tolerance could be promised for it.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii, ``>= 0``; broadcasts against `u`.
    law : str
        One of the names above.
    coefficients : array_like
        The law's coefficients, as many as the law takes.
    rtol : float, optional
        Relative tolerance, within ``[1e-14, 1e-2]``; 1e-14 is the tightest the integration meets
        everywhere (lens at the centre, on the limb, any ``rho`` down to the subnormal range).
        The cost falls as `rtol` grows.

    Returns
    -------
    numpy.ndarray or numpy.float64
        Magnification of the broadcast shape; NaN where `u` or `rho` is NaN.

    Raises
    ------
    ValueError
        For an unknown law, a wrong number of coefficients, coefficients whose intensity is
        negative somewhere on the star (the message names the law and where), or whose profile
        has no positive total flux, a negative `rho`, shapes that do not broadcast, or `rtol`
        out of range.
    TypeError
        If an argument cannot be converted to float64.

    Warns
    -----
    RuntimeWarning
        Once per call if the adaptive rule reached its cap before meeting `rtol` for some
        elements, with their number and the largest error estimate (never seen in the tested
        range; a result is never short of `rtol` silently).

    Examples
    --------
    >>> round(float(limb_darkened(0.05, 0.01, "linear", [0.6])), 8)
    20.11011947
    """
    name, values = _coefficients(law, coefficients)
    tolerance = _check_rtol(rtol)
    return _limb_darkened(_as_float64(u, "u"), _as_float64(rho, "rho"), name, values, tolerance)


def profile(
    u: npt.ArrayLike, rho: npt.ArrayLike, radius: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-10
) -> Magnification:
    """Magnification of a star with a tabulated radial brightness profile.

    The intensity is interpolated linearly between the points ``(radius[j], intensity[j])``
    and is zero outside ``[radius[0], radius[-1]]``; a repeated radius makes a step. The
    integral over the star is split at every tabulated radius, so kinks and steps cost no
    accuracy.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii.
    rho : array_like
        Source radius in Einstein radii, ``>= 0``; broadcasts against `u`.
    radius : array_like
        1-D, non-decreasing radii in stellar radii, within ``[0, 1]``.
    intensity : array_like
        1-D non-negative intensities at those radii, with a positive total flux. Any scale
        (1e-300 or 1e300 alike) gives the same result: the table is normalised by a power of two
        before it is integrated.
    rtol : float, optional
        Relative tolerance, within ``[1e-14, 1e-2]`` (1e-14 is met everywhere).

    Returns
    -------
    numpy.ndarray or numpy.float64
        Magnification of the broadcast shape; NaN where `u` or `rho` is NaN.

    Raises
    ------
    ValueError
        For radius/intensity that are not 1-D or of different lengths, unsorted radii or radii
        outside ``[0, 1]``, a negative intensity, a profile whose total flux is not positive, a
        negative `rho`, shapes that do not broadcast, or `rtol` out of range.
    TypeError
        If an argument cannot be converted to float64.

    Warns
    -----
    RuntimeWarning
        As :func:`limb_darkened`.

    Examples
    --------
    >>> r = np.linspace(0.0, 1.0, 201)
    >>> round(float(profile(0.05, 0.01, r, 1 - 0.6 * (1 - np.sqrt(1 - r**2)))), 4)
    20.1101
    """
    radii = _as_float64(radius, "radius")
    values = _as_float64(intensity, "intensity")
    for name, array in (("radius", radii), ("intensity", values)):
        if array.ndim != 1:
            raise ValueError(f"{name} must be a 1-D array, got shape {array.shape}")
    if radii.size != values.size:
        raise ValueError(f"radius and intensity must have the same length, got {radii.size} and {values.size}")
    if not np.all((radii >= 0.0) & (radii <= 1.0)):
        raise ValueError("radius must lie within [0, 1]")
    if np.any(np.diff(radii) < 0.0):
        raise ValueError("radius must be sorted in non-decreasing order")
    tolerance = _check_rtol(rtol)
    shape, flat_u, flat_rho = _flat_pair(_as_float64(u, "u"), _as_float64(rho, "rho"))
    out = np.empty(shape)
    _warn_missed(
        _core.profile(flat_u, flat_rho, np.ascontiguousarray(radii), np.ascontiguousarray(values), tolerance, False, out),
        tolerance,
    )
    return _result(out)


def light_curve(
    t: npt.ArrayLike,
    t0: npt.ArrayLike,
    u0: npt.ArrayLike,
    tE: npt.ArrayLike,
    rho: npt.ArrayLike,
    *,
    law: str | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> Magnification:
    """Magnification against time for a rectilinear lens-source motion.

    ``u(t) = sqrt(u0**2 + ((t - t0) / tE)**2)``, then :func:`uniform` (``law=None``) or
    :func:`limb_darkened`.

    Parameters
    ----------
    t : array_like
        Epochs (any time unit).
    t0 : array_like
        Epoch of closest approach (same unit).
    u0 : array_like
        Impact parameter in Einstein radii.
    tE : array_like
        Einstein time (same unit as `t`).
    rho : array_like
        Source radius in Einstein radii, ``>= 0``.
    law : str or None, optional
        A limb-darkening law (see :func:`limb_darkened`); None for the uniform disk.
    coefficients : array_like, optional
        The law's coefficients; empty when `law` is None.
    rtol : float, optional
        Relative tolerance for a limb-darkened star, within ``[1e-14, 1e-2]``.

    Returns
    -------
    numpy.ndarray or numpy.float64
        Magnification of the shape to which all five arguments broadcast.

    Raises
    ------
    ValueError
        As :func:`limb_darkened`; also for coefficients given without a law.
    TypeError
        If an argument cannot be converted to float64.

    Examples
    --------
    >>> t = np.linspace(-40.0, 40.0, 5)
    >>> light_curve(t, 0.0, 0.05, 20.0, 0.01, law="linear", coefficients=[0.6]).round(4)
    array([ 1.0606,  1.3408, 20.1101,  1.3408,  1.0606])
    """
    names = ("t", "t0", "u0", "tE", "rho")
    arrays = tuple(_as_float64(value, name) for value, name in zip((t, t0, u0, tE, rho), names))
    if law is None:
        if np.size(coefficients) != 0:
            raise ValueError("coefficients must be empty when law is None")
    else:
        law, values = _coefficients(law, coefficients)
    tolerance = _check_rtol(rtol)
    shape = _broadcast_shape(names, arrays)
    time, peak, impact, einstein_time, radius = arrays
    tau = (time - peak) / einstein_time
    u = np.broadcast_to(np.sqrt(impact * impact + tau * tau), shape)
    radius = np.asarray(radius)
    if law is None:
        return _uniform(u, radius)
    return _limb_darkened(u, radius, law, values, tolerance)
