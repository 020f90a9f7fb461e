"""End-to-end timings of the vellomir module as Python code sees it.

    PYTHONPATH=<build dir> python bench/bench_module.py [--baseline-path <dir of another build>]

Every figure is measured in fresh child interpreters and printed as a ratio against a
baseline taken in the same run; times are the best of several runs.

1. witt_mao_magnification on 10^6 separations (rho = 0.1, u in [0, 3]): one worker
   against the default pool, the list traffic, the input conversion.
2. The six functions that used to compute on the calling thread, 2 workers against
   RAYON_NUM_THREADS=1 (heyrovsky_magnification takes one element per call: no pool).
3. A 10^6-element float64 NumPy array: the conversion through the buffer shortcut
   against the item-by-item path (an ndarray subclass, which must take it), and the
   whole call against the same values in a list.
4. Per-call cost of every function on 10 elements; with --baseline-path also on that
   build (e.g. one without these changes), in the same run.
5. The longest pause of another Python thread while one thread runs a long call.
"""

import json
import os
import subprocess
import sys
import threading
import time

from timing import best_of

N = 1_000_000
SMALL = 10
RE, RSTAR = 1.0, 0.1
MANY = 1_000  # elements for the formerly sequential functions


def per_call(function, calls, repeats=5):
    return best_of(lambda: [function() for _ in range(calls)], repeats) / calls


def calls_of_every_function(vellomir, l):
    """One call of each function on separations `l`."""
    bl, bf = [0.0, 0.3, 0.6, 1.0], [1.0, 0.9, 0.6, 0.2]
    return {
        "witt_mao_magnification": lambda: vellomir.witt_mao_magnification(l, RE, RSTAR),
        "multi_witt_mao_magnification": lambda: vellomir.multi_witt_mao_magnification(l, [RE], [RSTAR]),
        "heyrovsky_magnification": lambda: [vellomir.heyrovsky_magnification(x, 0.7, RE, RSTAR) for x in l],
        "integrated_witt_mao_magnification": lambda: vellomir.integrated_witt_mao_magnification(l, RE, RSTAR),
        "integrated_heyrovsky_magnification": lambda: vellomir.integrated_heyrovsky_magnification(l, RE, RSTAR),
        "integrated_flux_map_witt_mao_magnification":
            lambda: vellomir.integrated_flux_map_witt_mao_magnification(l, RE, RSTAR, bl, bf),
        "integrated_flux_map_heyrovsky_magnification":
            lambda: vellomir.integrated_flux_map_heyrovsky_magnification(l, RE, RSTAR, bl, bf),
        "discrete_flux_map_heyrovsky_magnification":
            lambda: vellomir.discrete_flux_map_heyrovsky_magnification(l, RE, RSTAR, bl, bf),
    }


