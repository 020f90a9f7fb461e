"""Astrometric microlensing: the shift of the light centroid of a finite source.

A point-mass lens splits a point source at distance ``x`` (Einstein radii) into two images
whose light centroid lies ``x / (x**2 + 2)`` further from the lens than the source. For a
star of radius ``rho`` the centroid of all images' light, weighted by the star's brightness,
moves by ``delta(u, rho)`` along the lens-source axis; it falls to zero when the lens is at
the star's centre and, for the uniform disk, when the lens is on the limb, where it changes
sign: with the lens on the star the centroid moves towards the lens.
"""

import warnings

import numpy as np
import numpy.typing as npt

from . import _core
from ._arguments import (
    Law,
    Magnification,
    _as_float64,
    _check_rtol,
    _event,
    _flat_pair,
    _law_or_uniform,
    _result,
)

__all__ = ["centroid_shift", "centroid_track"]


def _shift(
    u: npt.NDArray[np.float64],
    rho: npt.NDArray[np.float64],
    law: str | None,
    values: npt.NDArray[np.float64],
    rtol: float,
) -> Magnification:
    shape, flat_u, flat_rho = _flat_pair(u, rho)
    out = np.empty(shape)
    if law is None:
        _core.centroid_uniform(flat_u, flat_rho, out)
    else:
        missed, worst = _core.centroid_limb_darkened(flat_u, flat_rho, law, values, rtol, out)
        if missed:
            warnings.warn(
                f"{missed} element(s) did not reach rtol={rtol:g}: the adaptive integral hit its cap; "
                f"largest relative error estimate {worst:.3g}",
                RuntimeWarning,
                stacklevel=3,
            )
    return _result(out)


def centroid_shift(
    u: npt.ArrayLike,
    rho: npt.ArrayLike,
    *,
    law: Law | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> Magnification:
    """Shift of the light centroid of a lensed star from the star's centre.

    ``delta = C - u`` along the lens-source axis, where ``C`` is the centroid of the light of
    both images of every point of the star, weighted by the star's brightness, and ``u`` the
    star's centre, both measured from the lens in Einstein radii. Positive values point away
    from the lens. A point source gives ``u / (u**2 + 2)``; with the lens on the star the shift
    turns towards the lens (negative) and vanishes at the centre. The shift is odd in `u`.

    The uniform disk (``law=None``) is a closed form in complete elliptic integrals, exact to
    about 1e-14 relative (1e-14 ``rho`` absolute next to ``u = 0``), with series about the
    centre and far from the lens. A limb-darkening law integrates the magnification and the
    shift of uniform sub-disks against the law's slope (the sub-disk integral of
    :func:`limb_darkened`), and uses the mean-value series far from the lens.

    Parameters
    ----------
    u : array_like
        Lens-source separation in Einstein radii (the sign flips the shift).
    rho : array_like
        Source radius in Einstein radii, ``>= 0``; ``rho = 0`` is the point source. Broadcasts
        against `u`.
    law : str or None, optional
        A limb-darkening law of :func:`limb_darkened`; None for the uniform disk.
    coefficients : array_like, optional
        The law's coefficients; empty when `law` is None.
    rtol : float, optional
        Tolerance for a law, within ``[1e-14, 1e-2]``: the error is at most
        ``rtol * max(|delta|, x / (10 (x**2 + 2)))`` with ``x = max(|u|, rho)``, i.e. relative
        except where the shift is far below the point-source shift at the star's edge (next to
        the centre, where the shift changes sign). Ignored for the uniform disk.

    Returns
    -------
    numpy.ndarray or numpy.float64
        Shift of the broadcast shape in Einstein radii; NaN where `u` or `rho` is NaN.

    Raises
    ------
    ValueError
        For an unknown law, a wrong number of coefficients (or coefficients without a law), a
        profile without positive flux, a negative `rho`, shapes that do not broadcast, or `rtol`
        out of range.
    TypeError
        If an argument cannot be converted to float64.

    Examples
    --------
    >>> centroid_shift([0.0, 0.05, 0.1, 0.2], 0.1).round(6)
    array([ 0.      , -0.011127,  0.      ,  0.079065])
    >>> round(float(centroid_shift(1.0, 0.0)), 12)
    0.333333333333
    """
    name, values = _law_or_uniform(law, coefficients)
    tolerance = _check_rtol(rtol)
    return _shift(_as_float64(u, "u"), _as_float64(rho, "rho"), name, values, tolerance)


def centroid_track(
    t: npt.ArrayLike,
    t0: npt.ArrayLike,
    u0: npt.ArrayLike,
    tE: npt.ArrayLike,
    rho: npt.ArrayLike,
    *,
    law: Law | None = None,
    coefficients: npt.ArrayLike = (),
    rtol: float = 1e-10,
) -> tuple[Magnification, Magnification]:
    """Centroid shift against time for a rectilinear lens-source motion.

    The source moves relative to the lens along ``(tau, u0)``, ``tau = (t - t0) / tE``, so
    ``u = sqrt(u0**2 + tau**2)``; the shift :func:`centroid_shift` points from the lens
    through the source's centre and is resolved into two components:

    - ``along``: ``delta * tau / u``, along the source's motion relative to the lens
      (positive in the direction of increasing `t`);
    - ``across``: ``delta * u0 / u``, perpendicular to it, positive on the side of the lens
      where the source passes for ``u0 > 0``.

    Plotting ``across`` against ``along`` draws the astrometric ellipse (for a point source
    ``tau / (u**2 + 2)`` and ``u0 / (u**2 + 2)``); a lens crossing the star pinches it.

    Parameters
    ----------
    t : array_like
        Epochs (any time unit).
    t0 : array_like
        Epoch of closest approach (same unit).
    u0 : array_like
        Impact parameter in Einstein radii (its sign chooses the side).
    tE : array_like
        Einstein time (same unit as `t`), ``> 0``.
    rho : array_like
        Source radius in Einstein radii, ``>= 0``.
    law, coefficients, rtol
        As for :func:`centroid_shift`.

    Returns
    -------
    along, across : numpy.ndarray or numpy.float64
        The two components in Einstein radii, each of the shape to which all five arguments
        broadcast; both 0 where the lens is at the star's centre and at infinite ``tau``, NaN
        where an argument is NaN.

    Raises
    ------
    ValueError
        As :func:`centroid_shift`; also for a `tE` that is zero or negative.
    TypeError
        As :func:`centroid_shift`.

    Examples
    --------
    >>> along, across = centroid_track([-20.0, 0.0, 20.0], 0.0, 1.0, 20.0, 0.0)
    >>> along.round(6), across.round(6)
    (array([-0.25,  0.  ,  0.25]), array([0.25    , 0.333333, 0.25    ]))
    """
    event = _event(t, t0, u0, tE, rho, law, coefficients, rtol)
    shift = np.asarray(_shift(event.u, event.rho, event.law, event.coefficients, event.rtol))
    with np.errstate(invalid="ignore", divide="ignore"):
        # delta / u: 0 at the lens, where the shift vanishes, and NaN where u is NaN.
        per_distance = np.where(event.u == 0.0, 0.0, shift / event.u)
        along = per_distance * event.tau
    # At an infinite tau the direction tau / u is sign(tau) and the shift 0 (NaN for a NaN rho).
    along = np.where(np.isinf(event.tau), shift * np.sign(event.tau), along)
    return _result(np.asarray(along)), _result(np.asarray(per_distance * event.u0))
