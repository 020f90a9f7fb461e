"""The batched kernels behind vellomir_numpy are bit for bit the scalar ones, on every SIMD path:
uniform() about one radius (and point_source) against the element-wise route (one radius per
element), and the ring integrals of limb_darkened() and profile() across the paths."""

from conftest import run_python

SCRIPT = r"""
import hashlib
import numpy as np
import vellomir_numpy as vn
inf, nan = float("inf"), float("nan")
factors = [0.0, -0.0, 1e-300, 1e-8, 0.3, 0.999999, 1.0, 1.0000001, 1.5, 2.0, 10.0, 1e3, 1e8, -0.7, inf, -inf, nan]
same = []
for rho in [0.0, 1e-210, 1e-6, 1e-3, 0.1, 0.5, 1.0, 2.0, 100.0, inf, nan]:
    scale = rho if 0.0 < rho < inf else 1.0
    u = np.concatenate([np.array(factors) * scale, np.linspace(0.0, 3.0, 203), np.geomspace(1e-7, 1e7, 150)])
    for size in (u.size, 20):  # on the pool, and inline
        same.append(vn.uniform(u[:size], rho).tobytes() == vn.uniform(u[:size], np.full(size, rho)).tobytes())
same.append(vn.point_source(u).tobytes() == vn.uniform(u, np.zeros(u.size)).tobytes())
rings = hashlib.sha256()
laws = [("linear", [0.6]), ("quadratic", [0.4, 0.25]), ("square-root", [0.3, 0.4]), ("logarithmic", [0.5, 0.2]),
        ("power-2", [0.6, 0.5])]
for rho in [1e-6, 1e-2, 0.5, 3.0, 100.0]:
    u = np.array([0.0, 1e-3, 0.5, 0.99, 1.0, 1.01, 1.7, 2.5, 4.0]) * rho
    for law, coefficients in laws:
        rings.update(vn.limb_darkened(u, rho, law, coefficients, rtol=1e-8).tobytes())
    rings.update(vn.profile(u, rho, [0.0, 0.3, 0.3, 1.0], [1.0, 0.9, 0.5, 0.2], rtol=1e-10).tobytes())
print(all(same), rings.hexdigest())
"""


def test_batched_kernels_are_bit_identical_on_every_simd_path():
    reports = []
    for isa in (None, "avx2", "scalar"):
        done = run_python(SCRIPT, timeout=120, VELLOMIR_SIMD=isa)
        assert done.returncode == 0, done.stderr
        reports.append(done.stdout.split())
    assert all(same == "True" for same, _ in reports)
    assert len({digest for _, digest in reports}) == 1
