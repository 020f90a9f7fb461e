"""The light-curve demo: sampling of the source's passage, its CSV, plot and one-line failures."""

import csv
import importlib.util
import math
import runpy
import subprocess
import sys
import warnings
from pathlib import Path

import pytest

from conftest import module_environment

DEMO = Path(__file__).resolve().parents[2] / "examples" / "light_curve.py"


def run_demo(*args, code=None):
    command = [sys.executable, str(DEMO), *args] if code is None else [sys.executable, "-c", code, *args]
    return subprocess.run(command, env=module_environment(MPLCONFIGDIR=None), capture_output=True, text=True,
                          timeout=120)


def read_csv(path):
    with open(path, newline="") as f:
        reader = csv.reader(f)
        header = next(reader)
        return header, [[float(x) for x in row] for row in reader]


@pytest.mark.parametrize("u0, rho, law", [
    (0.0, 0.001, "linear"),          # the lens crosses the centre of a tiny source
    (0.0499999, 0.05, "claret"),     # a grazing passage: the chord is 2e-4 rho long
    (0.1, 5.0, "power-2"),           # a source much larger than the Einstein ring
    (0.0, 1e-6, "logarithmic"),
    (0.5, 0.01, "square-root"),      # the lens never behind the source
])
def test_curve_samples_the_source_and_stays_finite(tmp_path, u0, rho, law):
    out = tmp_path / "curve.csv"
    done = run_demo("--u0", str(u0), "--rho", str(rho), "--tE", "10", "--law", law, "--csv", str(out))
    assert done.returncode == 0, done.stderr
    header, rows = read_csv(out)
    assert header == ["t_days", "u", "point_source", "uniform_disk", "limb_darkened"]
    # t0 is sampled: only the point source may be infinite, where the lens is at the source's centre.
    assert all(math.isfinite(x) for row in rows for x in row[:2] + row[3:])
    assert all(math.isfinite(row[2]) or row[1] == 0.0 for row in rows)
    assert 0.0 in [row[0] for row in rows]
    assert [row[0] for row in rows] == sorted({row[0] for row in rows})
    for t, u, *_ in rows:
        assert u == pytest.approx(math.hypot(u0, t / 10), rel=1e-12)
    on_source = [row for row in rows if row[1] < rho]
    assert len(on_source) >= (100 if u0 < rho else 0)
    near_limb = [row for row in rows if abs(row[1] - rho) < 1e-4 * rho]
    assert len(near_limb) >= (20 if u0 < rho * (1 - 1e-4) else 0)
    # Far from the source all three models agree.
    assert rows[0][3] == pytest.approx(rows[0][2], rel=1e-3) and rows[0][4] == pytest.approx(rows[0][3], rel=1e-3)
    peak = min(rows, key=lambda row: row[1])
    assert peak[0] == 0.0
    if u0 < rho / 2:
        # The lens behind the source: the finite source caps the point-source peak, and a
        # limb-darkened star, brighter in the middle, rises above the uniform disk.
        assert peak[3] < peak[2] and peak[3] < peak[4]
    assert f"wrote {out}" in done.stdout
    if importlib.util.find_spec("matplotlib") is not None:
        assert out.with_suffix(".png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


# Runs the demo after replacing matplotlib: None in sys.modules reads as not installed.
WITH_MATPLOTLIB = "import sys, runpy; sys.modules['matplotlib'] = {}; sys.argv[0] = {!r}; runpy.run_path({!r}, run_name='__main__')"


@pytest.mark.parametrize("replacement, status, message", [
    ("None", 0, "no plot: matplotlib is not installed"),
    ("type(sys)('matplotlib')", 1, "no plot: matplotlib failed: ModuleNotFoundError: No module named 'matplotlib.figure'"),
])
def test_plot_failures_take_one_line_and_keep_the_csv(tmp_path, replacement, status, message):
    out = tmp_path / "curve.csv"
    done = run_demo("--csv", str(out), code=WITH_MATPLOTLIB.format(replacement, str(DEMO), str(DEMO)))
    assert done.returncode == status
    lines = [line for line in (done.stdout + done.stderr).splitlines() if line.startswith("no plot")]
    assert len(lines) == 1 and lines[0].startswith(message) and "Traceback" not in done.stderr
    assert out.exists() and not out.with_suffix(".png").exists()


def test_wrong_coefficients_are_a_usage_error(tmp_path):
    done = run_demo("--law", "claret", "--coefficients", "0.5", "--csv", str(tmp_path / "c.csv"))
    assert done.returncode == 2 and "Traceback" not in done.stderr
    assert done.stderr.strip().splitlines()[-1].endswith("error: coefficients: the 'claret' law takes 4, got 1")


def test_default_coefficients_cover_every_law():
    import vellomir_numpy

    demo = runpy.run_path(str(DEMO))
    assert {law: len(c) for law, c in demo["DEFAULT_COEFFICIENTS"].items()} == vellomir_numpy.LAWS


@pytest.mark.skipif(importlib.util.find_spec("matplotlib") is None, reason="matplotlib is not installed")
@pytest.mark.parametrize("rho", [1e-4, 0.05, 1.0])
@pytest.mark.parametrize("u0", [0.0, 0.001, 0.3, 2.0])
def test_any_event_draws_without_warnings(tmp_path, capsys, u0, rho):
    """The event matrix: a PNG, no warning, finite numbers; the panels where they make sense."""
    demo = runpy.run_path(str(DEMO))
    out = tmp_path / "curve.csv"
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert demo["main"](["--u0", str(u0), "--rho", str(rho), "--csv", str(out)]) == 0
    printed = capsys.readouterr().out
    assert out.with_suffix(".png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    header, rows = read_csv(out)
    assert all(math.isfinite(x) for row in rows for x in row[3:])
    shows = printed.rsplit(": ", 1)[-1].strip().split(", ")
    resolved = u0 < 2.0 * rho and 6.0 * max(u0, rho) <= 0.4 * 2.0 * max(1.5, 3.0 * rho)
    assert ("zoom on the peak" in shows) == resolved
    departure = max(abs(row[3] / row[2] - 1.0) for row in rows)
    assert ("ratio to the point source" in shows) == (departure >= 1e-3)
    peak_line = next(line for line in printed.splitlines() if line.startswith("peak at"))
    assert peak_line.startswith("peak at t - t0 = 0.0000 d")
