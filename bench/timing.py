"""Wall-clock timing shared by the Python benchmarks (run as `python bench/<name>.py`, so this
folder is on the import path)."""

import math
import time


def best_of(function, repeats):
    """The best time of `repeats` calls of `function`."""
    best = math.inf
    for _ in range(repeats):
        start = time.perf_counter()
        function()
        best = min(best, time.perf_counter() - start)
    return best


def best_pair(first, second, repeats):
    """The best time of each of two calls over `repeats` rounds, the two taking turns so that
    changes of the machine's load hit both."""
    best = [math.inf, math.inf]
    for _ in range(repeats):
        for i, function in enumerate((first, second)):
            start = time.perf_counter()
            function()
            best[i] = min(best[i], time.perf_counter() - start)
    return best
