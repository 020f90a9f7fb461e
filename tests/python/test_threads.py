"""Several interpreter threads calling the module at once, and the one-time values under contention."""

import array
import math
import threading
import time

import pytest

import vellomir
from conftest import run_python

THREADS = 8
ROUNDS = 25


def workload():
    """One call of each kind; all pure, so every thread must get exactly these results."""
    l = [i * 0.01 for i in range(-50, 400)] + [math.nan, 1.0]
    return [
        vellomir.witt_mao_magnification(l, 1.0, 0.1),
        vellomir.witt_mao_magnification(l, 0.5, 0.5),
        vellomir.witt_mao_magnification(array.array("d", l)[::2], 1.0, 0.1),  # the buffer shortcut
        vellomir.multi_witt_mao_magnification(l[::9], [1.0, 2.0], [0.1, 0.2, 0.3]),
        vellomir.heyrovsky_magnification(0.5, 0.7, 1.0, 1.0),
        vellomir.integrated_witt_mao_magnification(l[::50], 1.0, 0.1),
        vellomir.integrated_flux_map_witt_mao_magnification(l[::60], 1.0, 0.1, [0.0, 0.5, 1.0], [1.0, 0.8, 0.3]),
        vellomir.discrete_flux_map_heyrovsky_magnification(l[50:450:45], 1.0, 0.1, [0.2, 0.7], [0.4, 0.6]),
    ]


def comparable(value):
    """Results with NaN compare by bit pattern."""
    if isinstance(value, list):
        return [comparable(v) for v in value]
    return value.hex()


