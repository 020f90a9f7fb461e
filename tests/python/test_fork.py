"""Calls in processes forked after the worker pool has started, and in multiprocessing pools."""

import pytest

from conftest import run_python

# Every function once, on arguments that exercise the pool (and the nested maps of the grid).
WORKLOAD = r"""
import vellomir
def workload():
    l = [i * 0.01 for i in range(-50, 400)] + [float("nan"), 1.0]
    return [
        vellomir.witt_mao_magnification(l, 1.0, 0.1),
        vellomir.multi_witt_mao_magnification(l[::9], [1.0, 2.0], [0.1, 0.2, 0.3]),
        vellomir.heyrovsky_magnification(0.5, 0.7, 1.0, 1.0),
        vellomir.integrated_witt_mao_magnification(l[::50], 1.0, 0.1),
        vellomir.integrated_heyrovsky_magnification(l[::50], 1.0, 0.1),
        vellomir.integrated_flux_map_witt_mao_magnification(l[::60], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3]),
        vellomir.integrated_flux_map_heyrovsky_magnification(l[::60], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3]),
        vellomir.discrete_flux_map_heyrovsky_magnification(l[50:450:45], 1.0, 0.1, [0.2, 0.7], [0.4, 0.6]),
    ]
def digest(value):
    return repr([digest(v) for v in value]) if isinstance(value, list) else value.hex()
"""

FORK_AFTER_START = r"""
import os
expected = digest(workload())   # the pool's threads are running now
read, write = os.pipe()
child = os.fork()
if child == 0:
    os.close(read)
    os.write(write, (digest(workload()) == expected and b"same") or b"different")
    os._exit(0)
os.close(write)
answer = os.read(read, 100)
os.waitpid(child, 0)
print(answer.decode(), digest(workload()) == expected)
"""

MULTIPROCESSING = WORKLOAD + r"""
import multiprocessing, sys, warnings
warnings.simplefilter("ignore", DeprecationWarning)  # fork of a threaded process: the point of the test
def task(_):
    return digest(workload())
if __name__ == "__main__":
    expected = digest(workload())   # started in the parent before the workers exist
    with multiprocessing.get_context(sys.argv[1]).Pool(2) as pool:
        print(set(pool.map(task, range(4))) == {expected})
"""

# The same for vellomir_numpy: every kernel of _core, on the pool.
NUMPY_WORKLOAD = r"""
import numpy as np
import vellomir_numpy as vn
def workload():
    u = np.linspace(-0.5, 4.0, 451)
    return [
        vn.uniform(u, 0.1), vn.uniform(u, np.linspace(0.0, 1.0, 451)),
        vn.limb_darkened(u[::9], 0.1, "quadratic", [0.4, 0.2]),
        vn.profile(u[::9], 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3]),
    ]
def digest(value):
    return repr([v.tobytes().hex() for v in value])
"""


@pytest.mark.parametrize("workload", [WORKLOAD, NUMPY_WORKLOAD], ids=["vellomir", "vellomir_numpy"])
def test_forked_child_computes_every_function_like_its_parent(workload):
    done = run_python(workload + FORK_AFTER_START, timeout=60, RAYON_NUM_THREADS="2")
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["same", "True"]


@pytest.mark.parametrize("method", ["fork", "spawn", "forkserver"])
def test_multiprocessing_pool(method, tmp_path):
    script = tmp_path / "multiprocessing_workload.py"  # spawned workers re-import the main module
    script.write_text(MULTIPROCESSING)
    done = run_python(f"import runpy, sys; sys.argv = ['x', {method!r}]; runpy.run_path({str(script)!r}, run_name='__main__')",
                      timeout=120, RAYON_NUM_THREADS="2")
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "True"


# A thread is creating one of the module's one-time values (collections.abc.Sequence, which
# a non-sequence argument's error names) when the main thread forks: the child has no such
# thread, and its own first use must create the value again rather than wait for ever. A
# slow __import__ holds the creation open; the parent gives the child a deadline.
FORK_DURING_FIRST_USE = r"""
import builtins, os, threading, time, warnings
import vellomir
warnings.simplefilter("ignore", DeprecationWarning)  # fork of a threaded process: the point of the test
creating = threading.Event()
original_import = builtins.__import__
def slow_import(name, *args, **kwargs):
    if name == "collections.abc":
        creating.set()
        time.sleep(0.5)
    return original_import(name, *args, **kwargs)
builtins.__import__ = slow_import

def first_use():
    try:
        vellomir.witt_mao_magnification(5, 1.0, 0.1)
    except TypeError as error:
        return str(error)
thread = threading.Thread(target=first_use)
thread.start()
assert creating.wait(10)
read, write = os.pipe()
child = os.fork()
if child == 0:
    os.close(read)
    os.write(write, first_use().encode())
    os._exit(0)
os.close(write)
thread.join()
deadline = time.monotonic() + 20
while os.waitpid(child, os.WNOHANG) == (0, 0):
    if time.monotonic() > deadline:
        os.kill(child, 9)
        os.waitpid(child, 0)
        raise SystemExit("the child hung")
    time.sleep(0.02)
print(os.read(read, 1000).decode())
print(first_use())
"""


def test_child_forked_during_first_use_of_a_one_time_value_creates_it_again():
    done = run_python(FORK_DURING_FIRST_USE, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.splitlines() == ["'int' object is not an instance of 'Sequence'"] * 2
