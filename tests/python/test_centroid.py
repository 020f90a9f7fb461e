"""vellomir_numpy.centroid_shift and centroid_track: the 2-D mpmath integrals of
tests/data/centroid_references.txt (tools/gen_centroid_references.py), the package's argument
rules, the track's components, the bits for any number of workers, and the example."""

import doctest
import math
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import vellomir_numpy as vn
from conftest import module_environment, run_python
from vellomir_numpy import _centroid, _core

ROOT = Path(__file__).resolve().parents[2]
REFERENCES = ROOT / "tests" / "data" / "centroid_references.txt"
EXAMPLE = ROOT / "examples" / "astrometric_ellipse.py"


def read_references():
    rows = []
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#"):
            continue
        law, coefficients, rho, ratio, value = line.split()
        values = [] if coefficients == "-" else [float(c) for c in coefficients.split(",")]
        rows.append((None if law == "uniform" else law, values, float(rho), float(ratio) * float(rho), float(value)))
    return rows


def edge_scale(u, rho):
    x = max(u, rho)
    return x / (10 * (x * x + 2))


def test_uniform_disk_matches_the_integrals():
    rows = [row for row in read_references() if row[0] is None]
    assert len(rows) >= 60
    u = np.array([row[3] for row in rows])
    rho = np.array([row[2] for row in rows])
    want = np.array([row[4] for row in rows])
    got = vn.centroid_shift(u, rho)
    # 1e-12 relative, or 1e-14 rho absolute next to the centre; the sign flips with u.
    assert np.all(np.abs(got - want) <= np.maximum(1e-12 * np.abs(want), 1e-14 * rho))
    assert np.array_equal(vn.centroid_shift(-u, rho), -got)


@pytest.mark.parametrize("rtol", [1e-3, 1e-6, 1e-10, 1e-12])
def test_laws_match_the_integrals_within_rtol(rtol):
    rows = [row for row in read_references() if row[0] is not None]
    assert len(rows) >= 100
    for law, coefficients, rho, u, want in rows:
        got = vn.centroid_shift(u, rho, law=law, coefficients=coefficients, rtol=rtol)
        assert abs(got - want) <= rtol * max(abs(want), edge_scale(u, rho)), (law, rho, u / rho)


def test_point_source_limb_and_centre():
    u = np.array([0.0, 1e-300, 0.3, 1.0, 2.0, 1e200])
    assert np.array_equal(vn.centroid_shift(u, 0.0)[:5], u[:5] / (u[:5] ** 2 + 2))
    assert vn.centroid_shift(1e200, 0.0) == 1 / (1e200 + 2 / 1e200)
    for rho in [1e-6, 0.01, 1.0, 100.0]:
        assert vn.centroid_shift([0.0, rho], rho).tolist() == [0.0, 0.0]
        law = vn.centroid_shift([0.0, math.inf, -math.inf], rho, law="linear", coefficients=[0.6])
        assert law.tolist() == [0.0, 0.0, -0.0]
    # Far from the lens every profile gives the point-source shift.
    for law, c in [(None, ()), ("quadratic", [0.4, 0.25]), ("claret", [0.5, 0.2, 0.3, -0.2])]:
        far = vn.centroid_shift(50.0, 1e-4, law=law, coefficients=c)
        assert far == pytest.approx(50 / (50**2 + 2), rel=1e-12)


def test_arguments_follow_the_package_rules():
    assert type(vn.centroid_shift(0.5, 0.1)) is np.float64
    assert type(vn.centroid_shift(0.5, 0.1, law="linear", coefficients=[0.6])) is np.float64
    shifts = vn.centroid_shift(np.linspace(0, 0.3, 6).reshape(2, 3), [[0.1], [0.2]])
    assert shifts.shape == (2, 3) and shifts.dtype == np.float64
    assert np.isnan(vn.centroid_shift([math.nan, 0.5], [0.1, math.nan])).all()
    assert np.isnan(vn.centroid_shift(math.nan, 0.1, law="quadratic", coefficients=[0.4, 0.25]))
    with pytest.raises(ValueError, match="rho must be non-negative, got -0.1"):
        vn.centroid_shift(0.5, -0.1)
    with pytest.raises(ValueError, match="law must be one of"):
        vn.centroid_shift(0.5, 0.1, law="cubic", coefficients=[0.1])
    with pytest.raises(ValueError, match="takes 2, got 1"):
        vn.centroid_shift(0.5, 0.1, law="quadratic", coefficients=[0.1])
    with pytest.raises(ValueError, match="coefficients must be empty when law is None"):
        vn.centroid_shift(0.5, 0.1, coefficients=[0.6])
    with pytest.raises(ValueError, match="rtol must be within"):
        vn.centroid_shift(0.5, 0.1, law="linear", coefficients=[0.6], rtol=1e-16)
    with pytest.raises(ValueError, match="do not broadcast"):
        vn.centroid_shift([0.1, 0.2], [0.1, 0.2, 0.3])
    with pytest.raises(TypeError, match="u must be convertible to float64"):
        vn.centroid_shift([1j], 0.1)
    with pytest.raises(ValueError, match="total flux is not positive"):
        vn.centroid_shift(0.5, 0.1, law="linear", coefficients=[3.0])


