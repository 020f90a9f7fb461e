"""vellomir_numpy: broadcasting, dtypes, scalars, errors, workers, and the separation from vellomir."""

import doctest
import re
import numpy as np
import pytest

import vellomir_numpy as vn
from conftest import run_python

LD = dict(law="quadratic", coefficients=[0.4, 0.2])


def call(name, u, rho):
    if name == "uniform":
        return vn.uniform(u, rho)
    if name == "limb_darkened":
        return vn.limb_darkened(u, rho, **LD)
    return vn.profile(u, rho, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3])


FUNCTIONS = ["uniform", "limb_darkened", "profile"]


def test_public_names():
    assert vn.__all__ == [
        "LAWS", "Derivatives", "Law", "LightCurveDerivatives", "LimbDarkenedDerivatives", "centroid_shift",
        "centroid_track", "light_curve", "light_curve_derivatives", "limb_darkened", "limb_darkened_derivatives",
        "point_source", "profile", "profile_derivatives", "uniform", "uniform_derivatives",
    ]
    for name in vn.__all__[1:]:
        if isinstance(getattr(vn, name), type) or name == "Law":
            continue  # the derivatives' result tuples; the laws' names
        doc = getattr(vn, name).__doc__
        assert "Parameters\n----------" in doc and "Returns\n-------" in doc and "Examples\n--------" in doc


