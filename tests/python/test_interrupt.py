"""Ctrl-C stops a long call early, and the next call is right.

Each case runs in a child interpreter that times one unit of work (doubled until it takes at
least 50 ms, so that the 20 ms signal checks are small beside it), then starts a call of
twenty units; SIGINT is sent one unit into it. The call must end with KeyboardInterrupt
before half of its estimated duration (ten units) has passed, and a later call must give
the results of an undisturbed process.
"""

import json
import signal
import subprocess
import sys
import time

import pytest

from conftest import module_environment

# Shared by both children: each defines prepared(units), a call of that many units with its
# inputs already made, and check(), a small call whose result must not change.
CHILD_TAIL = r"""
import signal
# A child of a background job (a CI runner's, say) inherits SIGINT ignored, and then Python
# installs no handler of its own: restore the one Ctrl-C means.
signal.signal(signal.SIGINT, signal.default_int_handler)
expected = check()
scale = 1
while True:
    call = prepared(scale)
    start = time.monotonic(); call(); unit = time.monotonic() - start
    if unit >= 0.05 or scale >= 16:
        break
    scale *= 2
call = prepared(20 * scale)
print(json.dumps({"unit": unit}), flush=True)
start = time.monotonic()
try:
    call()
    print(json.dumps({"interrupted": False}), flush=True)
except KeyboardInterrupt:
    elapsed = time.monotonic() - start
    print(json.dumps({"interrupted": True, "elapsed": elapsed, "next_call_right": check() == expected}), flush=True)
"""


CHILD = r"""
import json, sys, time
import vellomir
f = getattr(vellomir, sys.argv[1])
def arguments(units):
    if sys.argv[1] == "multi_witt_mao_magnification":  # a unit is 10 (re, rstar) pairs
        l = [3.0 * i / 50_000 for i in range(50_000)]
        return l, [1.0 + 0.1 * i for i in range(units)], [0.01 * (j + 1) for j in range(10)]
    n = (200_000 if sys.argv[1] == "witt_mao_magnification" else 500) * units
    return [3.0 * i / n for i in range(n)], 1.0, 0.1
def prepared(units):
    inputs = arguments(units)
    return lambda: f(*inputs)
check = lambda: vellomir.multi_witt_mao_magnification([0.5, 1.0, 2.0] * 100, [1.0, 2.0], [0.1, 0.3])
""" + CHILD_TAIL


def interrupt_one_unit_in(child_code, function):
    """Runs `child_code` for `function`, sends SIGINT one unit into its long call, checks the report."""
    child = subprocess.Popen([sys.executable, "-c", child_code, function], env=module_environment(),
                             stdout=subprocess.PIPE, text=True)
    try:
        unit = json.loads(child.stdout.readline())["unit"]
        time.sleep(unit)
        child.send_signal(signal.SIGINT)
        report = json.loads(child.stdout.readline())
    finally:
        child.kill()
        child.wait()
    assert report["interrupted"]
    assert report["elapsed"] < 10 * unit
    assert report["next_call_right"]


@pytest.mark.parametrize(
    "function",
    ["witt_mao_magnification", "multi_witt_mao_magnification", "integrated_heyrovsky_magnification"],
)
def test_sigint_stops_the_call_early_and_the_next_call_is_right(function):
    interrupt_one_unit_in(CHILD, function)


NUMPY_CHILD = r"""
import json, sys, time
import numpy as np
import vellomir_numpy as vn
name = sys.argv[1]
def prepared(units):
    # The inputs are made before the timing: only the call itself is measured and interrupted.
    if name == "uniform":
        u = np.linspace(0.0, 3.0, 300_000 * units)
        return lambda: vn.uniform(u, 0.1)
    n = 300 * units  # points near the disk: ring integrals
    if name == "limb_darkened":
        u = np.linspace(0.0, 0.015, n)
        return lambda: vn.limb_darkened(u, 0.01, "linear", [0.6], rtol=1e-10)
    if name == "profile":
        u = np.linspace(0.0, 0.015, n)
        return lambda: vn.profile(u, 0.01, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3], rtol=1e-10)
    t = np.linspace(-0.0002, 0.0002, n)
    return lambda: vn.light_curve(t, 0.0, 0.005, 20.0, 0.01, law="linear", coefficients=[0.6], rtol=1e-10)
check = lambda: vn.limb_darkened(np.linspace(0.0, 0.02, 64), 0.01, "linear", [0.6]).tobytes()
""" + CHILD_TAIL


@pytest.mark.parametrize("function", ["uniform", "limb_darkened", "profile", "light_curve"])
def test_sigint_stops_a_numpy_call_early_and_the_next_call_is_right(function):
    interrupt_one_unit_in(NUMPY_CHILD, function)
