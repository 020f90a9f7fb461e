"""Fit a finite-source point-lens event: a synthetic high-magnification light curve.

    python examples/fit_event.py [--points 1500] [--seed 1]

The source, limb-darkened by the quadratic law with known coefficients, passes
behind the lens (u0 < rho). The model flux is F(t) = f_source A(t) + f_blend: for
each trial of the four nonlinear parameters (t0, u0, tE, rho) the two fluxes are
solved by weighted linear least squares, and scipy.optimize.least_squares searches
the nonlinear ones. The uncertainties are those of the linearised problem, all six
parameters together: the inverse of J^T J for the residuals' Jacobian at the fit.
"""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt
from scipy.optimize import least_squares

import vellomir_numpy as vn

FloatArray = npt.NDArray[np.float64]

LAW: vn.Law = "quadratic"
COEFFICIENTS = (0.4, 0.25)
# rtol a few orders below the photometric precision (1e-3 here) is plenty, and cheaper.
RTOL = 1e-8
NAMES = ("t0", "u0", "tE", "rho", "f_source", "f_blend")
# The synthetic event: days, Einstein radii, fluxes in units of the baseline.
TRUTH = (0.0, 0.004, 25.0, 0.008, 0.8, 0.2)


@dataclass(frozen=True)
class Event:
    t: FloatArray
    flux: FloatArray
    sigma: FloatArray


@dataclass(frozen=True)
class Fit:
    values: FloatArray  # in the order of NAMES
    errors: FloatArray
    chi2: float
    dof: int


def magnification(t: FloatArray, t0: float, u0: float, tE: float, rho: float) -> FloatArray:
    return vn.light_curve(t, t0, u0, tE, rho, law=LAW, coefficients=COEFFICIENTS, rtol=RTOL)


def simulate(points: int, seed: int, truth: Sequence[float] = TRUTH) -> Event:
    """A season of photometry: sparse over +-2 tE, dense over the night of the peak."""
    rng = np.random.default_rng(seed)
    t0, u0, tE, rho, f_source, f_blend = truth
    wide = rng.uniform(t0 - 2.0 * tE, t0 + 2.0 * tE, points - points // 3)
    peak = rng.uniform(t0 - 4.0 * rho * tE, t0 + 4.0 * rho * tE, points // 3)
    t = np.sort(np.concatenate([wide, peak]))
    model = f_source * magnification(t, t0, u0, tE, rho) + f_blend
    sigma = 0.002 * np.sqrt(model)  # photon noise
    return Event(t, model + sigma * rng.standard_normal(t.size), sigma)


def fluxes(event: Event, a: FloatArray) -> tuple[float, float]:
    """f_source and f_blend minimising chi^2 for the magnification a: a 2x2 normal system."""
    w = 1.0 / event.sigma**2
    s_aa, s_a, s_1 = np.sum(w * a * a), np.sum(w * a), np.sum(w)
    s_af, s_f = np.sum(w * a * event.flux), np.sum(w * event.flux)
    determinant = s_aa * s_1 - s_a * s_a
    return float((s_af * s_1 - s_a * s_f) / determinant), float((s_aa * s_f - s_a * s_af) / determinant)


def profiled_residuals(theta: FloatArray, event: Event) -> FloatArray:
    a = magnification(event.t, *(float(x) for x in theta))
    f_source, f_blend = fluxes(event, a)
    return (event.flux - (f_source * a + f_blend)) / event.sigma


def full_jacobian(values: FloatArray, event: Event) -> FloatArray:
    """d(residual)/d(parameter) for all six: central differences for the four nonlinear ones."""
    t0, u0, tE, rho, f_source, _ = values
    a = magnification(event.t, t0, u0, tE, rho)
    columns = []
    for k in range(4):
        step = 1e-6 * max(abs(values[k]), values[2] * 1e-3 if k == 0 else 1e-6)
        up, down = values[:4].copy(), values[:4].copy()
        up[k] += step
        down[k] -= step
        slope = (magnification(event.t, *up) - magnification(event.t, *down)) / (2.0 * step)
        columns.append(-f_source * slope / event.sigma)
    columns += [-a / event.sigma, -1.0 / event.sigma]
    return np.stack(columns, axis=1)


def fit(event: Event, guess: Sequence[float]) -> Fit:
    """Least squares from `guess` (t0, u0, tE, rho); fluxes solved linearly at every step."""
    lower, upper = np.array([-np.inf, 0.0, 1e-3, 1e-6]), np.array([np.inf, np.inf, np.inf, 10.0])
    start = np.clip(np.asarray(guess, dtype=float), lower, upper)
    result = least_squares(profiled_residuals, start, args=(event,), bounds=(lower, upper),
                           x_scale=np.abs(start) + [1e-2, 1e-4, 1e-2, 1e-4], xtol=1e-12, ftol=1e-12)
    theta = result.x
    f_source, f_blend = fluxes(event, magnification(event.t, *theta))
    values = np.array([*theta, f_source, f_blend])
    jacobian = full_jacobian(values, event)
    covariance = np.linalg.inv(jacobian.T @ jacobian)
    chi2 = float(np.sum(profiled_residuals(theta, event) ** 2))
    return Fit(values, np.sqrt(np.diag(covariance)), chi2, event.t.size - len(NAMES))


def first_guesses(event: Event) -> list[tuple[float, float, float, float]]:
    """Starts from the data alone, as if unblended: t0 at the brightest epoch; the peak
    magnification A_max over the baseline (the faintest tenth) gives u0 ~ 1 / A_max; tE is half
    the time spent above A = 1.34 (u < 1). Two sources: one the lens crosses (rho ~ 2 / A_max,
    the peak of a uniform disk with the lens at its centre) and a smaller one."""
    order = np.argsort(event.flux)
    baseline = float(np.median(event.flux[order[: max(1, event.t.size // 10)]]))
    brightest = int(order[-1])
    a_max = max(float(event.flux[brightest]) / baseline, 1.5)
    above = event.t[event.flux > 1.34 * baseline]
    tE = max(0.5 * float(above.max() - above.min()) if above.size > 1 else 20.0, 1.0)
    return [(float(event.t[brightest]), 1.0 / a_max, tE, rho) for rho in (2.0 / a_max, 0.2 / a_max)]


def fit_from_data(event: Event) -> Fit:
    """The best of the fits from first_guesses."""
    return min((fit(event, guess) for guess in first_guesses(event)), key=lambda found: found.chi2)


def report(found: Fit, truth: Sequence[float] | None = None) -> str:
    lines = [f"{'parameter':>9} {'fitted':>22}" + ("   true    pull" if truth is not None else "")]
    for k, name in enumerate(NAMES):
        line = f"{name:>9} {found.values[k]:11.6g} +- {found.errors[k]:8.2g}"
        if truth is not None:
            line += f" {truth[k]:7.4g} {(found.values[k] - truth[k]) / found.errors[k]:+7.2f}"
        lines.append(line)
    lines.append(f"chi^2 = {found.chi2:.1f} for {found.dof} degrees of freedom")
    return "\n".join(lines)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    parser.add_argument("--points", type=int, default=1500, help="number of epochs (default 1500)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the synthetic noise (default 1)")
    args = parser.parse_args(argv)
    event = simulate(args.points, args.seed)
    found = fit_from_data(event)
    print(f"synthetic event, {event.t.size} epochs, {LAW} law {COEFFICIENTS}:")
    print(report(found, TRUTH))
    return 0


if __name__ == "__main__":
    sys.exit(main())
