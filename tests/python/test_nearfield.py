"""The lens on or near the star: every rtol down to the floor against the 2-D integrals of
tests/data/numpy_profile_references.txt; the intensity scale; stars down to the subnormal range;
the rule for negative intensities; the warning for elements that miss rtol."""

import math

import numpy as np
import pytest

import vellomir_numpy as vn
from test_numpy_accuracy import TABLE_CASES, grouped_laws

EVERY_RTOL = [1e-2, 1e-3, 1e-5, 1e-7, 1e-9, 1e-11, 1e-12, 1e-13, 1e-14]


@pytest.mark.parametrize("rtol", EVERY_RTOL)
def test_every_law_and_table_meets_every_rtol_against_the_2d_integrals(rtol):
    for (law, coefficients), cells in grouped_laws().items():
        rho, ratio, expected = map(np.array, zip(*cells))
        forced = np.empty(rho.size)  # the sub-disk integral also where the series would do
        vn._core.limb_darkened(ratio * rho, rho, law, np.array(coefficients), rtol, True, forced)
        for got in (vn.limb_darkened(ratio * rho, rho, law, coefficients, rtol=rtol), forced):
            error = np.abs(got - expected) / expected
            assert np.all(error <= rtol), (law, coefficients, list(zip(rho[error > rtol], ratio[error > rtol])))
    for radius, intensity, rho, ratio, expected in TABLE_CASES:
        assert abs(vn.profile(ratio * rho, rho, radius, intensity, rtol=rtol) - expected) <= rtol * expected

def test_a_tiny_star_scales_exactly_into_the_subnormal_range():
    # A(u, rho) rho depends on u / rho alone to O(rho^2): scaling both by 2^-k multiplies A by 2^k.
    # (The references at rho = 1e-300 check the values themselves.)
    ratios = np.array([0.0, 1e-8, 1e-4, 0.5, 1 - 1e-9, 1.0, 1 + 1e-9, 1.5, 2.9, 3.1])
    rho = np.full(ratios.size, 1e-300)
    for law, coefficients in (("claret", [0.5, 0.1, 0.2, -0.1]), ("linear", [0.6]), ("power-2", [0.6, 0.6])):
        base = vn.limb_darkened(ratios * rho, rho, law, coefficients, rtol=1e-13)
        for shift in (20, 26):  # rho down to 1.5e-308; u into the subnormal numbers
            got = vn.limb_darkened(np.ldexp(ratios * rho, -shift), np.ldexp(rho, -shift), law, coefficients,
                                   rtol=1e-13)
            np.testing.assert_allclose(got, np.ldexp(base, shift), rtol=2e-13, atol=0)
    # Beyond the largest double the magnification overflows, as uniform's does.
    assert vn.limb_darkened(0.0, 1e-308, "linear", [0.6]) == math.inf == vn.uniform(0.0, 1e-309)


def test_the_intensity_scale_changes_nothing():
    radius = np.array([0.0, 0.2, 0.5, 0.5, 0.8, 1.0])
    intensity = np.array([1.0, 0.95, 0.7, 0.5, 0.35, 0.1])
    u = np.array([0.0, 0.002, 0.005, 0.0099999, 0.01, 0.012, 0.03, 1.0])
    base = vn.profile(u, 0.01, radius, intensity, rtol=1e-12)
    for scale in (1e-300, 1e-100, 3.7, 1e100, 1e300, 2.0**-1000):
        got = vn.profile(u, 0.01, radius, intensity * scale, rtol=1e-12)
        np.testing.assert_allclose(got, base, rtol=2e-15, atol=0)
    flat = vn.profile([0.0, 0.005, 0.01], 0.01, [0.0, 1.0], [1e306, 1e306])
    np.testing.assert_allclose(flat, vn.uniform([0.0, 0.005, 0.01], 0.01), rtol=1e-12)
    assert np.array_equal(vn.profile(0.004, 0.01, [0.0, 1.0], [1e-320, 1e-320]),
                          vn.profile(0.004, 0.01, [0.0, 1.0], [1.0, 1.0]))


@pytest.mark.parametrize(("law", "coefficients", "where"), [
    ("linear", [2.9999999], "mu = 0 "),
    ("quadratic", [2.5, -1.5], "mu = 0.1666"),  # 1 - 2.5x + 1.5x^2, x = 1 - mu: lowest at x = 5/6
    ("claret", [0.0, 0.0, 0.0, 1.1], "mu = 0 "),
    ("square-root", [1.5, 0.2], "mu = 0 "),
])
def test_negative_intensity_is_refused_naming_law_and_place(law, coefficients, where):
    with pytest.raises(ValueError, match=f"the {law} law .* negative intensity") as raised:
        vn.limb_darkened(0.005, 0.01, law, coefficients)
    assert where in str(raised.value)
    with pytest.raises(ValueError, match=r"intensity is negative at radius 0\.5"):
        vn.profile(0.005, 0.01, [0.0, 0.5, 1.0], [1.0, -1e-300, 1.0])


def test_darkest_admissible_profiles_are_accepted():
    # Intensity reaching zero at the limb (a = 1, a + b = 1) is non-negative: computed, not refused.
    for law, coefficients in (("linear", [1.0]), ("quadratic", [0.4, 0.6]), ("power-2", [1.0, 0.5])):
        assert vn.limb_darkened(0.003, 0.01, law, coefficients, rtol=1e-12) > 1


def test_a_missed_tolerance_warns_once_with_count_and_estimate(monkeypatch):
    calls = []

    def capped(u, rho, law, coefficients, rtol, ring_only, out):
        calls.append(u.size)
        out[:] = 1.0
        return (3, 2.5e-9)

    monkeypatch.setattr(vn._core, "limb_darkened", capped)
    with pytest.warns(RuntimeWarning, match=r"3 element\(s\) did not reach rtol=1e-10.*2\.5e-09") as record:
        vn.limb_darkened(np.zeros(10), 0.01, "linear", [0.6])
    assert len(record) == 1 and calls == [10]


def test_the_core_reports_no_miss_on_the_crossing_light_curve():
    u = np.sqrt(0.003**2 + (np.linspace(-0.5, 0.5, 2001) / 20.0) ** 2)
    out = np.empty(u.size)
    for rtol in (1e-3, 1e-10, 1e-14):
        assert vn._core.limb_darkened(u, np.array([0.01]), "claret", np.array([0.5, 0.1, 0.2, -0.1]), rtol,
                                      False, out) == (0, 0.0)


def test_the_floor_is_stated_in_the_error():
    with pytest.raises(ValueError, match="1e-14 is the tightest tolerance"):
        vn.limb_darkened(0.0, 0.01, "linear", [0.6], rtol=5e-15)
