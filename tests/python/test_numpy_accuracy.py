"""vellomir_numpy against independent 2-D mpmath integrals and against the vellomir kernels."""

from pathlib import Path

import numpy as np
import pytest

import vellomir
import vellomir_numpy as vn
from vellomir_numpy import _core

REFERENCES = Path(__file__).resolve().parents[1] / "data" / "numpy_profile_references.txt"


def read_references():
    laws, tables = [], []
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        fields = line.split()
        if fields[0] == "law":
            _, law, coefficients, rho, ratio, value = fields
            laws.append((law, [float(c) for c in coefficients.split(",")], float(rho), float(ratio), float(value)))
        else:
            _, radius, intensity, rho, ratio, value = fields
            tables.append(([float(r) for r in radius.split(",")], [float(i) for i in intensity.split(",")],
                           float(rho), float(ratio), float(value)))
    return laws, tables


LAW_CASES, TABLE_CASES = read_references()


def grouped_laws():
    groups = {}
    for law, coefficients, rho, ratio, value in LAW_CASES:
        groups.setdefault((law, tuple(coefficients)), []).append((rho, ratio, value))
    return groups


def ring_only(law, coefficients, u, rho, rtol):
    out = np.empty(len(u))
    _core.limb_darkened(np.asarray(u, float), np.asarray(rho, float), law, np.asarray(coefficients, float), rtol,
                        True, out)
    return out


def test_reference_file_covers_every_law_near_far_and_on_the_limb():
    laws = {case[0] for case in LAW_CASES}
    assert laws == set(vn.LAWS)
    ratios = {case[3] for case in LAW_CASES}
    rhos = {case[2] for case in LAW_CASES}
    assert {0.0, 0.999, 1.0, 1.001, 100.0} <= ratios and min(rhos) <= 1e-5 and max(rhos) >= 10
    assert TABLE_CASES


@pytest.mark.parametrize(("law", "coefficients"), list(grouped_laws()))
@pytest.mark.parametrize("rtol", [1e-10, 1e-6])
def test_laws_match_the_2d_integrals_to_rtol(law, coefficients, rtol):
    rho, ratio, expected = map(np.array, zip(*grouped_laws()[(law, coefficients)]))
    u = ratio * rho
    got = vn.limb_darkened(u, rho, law, coefficients, rtol=rtol)
    error = np.abs(got - expected) / expected
    assert np.all(error <= rtol), list(zip(rho[error > rtol], ratio[error > rtol], error[error > rtol]))
    # The ring integral alone meets the tolerance too, far points included.
    error = np.abs(ring_only(law, coefficients, u, rho, rtol) - expected) / expected
    assert np.all(error <= rtol), list(zip(rho[error > rtol], ratio[error > rtol], error[error > rtol]))


def test_tables_match_the_2d_integrals():
    for radius, intensity, rho, ratio, expected in TABLE_CASES:
        got = vn.profile(ratio * rho, rho, radius, intensity, rtol=1e-10)
        assert abs(got - expected) <= 1e-10 * expected, (rho, ratio, got, expected)


def test_series_and_ring_integral_agree_where_the_series_is_used():
    rng = np.random.default_rng(7)
    rho = 10.0 ** rng.uniform(-6, 2, 400)
    u = rho * 10.0 ** rng.uniform(0.1, 2.5, 400)
    for law, coefficients in [("linear", [0.6]), ("square-root", [0.3, 0.4]), ("claret", [0.7, -0.6, 0.9, -0.3])]:
        for rtol in (1e-12, 1e-8):
            fast = vn.limb_darkened(u, rho, law, coefficients, rtol=rtol)
            ring = ring_only(law, coefficients, u, rho, rtol)
            assert np.max(np.abs(fast - ring) / ring) <= 2 * rtol


def test_a_fine_table_of_a_law_approaches_the_law():
    radius = np.linspace(0.0, 1.0, 2001)
    intensity = 1 - 0.4 * (1 - np.sqrt(1 - radius**2)) - 0.25 * (1 - np.sqrt(1 - radius**2)) ** 2
    u = np.array([0.0, 0.005, 0.0099, 0.01, 0.02, 1.0])
    table = vn.profile(u, 0.01, radius, intensity)
    law = vn.limb_darkened(u, 0.01, "quadratic", [0.4, 0.25])
    # Linear interpolation of mu = sqrt(1 - r^2) near the limb limits the table to about 1e-5.
    assert np.max(np.abs(table - law) / law) < 3e-5


def test_uniform_is_the_witt_mao_kernel():
    rho = 0.1
    separations = [0.0, 0.3, 0.999, 1.0, 1.0005, 1.01, 2.0, 30.0, 1e4]  # stellar radii
    expected = np.array(vellomir.witt_mao_magnification(separations, 1.0, rho))
    got = vn.uniform(np.array(separations) * rho, rho)
    np.testing.assert_allclose(got, expected, rtol=1e-14, atol=0)


def test_linear_law_matches_integrated_heyrovsky():
    # That function divides by 2.5132741228717936 where the profile's flux is 0.8 pi.
    scale = 2.5132741228717936 / (0.8 * np.pi)
    for rho in (1e-3, 0.1, 2.0):
        separations = [0.0, 0.4, 0.9999, 1.0, 1.2, 3.0, 40.0]
        expected = np.array(vellomir.integrated_heyrovsky_magnification(separations, 1.0, rho)) * scale
        got = vn.limb_darkened(np.array(separations) * rho, rho, "linear", [0.6], rtol=1e-12)
        np.testing.assert_allclose(got, expected, rtol=1e-11, atol=0)


def test_nan_poisons_only_its_own_element():
    u = np.array([0.01, np.nan, 0.02, 0.5])
    rho = np.array([0.01, 0.01, np.nan, 0.01])
    for result in (vn.uniform(u, rho), vn.limb_darkened(u, rho, "quadratic", [0.4, 0.2]),
                   vn.profile(u, rho, [0.0, 1.0], [1.0, 0.5])):
        assert np.isnan(result[1:3]).all() and np.isfinite(result[[0, 3]]).all()


def test_zero_rho_is_the_point_source_and_the_sign_of_u_is_ignored():
    u = np.array([0.1, 1.0, 3.0])
    expected = (u**2 + 2) / (u * np.sqrt(u**2 + 4))
    np.testing.assert_allclose(vn.limb_darkened(u, 0.0, "linear", [0.6]), expected, rtol=1e-15)
    np.testing.assert_allclose(vn.point_source(u), expected, rtol=1e-15)
    np.testing.assert_array_equal(vn.uniform(-u, 0.05), vn.uniform(u, 0.05))
    assert vn.point_source(0.0) == np.inf and vn.uniform(np.inf, 0.1) == 1.0
