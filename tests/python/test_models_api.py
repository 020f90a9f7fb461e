"""The ring, grid, limb-darkened and flux-map functions as Python sees them."""

import math

import mpmath
import pytest

import vellomir
from conftest import run_python

# The integrated functions divide by this brightness-weighted area rather than 0.8 pi.
LIMB_DARKENED_NORM = 2.5132741228717936


def point_lens(x):
    return (x * x + 2) / (x * mpmath.sqrt(x * x + 4))


class TestHeyrovsky:
    def test_returns_a_float_equal_to_the_averaged_point_lens(self):
        l, r, q = 0.5, 0.8, 1.0
        value = vellomir.heyrovsky_magnification(l=l, r=r, re=q, rstar=1.0)
        assert type(value) is float
        with mpmath.workdps(30):
            truth = mpmath.quad(lambda phi: point_lens(mpmath.sqrt(l * l + r * r + 2 * l * r * mpmath.cos(phi)) / q),
                                [0, mpmath.pi]) / mpmath.pi
        assert value == pytest.approx(float(truth), rel=1e-13)

    @staticmethod
    def averaged_point_lens(l, r, q):
        # The circle comes nearest the lens at phi = pi: split there, where the integrand peaks.
        with mpmath.workdps(30):
            def magnification(phi):
                return point_lens(mpmath.sqrt(l * l + r * r + 2 * l * r * mpmath.cos(phi)) / q)
            nodes = [0, mpmath.pi - 1e-2, mpmath.pi - 1e-4, mpmath.pi - 1e-6, mpmath.pi]
            return float(mpmath.quad(magnification, nodes) / mpmath.pi)

    def test_circle_through_the_lens(self):
        assert vellomir.heyrovsky_magnification(0.5, 0.5, 1.0, 1.0) == math.inf
        # Both sides of the 1e-5 band: the logarithmic expansion inside, the closed form outside.
        for r in (0.5 + 9e-6, 0.5 - 9e-6, 0.5 + 1.1e-5):
            value = vellomir.heyrovsky_magnification(0.5, r, 1.0, 1.0)
            assert value == pytest.approx(self.averaged_point_lens(0.5, r, 1.0), rel=1e-4)

    def test_no_lens_means_no_magnification(self):
        assert vellomir.heyrovsky_magnification(0.5, 0.7, 0.0, 1.0) == pytest.approx(1.0, rel=1e-15)

    @pytest.mark.parametrize(
        "args, message",
        [
            ((math.nan, 0.5, 1.0, 1.0), "ellipk: Arguments cannot be NAN."),
            ((-0.5, 0.7, 1.0, 1.0), "ellipk: Arguments cannot be NAN."),
            ((0.5, -0.7, 1.0, 1.0), "ellipk: Arguments cannot be NAN."),  # once (1e4, 1e4 + 2e-5): n rounded to 1
        ],
    )
    def test_elliptic_failures_are_runtime_errors(self, args, message):
        with pytest.raises(RuntimeError) as caught:
            vellomir.heyrovsky_magnification(*args)
        assert type(caught.value) is RuntimeError
        assert str(caught.value) == message


class TestGrid:
    L = [0.0, 0.3, 1.0, 1.7, 5.0, math.nan]

    def test_rows_in_pair_order_equal_single_calls(self):
        re, rstar = [1.0, 2.0], [0.1, 0.2, 0.3]
        rows = vellomir.multi_witt_mao_magnification(self.L, re, rstar)
        assert len(rows) == 6
        pairs = [(a, b) for a in re for b in rstar]
        for row, (a, b) in zip(rows, pairs):
            expected = vellomir.witt_mao_magnification(self.L, a, b)
            assert row[:-1] == expected[:-1]
            assert math.isnan(row[-1]) and math.isnan(expected[-1])

    @pytest.mark.parametrize("re, rstar, rows", [([], [0.1], 0), ([1.0], [], 0), ([1.0, 2.0], [0.1], 2)])
    def test_empty_inputs(self, re, rstar, rows):
        assert vellomir.multi_witt_mao_magnification([], re, rstar) == [[] for _ in range(rows)]
        assert len(vellomir.multi_witt_mao_magnification([1.0], re, rstar)) == rows

    def test_float_for_re_is_refused_with_its_note(self):
        with pytest.raises(TypeError) as caught:
            vellomir.multi_witt_mao_magnification([1.0], 1.0, [0.1])
        assert str(caught.value) == "'float' object is not an instance of 'Sequence'"
        assert caught.value.__notes__ == ["while processing 're'"]

    def test_same_rows_whatever_the_pool_size_and_one_worker_does_not_deadlock(self):
        code = (
            "import vellomir\n"
            "l = [i * 0.01 for i in range(2000)]\n"
            "re = [0.5 + 0.25 * i for i in range(8)]\n"
            "rstar = [0.05 * (i + 1) for i in range(6)]\n"
            "print(repr(vellomir.multi_witt_mao_magnification(l, re, rstar)))\n"
        )
        outputs = set()
        for threads in ("1", "2", "7"):
            done = run_python(code, timeout=60, RAYON_NUM_THREADS=threads)
            assert done.returncode == 0, done.stderr
            outputs.add(done.stdout)
        assert len(outputs) == 1


