"""Magnifications with derivatives: the values are the plain functions' bits, the derivatives
agree with the star's integrals (tests/data/derivative_references.txt, also read by the C++
tests) and with high-order finite differences of the values, and no path or worker count
changes a bit."""

import doctest
import subprocess
import sys
import warnings
from pathlib import Path

import numpy as np
import pytest

import vellomir_numpy as vn
from conftest import module_environment, run_python

REFERENCES = Path(__file__).resolve().parents[1] / "data" / "derivative_references.txt"
LAW_CASES = [
    ("linear", [0.6]),
    ("quadratic", [0.4, 0.25]),
    ("square-root", [0.3, 0.4]),
    ("logarithmic", [0.6, 0.2]),
    ("power-2", [0.6, 0.6]),
    ("claret", [0.5, 0.1, 0.2, -0.1]),
]
# u / rho across the lens, the limb and the far-field switch, for a few radii.
RATIOS = np.array([0.0, 1e-6, 0.2, 0.5, 0.8, 0.97, 1.03, 1.5, 2.9, 3.1, 10.0, 100.0])
RHOS = [1e-4, 0.01, 1.0, 30.0]


def grid():
    rho = np.repeat(RHOS, RATIOS.size)
    return np.tile(RATIOS, len(RHOS)) * rho, rho


def scale_error(got, exact, a, x):
    """|got - exact| in units of max(|exact|, A / x), the scale the tolerances refer to."""
    with np.errstate(divide="ignore", invalid="ignore"):
        scale = np.maximum(np.abs(exact), np.where(x > 0, a / x, 0.0))
        return np.where(got == exact, 0.0, np.abs(got - exact) / scale)


def finite_difference(f, x, h):
    """Sixth-order central difference."""
    return (45 * (f(x + h) - f(x - h)) - 9 * (f(x + 2 * h) - f(x - 2 * h)) + (f(x + 3 * h) - f(x - 3 * h))) / (60 * h)


def test_uniform_matches_the_reference_integrals():
    rows = [line.split()[1:] for line in REFERENCES.read_text().splitlines() if line.startswith("disk ")]
    u, rho, a, du, drho = np.array(rows, dtype=float).T
    assert len(u) > 100
    got = vn.uniform_derivatives(u, rho)
    assert np.array_equal(got.A, vn.uniform(u, rho))
    assert scale_error(got.dA_du, du, a, u).max() < 1e-13
    assert scale_error(got.dA_drho, drho, a, rho).max() < 1e-13


def test_uniform_values_are_the_plain_bits_on_every_path():
    u = np.concatenate([np.geomspace(1e-300, 1e300, 997), [0.0, -0.3, 1.0, 3.0, 3.0000001, np.inf, -np.inf, np.nan]])
    for rho in [0.0, 1e-250, 1e-10, 0.3, 1.0, 1e3, 1e10]:
        got = vn.uniform_derivatives(u, rho)
        assert np.array_equal(got.A, vn.uniform(u, rho), equal_nan=True)
        per_element = vn.uniform_derivatives(u, np.full(u.shape, rho))
        for a, b in zip(got, per_element):
            assert np.array_equal(a, b, equal_nan=True)
        scalar = [vn.uniform_derivatives(x, rho) for x in u[::50]]
        assert np.array_equal([s.dA_du for s in scalar], got.dA_du[::50], equal_nan=True)
        defined = np.isfinite(u) & ((u != 0) | (rho != 0))  # at u = rho = 0 dA/drho is NaN
        assert not np.isnan(got.dA_drho[defined]).any()


def test_rim_and_lens():
    for rho in [1e-8, 0.01, 1.0, 100.0]:
        rim = vn.uniform_derivatives([rho, -rho, 0.0], rho)
        assert list(rim.dA_du) == [-np.inf, np.inf, 0.0]
        assert rim.dA_drho[0] == np.inf and rim.dA_drho[2] < 0
        bright_limb = vn.limb_darkened_derivatives(rho, rho, "quadratic", [0.4, 0.25])
        assert bright_limb.dA_du == -np.inf
        with pytest.warns(RuntimeWarning, match="rounding floor"):  # the rim within an ulp of the lens
            dark_limb = vn.limb_darkened_derivatives(rho, rho, "linear", [1.0])
        assert np.isfinite(dark_limb.dA_du) and np.isfinite(dark_limb.dA_drho)
        fading_table = vn.profile_derivatives(rho, rho, [0.0, 1.0], [1.0, 0.0])
        assert np.isfinite(fading_table.dA_du) and fading_table.dA_du < 0


