"""Magnifications with their exact derivatives, for fitting.

Each function returns the magnification bit for bit as its plain counterpart
(:func:`~vellomir_numpy.uniform`, :func:`~vellomir_numpy.limb_darkened`,
:func:`~vellomir_numpy.profile`, :func:`~vellomir_numpy.light_curve`) together with its partial
derivatives, computed in one pass over the same elliptic integrals or quadrature nodes.
"""

from typing import Any, NamedTuple

import numpy as np
import numpy.typing as npt

from . import _core
from ._arguments import (
    Magnification,
    _as_float64,
    _check_rtol,
    _coefficients,
    _event,
    _flat_pair,
    _result,
    _warn_missed,
)

__all__ = [
    "Derivatives",
    "LightCurveDerivatives",
    "LimbDarkenedDerivatives",
    "light_curve_derivatives",
    "limb_darkened_derivatives",
    "profile_derivatives",
    "uniform_derivatives",
]


class Derivatives(NamedTuple):
    """A magnification and its derivatives with respect to ``u`` and ``rho``."""

    A: Magnification
    dA_du: Magnification
    dA_drho: Magnification


class LimbDarkenedDerivatives(NamedTuple):
    """A magnification and its derivatives; ``dA_dcoefficients[..., k]`` is dA/dc_k."""

    A: Magnification
    dA_du: Magnification
    dA_drho: Magnification
    dA_dcoefficients: npt.NDArray[np.float64]


class LightCurveDerivatives(NamedTuple):
    """A light curve and its Jacobian; ``jacobian[..., k]`` is the derivative with respect to
    parameter k of ``(t0, u0, tE, rho, *coefficients)``."""

    A: Magnification
    jacobian: npt.NDArray[np.float64]


# Why a derivative can fall short: an adaptive rule's cap, or next to the limb the rounding of
# the sub-disk radii about the lens (README, derivatives' accuracy).
_SHORT = "an integral hit its cap or its rounding floor"


def _rows(shape: tuple[int, ...], width: int) -> npt.NDArray[np.float64]:
    return np.empty(shape + (width,))


def _split(rows: npt.NDArray[np.float64]) -> tuple[Magnification, Magnification, Magnification]:
    return _result(rows[..., 0].copy()), _result(rows[..., 1].copy()), _result(rows[..., 2].copy())


def _uniform_columns(u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64]) -> npt.NDArray[np.float64]:
    """A, dA/du and dA/drho as the three contiguous blocks of one (3,) + shape array: returned
    as they are, without the copies a strided column would need."""
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    columns = np.empty((3,) + shape)
    _core.uniform_derivatives(flat_u, flat_rho, columns)
    return columns


def _law_rows(
    u: npt.NDArray[np.float64], rho: npt.NDArray[np.float64], law: str, values: npt.NDArray[np.float64], rtol: float
) -> npt.NDArray[np.float64]:
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    rows = _rows(shape, 3 + values.size)
    if np.isnan(values).any():
        # No profile to speak of: NaN everywhere, as limb_darkened gives.
        negative = flat_rho[flat_rho < 0.0]
        if negative.size:
            raise ValueError(f"rho must be non-negative, got {float(negative[0])!r}")
        rows.fill(np.nan)
        return rows
    # Called from the public functions: the warning names their caller.
    _warn_missed(_core.limb_darkened_derivatives(flat_u, flat_rho, law, values, rtol, rows), rtol, 4, _SHORT)
    return rows