@pytest.mark.parametrize("law, coefficients", [(None, ()), ("linear", [0.6])])
def test_track_resolves_the_shift_along_and_across_the_motion(law, coefficients):
    t = np.linspace(-1.0, 1.0, 41)
    for u0 in (0.004, -0.004, 0.0):
        along, across = vn.centroid_track(t, 0.0, u0, 20.0, 0.01, law=law, coefficients=coefficients)
        tau = t / 20.0
        u = np.hypot(tau, u0)
        shift = vn.centroid_shift(u, 0.01, law=law, coefficients=coefficients)
        assert np.allclose(np.hypot(along, across), np.abs(shift), rtol=1e-14, atol=0)
        # Along the motion before and after closest approach, across on u0's side.
        assert np.array_equal(np.sign(along), np.sign(tau * shift))
        assert np.array_equal(np.sign(across), np.sign(u0 * shift))
    # A point source draws the ellipse (tau, u0) / (u^2 + 2).
    along, across = vn.centroid_track(t * 40, 0.0, 0.5, 20.0, 0.0)
    tau = t * 2
    assert np.allclose(along, tau / (tau**2 + 0.25 + 2), rtol=1e-14)
    assert np.allclose(across, 0.5 / (tau**2 + 0.25 + 2), rtol=1e-14)
    assert type(vn.centroid_track(0.0, 0.0, 0.0, 1.0, 0.1)[0]) is np.float64


@pytest.mark.parametrize("tE", [0.0, -0.0, -2.0, -math.inf, [20.0, 0.0]])
@pytest.mark.parametrize("law, coefficients", [(None, ()), ("linear", [0.6])])
def test_track_refuses_an_einstein_time_that_light_curve_refuses(tE, law, coefficients):
    arguments = ([-1.0, 1.0], 0.0, 0.1, tE, 0.01)
    with pytest.raises(ValueError, match="^tE must be positive, got ") as curve:
        vn.light_curve(*arguments, law=law, coefficients=coefficients)
    with pytest.raises(ValueError) as track:
        vn.centroid_track(*arguments, law=law, coefficients=coefficients)
    assert str(track.value) == str(curve.value)


@pytest.mark.parametrize("law, coefficients", [(None, ()), ("linear", [0.6])])
def test_track_gives_nan_for_nan_and_the_limit_at_infinite_tau(law, coefficients):
    nan, inf = math.nan, math.inf
    shift = vn.centroid_shift(-0.2, 0.01, law=law, coefficients=coefficients)
    # (t, t0, u0, tE, rho) -> (along, across)
    cases = [
        ((nan, 0.0, 0.1, 20.0, 0.01), (nan, nan)),
        ((1.0, nan, 0.1, 20.0, 0.01), (nan, nan)),
        ((1.0, 0.0, nan, 20.0, 0.01), (nan, nan)),
        ((1.0, 0.0, 0.1, nan, 0.01), (nan, nan)),
        ((1.0, 0.0, 0.1, 20.0, nan), (nan, nan)),
        ((inf, 0.0, 0.1, 20.0, nan), (nan, nan)),
        ((inf, 0.0, 0.1, 20.0, 0.01), (0.0, 0.0)),
        ((-inf, 0.0, -0.1, 20.0, 0.01), (0.0, 0.0)),
        ((5.0, 0.0, -0.2, inf, 0.01), (0.0, shift)),  # tau = 0: across is the shift at u = |u0|
    ]
    for arguments, want in cases:
        got = vn.centroid_track(*arguments, law=law, coefficients=coefficients)
        np.testing.assert_array_equal(got, want, err_msg=str(arguments))


@pytest.mark.parametrize("rtol", ["1e-8", None, object(), 1j])
def test_core_reads_rtol_as_limb_darkened_does(rtol):
    u, rho, law, coefficients = np.full(2, 0.5), np.array([0.1]), "linear", np.array([0.6])
    with pytest.raises(TypeError, match="^rtol must be a real number$") as magnification:
        _core.limb_darkened(u, rho, law, coefficients, rtol, False, np.empty(2))
    with pytest.raises(TypeError) as centroid:
        _core.centroid_limb_darkened(u, rho, law, coefficients, rtol, np.empty(2))
    assert str(centroid.value) == str(magnification.value)


def test_results_do_not_depend_on_the_number_of_workers():
    code = (
        "import numpy as np, vellomir_numpy as vn, sys;"
        "u = np.linspace(-0.03, 0.03, 2001);"
        "a = vn.centroid_shift(u, 0.01, law='quadratic', coefficients=[0.4, 0.25], rtol=1e-9);"
        "b = vn.centroid_shift(u, 0.01);"
        "c = vn.centroid_shift(u, np.linspace(0.0, 0.02, u.size));"
        "sys.stdout.write((a.tobytes() + b.tobytes() + c.tobytes()).hex())"
    )
    outputs = set()
    for threads in ("1", "2", "5"):
        done = run_python(code, RAYON_NUM_THREADS=threads)
        assert done.returncode == 0, done.stderr
        outputs.add(done.stdout)
    assert len(outputs) == 1


def test_docstrings():
    for name in _centroid.__all__:
        doc = getattr(vn, name).__doc__
        assert "Parameters\n----------" in doc and "Returns\n-------" in doc and "Examples\n--------" in doc
    failures, tried = doctest.testmod(_centroid, extraglobs={"np": np}, optionflags=doctest.NORMALIZE_WHITESPACE)
    assert tried >= 3 and failures == 0


def test_example_draws_the_ellipse(tmp_path):
    out = tmp_path / "ellipse.png"
    done = subprocess.run([sys.executable, str(EXAMPLE), "--points", "200", "--out", str(out)],
                          env=module_environment(MPLCONFIGDIR=str(tmp_path)), capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert "largest shift" in done.stdout
    pytest.importorskip("matplotlib")
    assert out.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