@pytest.mark.parametrize(("law", "coefficients"), LAW_CASES)
def test_law_values_are_the_plain_bits(law, coefficients):
    u, rho = grid()
    for rtol in [1e-3, 1e-10]:
        got = vn.limb_darkened_derivatives(u, rho, law, coefficients, rtol=rtol)
        assert np.array_equal(got.A, vn.limb_darkened(u, rho, law, coefficients, rtol=rtol))
        assert got.dA_dcoefficients.shape == u.shape + (len(coefficients),)


@pytest.mark.parametrize(("law", "coefficients"), LAW_CASES)
def test_law_derivatives_agree_with_finite_differences(law, coefficients):
    # Away from the limb (the kink), differences of values at rtol 1e-13 are good to about 1e-8.
    u, rho = grid()
    keep = np.abs(u / rho - 1) > 0.02
    u, rho = u[keep], rho[keep]
    got = vn.limb_darkened_derivatives(u, rho, law, coefficients, rtol=1e-10)
    value = lambda uu, rr, cc: vn.limb_darkened(uu, rr, law, cc, rtol=1e-13)  # noqa: E731
    h_u = 1e-3 * np.minimum(np.abs(u - rho), np.where(u > 0, u, rho))
    du = finite_difference(lambda x: value(x, rho, coefficients), u, h_u)
    h_rho = 1e-3 * np.minimum(np.abs(u - rho), rho)
    drho = finite_difference(lambda x: value(u, x, coefficients), rho, h_rho)
    assert scale_error(got.dA_du, du, got.A, u).max() < 1e-6
    assert scale_error(got.dA_drho, drho, got.A, rho).max() < 1e-6
    for k, c in enumerate(coefficients):
        def shifted(x, k=k):
            return np.array([value(uu, rr, np.where(np.arange(len(coefficients)) == k, xx, coefficients))
                             for uu, rr, xx in zip(u, rho, np.broadcast_to(x, u.shape))])
        dc = finite_difference(shifted, np.full(u.shape, float(c)), 1e-3)
        assert scale_error(got.dA_dcoefficients[:, k], dc, got.A, 1.0).max() < 1e-6, (law, k)


def test_profile_values_and_derivatives():
    radius, intensity = [0.0, 0.3, 0.7, 0.7, 0.95], [1.0, 0.9, 0.6, 0.3, 0.2]
    u, rho = grid()
    keep = np.all(np.abs(u[:, None] / rho[:, None] - np.array(radius)[None, 1:]) > 0.02, axis=1)
    u, rho = u[keep], rho[keep]
    got = vn.profile_derivatives(u, rho, radius, intensity, rtol=1e-10)
    assert np.array_equal(got.A, vn.profile(u, rho, radius, intensity, rtol=1e-10))
    value = lambda uu, rr: vn.profile(uu, rr, radius, intensity, rtol=1e-13)  # noqa: E731
    gaps = np.min(np.abs(u[:, None] - rho[:, None] * np.array(radius)[None, 1:]), axis=1)
    h_u = 1e-3 * np.minimum(gaps, np.where(u > 0, u, rho))
    du = finite_difference(lambda x: value(x, rho), u, h_u)
    drho = finite_difference(lambda x: value(u, x), rho, 1e-3 * np.minimum(gaps, rho))
    assert scale_error(got.dA_du, du, got.A, u).max() < 1e-6
    assert scale_error(got.dA_drho, drho, got.A, rho).max() < 1e-6


def test_light_curve_jacobian():
    t = np.linspace(-0.6, 0.6, 41)
    parameters = dict(t0=0.01, u0=0.004, tE=20.0, rho=0.01)
    law, coefficients = "quadratic", [0.4, 0.25]
    A, jacobian = vn.light_curve_derivatives(t, **parameters, law=law, coefficients=coefficients, rtol=1e-10)
    assert np.array_equal(A, vn.light_curve(t, **parameters, law=law, coefficients=coefficients, rtol=1e-10))
    assert jacobian.shape == (41, 6)
    names = list(parameters)
    u = np.hypot(parameters["u0"], (t - parameters["t0"]) / parameters["tE"])
    away = np.abs(u / parameters["rho"] - 1) > 0.05
    for k, name in enumerate(names + ["a", "b"]):
        def curve(x, k=k, name=name):
            p = dict(parameters)
            c = list(coefficients)
            if k < 4:
                p[name] = x
            else:
                c[k - 4] = x
            return vn.light_curve(t, **p, law=law, coefficients=c, rtol=1e-13)
        base = parameters[name] if k < 4 else coefficients[k - 4]
        numerical = finite_difference(curve, base, 1e-4 * abs(base))
        scale = np.maximum(np.abs(numerical), A / abs(base))
        assert (np.abs(jacobian[away, k] - numerical[away]) / scale[away]).max() < 1e-6, name
    uniform_a, uniform_j = vn.light_curve_derivatives(0.0, 0.0, 0.0, 1.0, 0.1)
    assert uniform_a == vn.uniform(0.0, 0.1) and list(uniform_j[:3]) == [0.0, 0.0, 0.0]


