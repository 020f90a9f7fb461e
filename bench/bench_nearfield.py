"""Cost and achieved error of vellomir_numpy with the lens on the star, per rtol decade.

    RAYON_NUM_THREADS=1 PYTHONPATH=<build dir> python bench/bench_nearfield.py [--quick]

The workload is a light curve of 10^4 epochs with the lens crossing the star: t within
t0 +- 0.5 d, tE = 20 d, u0 = 0.3 rho (so every epoch has u < 3 rho for rho = 0.01). For each law
(linear a = 0.6, quadratic 0.4, 0.25, claret 0.5, 0.1, 0.2, -0.1, a 20-point table of the linear
law), each rho (1e-4, 0.01, 1, 100, with u0 and the time span scaled with rho) and each rtol
from 1e-2 to 1e-14 it prints the CPU time per epoch (best of a few calls; run it on one worker)
and the largest relative error against the same curve at rtol = 1e-14, whose own error the
tests bound by 1e-14 against independent 2-D integrals (tests/python/test_nearfield.py). Each
cost is also given as a multiple of uniform() on the same epochs in the same run (one
uniform-disk value per epoch), which carries over between machines better than the times;
far points (u >= 3 rho, the mean-value series) are timed as well.
"""

import math
import sys
import time

import numpy as np

import vellomir_numpy as vn

RTOLS = [10.0**-k for k in range(2, 15)]
LAWS = [("linear", [0.6]), ("quadratic", [0.4, 0.25]), ("claret", [0.5, 0.1, 0.2, -0.1])]
TABLE_RADIUS = np.linspace(0.0, 1.0, 20)
TABLE_INTENSITY = 1 - 0.6 * (1 - np.sqrt(1 - TABLE_RADIUS**2))


def cpu_time(function, repeats=3):
    best = math.inf
    for _ in range(repeats):
        start = time.process_time()
        function()
        best = min(best, time.process_time() - start)
    return best


def crossing(rho, epochs=10_000):
    t_e = 20.0
    span = 0.5 * rho / 0.01  # t0 +- 0.5 d at rho = 0.01: u up to 2.5 rho
    t = np.linspace(-span, span, epochs)
    u0 = 0.3 * rho
    return np.sqrt(u0 * u0 + (t / t_e) ** 2)


def model(name, coefficients, rtol):
    if name == "table":
        return lambda u, rho: vn.profile(u, rho, TABLE_RADIUS, TABLE_INTENSITY, rtol=rtol)
    return lambda u, rho: vn.limb_darkened(u, rho, name, coefficients, rtol=rtol)


def main():
    quick = "--quick" in sys.argv
    rhos = [0.01] if quick else [1e-4, 0.01, 1.0, 100.0]
    laws = LAWS + [("table", None)]
    for rho in rhos:
        u = crossing(rho)
        uniform_cost = cpu_time(lambda: vn.uniform(u, rho)) / u.size * 1e9
        far = u * 0 + 3.5 * rho + u
        far_cost = cpu_time(lambda: vn.limb_darkened(far, rho, "linear", [0.6], rtol=1e-10)) / u.size * 1e9
        print(f"rho = {rho:g}: uniform {uniform_cost:.0f} ns/epoch; linear far (u >= 3 rho, rtol 1e-10) "
              f"{far_cost:.0f} ns/epoch")
        print(f"  {'rtol':>6} " + " ".join(f"{name:>26}" for name, _ in laws))
        truth = {name: model(name, c, 1e-14)(u, rho) for name, c in laws}
        for rtol in RTOLS:
            cells = []
            for name, coefficients in laws:
                function = model(name, coefficients, rtol)
                cost = cpu_time(lambda: function(u, rho)) / u.size * 1e6
                error = np.max(np.abs(function(u, rho) - truth[name]) / truth[name])
                cells.append(f"{cost:6.3f} us {cost * 1e3 / uniform_cost:4.0f}x {error:7.1e}")
            print(f"  {rtol:6.0e} " + " ".join(f"{c:>26}" for c in cells), flush=True)


if __name__ == "__main__":
    main()
