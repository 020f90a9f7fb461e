"""Light curve of a finite-source point-lens microlensing event.

    python examples/light_curve.py [--u0 0.02] [--tE 20] [--rho 0.05]
        [--law linear] [--coefficients 0.6] [--csv out/light_curve.csv]

The source passes the lens at impact parameter u0 (Einstein radii) with Einstein
time tE (days); rho is the source radius in Einstein radii. Computes with
vellomir_numpy the magnification of a point source, of a uniform disk and of a
limb-darkened disk (law and coefficients by option), prints a compact table,
writes every sample as CSV and, where matplotlib is installed, a PNG plot beside
it: the light curve (the point source capped a little above the finite-source
peak), a linear zoom on the peak where the source is resolved, and the ratio of
the finite-source curves to the point source where they differ by 0.1% or more.
"""

# matplotlib leaves the **kwargs of its plotting methods untyped; strict pyright would flag each call.
# pyright: reportUnknownMemberType=false

import argparse
import csv
import importlib
import math
import os
import sys
import time
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

import vellomir_numpy

FloatArray = npt.NDArray[np.float64]

# Typical coefficients of each law, for when none are given.
DEFAULT_COEFFICIENTS = {
    "linear": (0.6,),
    "quadratic": (0.4, 0.25),
    "square-root": (0.1, 0.7),
    "logarithmic": (0.7, 0.2),
    "power-2": (0.65, 0.6),
    "claret": (0.5, 0.2, 0.3, -0.2),
}


def sample_times(u0: float, rho: float) -> FloatArray:
    """Times in units of tE about the peak: dense where the magnification changes fast.

    A base grid over the whole event, a finer one over the peak, t0 itself, and, where the
    lens passes behind the source, 200 samples across the source and samples packed
    geometrically (down to 1e-6 rho) on both sides of each limb crossing, where the
    finite-source curve has a kink.
    """
    scale = max(u0, rho)
    half_width = max(1.5, 3.0 * rho)
    grids = [np.linspace(-half_width, half_width, 400), np.linspace(-1.0, 1.0, 400) * min(3.0 * scale, half_width),
             np.zeros(1)]
    if u0 < rho:
        chord = math.sqrt(rho * rho - u0 * u0)
        grids.append(np.linspace(-chord, chord, 200))
        offsets = np.geomspace(1e-6, 0.1, 30)
        u_near_limb = rho * np.concatenate([1.0 - offsets, 1.0 + offsets])
        tau: FloatArray = np.sqrt(u_near_limb[u_near_limb > u0] ** 2 - u0 * u0)
        grids += [tau, -tau]
    tau = np.unique(np.concatenate(grids))
    # Grids that overlap (a wide peak) agree only to rounding: keep one of each such pair.
    return tau[np.diff(tau, prepend=-np.inf) > 1e-12 * np.abs(tau)]


def table_rows(tau: FloatArray, u0: float, rho: float) -> list[int]:
    """Indices of about fifteen samples: across the event, the peak and the limb crossings."""
    scale = max(u0, rho)
    marks = [tau[0], tau[0] / 2, tau[-1] / 2, tau[-1]]
    marks += [k * scale for k in (-3.0, -1.5, -0.5, 0.0, 0.5, 1.5, 3.0)]
    if u0 < rho:
        chord = math.sqrt(rho * rho - u0 * u0)
        marks += [-chord, chord]
    return sorted({int(np.argmin(np.abs(tau - mark))) for mark in marks})


def write_csv(path: str, columns: Sequence[FloatArray]) -> None:
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "w", newline="") as out:
        writer = csv.writer(out)
        writer.writerow(["t_days", "u", "point_source", "uniform_disk", "limb_darkened"])
        writer.writerows(zip(*(column.tolist() for column in columns)))


# Finite-source effects smaller than this (relative to the point source) are not drawn.
VISIBLE = 1e-3


def finite_source_window(t: FloatArray, point: FloatArray, finite: FloatArray) -> tuple[float, float] | None:
    """The time range where the finite source departs from the point source by VISIBLE or more."""
    with np.errstate(invalid="ignore", divide="ignore"):
        departure = np.abs(finite / point - 1.0)
    visible = np.flatnonzero(departure >= VISIBLE)
    if visible.size == 0:
        return None
    return float(t[visible[0]]), float(t[visible[-1]])


def plain_number(value: float, _position: int | None = None) -> str:
    return f"{value:g}"


def two_and_five(value: float, _position: int | None = None) -> str:
    leading = value / 10.0 ** math.floor(math.log10(value))
    return f"{value:g}" if round(leading) in (2, 5) and abs(leading - round(leading)) < 1e-6 else ""