def uniform_derivatives(u: npt.ArrayLike, rho: npt.ArrayLike) -> Derivatives:
    """Uniform-disk magnification with its derivatives with respect to `u` and `rho`.

    The derivatives of the Witt & Mao (1994) closed form are again complete elliptic integrals
    of the value's parameters,

    ``dA/du = s g ((m - 2) K(m) + 2 E(m)) / (2 pi u rho**2)`` and ``dA/drho = 2 (H - A) / rho``,

    with ``s = u + rho``, ``g = sqrt((u - rho)**2 + 4)`` and H the magnification of the disk's
    rim, evaluated from the same cancellation-free complements as the value; far from the disk
    (``u >= 3 rho``) the mean-value series is differentiated term by term.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii; dA/du is odd in `u`.
    rho : array_like
        Source radius in Einstein radii, ``>= 0``; broadcasts against `u`.

    Returns
    -------
    Derivatives
        ``(A, dA_du, dA_drho)``, each of the broadcast shape (NumPy scalars for scalar input).
        `A` is :func:`~vellomir_numpy.uniform` bit for bit. On the rim (``|u| = rho``) the
        derivatives are logarithmically infinite: ``dA_du = -inf`` (``+inf`` for ``u = -rho``)
        and ``dA_drho = +inf``. At ``u = 0`` ``dA_du = 0``. For ``rho = 0`` (point source)
        ``dA_drho = 0``. Derivatives whose size exceeds the double range (``rho`` below about
        1e-154 next to the disk) are infinite.

    Raises
    ------
    ValueError
        If `rho` is negative or the shapes do not broadcast.
    TypeError
        If an argument cannot be converted to float64.

    Examples
    --------
    >>> A, dA_du, dA_drho = uniform_derivatives(0.05, 0.1)
    >>> round(float(dA_du), 6), round(float(dA_drho), 6)
    (-55.405816, -158.844982)
    """
    columns = _uniform_columns(_as_float64(u, "u"), _as_float64(rho, "rho"))
    return Derivatives(_result(columns[0]), _result(columns[1]), _result(columns[2]))


def limb_darkened_derivatives(
    u: npt.ArrayLike, rho: npt.ArrayLike, law: str, coefficients: npt.ArrayLike, *, rtol: float = 1e-10
) -> LimbDarkenedDerivatives:
    """Limb-darkened magnification with its derivatives.

    The star is integrated as a stack of uniform disks whose closed-form derivatives
    (:func:`uniform_derivatives`) are weighted by the law's radial slope; far from the lens the
    mean-value series over the profile's moments is differentiated instead. The coefficients
    enter through ``dA/dc = int dI/dc 2r (H - A) dr / F`` (the flux normalisation included).

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii; dA/du is odd in `u`.
    rho : array_like
        Source radius in Einstein radii, ``>= 0``; broadcasts against `u`.
    law : str
        A limb-darkening law (see :func:`~vellomir_numpy.limb_darkened`).
    coefficients : array_like
        The law's coefficients.
    rtol : float, optional
        Relative tolerance, within ``[1e-14, 1e-2]``. `A` is
        :func:`~vellomir_numpy.limb_darkened` at the same `rtol`, bit for bit; each derivative
        is within about ``10 * rtol`` of its scale ``max(|derivative|, A / x)``.

    Returns
    -------
    LimbDarkenedDerivatives
        ``(A, dA_du, dA_drho, dA_dcoefficients)``, the last of shape
        ``broadcast_shape + (number of coefficients,)``. At ``|u| = rho`` dA/du and dA/drho are
        infinite when the intensity at the limb is not zero, finite when it is (``"linear"``
        with ``a = 1``, for example).

    Raises
    ------
    ValueError, TypeError
        As :func:`~vellomir_numpy.limb_darkened`.

    Warns
    -----
    RuntimeWarning
        Once per call if an integral (the value's or a derivative's) fell short of its
        tolerance for some elements, with their number and the largest relative error
        estimate, as :func:`~vellomir_numpy.limb_darkened` does: where an adaptive rule reached
        its cap, or where the lens is so close inside the limb that the rounding of the
        sub-disk radii next to it exceeds `rtol` (about ``2e-16 * (2 (1 - u/rho))**((p - 2)/2)``
        for the least power p < 2 of mu in the law; 1e-9 from the limb this is 7e-10 for
        p = 1/2).

    Examples
    --------
    >>> d = limb_darkened_derivatives(0.005, 0.01, "linear", [0.6])
    >>> round(float(d.dA_du), 3), d.dA_dcoefficients.shape
    (-8669.623, (1,))
    """
    name, values = _coefficients(law, coefficients)
    tolerance = _check_rtol(rtol)
    rows = _law_rows(_as_float64(u, "u"), _as_float64(rho, "rho"), name, values, tolerance)
    return LimbDarkenedDerivatives(*_split(rows), rows[..., 3:].copy())


def _table(radius: Any, intensity: Any) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]:
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
    return np.ascontiguousarray(radii), np.ascontiguousarray(values)