class TestLimbDarkened:
    def test_agrees_with_an_independent_two_dimensional_integral(self):
        # Point-lens magnification over a linearly limb-darkened disk (coefficient 0.6), at
        # l = 2 stellar radii with the Einstein radius equal to the stellar radius.
        l = 2.0

        def brightness(r):
            return 1 - 0.6 * (1 - mpmath.sqrt(1 - r * r))

        with mpmath.workdps(20):
            flux = mpmath.quad(
                lambda r: brightness(r) * r * mpmath.quad(
                    lambda phi: point_lens(mpmath.sqrt(l * l + r * r + 2 * l * r * mpmath.cos(phi))), [0, mpmath.pi]),
                [0, 1]) * 2
            area = mpmath.quad(lambda r: brightness(r) * 2 * mpmath.pi * r, [0, 1])
            truth = float(flux / area)
        scale = 0.8 * math.pi / LIMB_DARKENED_NORM
        for function in (vellomir.integrated_witt_mao_magnification, vellomir.integrated_heyrovsky_magnification):
            (value,) = function([l], 1.0, 1.0)
            assert value == pytest.approx(truth * scale, rel=1e-10)

    def test_twins_agree_and_tend_to_the_normalisation_far_away(self):
        l = [0.0, 0.5, 1.5, 3.0, 1e3]
        disk = vellomir.integrated_witt_mao_magnification(l, 1.0, 0.5)
        rings = vellomir.integrated_heyrovsky_magnification(l, 1.0, 0.5)
        assert disk == pytest.approx(rings, rel=1e-10)
        assert rings[-1] == pytest.approx(0.8 * math.pi / LIMB_DARKENED_NORM, rel=1e-9)

    def test_empty_and_repeatable(self):
        assert vellomir.integrated_witt_mao_magnification([], 1.0, 0.1) == []
        assert vellomir.integrated_heyrovsky_magnification([], 1.0, 0.1) == []
        l = [0.3, 0.9, 2.2]
        assert vellomir.integrated_heyrovsky_magnification(l, 1.0, 0.1) == \
            vellomir.integrated_heyrovsky_magnification(l, 1.0, 0.1)


class TestFluxMaps:
    L = [1.5, 2.0, 4.0]

    def test_discrete_map_of_one_ring_is_the_ring_magnification(self):
        one = vellomir.discrete_flux_map_heyrovsky_magnification(self.L, 1.0, 0.5, [0.4], [1.0])
        two = vellomir.discrete_flux_map_heyrovsky_magnification(self.L, 1.0, 0.5, [0.4], [2.0])
        rings = [vellomir.heyrovsky_magnification(l, 0.4, 1.0, 0.5) for l in self.L]
        assert one == rings
        assert two == [2.0 * x for x in rings]

    def test_one_point_table_is_a_uniform_disk(self):
        uniform = vellomir.witt_mao_magnification(self.L, 1.0, 0.5)
        for function in (vellomir.integrated_flux_map_witt_mao_magnification,
                         vellomir.integrated_flux_map_heyrovsky_magnification):
            assert function(self.L, 1.0, 0.5, [0.5], [3.0]) == pytest.approx(uniform, rel=1e-8)

    def test_scale_of_the_brightness_does_not_matter(self):
        bl = [0.0, 0.25, 0.5, 0.75, 1.0]
        bf = [1.0, 0.95, 0.8, 0.6, 0.3]
        for function in (vellomir.integrated_flux_map_witt_mao_magnification,
                         vellomir.integrated_flux_map_heyrovsky_magnification):
            base = function(self.L, 1.0, 0.5, bl, bf)
            scaled = function(self.L, 1.0, 0.5, bl, [7.5 * x for x in bf])
            assert scaled == pytest.approx(base, rel=1e-13)

    def test_empty_tables(self):
        assert vellomir.discrete_flux_map_heyrovsky_magnification(self.L, 1.0, 0.5, [], []) == [0.0, 0.0, 0.0]
        for function in (vellomir.integrated_flux_map_witt_mao_magnification,
                         vellomir.integrated_flux_map_heyrovsky_magnification):
            assert all(math.isnan(x) for x in function(self.L, 1.0, 0.5, [], []))
            assert function([], 1.0, 0.5, [0.5], [1.0]) == []