FORMERLY_SEQUENTIAL = [
    "heyrovsky_magnification",
    "integrated_witt_mao_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]


def measure_witt_mao():
    import vellomir

    wm = vellomir.witt_mao_magnification
    l = [30.0 * i / (N - 1) for i in range(N)]  # linspace(0, 30, N): u = l * rho in [0, 3]
    wm(l[:1000], RE, RSTAR)  # creates the worker pool outside the timings
    workers = os.environ.get("RAYON_NUM_THREADS")
    return {
        "workers": int(workers) if workers else len(os.sched_getaffinity(0)),
        "call_1e6": best_of(lambda: wm(l, RE, RSTAR), 5),
        # rstar = 0 takes the point-source branch: conversion in, pool dispatch and the
        # result list, with almost no arithmetic.
        "point_source_1e6": best_of(lambda: wm(l, RE, 0.0), 5),
        # No (re, rstar) pairs: converts l and returns an empty list, so this is the input conversion alone.
        "convert_in_1e6": best_of(lambda: vellomir.multi_witt_mao_magnification(l, [], [RSTAR]), 5),
        "new_floats_1e6": best_of(lambda: [x + 0.0 for x in l], 5),
        "list_map_float_1e6": best_of(lambda: list(map(float, l)), 5),
    }


def measure_sequential():
    import vellomir

    l = [3.0 * i / MANY for i in range(MANY)]
    calls = calls_of_every_function(vellomir, l)
    vellomir.witt_mao_magnification(l, RE, RSTAR)
    return {name: best_of(calls[name], 3) for name in FORMERLY_SEQUENTIAL}


def measure_numpy():
    import numpy as np

    import vellomir

    class ItemByItem(np.ndarray):  # a subclass: the module must read it item by item
        pass

    array = np.linspace(0.0, 30.0, N)
    as_list = array.tolist()
    subclass = array.view(ItemByItem)
    convert = lambda l: vellomir.multi_witt_mao_magnification(l, [], [RSTAR])  # noqa: E731
    vellomir.witt_mao_magnification(as_list[:1000], RE, RSTAR)
    return {
        "convert_array": best_of(lambda: convert(array), 7),
        "convert_subclass": best_of(lambda: convert(subclass), 5),
        "convert_list": best_of(lambda: convert(as_list), 5),
        "call_array": best_of(lambda: vellomir.witt_mao_magnification(array, RE, RSTAR), 5),
        "call_list": best_of(lambda: vellomir.witt_mao_magnification(as_list, RE, RSTAR), 5),
    }


def measure_small_calls():
    import vellomir

    l = [30.0 * i / SMALL for i in range(SMALL)]
    calls = calls_of_every_function(vellomir, l)
    vellomir.witt_mao_magnification(l, RE, RSTAR)
    # Many short batches: on a shared machine the best batch is the one nobody interrupted.
    # The integrated functions cost ~100 us per element: fewer calls suffice.
    return {name: per_call(call, 100, 200) if "integrated" not in name else per_call(call, 2, 50)
            for name, call in calls.items()}


def measure_stall():
    """Another thread sleeps 1 ms at a time and records its longest pause."""
    import vellomir

    l = [3.0 * i / 4000 for i in range(4000)]
    vellomir.witt_mao_magnification(l, RE, RSTAR)
    stop, ticking, longest = threading.Event(), threading.Event(), [0.0]

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
    vellomir.integrated_heyrovsky_magnification(l, RE, 0.5)
    duration = time.perf_counter() - start
    stop.set()
    thread.join()
    return {"call": duration, "longest_pause": longest[0]}


MEASURES = {f.__name__: f for f in (measure_witt_mao, measure_sequential, measure_numpy, measure_small_calls,
                                    measure_stall)}


def child(measure, path, threads=None):
    env = dict(os.environ, PYTHONPATH=path)
    env.pop("RAYON_RS_NUM_CPUS", None)
    if threads is None:
        env.pop("RAYON_NUM_THREADS", None)
    else:
        env["RAYON_NUM_THREADS"] = str(threads)
    done = subprocess.run([sys.executable, __file__, "--child", measure], env=env, capture_output=True, text=True,
                          check=True)
    return json.loads(done.stdout)


def main():
    if sys.argv[1:2] == ["--child"]:
        print(json.dumps(MEASURES[sys.argv[2]]()))
        return
    path = os.environ.get("PYTHONPATH", "")
    baseline = sys.argv[sys.argv.index("--baseline-path") + 1] if "--baseline-path" in sys.argv else None
    ms, us = 1e3, 1e6

    one, full = child("measure_witt_mao", path, 1), child("measure_witt_mao", path)
    print(f"1. witt_mao_magnification, {N:,} separations, rho = 0.1, u in [0, 3] (best of 5)")
    print(f"{'':48}{'1 worker':>12}{str(full['workers']) + ' workers':>12}{'ratio':>8}")
    for label, key in [
        ("end-to-end call [ms]", "call_1e6"),
        ("point-source call: list traffic + dispatch [ms]", "point_source_1e6"),
        ("input conversion alone [ms]", "convert_in_1e6"),
        ("Python: [x + 0.0 for x in l] [ms]", "new_floats_1e6"),
        ("Python: list(map(float, l)) [ms]", "list_map_float_1e6"),
    ]:
        print(f"{label:48}{one[key] * ms:12.3f}{full[key] * ms:12.3f}{one[key] / full[key]:8.2f}")

    one, two = child("measure_sequential", path, 1), child("measure_sequential", path, 2)
    print(f"\n2. Formerly sequential functions, {MANY:,} elements (best of 3): RAYON_NUM_THREADS=1 vs 2")
    print(f"{'':48}{'1 worker':>12}{'2 workers':>12}{'speed-up':>9}")
    for name in FORMERLY_SEQUENTIAL:
        note = "  (scalar: 1,000 calls)" if name == "heyrovsky_magnification" else ""
        print(f"{name + ' [ms]':48}{one[name] * ms:12.2f}{two[name] * ms:12.2f}{one[name] / two[name]:9.2f}{note}")

    np_run = child("measure_numpy", path)
    print(f"\n3. A {N:,}-element float64 NumPy array (default pool)")
    print(f"   input conversion: buffer shortcut {np_run['convert_array'] * ms:.2f} ms, item by item (ndarray "
          f"subclass) {np_run['convert_subclass'] * ms:.2f} ms: {np_run['convert_subclass'] / np_run['convert_array']:.1f}x;"
          f" a list {np_run['convert_list'] * ms:.2f} ms")
    if baseline:
        old = child("measure_numpy", baseline)
        print(f"   baseline build, the plain array item by item: {old['convert_array'] * ms:.2f} ms: "
              f"{old['convert_array'] / np_run['convert_array']:.1f}x slower than the shortcut")
    print(f"   whole call: array {np_run['call_array'] * ms:.2f} ms, list {np_run['call_list'] * ms:.2f} ms "
          f"(array/list = {np_run['call_array'] / np_run['call_list']:.2f})")

    small = child("measure_small_calls", path)
    old = child("measure_small_calls", baseline) if baseline else None
    print(f"\n4. Per call, {SMALL} elements (default pool)" + (", this build vs the baseline build" if old else ""))
    for name, seconds in small.items():
        figure = f"{seconds * us:10.2f} us"
        if old:
            figure += f"{old[name] * us:10.2f} us   ratio {seconds / old[name]:.2f}"
        print(f"   {name:46}{figure}")

    print("\n5. Longest pause of another Python thread during a long call (integrated_heyrovsky_magnification, 4,000)")
    for name, where in [("this build", path)] + ([("baseline", baseline)] if baseline else []):
        stall = child("measure_stall", where)
        print(f"   {name:12} call {stall['call'] * ms:8.1f} ms, longest pause {stall['longest_pause'] * ms:8.1f} ms "
              f"({stall['longest_pause'] / stall['call']:.1%} of the call)")


if __name__ == "__main__":
    main()