def profile_derivatives(
    u: npt.ArrayLike, rho: npt.ArrayLike, radius: npt.ArrayLike, intensity: npt.ArrayLike, *, rtol: float = 1e-10
) -> Derivatives:
    """Magnification of a tabulated radial profile with its derivatives in `u` and `rho`.

    Parameters
    ----------
    u, rho, radius, intensity, rtol
        As :func:`~vellomir_numpy.profile`.

    Returns
    -------
    Derivatives
        ``(A, dA_du, dA_drho)``; `A` is :func:`~vellomir_numpy.profile` bit for bit. Each
        derivative is within about ``10 * rtol`` of its scale. Where the ring through the lens
        is a radius at which the intensity jumps (the table's outer edge, a step) the
        derivatives are infinite; elsewhere, and for a table that falls to zero at its edge,
        they are finite.

    Raises
    ------
    ValueError, TypeError
        As :func:`~vellomir_numpy.profile`.

    Warns
    -----
    RuntimeWarning
        As :func:`limb_darkened_derivatives`.

    Examples
    --------
    >>> d = profile_derivatives(0.005, 0.01, [0.0, 1.0], [1.0, 1.0])
    >>> bool(np.isclose(d.dA_du, uniform_derivatives(0.005, 0.01).dA_du, rtol=1e-9))
    True
    """
    radii, values = _table(radius, intensity)
    tolerance = _check_rtol(rtol)
    shape, flat_u, flat_rho = _flat_pair(_as_float64(u, "u"), _as_float64(rho, "rho"))
    rows = _rows(shape, 3)
    _warn_missed(_core.profile_derivatives(flat_u, flat_rho, radii, values, tolerance, rows), tolerance, 3, _SHORT)
    return Derivatives(*_split(rows))


def light_curve_derivatives(
    t: npt.ArrayLike,
    t0: npt.ArrayLike,
    u0: npt.ArrayLike,
    tE: npt.ArrayLike,
    rho: npt.ArrayLike,
    *,
    law: str | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> LightCurveDerivatives:
    """A light curve with its Jacobian in the event's parameters.

    ``u(t) = hypot(u0, tau)``, ``tau = (t - t0) / tE``, then the chain rule through
    :func:`uniform_derivatives` (``law=None``) or :func:`limb_darkened_derivatives`.

    Parameters
    ----------
    t, t0, u0, tE, rho, law, coefficients, rtol
        As :func:`~vellomir_numpy.light_curve`.

    Returns
    -------
    LightCurveDerivatives
        ``(A, jacobian)``: `A` is :func:`~vellomir_numpy.light_curve` bit for bit, and
        ``jacobian[..., k]`` the derivative of A with respect to ``(t0, u0, tE, rho,
        *coefficients)[k]``, of shape ``broadcast_shape + (4 + number of coefficients,)``: what
        ``scipy.optimize.least_squares(jac=...)`` needs once multiplied by the source flux.
        Where ``u = 0`` (``u0 = 0`` at ``t = t0``) the derivatives through u are 0, as dA/du is.

    Raises
    ------
    ValueError, TypeError
        As :func:`~vellomir_numpy.light_curve`.

    Warns
    -----
    RuntimeWarning
        As :func:`limb_darkened_derivatives` (with a law).

    Examples
    --------
    >>> t = np.linspace(-0.5, 0.5, 3)
    >>> A, J = light_curve_derivatives(t, 0.0, 0.003, 20.0, 0.01, law="quadratic", coefficients=[0.4, 0.25])
    >>> J.shape
    (3, 6)
    """
    # u as light_curve computes it.
    law, values, tolerance, shape, u, radius, tau, impact, einstein_time = _event(
        t, t0, u0, tE, rho, law, coefficients, rtol
    )
    if law is None:
        columns = _uniform_columns(u, radius)
    else:
        columns = np.moveaxis(_law_rows(u, radius, law, values, tolerance), -1, 0)
    slope = columns[1]
    with np.errstate(invalid="ignore", divide="ignore"):
        # du/dt0 = -tau / (tE u), du/du0 = u0 / u, du/dtE = -tau^2 / (tE u); 0 where u = 0.
        per_u = np.where((u > 0.0) & np.isfinite(u), slope / u, 0.0)
    jacobian = np.empty(shape + (columns.shape[0] + 1,))
    with np.errstate(invalid="ignore", over="ignore"):
        jacobian[..., 0] = -per_u * (tau / einstein_time)
        jacobian[..., 1] = per_u * impact
        jacobian[..., 2] = -per_u * (tau * (tau / einstein_time))
    jacobian[..., 3] = columns[2]
    jacobian[..., 4:] = np.moveaxis(columns[3:], 0, -1)
    return LightCurveDerivatives(_result(columns[0].copy()), jacobian)
