"""Light curve of a finite-source point-lens microlensing event.

    python examples/light_curve.py [--u0 0.02] [--tE 20] [--rho 0.05]
        [--law linear] [--coefficients 0.6] [--csv out/light_curve.csv]

The source passes the lens at impact parameter u0 (Einstein radii) with Einstein
time tE (days); rho is the source radius in Einstein radii. Computes with
vellomir_numpy the magnification of a point source, of a uniform disk and of a
limb-darkened disk (law and coefficients by option), prints a compact table,
writes every sample as CSV and, where matplotlib is installed, a PNG plot beside
it with an inset around the peak.
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

    A base grid over the whole event, a finer one over the peak, and, where the lens
    passes behind the source, 200 samples across the source and samples packed
    geometrically (down to 1e-6 rho) on both sides of each limb crossing, where the
    finite-source curve has a kink. Grids of even length about 0 never put the lens
    exactly at u = 0, where the point-source magnification is infinite.
    """
    scale = max(u0, rho)
    half_width = max(1.5, 3.0 * rho)
    grids = [np.linspace(-half_width, half_width, 400), np.linspace(-1.0, 1.0, 400) * min(3.0 * scale, half_width)]
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


def plot(path: str, title: str, t: FloatArray, curves: dict[str, FloatArray], window: float,
         limb_times: Sequence[float]) -> None:
    """Magnification against time (log scale), with a linear inset of +-window days about the peak."""
    from matplotlib.figure import Figure  # renders with Agg: no display, no global backend state

    figure = Figure(figsize=(8, 5), layout="constrained")
    axes = figure.add_subplot()
    inset = axes.inset_axes((0.56, 0.36, 0.42, 0.54))
    near = np.abs(t) <= window
    for (label, values), style in zip(curves.items(), (":", "-", "--")):
        axes.plot(t, values, style, label=label, lw=1.2)
        inset.plot(t[near], values[near], style, lw=1.2)
    finite = np.concatenate([values[near] for label, values in curves.items() if label != "point source"])
    low, high = float(finite.min()), float(finite.max())
    inset.set_xlim(-window, window)
    inset.set_ylim(low - 0.08 * (high - low), high + 0.15 * (high - low))
    for limb in limb_times:
        inset.axvline(limb, color="grey", lw=0.6, ls="-.")
    inset.set_title("peak (limb crossings dash-dotted)", fontsize=8)
    inset.tick_params(labelsize=7)
    axes.indicate_inset_zoom(inset, edgecolor="grey")
    axes.set_yscale("log")
    axes.set_xlabel("t - t0 [days]")
    axes.set_ylabel("magnification")
    axes.set_title(title, fontsize=10)
    axes.legend(loc="upper left", fontsize=8)
    figure.savefig(path, dpi=120)


def main() -> int:
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
    args = parser.parse_args()
    u0, tE, rho, law = args.u0, args.tE, args.rho, args.law
    if not (u0 >= 0 and tE > 0 and rho > 0) or not all(np.isfinite([u0, tE, rho])):
        parser.error("u0 must be at least 0, tE and rho positive and finite")
    coefficients = tuple(args.coefficients) if args.coefficients else DEFAULT_COEFFICIENTS[law]

    tau = sample_times(u0, rho)
    t = tau * tE
    u = np.hypot(u0, tau)
    started = time.perf_counter()
    try:
        limb = np.asarray(vellomir_numpy.light_curve(t, 0.0, u0, tE, rho, law=law, coefficients=coefficients))
    except ValueError as error:
        parser.error(str(error))
    uniform = np.asarray(vellomir_numpy.light_curve(t, 0.0, u0, tE, rho))
    elapsed = time.perf_counter() - started
    point = np.asarray(vellomir_numpy.point_source(u))

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
    try:
        importlib.import_module("matplotlib")
        plot(png, f"u0 = {u0:g}, tE = {tE:g} d, rho = {rho:g}", t,
             {"point source": point, "uniform disk": uniform, f"limb-darkened ({label})": limb},
             2.5 * max(u0, rho) * tE, [] if chord is None else [-chord, chord])
    except Exception as error:  # any failure of the plotting library: one line, the CSV stands
        if isinstance(error, ModuleNotFoundError) and error.name == "matplotlib":
            print(f"no plot: matplotlib is not installed for {sys.executable}; get it with "
                  f"'{sys.executable} -m pip install matplotlib' or your system's package "
                  "(Debian: python3-matplotlib), or run the demo with the bootstrapped interpreter: make demo")
            return 0
        message = str(error).strip().splitlines()
        print(f"no plot: matplotlib failed: {type(error).__name__}: {message[0] if message else ''}", file=sys.stderr)
        return 1
    print(f"wrote {png}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
