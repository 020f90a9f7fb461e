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
uniform_derivatives, limb_darkened_derivatives, profile_derivatives, light_curve_derivatives
               the same with their exact derivatives, for fitting
centroid_shift  astrometric shift of the light centroid (uniform disk or a law)
centroid_track  the shift against time, along and across the lens-source motion
"""

from importlib import metadata
from pathlib import Path
from typing import overload

import numpy as np
import numpy.typing as npt

from . import _core
from ._arguments import (
    _POINT_SOURCE_RHO,
    LAWS,
    RTOL_RANGE,
    Law,
    Magnification,
    RealScalar,
    _as_float64,
    _check_rtol,
    _coefficients,
    _event,
    _flat_pair,
    _result,
    _warn_missed,
)
from ._centroid import centroid_shift, centroid_track

from ._derivatives import (
    Derivatives,
    LightCurveDerivatives,
    LimbDarkenedDerivatives,
    light_curve_derivatives,
    limb_darkened_derivatives,
    profile_derivatives,
    uniform_derivatives,
)

__all__ = [
    "LAWS",
    "Derivatives",
    "Law",
    "LightCurveDerivatives",
    "LimbDarkenedDerivatives",
    "centroid_shift",
    "centroid_track",
    "light_curve",
    "light_curve_derivatives",
    "limb_darkened",
    "limb_darkened_derivatives",
    "point_source",
    "profile",
    "profile_derivatives",
    "uniform",
    "uniform_derivatives",
]


def _distribution_version() -> str:
    """The installed distribution's version; in a build tree, the version CMake wrote beside."""
    try:
        distribution = metadata.distribution("vellomir")
        if Path(str(distribution.locate_file("vellomir_numpy/__init__.py"))).resolve() == Path(__file__).resolve():
            return distribution.version
    except metadata.PackageNotFoundError:
        pass
    try:
        from ._version import version

        return version
    except ImportError:
        return "0+unknown"


#: The version of the distribution (the same for the vellomir module, whose version
#: ``importlib.metadata.version("vellomir")`` gives).
__version__: str = _distribution_version()


def _uniform(u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64]) -> Magnification:
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    out = np.empty(shape)
    _core.uniform(flat_u, flat_rho, out)
    return _result(out)


def _limb_darkened(
    u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64], law: str, values: npt.NDArray[np.float64], rtol: float
) -> Magnification:
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    if np.isnan(values).any():
        # No profile to speak of: NaN for every element, as for NaN u or rho.
        negative = flat_rho[flat_rho < 0.0]
        if negative.size:
            raise ValueError(f"rho must be non-negative, got {float(negative[0])!r}")
        return _result(np.full(shape, np.nan))
    out = np.empty(shape)
    _warn_missed(_core.limb_darkened(flat_u, flat_rho, law, values, rtol, False, out), rtol)
    return _result(out)


@overload
def point_source(u: RealScalar) -> np.float64: ...  # type: ignore[overload-overlap]
@overload
def point_source(u: npt.ArrayLike) -> npt.NDArray[np.float64]: ...
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


@overload
def uniform(u: RealScalar, rho: RealScalar) -> np.float64: ...  # type: ignore[overload-overlap]
@overload
def uniform(u: npt.ArrayLike, rho: npt.ArrayLike) -> npt.NDArray[np.float64]: ...
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


@overload
def limb_darkened(  # type: ignore[overload-overlap]
    u: RealScalar, rho: RealScalar, law: Law, coefficients: npt.ArrayLike, *, rtol: float = 1e-10
) -> np.float64: ...
@overload
def limb_darkened(
    u: npt.ArrayLike, rho: npt.ArrayLike, law: Law, coefficients: npt.ArrayLike, *, rtol: float = 1e-10
) -> npt.NDArray[np.float64]: ...
def limb_darkened(
    u: npt.ArrayLike, rho: npt.ArrayLike, law: Law, coefficients: npt.ArrayLike, *, rtol: float = 1e-10
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


@overload
def profile(  # type: ignore[overload-overlap]
    u: RealScalar, rho: RealScalar, radius: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-10
) -> np.float64: ...
@overload
def profile(
    u: npt.ArrayLike, rho: npt.ArrayLike, radius: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-10
) -> npt.NDArray[np.float64]: ...
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


@overload
def light_curve(  # type: ignore[overload-overlap]
    t: RealScalar,
    t0: RealScalar,
    u0: RealScalar,
    tE: RealScalar,
    rho: RealScalar,
    *,
    law: Law | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> np.float64: ...
@overload
def light_curve(
    t: npt.ArrayLike,
    t0: npt.ArrayLike,
    u0: npt.ArrayLike,
    tE: npt.ArrayLike,
    rho: npt.ArrayLike,
    *,
    law: Law | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> npt.NDArray[np.float64]: ...
def light_curve(
    t: npt.ArrayLike,
    t0: npt.ArrayLike,
    u0: npt.ArrayLike,
    tE: npt.ArrayLike,
    rho: npt.ArrayLike,
    *,
    law: Law | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> Magnification:
    """Magnification against time for a rectilinear lens-source motion.

    ``u(t) = hypot(u0, (t - t0) / tE)`` (``sqrt(u0**2 + tau**2)`` without underflow or
    overflow), then :func:`uniform` (``law=None``) or :func:`limb_darkened`.

    Parameters
    ----------
    t : array_like
        Epochs, as numbers in any time unit (not ``datetime64``: subtract a reference epoch
        and divide by ``np.timedelta64(1, "D")`` for days).
    t0 : array_like
        Epoch of closest approach (same unit).
    u0 : array_like
        Impact parameter in Einstein radii.
    tE : array_like
        Einstein time (same unit as `t`), ``> 0``.
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
        As :func:`limb_darkened`; also for coefficients given without a law and for a `tE`
        that is zero or negative.
    TypeError
        If an argument cannot be converted to float64.

    Examples
    --------
    >>> t = np.linspace(-40.0, 40.0, 5)
    >>> light_curve(t, 0.0, 0.05, 20.0, 0.01, law="linear", coefficients=[0.6]).round(4)
    array([ 1.0606,  1.3408, 20.1101,  1.3408,  1.0606])
    """
    event = _event(t, t0, u0, tE, rho, law, coefficients, rtol)
    if event.law is None:
        return _uniform(event.u, event.rho)
    return _limb_darkened(event.u, event.rho, event.law, event.coefficients, event.rtol)
