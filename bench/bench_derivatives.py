"""Cost of the magnifications with derivatives against the plain magnifications, same run.

    PYTHONPATH=<build dir> python bench/bench_derivatives.py [--threads N]

Prints, as the ratio of the best of five runs taken in turns on the default pool
(RAYON_NUM_THREADS picks the worker count):
  1. uniform_derivatives against uniform on 10^6 separations about one radius (rho = 0.01, u
     spread over [0, 10 rho] and over [0, 1e4 rho]);
  2. limb_darkened_derivatives against limb_darkened on 10^4 points near the lens
     (u / rho in [0, 1.5]) and far (u / rho in [3, 200]), rho = 0.01, per law, at rtol 1e-6 and
     1e-10;
  3. the fitting example's crossing light curve (10^4 epochs, u0 = 0.003, rho = 0.01, tE = 20 d,
     t within t0 +- 0.5 d, quadratic law): light_curve_derivatives against light_curve.
"""

import os

import numpy as np

import vellomir_numpy as vn
from timing import best_pair

LAWS = [("linear", [0.6]), ("quadratic", [0.4, 0.25]), ("claret", [0.5, 0.1, 0.2, -0.1])]


def ratio_line(label, plain, derivatives, count):
    print(f"  {label:<44} {plain / count * 1e9:9.1f} ns {derivatives / count * 1e9:9.1f} ns   x{derivatives / plain:5.2f}")


def main():
    print(f"{os.cpu_count()} CPUs, RAYON_NUM_THREADS={os.environ.get('RAYON_NUM_THREADS', 'unset')}")
    print(f"  {'':<44} {'plain':>12} {'with derivatives':>17}")
    rho = 0.01
    for span in (10.0, 1e4):
        u = np.linspace(0.0, span * rho, 1_000_000)
        plain, both = best_pair(lambda: vn.uniform(u, rho), lambda: vn.uniform_derivatives(u, rho), 5)
        ratio_line(f"uniform, 1e6, u/rho in [0, {span:g}]", plain, both, u.size)
    near = np.linspace(0.0, 1.5, 10_000) * rho
    far = np.linspace(3.0, 200.0, 10_000) * rho
    for law, c in LAWS:
        for rtol in (1e-6, 1e-10):
            for name, points in (("near", near), ("far", far)):
                plain, both = best_pair(
                    lambda: vn.limb_darkened(points, rho, law, c, rtol=rtol),
                    lambda: vn.limb_darkened_derivatives(points, rho, law, c, rtol=rtol),
                    5,
                )
                ratio_line(f"{law} rtol={rtol:g} {name}", plain, both, points.size)
    t = np.linspace(-0.5, 0.5, 10_000)
    arguments = (t, 0.0, 0.003, 20.0, rho)
    for rtol in (1e-6, 1e-10):
        options = dict(law="quadratic", coefficients=[0.4, 0.25], rtol=rtol)
        plain, both = best_pair(
            lambda: vn.light_curve(*arguments, **options), lambda: vn.light_curve_derivatives(*arguments, **options), 5
        )
        ratio_line(f"crossing light curve, rtol={rtol:g}", plain, both, t.size)


if __name__ == "__main__":
    main()
