"""The exception table of the Python boundary (docs/internals.md): one case per row and face
that an ordinary call reaches. The signal row is tested in test_interrupt.py; the out-of-memory
and foreign-exception rows, which no ordinary call reaches, by tests/cpp/capi/."""

import math

import pytest

import vellomir

np = pytest.importorskip("numpy")
from vellomir_numpy import _core  # noqa: E402


def raised(call):
    with pytest.raises(BaseException) as caught:
        call()
    return type(caught.value).__name__, str(caught.value), getattr(caught.value, "__notes__", None)


def arrays(n=2):
    return np.full(n, 0.5), np.array([0.1]), np.empty(n)


def limb_darkened(**change):
    u, rho, out = arrays()
    arguments = dict(u=u, rho=rho, law="linear", coefficients=np.array([0.5]), rtol=1e-8, ring_only=False, out=out)
    arguments.update(change)
    return lambda: _core.limb_darkened(*arguments.values())


CLASSIC = {
    "argument_mismatch": (
        lambda: vellomir.witt_mao_magnification([1.0], 1.0),
        ("TypeError", "witt_mao_magnification() missing 1 required positional argument: 'rstar'", None),
    ),
    "argument_conversion": (
        lambda: vellomir.heyrovsky_magnification(0.5, "0.7", 1.0, 1.0),
        ("TypeError", "must be real number, not str", ["while processing 'r'"]),
    ),
    "model_error": (
        lambda: vellomir.heyrovsky_magnification(math.nan, 0.7, 1.0, 1.0),
        ("RuntimeError", "ellipk: Arguments cannot be NAN.", None),
    ),
    "cpp_exception": (
        lambda: vellomir.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], []),
        ("PanicException", "assertion `left == right` failed\n  left: 1\n right: 0", None),
    ),
}

NUMPY = {
    "argument_mismatch": (lambda: _core.uniform(*arrays()[:2]), ("TypeError", "uniform() takes 3 arguments (2 given)", None)),
    "argument_conversion": (limb_darkened(rtol="x"), ("TypeError", "rtol must be a real number", None)),
    "argument_value": (
        lambda: _core.uniform(np.full(2, 0.5), np.array([-1.0]), np.empty(2)),
        ("ValueError", "rho must be non-negative, got -1.0", None),
    ),
    "model_error": (
        limb_darkened(coefficients=np.array([math.inf])),
        ("ValueError", "coefficients give a profile whose total flux is not positive", None),
    ),
}


@pytest.mark.parametrize("row", list(CLASSIC))
def test_classic_face(row):
    call, expected = CLASSIC[row]
    assert raised(call) == expected


@pytest.mark.parametrize("row", list(NUMPY))
def test_numpy_face(row):
    call, expected = NUMPY[row]
    assert raised(call) == expected


def test_numpy_face_buffers_named_in_the_message():
    u, rho, out = arrays()
    assert raised(lambda: _core.uniform([0.5], rho, out)) == ("TypeError", "u must be a C-contiguous float64 buffer", None)
    assert raised(lambda: _core.uniform(u, rho, np.empty(2)[::1].view(np.int64))) == (
        "TypeError", "out must be a C-contiguous float64 buffer", None)
    read_only = np.empty(2)
    read_only.flags.writeable = False
    assert raised(lambda: _core.uniform(u, rho, read_only)) == (
        "TypeError", "out must be a C-contiguous writable float64 buffer", None)


def test_numpy_face_reads_only_native_float64_formats():
    import ctypes

    explicit_little_endian = (ctypes.c_double * 2)(0.5, 0.5)  # format "<d": refused even where native
    assert memoryview(explicit_little_endian).format == "<d"
    _, rho, out = arrays()
    assert raised(lambda: _core.uniform(explicit_little_endian, rho, out)) == (
        "TypeError", "u must be a C-contiguous float64 buffer", None)
