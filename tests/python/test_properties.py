"""Properties of the magnifications over the whole range of valid inputs (hypothesis).

The point-lens magnification is at least 1 everywhere, so every average of it is too: the
uniform disk, the ring, the limb-darkened and the tabulated star (the discrete map is a weighted
sum and is left out). Results never depend on how an input vector is split, nor on the number of
workers.
"""

import math
import sys

from hypothesis import given, settings
from hypothesis import strategies as st

import vellomir
from conftest import run_python

FLOOR = 1.0 - 4.0 * sys.float_info.epsilon
FEW = settings(max_examples=100, deadline=None)
MANY = settings(max_examples=1000, deadline=None)


def log_uniform(smallest, largest):
    """Positive doubles spread evenly over the decades between smallest and largest."""
    low, high = math.log10(smallest), math.log10(largest)
    return st.floats(min_value=low, max_value=high).map(lambda e: 10.0**e)


# Separations in stellar radii (with 0), source radii rho = rstar / re in Einstein radii.
separations = st.one_of(st.just(0.0), log_uniform(1e-12, 1e6), st.floats(min_value=0.0, max_value=3.0))
wide_separations = st.one_of(st.just(0.0), log_uniform(1e-300, 1e300))
radii = log_uniform(1e-6, 100.0)


@st.composite
def tables(draw):
    """Piecewise-linear profiles: 1 to 25 distinct ascending radii, multiples of 1e-6 in [0, 1], and
    brightness > 0 (a star with some light: radii all equal would make one of no extent)."""
    count = draw(st.integers(min_value=1, max_value=25))
    steps = draw(st.lists(st.integers(min_value=0, max_value=10**6), min_size=count, max_size=count, unique=True))
    bl = [step / 1e6 for step in sorted(steps)]
    bf = draw(st.lists(st.floats(min_value=0.01, max_value=10.0), min_size=count, max_size=count))
    return bl, bf


def assert_magnification(values, context):
    for value in values:
        assert not math.isnan(value), context
        assert value >= FLOOR, (value, context)


@MANY
@given(l=st.lists(wide_separations, min_size=1, max_size=8), rho=log_uniform(1e-10, 100.0))
def test_uniform_disk_is_a_magnification(l, rho):
    assert_magnification(vellomir.witt_mao_magnification(l, 1.0, rho), (l, rho))


@MANY
@given(rho=log_uniform(1e-10, 100.0), first=log_uniform(1.0, 1e300), factor=log_uniform(1.0, 1e3))
def test_uniform_disk_decreases_outside_the_disk(rho, first, factor):
    second = first * factor
    if math.isinf(second * rho):
        return
    near, far = vellomir.witt_mao_magnification([first, second], 1.0, rho)
    assert near >= far, (rho, first, second, near, far)


@MANY
@given(l=separations, r=log_uniform(1e-6, 1.0), rho=radii)
def test_ring_is_a_magnification(l, r, rho):
    assert_magnification([vellomir.heyrovsky_magnification(l, r, 1.0, rho)], (l, r, rho))


@FEW
@given(l=st.lists(separations, min_size=1, max_size=4), rho=radii)
def test_limb_darkened_star_is_a_magnification(l, rho):
    for function in (vellomir.integrated_witt_mao_magnification, vellomir.integrated_heyrovsky_magnification):
        assert_magnification(function(l, 1.0, rho), (function.__name__, l, rho))


@FEW
@given(l=st.lists(separations, min_size=1, max_size=3), rho=radii, table=tables())
def test_tabulated_star_is_a_magnification(l, rho, table):
    bl, bf = table
    for function in (vellomir.integrated_flux_map_witt_mao_magnification,
                     vellomir.integrated_flux_map_heyrovsky_magnification):
        assert_magnification(function(l, 1.0, rho, bl, bf), (function.__name__, l, rho, bl, bf))


def outcome(call, l):
    """The bits of each result, or the error a call raises."""
    try:
        return [value.hex() for value in call(l)]
    except RuntimeError as error:
        return str(error)


def element_outcomes(call, l):
    """outcome() of the vector as element-by-element calls would give it: the first error wins."""
    results = []
    for x in l:
        one = outcome(call, [x])
        if isinstance(one, str):
            return one
        results += one
    return results


@FEW
@given(l=st.lists(separations, min_size=2, max_size=6), rho=radii, table=tables())
def test_a_vector_call_is_its_elements_calls(l, rho, table):
    bl, bf = table
    calls = [
        lambda x: vellomir.witt_mao_magnification(x, 1.0, rho),
        lambda x: vellomir.integrated_witt_mao_magnification(x, 1.0, rho),
        lambda x: vellomir.integrated_heyrovsky_magnification(x, 1.0, rho),
        lambda x: vellomir.integrated_flux_map_witt_mao_magnification(x, 1.0, rho, bl, bf),
        lambda x: vellomir.integrated_flux_map_heyrovsky_magnification(x, 1.0, rho, bl, bf),
        lambda x: vellomir.discrete_flux_map_heyrovsky_magnification(x, 1.0, rho, bl, bf),
        lambda x: vellomir.multi_witt_mao_magnification(x, [1.0], [rho])[0],
    ]
    for call in calls:
        assert outcome(call, l) == element_outcomes(call, l)


EVERY_FUNCTION = """
import random
import vellomir
rng = random.Random(8)
l = [rng.uniform(0.0, 3.0) for _ in range(300)] + [0.0, 1.0, 1.0 + 1e-6, 1e3]
bl = sorted(rng.uniform(0.0, 1.0) for _ in range(12))
bf = [rng.uniform(0.1, 1.0) for _ in range(12)]
results = [
    vellomir.witt_mao_magnification(l, 1.0, 0.3),
    vellomir.multi_witt_mao_magnification(l[:50], [1.0, 2.0], [0.1, 0.3]),
    vellomir.integrated_witt_mao_magnification(l, 1.0, 0.3),
    vellomir.integrated_heyrovsky_magnification(l, 1.0, 0.3),
    vellomir.integrated_flux_map_witt_mao_magnification(l, 1.0, 0.3, bl, bf),
    vellomir.integrated_flux_map_heyrovsky_magnification(l, 1.0, 0.3, bl, bf),
    vellomir.discrete_flux_map_heyrovsky_magnification(l, 1.0, 0.3, bl, bf),
]
print(repr([[x.hex() for x in row] if isinstance(row[0], float) else row for row in results]))
"""


def test_one_and_two_workers_give_the_same_bits():
    # The pool's size is read once per process: one child interpreter per size.
    one = run_python(EVERY_FUNCTION, timeout=120, RAYON_NUM_THREADS="1")
    more = run_python(EVERY_FUNCTION, timeout=120, RAYON_NUM_THREADS="2")
    assert one.returncode == 0, one.stderr
    assert more.returncode == 0, more.stderr
    assert one.stdout == more.stdout
