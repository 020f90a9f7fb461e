"""Cost of vellomir_numpy.centroid_shift against the magnification on the same elements.

    PYTHONPATH=<build dir> RAYON_NUM_THREADS=1 python bench/bench_centroid.py

Prints, each against its baseline timed in the same run (best of several runs, interleaved):
  1. the uniform disk on 10^5 separations uniform in (0, 3 rho), rho = 0.01 and rho = 1:
     centroid_shift(u, rho) over uniform(u, rho) (target: at most 3x);
  2. the linear (a = 0.6) and quadratic (0.4, 0.25) laws on 10^4 separations in (0, 3 rho),
     rho = 0.01, at rtol 1e-6 and 1e-10: centroid_shift over limb_darkened (target: at most 2x);
  3. the largest error of the uniform disk and of the laws against
     tests/data/centroid_references.txt (2-D mpmath integrals).
"""

from pathlib import Path

import numpy as np

import vellomir_numpy as vn
from timing import best_pair

REFERENCES = Path(__file__).resolve().parents[1] / "tests" / "data" / "centroid_references.txt"


def uniform_cost():
    rng = np.random.default_rng(20)
    for rho in (0.01, 1.0):
        u = rng.uniform(0.0, 3.0 * rho, 100_000)
        base, ours = best_pair(lambda: vn.uniform(u, rho), lambda: vn.centroid_shift(u, rho), 7)
        print(f"uniform disk, rho = {rho:g}, 1e5 elements in (0, 3 rho): uniform {base / u.size * 1e9:7.1f} ns, "
              f"centroid_shift {ours / u.size * 1e9:7.1f} ns per element: ratio {ours / base:.2f}")


def law_cost():
    rng = np.random.default_rng(21)
    rho = 0.01
    u = rng.uniform(0.0, 3.0 * rho, 10_000)
    for law, coefficients in (("linear", [0.6]), ("quadratic", [0.4, 0.25])):
        for rtol in (1e-6, 1e-10):
            base, ours = best_pair(lambda: vn.limb_darkened(u, rho, law, coefficients, rtol=rtol),
                                   lambda: vn.centroid_shift(u, rho, law=law, coefficients=coefficients, rtol=rtol),
                                   repeats=3)
            print(f"{law:9s} rtol {rtol:.0e}, 1e4 elements in (0, 3 rho): limb_darkened "
                  f"{base / u.size * 1e6:6.2f} us, centroid_shift {ours / u.size * 1e6:6.2f} us per element: "
                  f"ratio {ours / base:.2f}")


def accuracy():
    worst = {}
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#"):
            continue
        law, coefficients, rho_text, ratio, value = line.split()
        rho, want = float(rho_text), float(value)
        u = float(ratio) * rho
        if law == "uniform":
            got = float(vn.centroid_shift(u, rho))
            scale = max(abs(want), 1e-2 * rho)  # relative, or absolute next to the centre and limb
            key = "uniform disk (closed form)"
        else:
            got = float(vn.centroid_shift(u, rho, law=law, coefficients=[float(c) for c in coefficients.split(",")],
                                          rtol=1e-10))
            x = max(u, rho)
            scale = max(abs(want), x / (10 * (x * x + 2)))
            key = f"{law} rtol 1e-10"
        error = abs(got - want) / scale
        if error >= worst.get(key, (-1.0, ""))[0]:
            worst[key] = (error, f"rho {rho_text} u/rho {ratio}")
    for key, (error, where) in worst.items():
        print(f"largest error, {key}: {error:.2e} (at {where})")


if __name__ == "__main__":
    uniform_cost()
    law_cost()
    accuracy()