def magnification_axis(axes: Any, top: float) -> None:
    """A log axis with plain-number labels for tall peaks, a linear one for low ones."""
    from matplotlib.ticker import FuncFormatter

    if top >= 10.0:
        axes.set_yscale("log")
        axes.yaxis.set_major_formatter(FuncFormatter(plain_number))
        if top < 1000.0:  # within three decades there is room to label 2 and 5 of each
            axes.yaxis.set_minor_formatter(FuncFormatter(two_and_five))
    axes.set_ylabel("magnification")


def plot(path: str, title: str, t: FloatArray, point: FloatArray, finite: dict[str, FloatArray],
         resolved: tuple[float, float] | None, limb_times: Sequence[float]) -> str:
    """The light curve; a linear zoom on `resolved` (the peak where the lens passes close to the
    source), where it is narrower than the plotted range; the ratio to the point source where
    finite-source effects are visible. Returns what the figure shows, in a few words."""
    from matplotlib.figure import Figure  # renders with Agg: no display, no global backend state
    from matplotlib.ticker import MaxNLocator

    peak = max(float(values.max()) for values in finite.values())
    # The point source is drawn up to a little above the finite-source peak: at u -> 0 it grows
    # without bound and would flatten everything else.
    cap = 1.5 * peak
    capped_point = np.where(point <= cap, point, np.nan)
    span = (float(t[0]), float(t[-1]))
    zoom = resolved if resolved is not None and resolved[1] - resolved[0] <= 0.4 * (span[1] - span[0]) else None
    window = finite_source_window(t, point, finite["uniform disk"])
    if window is not None and zoom is None:
        middle, half = 0.5 * (window[0] + window[1]), 0.6 * (window[1] - window[0])
        window = (max(span[0], middle - half), min(span[1], middle + half))
    elif window is not None:
        window = zoom

    figure = Figure(figsize=(9, 6.5 if window is not None else 4.5), layout="constrained")
    grid = figure.add_gridspec(2 if window is not None else 1, 3 if zoom is not None else 1,
                               height_ratios=[2, 1] if window is not None else [1])
    main = figure.add_subplot(grid[0, :2] if zoom is not None else grid[0, 0])
    styles = ("-", "--")
    main.plot(t, capped_point, ":", color="k", lw=1.0, label="point source")
    for (label, values), style in zip(finite.items(), styles):
        main.plot(t, values, style, lw=1.3, label=label)
    magnification_axis(main, peak)
    main.set_xlim(float(t[0]), float(t[-1]))
    main.set_xlabel("t - t0 [days]")
    main.set_title(title if window is not None else f"{title}: finite-source effects below {VISIBLE:.1%}", fontsize=10)
    main.legend(loc="best", fontsize=8)
    shows = ["light curve"]
    if zoom is not None:
        main.axvspan(zoom[0], zoom[1], color="0.9", zorder=0)
        detail = figure.add_subplot(grid[0, 2])
        near = (t >= zoom[0]) & (t <= zoom[1])
        detail.plot(t[near], capped_point[near], ":", color="k", lw=1.0)
        for values, style in zip(finite.values(), styles):
            detail.plot(t[near], values[near], style, lw=1.3)
        low = min(float(values[near].min()) for values in finite.values())
        detail.set_xlim(*zoom)
        detail.set_ylim(low - 0.05 * (peak - low), peak + 0.15 * (peak - low))
        for limb in limb_times:
            detail.axvline(limb, color="grey", lw=0.6, ls="-.")
        detail.set_title("peak, linear" + (" (limb crossings dash-dotted)" if limb_times else ""), fontsize=8)
        detail.set_xlabel("t - t0 [days]")
        detail.tick_params(labelsize=8)
        detail.xaxis.set_major_locator(MaxNLocator(4))  # long labels of short times must not touch
        shows.append("zoom on the peak")
    if window is not None:
        ratio = figure.add_subplot(grid[1, :])
        low_t, high_t = window
        near = (t >= low_t) & (t <= high_t)
        with np.errstate(invalid="ignore", divide="ignore"):
            for (label, values), style in zip(finite.items(), styles):
                ratio.plot(t[near], values[near] / point[near], style, lw=1.3, label=label)
        ratio.axhline(1.0, color="k", lw=0.6, ls=":")
        for limb in limb_times:
            ratio.axvline(limb, color="grey", lw=0.6, ls="-.")
        ratio.set_xlim(low_t, high_t)
        ratio.set_xlabel("t - t0 [days]")
        ratio.set_ylabel("over point source")
        ratio.legend(loc="best", fontsize=8)
        shows.append("ratio to the point source")
    figure.savefig(path, dpi=110)
    return ", ".join(shows)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    parser.add_argument("--u0", type=float, default=0.02, help="impact parameter, Einstein radii (default 0.02)")
    parser.add_argument("--tE", type=float, default=20.0, help="Einstein time, days (default 20)")
    parser.add_argument("--rho", type=float, default=0.05, help="source radius, Einstein radii (default 0.05)")
    parser.add_argument("--law", choices=sorted(DEFAULT_COEFFICIENTS), default="linear",
                        help="limb-darkening law (default linear)")
    parser.add_argument("--coefficients", type=float, nargs="+", metavar="C",
                        help="the law's coefficients (default: linear 0.6; typical values for the others)")
    parser.add_argument("--csv", default=os.path.join("out", "light_curve.csv"),
                        help="CSV output path; the PNG is written beside it (default out/light_curve.csv)")
    args = parser.parse_args(argv)
    u0: float = args.u0
    tE: float = args.tE
    rho: float = args.rho
    law: vellomir_numpy.Law = args.law
    if not (u0 >= 0 and tE > 0 and rho > 0) or not all(np.isfinite([u0, tE, rho])):
        parser.error("u0 must be at least 0, tE and rho positive and finite")
    coefficients = tuple(args.coefficients) if args.coefficients else DEFAULT_COEFFICIENTS[law]

    tau = sample_times(u0, rho)
    t = tau * tE
    u = np.hypot(u0, tau)
    started = time.perf_counter()
    try:
        limb = vellomir_numpy.light_curve(t, 0.0, u0, tE, rho, law=law, coefficients=coefficients)
    except ValueError as error:
        parser.error(str(error))
    uniform = vellomir_numpy.light_curve(t, 0.0, u0, tE, rho)
    elapsed = time.perf_counter() - started
    point = vellomir_numpy.point_source(u)

    label = f"{law} {', '.join(f'{c:g}' for c in coefficients)}"
    print(f"Finite-source point-lens event: u0 = {u0:g}, tE = {tE:g} d, rho = {rho:g}; limb darkening {label}")
    print(f"{'t - t0 [d]':>11} {'u':>10} {'point':>11} {'uniform':>11} {'limb-dark.':>11}")
    for i in table_rows(tau, u0, rho):
        source = " on source" if u[i] < rho else ""
        print(f"{t[i]:11.4f} {u[i]:10.6f} {point[i]:11.4f} {uniform[i]:11.4f} {limb[i]:11.4f}{source}")
    peak = int(np.argmax(limb))
    print(f"peak at t - t0 = {t[peak]:.4f} d: point {point[peak]:.4f}, uniform {uniform[peak]:.4f}, "
          f"limb-darkened {limb[peak]:.4f}")
    print(f"{t.size} samples, {int(np.count_nonzero(u < rho))} with the lens behind the source; "
          f"{2 * t.size} finite-source magnifications in {elapsed * 1e3:.1f} ms")

    write_csv(args.csv, (t, u, point, uniform, limb))
    print(f"wrote {args.csv}")

    png = os.path.splitext(args.csv)[0] + ".png"
    chord = math.sqrt(rho * rho - u0 * u0) * tE if u0 < rho else None
    # The source is resolved where the lens passes within a source diameter: the zoom covers the
    # densely sampled peak, +-3 max(u0, rho) tE.
    resolved = (-3.0 * max(u0, rho) * tE, 3.0 * max(u0, rho) * tE) if u0 < 2.0 * rho else None
    try:
        importlib.import_module("matplotlib")
        shows = plot(png, f"u0 = {u0:g}, tE = {tE:g} d, rho = {rho:g}", t, point,
                     {"uniform disk": uniform, f"limb-darkened ({label})": limb},
                     resolved, [] if chord is None else [-chord, chord])
    except Exception as error:  # any failure of the plotting library: one line, the CSV stands
        if isinstance(error, ModuleNotFoundError) and error.name == "matplotlib":
            print(f"no plot: matplotlib is not installed for {sys.executable}; get it with "
                  f"'{sys.executable} -m pip install matplotlib' or your system's package "
                  "(Debian: python3-matplotlib), or run the demo with the bootstrapped interpreter: make demo")
            return 0
        message = str(error).strip().splitlines()
        print(f"no plot: matplotlib failed: {type(error).__name__}: {message[0] if message else ''}", file=sys.stderr)
        return 1
    print(f"wrote {png}: {shows}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
