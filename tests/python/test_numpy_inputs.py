"""vellomir_numpy: inputs that NumPy would misread are refused, and edge values stay exact."""

import re
import typing
import warnings
from importlib import metadata

import numpy as np
import pytest

import vellomir_numpy as vn

MINUTES = np.array(["2020-01-01T12:00"], "datetime64[m]")
REFUSED = [
    (lambda: vn.point_source(None), TypeError, "u must be a number or an array of numbers, got None"),
    (lambda: vn.uniform([0.1, None], 0.01), TypeError, "u must be numbers, got None among them"),
    (lambda: vn.limb_darkened(0.1, None, "linear", [0.6]), TypeError, "rho must be a number or an array .*"),
    (lambda: vn.light_curve(MINUTES, np.datetime64("2020-01-01", "D"), 0.1, 1.0, 0.01), TypeError,
     r"t must be numbers, got datetime64\[m\]: give times as numbers in one unit, .*"),
    (lambda: vn.light_curve(0.0, 0.0, 0.1, np.timedelta64(1, "D"), 0.01), TypeError,
     r"tE must be numbers, got timedelta64\[D\].*"),
    (lambda: vn.uniform(np.ma.masked_array([0.1, 0.2], mask=[0, 1]), 0.01), TypeError,
     r"u is a masked array, whose mask would be ignored: pass u.filled\(np.nan\) .*"),
    (lambda: vn.light_curve(1.0, 0.0, 0.1, 0.0, 0.01), ValueError, "tE must be positive, got 0.0"),
    (lambda: vn.light_curve([1.0, 2.0], 0.0, 0.1, [10.0, -3.0], 0.01), ValueError, "tE must be positive, got -3.0"),
    (lambda: vn.light_curve(1.0, 0.0, 0.1, -0.0, 0.01), ValueError, "tE must be positive, got -0.0"),
    (lambda: vn.limb_darkened(0.1, 0.01, "linear", [0.6], rtol="1e-8"), TypeError,
     "rtol must be a real number, got '1e-8'"),
    (lambda: vn.profile(0.1, 0.01, [0.0, 1.0], [1.0, 0.5], rtol=None), TypeError, "rtol must be a real number, got None"),
]


@pytest.mark.parametrize(("call", "kind", "message"), REFUSED)
def test_misread_inputs_are_refused_naming_the_argument(call, kind, message):
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # nothing leaks from NumPy on the way
        with pytest.raises(kind) as caught:
            call()
    assert type(caught.value) is kind and re.fullmatch(message, str(caught.value)), str(caught.value)


def test_times_converted_to_days_give_the_meant_magnification():
    days = (MINUTES - np.datetime64("2020-01-01", "D")) / np.timedelta64(1, "D")
    assert vn.light_curve(days, 0.0, 0.1, 1.0, 0.01)[0] == pytest.approx(2.1475, abs=1e-4)


def test_nan_coefficients_give_nan_elements():
    t = np.linspace(-1.0, 1.0, 5)
    for law, coefficients in (("linear", [np.nan]), ("claret", [0.5, np.nan, 0.1, 0.0])):
        assert np.isnan(vn.limb_darkened(t, 0.01, law, coefficients)).all()
        curve = vn.light_curve(t, 0.0, [[0.1], [0.2]], 1.0, 0.01, law=law, coefficients=coefficients)
        assert curve.shape == (2, 5) and np.isnan(curve).all()
    assert type(vn.limb_darkened(0.1, 0.01, "linear", [np.nan])) is np.float64


@pytest.mark.parametrize(("u0", "tau"), [(1e-170, 0.0), (0.0, 1e-170), (3e-170, 4e-170), (3e200, 4e200), (0.1, 1e300)])
def test_light_curve_separation_neither_underflows_nor_overflows(u0, tau):
    exact = float(np.hypot(u0, tau))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        got = vn.light_curve(tau, 0.0, u0, 1.0, 0.0)
    assert got == vn.point_source(exact)
    if exact < 1e-100:
        assert got == pytest.approx(1.0 / exact, rel=1e-15)  # A = 1/u for a point source close by


def test_light_curve_with_a_tiny_einstein_time_is_unmagnified_far_out():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert vn.light_curve([1e300, -np.inf], -1e300, 0.1, 1e-300, 0.01).tolist() == [1.0, 1.0]
    assert np.isnan(vn.light_curve(0.0, 0.0, 0.1, np.nan, 0.01))


@pytest.mark.parametrize("u", [1e8, 1.3407807929942596e154, 1e155, 1e300, np.inf])
def test_far_point_source_is_one(u):
    assert vn.point_source(u) == 1.0
    assert vn.uniform(u, 0.0) == 1.0 and vn.limb_darkened(u, 0.0, "linear", [0.6]) == 1.0


def test_law_names_for_type_checkers_are_the_laws():
    assert typing.get_args(vn.Law) == tuple(vn.LAWS)


def test_version_is_the_distribution_version():
    assert re.fullmatch(r"\d+\.\d+\.\d+.*", vn.__version__)
    try:
        installed = metadata.version("vellomir")
    except metadata.PackageNotFoundError:
        return
    if vn.__file__.startswith(str(metadata.distribution("vellomir").locate_file(""))):
        assert vn.__version__ == installed