def run_threads(target):
    barrier = threading.Barrier(THREADS)
    results = [None] * THREADS
    failures = []

    def body(index):
        try:
            barrier.wait()
            results[index] = target()
        except BaseException as error:  # noqa: BLE001 - reported below, whatever it is
            failures.append(error)

    threads = [threading.Thread(target=body, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    return results


class TestConcurrentCalls:
    def test_threads_get_the_single_thread_results(self):
        expected = comparable(workload())

        def repeated():
            return [comparable(workload()) for _ in range(ROUNDS)]

        for per_thread in run_threads(repeated):
            assert all(run == expected for run in per_thread)

    def test_concurrent_errors_stay_with_their_thread(self):
        def mixed():
            seen = []
            for i in range(ROUNDS):
                try:
                    vellomir.witt_mao_magnification([1.0, "x"], 1.0, 0.1)
                except TypeError as error:
                    seen.append((str(error), tuple(error.__notes__)))
                try:
                    vellomir.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 0.1, [0.5] * (i % 3 + 1), [])
                except BaseException as error:  # noqa: BLE001 - PanicException
                    seen.append((type(error).__name__, str(error)))
                seen.append(comparable(vellomir.witt_mao_magnification([0.5, 2.0], 1.0, 0.1)))
            return seen

        good = comparable(vellomir.witt_mao_magnification([0.5, 2.0], 1.0, 0.1))
        for seen in run_threads(mixed):
            for i in range(ROUNDS):
                conversion, panic, value = seen[3 * i : 3 * i + 3]
                assert conversion == ("must be real number, not str", ("while processing 'l'",))
                assert panic == ("PanicException", f"assertion `left == right` failed\n  left: {i % 3 + 1}\n right: 0")
                assert value == good


class TestInterpreterReleased:
    def test_another_thread_keeps_running_during_a_long_call(self):
        """The other thread measures its own longest pause: a thread frozen for the whole call
        would see one pause as long as the call, even though it runs again afterwards."""
        ticking = threading.Event()
        stop = threading.Event()
        longest = [0.0]

        def ticker():
            last = time.perf_counter()
            while not stop.is_set():
                time.sleep(0.001)
                now = time.perf_counter()
                longest[0] = max(longest[0], now - last)
                last = now
                ticking.set()

        thread = threading.Thread(target=ticker)
        thread.start()
        ticking.wait()
        start = time.perf_counter()
        result = vellomir.integrated_heyrovsky_magnification([3.0 * i / 4000 for i in range(4000)], 1.0, 0.5)
        duration = time.perf_counter() - start
        stop.set()
        thread.join()
        assert len(result) == 4000
        assert longest[0] < duration / 4, (longest[0], duration)


# Run in fresh interpreters, so that the one-time values are really created here.

FIRST_USE_RACE = r"""
import sys, threading, vellomir
sys.setswitchinterval(1e-6)
N = 8
barrier = threading.Barrier(N)
out = [None] * N
def body(i):
    barrier.wait()
    row = []
    try:
        vellomir.witt_mao_magnification(1.0, 1.0, 1.0)
    except TypeError as e:
        row.append(str(e))
    try:
        vellomir.integrated_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], [])
    except BaseException as e:
        row.append(id(type(e)))
    row.append(vellomir.witt_mao_magnification([0.5, 1.0, 2.0] * 100, 1.0, 0.1))
    out[i] = row
threads = [threading.Thread(target=body, args=(i,)) for i in range(N)]
for t in threads: t.start()
for t in threads: t.join()
assert all(row == out[0] for row in out), out
print(out[0][0]); print(len(out[0][-1]))
"""

# collections.abc.Sequence is looked up through builtins.__import__; a slow import that
# releases the interpreter lock lets the other threads find the lookup under way. They
# must wait detached, or the importing thread could never take the lock back.
SLOW_CREATION = r"""
import builtins, sys, threading, time, vellomir
real_import = builtins.__import__
imports = []
def slow_import(name, *args, **kwargs):
    if name == "collections.abc":
        imports.append(threading.get_ident())
        time.sleep(0.3)
    return real_import(name, *args, **kwargs)
builtins.__import__ = slow_import
N = 6
barrier = threading.Barrier(N)
messages = []
def body():
    barrier.wait()
    try:
        vellomir.witt_mao_magnification(None, 1.0, 1.0)
    except TypeError as e:
        messages.append(str(e))
threads = [threading.Thread(target=body) for _ in range(N)]
for t in threads: t.start()
for t in threads: t.join()
print(len(imports), sorted(set(messages)))
"""

# The lookup calls back into the module and needs the value it is creating.
REENTRANT_CREATION = r"""
import builtins, vellomir
real_import = builtins.__import__
def reentrant_import(name, *args, **kwargs):
    if name == "collections.abc":
        vellomir.witt_mao_magnification(1.0, 1.0, 1.0)
    return real_import(name, *args, **kwargs)
builtins.__import__ = reentrant_import
try:
    vellomir.witt_mao_magnification(1.0, 1.0, 1.0)
except Exception as e:
    print("ordinary", type(e).__name__)
except BaseException as e:
    print(type(e).__name__, "requested again while it was being created" in str(e))
builtins.__import__ = real_import
try:
    vellomir.witt_mao_magnification(1.0, 1.0, 1.0)
except TypeError as e:
    print(str(e))
"""


class TestOneTimeValues:
    def test_racing_first_use(self):
        done = run_python(FIRST_USE_RACE, RAYON_NUM_THREADS="2")
        assert done.returncode == 0, done.stderr
        assert done.stdout.splitlines() == ["'float' object is not an instance of 'Sequence'", "300"]

    def test_waiting_threads_detach_while_another_creates(self):
        done = run_python(SLOW_CREATION, timeout=60)
        assert done.returncode == 0, done.stderr
        assert done.stdout.strip() == "1 [\"'None' is not an instance of 'Sequence'\"]"

    def test_reentrant_creation_fails_instead_of_hanging(self):
        done = run_python(REENTRANT_CREATION, timeout=60)
        assert done.returncode == 0, done.stderr
        assert done.stdout.splitlines() == ["PanicException True", "'float' object is not an instance of 'Sequence'"]

    @pytest.mark.parametrize("threads", ["1", "3"])
    def test_pool_created_from_several_threads_at_once(self, threads):
        code = FIRST_USE_RACE.replace("vellomir.witt_mao_magnification(1.0, 1.0, 1.0)", "pass")
        done = run_python(code, RAYON_NUM_THREADS=threads)
        assert done.returncode == 0, done.stderr