def test_docstring_examples():
    failures, tried = doctest.testmod(vn, extraglobs={"np": np}, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert tried >= 5 and failures == 0


@pytest.mark.parametrize("name", FUNCTIONS)
@pytest.mark.parametrize(
    ("u", "rho", "shape"),
    [
        (0.02, 0.01, ()),
        (np.float32(0.02), 0.01, ()),
        (np.array(0.02), np.array(0.01), ()),
        ([0.0, 0.02, 1.0], 0.01, (3,)),
        (np.arange(6.0).reshape(2, 3) * 0.01, [[0.01], [0.02]], (2, 3)),
        ([[0.005, 0.05]], [0.01, 0.1, 1.0, 0.0], None),
        (np.zeros((0, 3)), 0.1, (0, 3)),
        ([1, 2, 3], [1], (3,)),
    ],
)
def test_broadcasting_matches_elementwise_scalars(name, u, rho, shape):
    try:
        expected_shape = np.broadcast_shapes(np.shape(u), np.shape(rho))
    except ValueError:
        expected_shape = None
    if expected_shape is None:
        with pytest.raises(ValueError, match="u and rho do not broadcast together"):
            call(name, u, rho)
        return
    assert shape == expected_shape
    result = call(name, u, rho)
    assert result.dtype == np.float64 and np.shape(result) == shape
    if shape == ():
        assert type(result) is np.float64
        return
    assert type(result) is np.ndarray
    bu, brho = np.broadcast_arrays(np.asarray(u, float), np.asarray(rho, float))
    for index in np.ndindex(shape):
        assert result[index] == call(name, float(bu[index]), float(brho[index]))


@pytest.mark.parametrize(
    "convert",
    [
        lambda a: a.astype(np.float32),
        lambda a: a.astype(">f8"),
        lambda a: np.repeat(a, 2)[::2],  # strided
        lambda a: np.asfortranarray(np.stack([a, a]))[0],
        lambda a: a.tolist(),
        lambda a: tuple(a.astype(np.float16)),
        lambda a: np.array(a, dtype=np.longdouble),
    ],
)
def test_any_real_layout_and_dtype_is_converted_not_misread(convert):
    u = np.array([0.0, 0.007, 0.0125, 0.5], dtype=np.float64).astype(np.float16).astype(np.float64)
    expected = vn.limb_darkened(u, 0.01, **LD)
    np.testing.assert_array_equal(vn.limb_darkened(convert(u), 0.01, **LD), expected)
    np.testing.assert_array_equal(vn.uniform(convert(u), 0.01), vn.uniform(u, 0.01))


def test_integer_and_boolean_inputs():
    np.testing.assert_array_equal(vn.uniform(np.array([1, 2], dtype=np.int8), True), vn.uniform([1.0, 2.0], 1.0))


def test_light_curve_is_the_separation_through_the_kernels():
    t = np.linspace(-40.0, 40.0, 9)
    u = np.hypot(0.05, (t - 1.0) / 20.0)
    np.testing.assert_array_equal(vn.light_curve(t, 1.0, 0.05, 20.0, 0.01), vn.uniform(u, 0.01))
    np.testing.assert_array_equal(vn.light_curve(t, 1.0, 0.05, 20.0, 0.01, law="linear", coefficients=[0.6]),
                                  vn.limb_darkened(u, 0.01, "linear", [0.6]))
    # Parameters broadcast too: one curve per impact parameter.
    curves = vn.light_curve(t, 1.0, np.array([[0.05], [0.2]]), 20.0, 0.01)
    assert curves.shape == (2, 9) and curves[1, 4] < curves[0, 4]
    assert type(vn.light_curve(0.0, 0.0, 0.1, 10.0, 0.0)) is np.float64


def test_results_do_not_depend_on_the_number_of_workers():
    code = (
        "import numpy as np, vellomir_numpy as vn, sys;"
        "u = np.linspace(0.0, 0.08, 3001);"
        "a = vn.limb_darkened(u, 0.01, 'claret', [0.7, -0.6, 0.9, -0.3], rtol=1e-12);"
        "b = vn.uniform(u, 0.01);"
        "sys.stdout.write((a.tobytes() + b.tobytes()).hex())"
    )
    outputs = set()
    for threads in ("1", "2", "5"):
        done = run_python(code, RAYON_NUM_THREADS=threads)
        assert done.returncode == 0, done.stderr
        outputs.add(done.stdout)
    assert len(outputs) == 1


def test_importing_vellomir_does_not_import_numpy():
    done = run_python("import sys, vellomir; print('numpy' in sys.modules, sorted(vellomir.__all__) == vellomir.__all__)")
    assert done.returncode == 0, done.stderr
    assert done.stdout.split()[0] == "False"


R = [0.0, 0.5, 1.0]
I = [1.0, 0.8, 0.3]
ERRORS = [
    (lambda: vn.limb_darkened(0.1, 0.01, "cubic", [0.1]), ValueError,
     "law must be one of 'linear', 'quadratic', 'square-root', 'logarithmic', 'power-2', 'claret', got 'cubic'"),
    (lambda: vn.limb_darkened(0.1, 0.01, None, [0.1]), ValueError, "law must be one of .*, got None"),
    (lambda: vn.limb_darkened(0.1, 0.01, "quadratic", [0.1]), ValueError,
     "coefficients: the 'quadratic' law takes 2, got 1"),
    (lambda: vn.limb_darkened(0.1, 0.01, "linear", [[0.1]]), ValueError,
     r"coefficients must be a 1-D sequence, got shape \(1, 1\)"),
    (lambda: vn.limb_darkened(0.1, 0.01, "linear", [4.0]), ValueError,
     "coefficients give a profile whose total flux is not positive"),
    (lambda: vn.limb_darkened(0.1, 0.01, "power-2", [0.5, -2.0]), ValueError,
     "coefficients give a profile whose total flux is not positive"),
    (lambda: vn.limb_darkened(0.1, -0.01, "linear", [np.nan]), ValueError, "rho must be non-negative, got -0.01"),
    (lambda: vn.limb_darkened(0.1, 0.01, "linear", [1j]), TypeError, r"coefficients must be convertible to float64 \(.*\)"),
    (lambda: vn.profile(0.1, 0.01, R, [1.0, -1.0, -1.0]), ValueError,
     "intensity gives a profile whose total flux is not positive"),
    (lambda: vn.profile(0.1, 0.01, [0.5], [1.0]), ValueError,
     "intensity gives a profile whose total flux is not positive"),
    (lambda: vn.profile(0.1, 0.01, [0.0, 0.6, 0.5], I), ValueError, "radius must be sorted in non-decreasing order"),
    (lambda: vn.profile(0.1, 0.01, [0.0, 0.5, 1.5], I), ValueError, r"radius must lie within \[0, 1\]"),
    (lambda: vn.profile(0.1, 0.01, [-0.1, 0.5, 1.0], I), ValueError, r"radius must lie within \[0, 1\]"),
    (lambda: vn.profile(0.1, 0.01, [0.0, np.nan, 1.0], I), ValueError, r"radius must lie within \[0, 1\]"),
    (lambda: vn.profile(0.1, 0.01, R, I[:2]), ValueError,
     "radius and intensity must have the same length, got 3 and 2"),
    (lambda: vn.profile(0.1, 0.01, [R], [I]), ValueError, r"radius must be a 1-D array, got shape \(1, 3\)"),
    (lambda: vn.profile(0.1, 0.01, R, 1.0), ValueError, r"intensity must be a 1-D array, got shape \(\)"),
    (lambda: vn.uniform(0.1, -0.01), ValueError, "rho must be non-negative, got -0.01"),
    (lambda: vn.limb_darkened(0.1, [0.1, -1.0], "linear", [0.6]), ValueError, "rho must be non-negative, got -1.0"),
    (lambda: vn.profile(0.1, -1.0, R, I), ValueError, "rho must be non-negative, got -1.0"),
    (lambda: vn.uniform([0.1, 0.2], [0.1, 0.2, 0.3]), ValueError,
     r"u and rho do not broadcast together \(shapes \(2,\), \(3,\)\)"),
    (lambda: vn.light_curve([1.0, 2.0], 0.0, [0.1, 0.2, 0.3], 10.0, 0.01), ValueError,
     r"t, t0, u0, tE and rho do not broadcast together \(shapes \(2,\), \(\), \(3,\), \(\), \(\)\)"),
    (lambda: vn.light_curve(1.0, 0.0, 0.1, 10.0, 0.01, coefficients=[0.6]), ValueError,
     "coefficients must be empty when law is None"),
    (lambda: vn.limb_darkened(0.1, 0.01, "linear", [0.6], rtol=1e-15), ValueError,
     r"rtol must be within \[1e-14, 1e-2\] \(1e-14 is the tightest tolerance the integration meets everywhere\), got 1e-15"),
    (lambda: vn.profile(0.1, 0.01, R, I, rtol=0.1), ValueError, r"rtol must be within \[1e-14, 1e-2\] \(1e-14 is the tightest tolerance the integration meets everywhere\), got 0.1"),
    (lambda: vn.light_curve(0.0, 0.0, 0.1, 1.0, 0.01, law="linear", coefficients=[0.6], rtol=float("nan")),
     ValueError, r"rtol must be within \[1e-14, 1e-2\] \(1e-14 is the tightest tolerance the integration meets everywhere\), got nan"),
    (lambda: vn.limb_darkened(0.1, 0.01, "linear", [0.6], rtol="x"), TypeError, "rtol must be a real number, got 'x'"),
    (lambda: vn.uniform(1 + 2j, 0.1), TypeError, r"u must be convertible to float64 \(complex values\)"),
    (lambda: vn.point_source(np.array([1j])), TypeError, r"u must be convertible to float64 \(.*\)"),
    (lambda: vn.uniform(0.1, "abc"), TypeError, r"rho must be convertible to float64 \(.*\)"),
    (lambda: vn.profile(0.1, 0.01, [object()], [1.0]), TypeError, r"radius must be convertible to float64 \(.*\)"),
    (lambda: vn.light_curve(0.0, 0.0, 0.1, [1.0, 1j], 0.01), TypeError, r"tE must be convertible to float64 \(.*\)"),
    (lambda: vn.uniform([[0.1], [0.2, 0.3]], 0.1), TypeError, r"u must be convertible to float64 \(.*\)"),
]


@pytest.mark.parametrize(("call_with_error", "kind", "message"), ERRORS)
def test_error_messages_name_the_argument(call_with_error, kind, message):
    with pytest.raises(kind) as caught:
        call_with_error()
    assert type(caught.value) is kind
    assert re.fullmatch(message, str(caught.value)), str(caught.value)
