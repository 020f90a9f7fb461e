"""Fit a survey's worth of events, one event per task, on Dask's distributed scheduler.

    python examples/survey.py [--events 8] [--points 300] [--workers 2] [--scheduler tcp://host:8786]
    python examples/survey.py --engine processes     # without Dask: a local process pool
    python examples/survey.py --engine serial

Each event is fitted by fit_event.fit (least squares, fluxes solved linearly) inside one
task. A Dask worker runs one task at a time (--nthreads 1) and vellomir's worker pool
uses that worker's cores: RAYON_NUM_THREADS is set for each worker to its share of the
machine's cores (all of them for one worker per machine). Results do not depend on where
or on how many threads an event is fitted: they equal the serial fits to the last bit.

Without --scheduler a local cluster of --workers processes is started; with it, the
script connects to a running scheduler (see README: dask scheduler / dask worker).
"""

from __future__ import annotations

import argparse
import os
import sys
import time
from collections.abc import Callable, Sequence
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path
from typing import Any

import numpy as np

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
import fit_event  # noqa: E402  (the example beside this one)


def synthetic_survey(count: int, points: int, seed: int) -> list[fit_event.Event]:
    """Events of varied geometry: u0 from 1e-3 to 0.3, rho from 2e-3 to 0.05, tE from 5 to 60 d."""
    rng = np.random.default_rng(seed)
    events = []
    for k in range(count):
        truth = (rng.uniform(-1.0, 1.0), 10 ** rng.uniform(-3.0, -0.5), 10 ** rng.uniform(0.7, 1.8),
                 10 ** rng.uniform(-2.7, -1.3), rng.uniform(0.3, 1.0), rng.uniform(0.0, 0.5))
        events.append(fit_event.simulate(points, seed * 1000 + k, truth))
    return events


def fit_one(event: fit_event.Event) -> np.ndarray:
    """One task: the fitted values, their uncertainties and chi^2, as one array."""
    found = fit_event.fit_from_data(event)
    return np.concatenate([found.values, found.errors, [found.chi2]])


def fit_serial(events: Sequence[fit_event.Event]) -> list[np.ndarray]:
    return [fit_one(event) for event in events]


def use_threads(threads: str) -> None:
    """Size vellomir's pool in this process (read at its first call)."""
    os.environ["RAYON_NUM_THREADS"] = threads


def fit_processes(events: Sequence[fit_event.Event], workers: int) -> list[np.ndarray]:
    """A local pool of processes, each with its share of the cores for vellomir's pool."""
    threads = str(max(1, (os.cpu_count() or 1) // workers))
    with ProcessPoolExecutor(workers, initializer=use_threads, initargs=(threads,)) as pool:
        return list(pool.map(fit_one, events))


def fit_dask(events: Sequence[fit_event.Event], workers: int, scheduler: str | None) -> list[np.ndarray]:
    """One task per event on a distributed cluster: a local one, or the scheduler at `scheduler`."""
    from distributed import Client, LocalCluster

    cluster: Any = None
    if scheduler is None:
        threads = str(max(1, (os.cpu_count() or 1) // workers))
        # One task at a time per worker process; vellomir's pool takes the worker's cores. The
        # variable reaches the worker before its first call, which is when the pool is sized.
        # The workers import fit_event and this module from here.
        path = os.pathsep.join(p for p in (str(HERE), os.environ.get("PYTHONPATH", "")) if p)
        cluster = LocalCluster(n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None,
                               env={"RAYON_NUM_THREADS": threads, "PYTHONPATH": path})
        client = Client(cluster)
    else:
        client = Client(scheduler)
    try:
        if scheduler is not None:
            # Remote workers import fit_event and this module as shipped from here.
            for name in ("fit_event.py", "survey.py"):
                client.upload_file(str(HERE / name))
        futures = client.map(fit_one, list(events), pure=False)
        return list(client.gather(futures))
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


ENGINES: dict[str, Callable[[argparse.Namespace, list[fit_event.Event]], list[np.ndarray]]] = {
    "dask": lambda args, events: fit_dask(events, args.workers, args.scheduler),
    "processes": lambda args, events: fit_processes(events, args.workers),
    "serial": lambda args, events: fit_serial(events),
}


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    parser.add_argument("--events", type=int, default=8, help="number of synthetic events (default 8)")
    parser.add_argument("--points", type=int, default=300, help="epochs per event (default 300)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the synthetic survey (default 1)")
    parser.add_argument("--engine", choices=sorted(ENGINES), default="dask", help="where to fit (default dask)")
    parser.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    parser.add_argument("--check", action="store_true", help="also fit serially and compare, bit for bit")
    args = parser.parse_args(argv)
    events = synthetic_survey(args.events, args.points, args.seed)
    started = time.perf_counter()
    results = ENGINES[args.engine](args, events)
    elapsed = time.perf_counter() - started
    print(f"{len(events)} events fitted on {args.engine} in {elapsed:.1f} s")
    print(f"{'event':>5} {'t0':>10} {'u0':>10} {'tE':>8} {'rho':>10} {'chi2/dof':>9}")
    for k, row in enumerate(results):
        dof = events[k].t.size - len(fit_event.NAMES)
        print(f"{k:5d} {row[0]:10.4f} {row[1]:10.5f} {row[2]:8.3f} {row[3]:10.6f} {row[-1] / dof:9.3f}")
    if args.check:
        same = all(np.array_equal(a, b) for a, b in zip(results, fit_serial(events)))
        print("equal to the serial fits" if same else "DIFFERENT from the serial fits")
        return 0 if same else 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
