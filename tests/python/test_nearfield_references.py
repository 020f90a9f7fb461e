"""Every law and a table near the lens against independent 2-D integrals over the star
(tests/data/numpy_nearfield_references.txt, by tools/gen_nearfield_references.py): rho from 1e-300
to 1e3, the lens at the centre, 1e-8 and 1e-4 from it, on and 1e-9 either side of the limb, and
around the far-field switch, at every rtol from 1e-3 to the floor, by both routes."""

from pathlib import Path

import numpy as np
import pytest

import vellomir_numpy as vn

REFERENCES = Path(__file__).resolve().parents[1] / "data" / "numpy_nearfield_references.txt"
RTOLS = [1e-3, 1e-5, 1e-7, 1e-9, 1e-11, 1e-12, 1e-13, 1e-14]


def read_references():
    laws, tables = {}, []
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        kind, first, second, rho, u, value = line.split()
        if kind == "law":
            laws.setdefault((first, tuple(float(c) for c in second.split(","))), []).append(
                (float(rho), float(u), float(value)))
        else:
            tables.append(([float(r) for r in first.split(",")], [float(i) for i in second.split(",")],
                           float(rho), float(u), float(value)))
    return laws, tables


LAWS, TABLES = read_references()


def test_the_reference_cells_cover_the_sweep():
    assert {law for law, _ in LAWS} == set(vn.LAWS)
    for cells in LAWS.values():
        ratios = {u / rho for rho, u, _ in cells}
        assert {0.0, 0.5, 1.0, 1.5} <= {round(r, 12) for r in ratios}
        assert 0 < min(r for r in ratios if r > 0) <= 1e-8
        assert any(0 < 1 - r <= 2e-9 for r in ratios) and any(0 < r - 1 <= 2e-9 for r in ratios)
        assert min(rho for rho, _, _ in cells) <= 1e-300 and max(rho for rho, _, _ in cells) >= 1e3
    assert TABLES


@pytest.mark.parametrize(("law", "coefficients"), list(LAWS))
@pytest.mark.parametrize("rtol", RTOLS)
def test_every_law_meets_rtol_in_every_cell(law, coefficients, rtol):
    rho, u, expected = map(np.array, zip(*LAWS[(law, coefficients)]))
    forced = np.empty(u.size)  # the sub-disk integral also where the series would serve
    vn._core.limb_darkened(u, rho, law, np.array(coefficients), rtol, True, forced)
    for got in (vn.limb_darkened(u, rho, law, coefficients, rtol=rtol), forced):
        error = np.abs(got - expected) / expected
        bad = error > rtol
        assert not bad.any(), list(zip(rho[bad], (u / rho)[bad], error[bad]))


@pytest.mark.parametrize("rtol", RTOLS)
def test_a_table_meets_rtol_in_every_cell(rtol):
    for radius, intensity, rho, u, expected in TABLES:
        got = vn.profile(u, rho, radius, intensity, rtol=rtol)
        assert abs(got - expected) <= rtol * expected, (rho, u / rho, got, expected)
