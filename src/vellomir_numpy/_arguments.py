"""Argument handling shared by the functions of vellomir_numpy.

Conversion to float64 with errors naming the argument, the tolerance check, broadcasting to a
flat pair of operands, the law's coefficients, the scalar-or-array result, and the warning for
integrals that reached their cap.
"""

import numbers
import warnings
from typing import Any, Final, Literal, NamedTuple

import numpy as np
import numpy.typing as npt

#: The names of the limb-darkening laws, for type checkers.
Law = Literal["linear", "quadratic", "square-root", "logarithmic", "power-2", "claret"]

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

#: The scalar inputs for which the functions return a NumPy float64 scalar (as do 0-d arrays,
#: which type checkers see as arrays).
RealScalar = float | int | np.floating[Any] | np.integer[Any] | np.bool_

_REAL_KINDS: Final = frozenset("biuf")
_POINT_SOURCE_RHO: Final = np.zeros(())


def _as_float64(value: Any, name: str) -> npt.NDArray[np.float64]:
    """`value` as a float64 array (any layout), or TypeError naming the argument.

    Refused, rather than misread: None (NumPy would make it NaN), dates and durations (their
    counts of a unit that the other arguments do not share) and masked arrays (whose mask the
    computation would ignore).
    """
    if type(value) is np.ndarray and value.dtype == np.float64:
        return value
    if type(value) is float:
        return np.array(value)
    if value is None:
        raise TypeError(f"{name} must be a number or an array of numbers, got None")
    if isinstance(value, np.ma.MaskedArray):
        raise TypeError(
            f"{name} is a masked array, whose mask would be ignored: pass {name}.filled(np.nan) "
            f"(NaN gives NaN for its elements) or {name}.compressed()"
        )
    try:
        array = np.asarray(value)
    except (TypeError, ValueError) as error:
        raise TypeError(f"{name} must be convertible to float64 ({error})") from None
    kind = array.dtype.kind
    if kind in _REAL_KINDS:
        return array.astype(np.float64, copy=False)
    if kind in "mM":
        raise TypeError(
            f"{name} must be numbers, got {array.dtype}: give times as numbers in one unit, "
            f"e.g. (t - np.datetime64('2020-01-01')) / np.timedelta64(1, 'D') for days"
        )
    if kind == "O" and any(item is None for item in array.flat):
        raise TypeError(f"{name} must be numbers, got None among them")
    try:
        if kind == "c":
            raise TypeError("complex values")
        return np.asarray(array, dtype=np.float64)
    except (TypeError, ValueError) as error:
        raise TypeError(f"{name} must be convertible to float64 ({error})") from None


def _check_rtol(rtol: Any) -> float:
    # float() would also read strings such as "1e-8": only numbers are tolerances.
    if not isinstance(rtol, numbers.Real):
        raise TypeError(f"rtol must be a real number, got {rtol!r}")
    value = float(rtol)
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


def _law_or_uniform(law: Any, coefficients: Any) -> tuple[str | None, npt.NDArray[np.float64]]:
    """The law and its coefficients, or None and no coefficients for the uniform disk."""
    if law is None:
        if np.size(coefficients) != 0:
            raise ValueError("coefficients must be empty when law is None")
        return None, np.empty(0)
    return _coefficients(law, coefficients)


class _Event(NamedTuple):
    """A light curve's checked arguments and its separations u(t) = hypot(u0, tau)."""

    law: str | None
    coefficients: npt.NDArray[np.float64]
    rtol: float
    shape: tuple[int, ...]
    u: npt.NDArray[np.float64]
    rho: npt.NDArray[np.float64]
    tau: npt.NDArray[np.float64]
    u0: npt.NDArray[np.float64]
    tE: npt.NDArray[np.float64]


def _track_arguments(
    t: Any, t0: Any, u0: Any, tE: Any, rho: Any, law: Any, coefficients: Any, rtol: Any
) -> tuple[tuple[npt.NDArray[np.float64], ...], str | None, npt.NDArray[np.float64], float, tuple[int, ...]]:
    """t, t0, u0, tE, rho as float64 arrays, the law and its coefficients, rtol and the broadcast shape."""
    names = ("t", "t0", "u0", "tE", "rho")
    arrays = tuple(_as_float64(value, name) for value, name in zip((t, t0, u0, tE, rho), names))
    law_name, values = _law_or_uniform(law, coefficients)
    tolerance = _check_rtol(rtol)
    return arrays, law_name, values, tolerance, _broadcast_shape(names, arrays)


def _event(t: Any, t0: Any, u0: Any, tE: Any, rho: Any, law: Any, coefficients: Any, rtol: Any) -> _Event:
    """Converts and checks a light curve's arguments (tE > 0) and computes u(t)."""
    arrays, law_name, values, tolerance, shape = _track_arguments(t, t0, u0, tE, rho, law, coefficients, rtol)
    time, peak, impact, einstein_time, radius = arrays
    not_positive = einstein_time[einstein_time <= 0.0]
    if not_positive.size:
        raise ValueError(f"tE must be positive, got {float(not_positive[0])!r}")
    # hypot scales its operands: no underflow of u0 * u0 nor overflow of tau * tau. An infinite
    # tau (t far out, or an infinite t) is u = inf, magnification 1.
    with np.errstate(over="ignore", invalid="ignore"):
        tau = (time - peak) / einstein_time
    u = np.broadcast_to(np.hypot(impact, tau), shape)
    return _Event(law_name, values, tolerance, shape, u, np.asarray(radius), tau, impact, einstein_time)


def _warn_missed(
    outcome: tuple[int, float], rtol: float, stacklevel: int = 3, cause: str = "the adaptive integral hit its cap"
) -> None:
    """One RuntimeWarning for the elements whose integral fell short of `rtol` (`stacklevel` as
    for warnings.warn, counted from this function)."""
    missed, worst = outcome
    if missed:
        warnings.warn(
            f"{missed} element(s) did not reach rtol={rtol:g}: {cause}; "
            f"largest relative error estimate {worst:.3g}",
            RuntimeWarning,
            stacklevel=stacklevel,
        )
