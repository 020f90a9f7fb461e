"""Fit a high-magnification event with exact derivatives, and with finite differences.

    python examples/fit_derivatives.py [--epochs 600] [--seed 1] [--rtol 1e-8]

A synthetic light curve of a point lens crossing a limb-darkened star (quadratic law): the
observed flux is fs A(t; t0, u0, tE, rho, a, b) + fb plus Gaussian noise. The source and blend
fluxes fs, fb enter linearly, so for each trial of the six nonlinear parameters they are solved
by weighted linear least squares (variable projection, Golub & Pereyra 1973) and only the six
are searched, by scipy.optimize.least_squares from the same start twice: with the Jacobian of
vellomir_numpy.light_curve_derivatives, and with scipy's finite differences. Prints for each the
model evaluations (finite-difference calls included), the time, and the fitted parameters.
"""

import argparse
import sys
import time
from collections.abc import Callable

import numpy as np
import numpy.typing as npt
from scipy.optimize import least_squares

import vellomir_numpy

Array = npt.NDArray[np.float64]
NAMES = ("t0", "u0", "tE", "rho", "a", "b")
TRUTH = np.array([0.0, 0.003, 20.0, 0.01, 0.4, 0.25])
START = np.array([0.004, 0.0045, 18.0, 0.012, 0.5, 0.1])
FLUXES = (1.0, 0.2)  # source, blend
LOWER = np.array([-1.0, 0.0, 1.0, 1e-4, -1.0, -1.0])
UPPER = np.array([1.0, 0.1, 100.0, 0.1, 2.0, 2.0])


def epochs(count: int) -> Array:
    """Most epochs over the crossing (|t - t0| < 0.4 d), the rest over the wings."""
    dense = np.linspace(-0.4, 0.4, count * 3 // 4)
    wings = np.linspace(-30.0, 30.0, count - dense.size)
    return np.sort(np.concatenate([dense, wings]))


def model(t: Array, p: Array, rtol: float) -> Array:
    return np.asarray(vellomir_numpy.light_curve(t, *p[:4], law="quadratic", coefficients=p[4:], rtol=rtol))


class Problem:
    """Weighted residuals with the fluxes projected out, counting the model's evaluations."""

    def __init__(self, t: Array, flux: Array, sigma: Array, rtol: float) -> None:
        self.t, self.y, self.sigma, self.rtol = t, flux / sigma, sigma, rtol
        self.evaluations = 0

    def _fluxes(self, a: Array) -> tuple[Array, Array, Array, Array]:
        design = np.column_stack([a / self.sigma, 1.0 / self.sigma])
        q, r = np.linalg.qr(design)
        fluxes = np.linalg.solve(r, q.T @ self.y)
        return design, q, r, fluxes

    def residuals(self, p: Array) -> Array:
        self.evaluations += 1
        design, _, _, fluxes = self._fluxes(model(self.t, p, self.rtol))
        return self.y - design @ fluxes

    def jacobian(self, p: Array) -> Array:
        """d(residuals)/dp of the projected problem: -P (dM c) - Q R^-T (dM^T r)."""
        self.evaluations += 1
        a, derivatives = vellomir_numpy.light_curve_derivatives(
            self.t, *p[:4], law="quadratic", coefficients=p[4:], rtol=self.rtol
        )
        design, q, r, fluxes = self._fluxes(np.asarray(a))
        residual = self.y - design @ fluxes
        d_design = derivatives / self.sigma[:, None]  # d(column A / sigma)/dp; the blend column is constant
        direct = d_design * fluxes[0]
        projected = direct - q @ (q.T @ direct)
        back = q @ np.linalg.solve(r.T, np.vstack([d_design.T @ residual, np.zeros(p.size)]))
        return -projected - back


def fit(problem: Problem, jac: Callable[[Array], Array] | str) -> tuple[Array, int, float, int]:
    problem.evaluations = 0
    start = time.perf_counter()
    done = least_squares(problem.residuals, START, jac=jac, bounds=(LOWER, UPPER), x_scale="jac",
                         xtol=1e-12, ftol=1e-12, gtol=1e-12)
    return done.x, problem.evaluations, time.perf_counter() - start, done.status


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--epochs", type=int, default=600)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--rtol", type=float, default=1e-8)
    args = parser.parse_args(argv)

    t = epochs(args.epochs)
    clean = FLUXES[0] * model(t, TRUTH, 1e-12) + FLUXES[1]
    sigma = 0.002 * clean
    flux = clean + np.random.default_rng(args.seed).normal(0.0, sigma)
    problem = Problem(t, flux, sigma, args.rtol)

    print(f"{args.epochs} epochs; truth " + " ".join(f"{n}={v:g}" for n, v in zip(NAMES, TRUTH)))
    results = {}
    for label, jac in (("analytic", problem.jacobian), ("finite differences", "2-point")):
        x, evaluations, seconds, status = fit(problem, jac)
        results[label] = (x, evaluations, seconds, status)
        chi2 = float(np.sum(problem.residuals(x) ** 2))
        fitted = " ".join(f"{n}={v:.6g}" for n, v in zip(NAMES, x))
        print(f"{label:>18}: {evaluations:4d} model evaluations, {seconds:7.3f} s, status {status}, "
              f"chi2 {chi2:.3f}\n{'':>20}{fitted}")
    analytic, differences = results["analytic"], results["finite differences"]
    print(f"evaluations {analytic[1]} vs {differences[1]}, time {analytic[2]:.3f} s vs {differences[2]:.3f} s")
    return 0 if analytic[3] > 0 and differences[3] > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
