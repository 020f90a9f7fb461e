"""The light-curve demo runs and writes a consistent CSV."""

import csv
import math
import subprocess
import sys
from pathlib import Path

from conftest import module_environment

DEMO = Path(__file__).resolve().parents[2] / "examples" / "light_curve.py"


def test_light_curve_demo(tmp_path):
    out = tmp_path / "curve.csv"
    done = subprocess.run(
        [sys.executable, str(DEMO), "--u0", "0.01", "--rho", "0.02", "--points", "201", "--csv", str(out)],
        env=module_environment(), capture_output=True, text=True, timeout=120,
    )
    assert done.returncode == 0, done.stderr
    assert "peak:" in done.stdout and f"wrote {out}" in done.stdout
    with open(out, newline="") as f:
        rows = list(csv.DictReader(f))
    assert len(rows) == 201
    assert list(rows[0]) == ["t_days", "u", "point_source", "uniform_disk", "limb_darkened"]
    peak = min(rows, key=lambda row: float(row["u"]))
    # The lens passes inside the source: the finite source caps the point-source peak.
    assert float(peak["uniform_disk"]) < float(peak["point_source"])
    # Far from the source the three models agree.
    far = rows[0]
    assert math.isclose(float(far["uniform_disk"]), float(far["point_source"]), rel_tol=1e-3)
    assert math.isclose(float(far["limb_darkened"]), float(far["uniform_disk"]), rel_tol=1e-3)