def test_docstring_examples():
    from vellomir_numpy import _derivatives

    failures, tried = doctest.testmod(_derivatives, extraglobs={"np": np}, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert tried >= 4 and failures == 0


@pytest.mark.parametrize(("law", "coefficients", "rtol"), [
    ("power-2", [0.6, 0.6], 1e-6),  # the tanh-sinh rule reaches its finest level
    ("square-root", [0.3, 0.4], 1e-10),  # the sub-disk radii's rounding next to the lens exceeds rtol
])
def test_a_derivative_short_of_its_tolerance_warns_once(law, coefficients, rtol):
    # Lens 1e-12 of the radius inside the limb: the derivatives' integrals cannot meet rtol there.
    rho = 0.1
    u = rho * np.array([0.5, 1 - 1e-12, 2.0])
    pattern = rf"^1 element\(s\) did not reach rtol={rtol:g}: an integral hit its cap or its rounding floor"
    with pytest.warns(RuntimeWarning, match=pattern) as record:
        got = vn.limb_darkened_derivatives(u, rho, law, coefficients, rtol=rtol)
    assert len(record) == 1 and record[0].filename == __file__
    assert float(str(record[0].message).rsplit(" ", 1)[1]) > rtol
    assert np.isfinite(got.dA_du).all() and np.isfinite(got.dA_dcoefficients).all()
    with pytest.warns(RuntimeWarning, match=pattern) as record:
        vn.light_curve_derivatives([0.0, 1.0], 0.0, u[1], 10.0, rho, law=law, coefficients=coefficients, rtol=rtol)
    assert len(record) == 1 and record[0].filename == __file__
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        vn.limb_darkened_derivatives(u[[0, 2]], rho, law, coefficients, rtol=rtol)


def test_a_table_short_of_its_tolerance_warns(monkeypatch):
    def capped(u, rho, radius, intensity, rtol, out):
        out[:] = 1.0
        return (2, 3.5e-9)

    monkeypatch.setattr(vn._core, "profile_derivatives", capped)
    with pytest.warns(RuntimeWarning, match=r"2 element\(s\) did not reach rtol=1e-10.*3\.5e-09") as record:
        vn.profile_derivatives(np.zeros(4), 0.01, [0.0, 1.0], [1.0, 0.5])
    assert len(record) == 1 and record[0].filename == __file__


def test_argument_errors():
    with pytest.raises(ValueError, match="law must be one of"):
        vn.limb_darkened_derivatives(0.1, 0.1, "cubic", [0.1])
    with pytest.raises(ValueError, match="rtol"):
        vn.limb_darkened_derivatives(0.1, 0.1, "linear", [0.1], rtol=1.0)
    with pytest.raises(ValueError, match="non-negative"):
        vn.uniform_derivatives(0.1, -1.0)
    with pytest.raises(ValueError, match="coefficients must be empty"):
        vn.light_curve_derivatives(0.0, 0.0, 0.1, 1.0, 0.1, coefficients=[0.5])
    with pytest.raises(ValueError, match="sorted"):
        vn.profile_derivatives(0.1, 0.1, [0.5, 0.1], [1.0, 1.0])


DIGEST = """
import hashlib, numpy as np, vellomir_numpy as vn
u = np.geomspace(1e-4, 1e2, 3001)
parts = [vn.uniform_derivatives(u, 0.37), vn.limb_darkened_derivatives(u[::7], 0.37, "claret", [0.5, 0.1, 0.2, -0.1]),
         vn.profile_derivatives(u[::7], 0.37, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3])]
print(hashlib.sha256(b"".join(np.ascontiguousarray(a).tobytes() for p in parts for a in p)).hexdigest())
"""


def test_bits_do_not_depend_on_the_worker_count():
    digests = set()
    for threads in ["1", "3"]:
        done = run_python(DIGEST, RAYON_NUM_THREADS=threads)
        assert done.returncode == 0, done.stderr
        digests.add(done.stdout.strip())
    assert len(digests) == 1


def test_fitting_example_converges_in_fewer_evaluations():
    example = Path(__file__).resolve().parents[2] / "examples" / "fit_derivatives.py"
    done = subprocess.run([sys.executable, str(example), "--epochs", "120"], env=module_environment(),
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    last = done.stdout.strip().splitlines()[-1].split()
    analytic, differences = int(last[1]), int(last[3].rstrip(","))
    assert analytic < differences, done.stdout