INTEGRATED = [vellomir.integrated_witt_mao_magnification, vellomir.integrated_heyrovsky_magnification]
INTEGRATED_MAPS = [vellomir.integrated_flux_map_witt_mao_magnification,
                   vellomir.integrated_flux_map_heyrovsky_magnification]


def every_integrated(l, re, rstar, bl=(0.0, 1.0), bf=(1.0, 0.5)):
    """The four integrated functions on the same star, the maps with a two-point table."""
    return [f(l, re, rstar) for f in INTEGRATED] + [f(l, re, rstar, list(bl), list(bf)) for f in INTEGRATED_MAPS]


class TestImpossibleInputs:
    def test_no_magnification_of_zero_from_non_finite_separations(self):
        nan_inf_half = vellomir.integrated_flux_map_witt_mao_magnification(
            [math.nan, math.inf, 0.5], 1.0, 0.5, [0, 1], [1, 1])
        assert math.isnan(nan_inf_half[0])
        # Infinitely far from the lens: no magnification, as the uniform disk gives it, or NaN.
        far_disk = vellomir.witt_mao_magnification([math.inf], 1.0, 0.5)[0]
        assert math.isnan(nan_inf_half[1]) or nan_inf_half[1] == far_disk
        assert nan_inf_half[2] == pytest.approx(vellomir.witt_mao_magnification([0.5], 1.0, 0.5)[0], rel=1e-6)
        for l, re, rstar in [(0.5, math.nan, 0.5), (0.5, 0.0, 0.5), (0.5, 1.0, 0.0), (-1.0, 1.0, 0.5),
                             (1e308, 1.0, 0.5)]:
            for row in every_integrated([l], re, rstar):
                assert row[0] != 0.0 and not row[0] < 0.0, (l, re, rstar, row)

    @pytest.mark.parametrize("re, rstar", [(1.0, -0.5), (-1.0, 0.5)])
    def test_opposite_signs_give_nan(self, re, rstar):
        for row in every_integrated([0.0, 0.5, 2.0], re, rstar):
            assert all(math.isnan(x) for x in row)

    def test_negative_separation_gives_nan_for_its_element_only(self):
        for row, clean in zip(every_integrated([-0.5, 2.0, -1e-300], 1.0, 0.5), every_integrated([2.0], 1.0, 0.5)):
            assert math.isnan(row[0]) and math.isnan(row[2])
            assert row[1] == clean[0]

    def test_negative_zero_is_zero(self):
        assert every_integrated([-0.0, 0.5], 1.0, 0.5) == every_integrated([0.0, 0.5], 1.0, 0.5)
        assert every_integrated([0.0, 2.0], -1.0, -0.5) == every_integrated([0.0, 2.0], 1.0, 0.5)
        # A star of no extent keeps its point-source value, +inf at u = 0, for either zero.
        for rstar in (0.0, -0.0):
            assert vellomir.integrated_witt_mao_magnification([0.5, -0.0], 1.0, rstar) == [math.inf, math.inf]
            assert vellomir.integrated_flux_map_witt_mao_magnification([0.5], 1.0, rstar, [0.5], [1.0]) == [math.inf]

    @pytest.mark.parametrize("bl", [[0.5, 0.0, 1.0], [0.0, math.nan, 1.0], [math.nan], [1.0, 0.0]])
    def test_radii_not_ascending_give_nan_everywhere(self, bl):
        bf = [1.0] * len(bl)
        for function in INTEGRATED_MAPS:
            assert all(math.isnan(x) for x in function([0.0, 0.7, 3.0], 1.0, 0.5, bl, bf))
        # Equal neighbours are a jump of the profile, not a fault.
        for function in INTEGRATED_MAPS:
            assert all(x > 1.0 for x in function([0.0, 0.7, 3.0], 1.0, 0.5, [0.0, 0.5, 0.5, 1.0], [1.0, 1.0, 0.5, 0.5]))
