"""Timings and accuracy of vellomir_numpy, with their baselines measured in the same run.

    PYTHONPATH=<build dir> python bench/bench_numpy.py

Prints:
  1. a light curve of 10^4 epochs (rho = 0.01, u0 = 0.05, tE = 20 d, t0 +- 2 tE), linear law
     a = 0.6, rtol = 1e-10, against vellomir.integrated_heyrovsky_magnification on the same
     separations (its normalisation 2.5132741228717936 rescaled to the profile's 0.8 pi), and the
     per-point cost of near (u <= 1.5 rho) and far (u >= 3 rho) points;
  2. uniform() on 10^6 float64 separations against the same closed form written with
     scipy.special.ellipk / ellipe / elliprj on the same array;
  3. the time of a 10-element call;
  4. the accuracy per law, near and far, against tests/data/numpy_profile_references.txt.
Times are the best of a few runs on the default pool (all available cores).
"""

import math
import os
import time
from pathlib import Path

import numpy as np

import vellomir
import vellomir_numpy as vn
from timing import best_of

REFERENCES = Path(__file__).resolve().parents[1] / "tests" / "data" / "numpy_profile_references.txt"


def light_curve():
    rho, u0, t_e, t0 = 0.01, 0.05, 20.0, 0.0
    t = np.linspace(t0 - 2 * t_e, t0 + 2 * t_e, 10_000)
    ours = vn.light_curve(t, t0, u0, t_e, rho, law="linear", coefficients=[0.6], rtol=1e-10)
    fast = best_of(lambda: vn.light_curve(t, t0, u0, t_e, rho, law="linear", coefficients=[0.6], rtol=1e-10), 5)
    u = np.sqrt(u0 * u0 + ((t - t0) / t_e) ** 2)
    separations = (u / rho).tolist()
    start = time.perf_counter()
    module = np.array(vellomir.integrated_heyrovsky_magnification(separations, 1.0, rho))
    slow = time.perf_counter() - start
    module *= 2.5132741228717936 / (0.8 * math.pi)
    difference = np.max(np.abs(ours - module) / module)
    print(f"light curve, 1e4 epochs, linear a=0.6, rtol=1e-10 ({os.cpu_count()} CPUs)")
    print(f"  vellomir_numpy.light_curve            {fast * 1e3:9.3f} ms")
    print(f"  vellomir.integrated_heyrovsky_magn.   {slow * 1e3:9.3f} ms   speed-up {slow / fast:7.1f}x")
    print(f"  max relative difference               {difference:9.2e}")
    near = np.linspace(0.0, 1.5, 2001) * rho
    far = np.linspace(3.0, 200.0, 20001) * rho
    for name, points in (("near, u/rho in [0, 1.5]", near), ("far,  u/rho in [3, 200]", far)):
        seconds = best_of(lambda: vn.limb_darkened(points, rho, "linear", [0.6], rtol=1e-10), 3)
        print(f"  per point, {name}      {seconds / points.size * 1e9:9.1f} ns")
    print(f"  epochs with u < 3 rho: {np.count_nonzero(u < 3 * rho)} of {u.size}")


def scipy_uniform(u, rho):
    from scipy.special import ellipe, ellipk, elliprj

    n = 4.0 * rho * u / ((u + rho) * (u + rho))
    g = np.sqrt((u - rho) * (u - rho) + 4.0)
    m = 4.0 * n / (g * g)
    k = ellipk(m)
    p = k + n / 3.0 * elliprj(0.0, 1.0 - m, 1.0, 1.0 - n)
    rho2 = rho * rho
    t_e = (u + rho) * g / (2.0 * rho2) * ellipe(m)
    t_k = (u - rho) * ((u * u - rho2) * 0.5 + 4.0) / (g * rho2) * k
    t_p = 2.0 * ((u - rho) * (u - rho)) * (1.0 + rho2) / (g * rho2 * (u + rho)) * p
    return ((t_e - t_k) + t_p) / math.pi


def uniform():
    rho = 0.01
    u = np.random.default_rng(1).uniform(0.0, 2.0, 1_000_000)
    u = u[np.abs(u - rho) > 1e-4]  # the SciPy form has no rim branch
    ours = best_of(lambda: vn.uniform(u, rho), 5)
    try:
        reference = scipy_uniform(u, rho)
    except ImportError:
        print("uniform: SciPy not available, no baseline")
        return
    theirs = best_of(lambda: scipy_uniform(u, rho), 3)
    difference = np.max(np.abs(vn.uniform(u, rho) - reference) / reference)
    print(f"uniform on {u.size} float64 separations (rho = 0.01, u in [0, 2])")
    print(f"  vellomir_numpy.uniform                {ours * 1e3:9.3f} ms")
    print(f"  SciPy ellipk/ellipe/elliprj           {theirs * 1e3:9.3f} ms   speed-up {theirs / ours:7.1f}x")
    print(f"  max relative difference               {difference:9.2e}")


def small_calls():
    u = np.linspace(0.5, 1.5, 10)
    far = np.linspace(0.2, 1.0, 10)
    print("10-element call (per call)")
    for name, call in (
        ("point_source(u)", lambda: vn.point_source(u)),
        ("uniform(u, 0.01)", lambda: vn.uniform(u, 0.01)),
        ("limb_darkened(far u, 0.01, linear)", lambda: vn.limb_darkened(far, 0.01, "linear", [0.6])),
        ("vellomir.witt_mao_magnification", lambda: vellomir.witt_mao_magnification(u.tolist(), 1.0, 0.01)),
    ):
        calls = 20_000
        seconds = best_of(lambda: [call() for _ in range(calls)], 5) / calls
        print(f"  {name:38s} {seconds * 1e6:7.2f} us")


def accuracy():
    rows = {}
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#"):
            continue
        fields = line.split()
        rho, ratio, expected = float(fields[-3]), float(fields[-2]), float(fields[-1])
        if fields[0] == "law":
            name = fields[1]
            got = vn.limb_darkened(ratio * rho, rho, name, [float(c) for c in fields[2].split(",")])
        else:
            name = "table (profile)"
            got = vn.profile(ratio * rho, rho, [float(r) for r in fields[1].split(",")],
                             [float(i) for i in fields[2].split(",")])
        zone = "near" if ratio <= 1.5 else "far"
        error = abs(got - expected) / expected
        row = rows.setdefault(name, {"near": 0.0, "far": 0.0})
        row[zone] = max(row[zone], error)
    print("accuracy at rtol = 1e-10, max relative error vs 2-D mpmath integrals")
    print("  law               near (u <= 1.5 rho)   far (u >= 3 rho)")
    for name, zones in rows.items():
        print(f"  {name:17s} {zones['near']:12.2e} {zones['far']:18.2e}")


if __name__ == "__main__":
    light_curve()
    uniform()
    small_calls()
    accuracy()
