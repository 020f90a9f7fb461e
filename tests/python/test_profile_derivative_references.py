"""Derivatives of limb-darkened and tabulated magnifications against independent 2-D integrals
over the star differentiated under the integral sign (tests/data/profile_derivative_references.txt,
by tools/gen_profile_derivative_references.py): rho from 1e-6 to 100; the lens at the centre,
inside, 1e-9 to 1e-3 either side of the limb (on it for a dark limb) and across the far-field
switch; seven laws and two tables, one falling to zero at the limb.

Each quantity is within 10 rtol of its scale max(|derivative|, A / x) (x = u or rho, 1 for a
coefficient), or the call warns that an integral fell short and the error is within 10 times the
estimate it reports."""

import re
import warnings
from pathlib import Path

import numpy as np
import pytest

import vellomir_numpy as vn

REFERENCES = Path(__file__).resolve().parents[1] / "data" / "profile_derivative_references.txt"
RTOLS = [1e-6, 1e-10]
QUANTITIES = ["A", "dA/du", "dA/drho", "dA/dc"]


def read_references():
    """[(kind, spec, rho, u, [A, dA/du, dA/drho, dA/dc...])] with spec the law and its
    coefficients or the table's radius and intensity."""
    rows = []
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        kind, first, second, rho, u, *numbers = line.split()
        if kind == "law":
            spec = (first, [float(c) for c in second.split(",")])
        else:
            spec = ([float(r) for r in first.split(",")], [float(i) for i in second.split(",")])
        rows.append((kind, spec, float(rho), float(u), [float(x) for x in numbers]))
    return rows


ROWS = read_references()


def compute(kind, spec, rho, u, rtol):
    """The quantities of a row, and the error estimate of a warning if there was one."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        if kind == "law":
            d = vn.limb_darkened_derivatives(u, rho, spec[0], spec[1], rtol=rtol)
            got = [d.A, d.dA_du, d.dA_drho, *d.dA_dcoefficients]
        else:
            d = vn.profile_derivatives(u, rho, spec[0], spec[1], rtol=rtol)
            got = [d.A, d.dA_du, d.dA_drho]
    estimates = [float(re.search(r"estimate (\S+)$", str(w.message)).group(1)) for w in caught]
    assert all(w.category is RuntimeWarning for w in caught)
    return got, max(estimates, default=None)


def scaled_errors(got, want, u, rho):
    """|got - want| / max(|want|, A / x) per quantity."""
    a = want[0]
    x = [a, u, rho] + [1.0] * (len(want) - 3)  # A itself is measured against A
    out = []
    for g, w, xi in zip(got, want, x):
        scale = max(abs(w), a / xi if xi > 0 else 0.0)
        out.append(0.0 if g == w else abs(g - w) / scale)
    return out


def test_the_references_cover_the_sweep():
    laws = {spec[0] for kind, spec, *_ in ROWS if kind == "law"}
    assert {"linear", "quadratic", "claret", "square-root", "logarithmic", "power-2"} <= laws
    ratios = [u / rho for _, _, rho, u, _ in ROWS]
    assert 0.0 in ratios and max(ratios) >= 10
    assert any(0 < 1 - r <= 2e-9 for r in ratios) and any(0 < r - 1 <= 2e-9 for r in ratios)
    rhos = [rho for _, _, rho, _, _ in ROWS]
    assert min(rhos) <= 1e-6 and max(rhos) >= 100
    # Finite derivatives on the rim where the intensity vanishes there: a law and a table.
    on_rim = {kind for kind, _, rho, u, _ in ROWS if u == rho}
    assert on_rim == {"law", "table"}
    assert all(np.isfinite(row[4]).all() for row in ROWS)


def errors_beyond_tolerance(rtol, rows):
    failures = []
    for kind, spec, rho, u, want in rows:
        got, estimate = compute(kind, spec, rho, u, rtol)
        allowed = 10 * (rtol if estimate is None else max(rtol, estimate))
        names = QUANTITIES[:3] + [QUANTITIES[3]] * (len(want) - 3)
        for name, error in zip(names, scaled_errors(got, want, u, rho)):
            if not error <= allowed:
                failures.append((kind, spec, rho, u / rho, name, error / rtol, estimate))
    return failures


@pytest.mark.parametrize("rtol", RTOLS)
def test_each_quantity_within_ten_rtol_or_a_warning_says_so(rtol):
    failures = errors_beyond_tolerance(rtol, ROWS)
    assert not failures, failures[:10]
