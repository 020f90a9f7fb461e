"""End-to-end timings of the vellomir module as Python code sees it.

    PYTHONPATH=<build dir> python bench/bench_module.py

One driver run measures, in fresh child interpreters, witt_mao_magnification on
10^6 separations (rho = 0.1, u in [0, 3]) with one worker and with the default
pool (all available cores), the cost of the list traffic alone, and the per-call
cost for 10 elements, then prints one table. Times are the best of several runs.
"""

import json
import os
import subprocess
import sys
import time

N = 1_000_000
SMALL = 10
RE, RSTAR = 1.0, 0.1


def best_of(function, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def per_call(function, calls, repeats=5):
    return best_of(lambda: [function() for _ in range(calls)], repeats) / calls


def measure():
    import vellomir

    wm = vellomir.witt_mao_magnification
    l = [30.0 * i / (N - 1) for i in range(N)]  # linspace(0, 30, N): u = l * rho in [0, 3]
    small = l[:: N // SMALL][:SMALL]
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
        # Pure Python floors: a list of 10^6 new floats, and a list of the same float objects.
        "new_floats_1e6": best_of(lambda: [x + 0.0 for x in l], 5),
        "list_map_float_1e6": best_of(lambda: list(map(float, l)), 5),
        "call_10": per_call(lambda: wm(small, RE, RSTAR), 20000),
        "call_0": per_call(lambda: wm([], RE, RSTAR), 20000),
    }


def child(threads):
    env = dict(os.environ)
    env.pop("RAYON_RS_NUM_CPUS", None)
    if threads is None:
        env.pop("RAYON_NUM_THREADS", None)
    else:
        env["RAYON_NUM_THREADS"] = str(threads)
    done = subprocess.run(
        [sys.executable, __file__, "--child"], env=env, capture_output=True, text=True, check=True
    )
    return json.loads(done.stdout)


def main():
    if sys.argv[1:] == ["--child"]:
        print(json.dumps(measure()))
        return
    one = child(1)
    full = child(None)
    ms = 1e3
    print(f"vellomir.witt_mao_magnification, {N:,} separations, rho = 0.1, u in [0, 3] (best of 5)")
    print(f"{'':48}{'1 worker':>12}{str(full['workers']) + ' workers':>12}{'ratio':>8}")
    rows = [
        ("end-to-end call, 10^6 elements [ms]", "call_1e6", ms),
        ("point-source call: list traffic + dispatch [ms]", "point_source_1e6", ms),
        ("input conversion alone [ms]", "convert_in_1e6", ms),
        ("Python: [x + 0.0 for x in l] [ms]", "new_floats_1e6", ms),
        ("Python: list(map(float, l)) [ms]", "list_map_float_1e6", ms),
        ("call with 10 elements [us]", "call_10", 1e6),
        ("call with 0 elements (no pool) [us]", "call_0", 1e6),
    ]
    for label, key, scale in rows:
        print(f"{label:48}{one[key] * scale:12.3f}{full[key] * scale:12.3f}{one[key] / full[key]:8.2f}")
    print()
    for name, run in (("1 worker", one), (f"{full['workers']} workers", full)):
        print(
            f"{name}: {run['call_1e6'] / N * 1e9:.0f} ns per element end-to-end; list traffic and dispatch "
            f"{run['point_source_1e6'] / run['call_1e6']:.0%} of the call, "
            f"{run['point_source_1e6'] / run['new_floats_1e6']:.2f}x the Python list of new floats; "
            f"input conversion {run['convert_in_1e6'] / run['list_map_float_1e6']:.2f}x list(map(float, l))"
        )


if __name__ == "__main__":
    main()
