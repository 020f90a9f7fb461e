"""Astrometric microlensing: the centroid's ellipse for a lens that crosses the star.

    python examples/astrometric_ellipse.py [--rho 0.05] [--tE 20] [--points 2000]
        [--out out/astrometric_ellipse.png]

A point lens deflects the light of a source passing at impact parameter u0 (Einstein
radii); the centroid of the images' light moves along an ellipse, (tau, u0) / (u^2 + 2) for
a point source. When the lens passes over a star of radius rho the finite source pinches
the ellipse: on the star the shift turns towards the lens and vanishes at its centre. The
example draws the tracks of vellomir_numpy.centroid_track for a point source, a uniform
disk and a limb-darkened star (linear law, a = 0.6) for three impact parameters, and the
shift's size against time, as a PNG where matplotlib is installed.
"""

# matplotlib leaves the **kwargs of its plotting methods untyped; strict pyright would flag each call.
# pyright: reportUnknownMemberType=false

import argparse
import os
import sys

import numpy as np
import numpy.typing as npt

import vellomir_numpy

FloatArray = npt.NDArray[np.float64]

MODELS: dict[str, tuple[str | None, tuple[float, ...], float]] = {
    "point source": (None, (), 0.0),
    "uniform disk": (None, (), 1.0),
    "linear, a = 0.6": ("linear", (0.6,), 1.0),
}


Track = tuple[FloatArray, FloatArray]


def tracks(u0: float, rho: float, t_e: float, points: int) -> tuple[FloatArray, dict[str, Track]]:
    """Epochs (days) and each model's (along, across) shift over the event."""
    half_span = 3.0 * t_e
    t = np.concatenate([np.linspace(-half_span, half_span, points), np.linspace(-3.0 * rho, 3.0 * rho, points) * t_e])
    t = np.unique(t)
    curves: dict[str, Track] = {}
    for name, (law, coefficients, scale) in MODELS.items():
        along, across = vellomir_numpy.centroid_track(t, 0.0, u0, t_e, rho * scale, law=law, coefficients=coefficients)
        curves[name] = (np.asarray(along), np.asarray(across))
    return t, curves


def plot(path: str, rho: float, t_e: float, impacts: list[float], points: int) -> None:
    from matplotlib.figure import Figure  # renders with Agg: no display, no global backend state

    figure = Figure(figsize=(15, 5.6))
    whole, zoom, signed = figure.subplots(1, 3)
    styles = {"point source": ":", "uniform disk": "-", "linear, a = 0.6": "--"}
    colours = ["tab:blue", "tab:orange", "tab:green"]
    for u0, colour in zip(impacts, colours):
        t, curves = tracks(u0, rho, t_e, points)
        tau = t / t_e
        u = np.hypot(tau, u0)
        for name, (along, across) in curves.items():
            style = dict(color=colour, ls=styles[name], lw=1.2)
            whole.plot(along, across, label=f"u0 = {u0:g}, {name}", **style)
            zoom.plot(along / rho, across / rho, **style)
            signed.plot(tau / rho, (along * tau + across * u0) / u / rho, **style)
    whole.set(xlabel="along the motion (Einstein radii)", ylabel="across the motion (Einstein radii)",
              title="centroid tracks")
    zoom.set(xlim=(-1.6, 1.6), ylim=(-0.3, 1.1), xlabel="along / rho", ylabel="across / rho",
             title=f"near closest approach, rho = {rho:g}")
    signed.set(xlim=(-3.0, 3.0), ylim=(-0.3, 1.5), xlabel="(t - t0) / (tE rho)", ylabel="shift / rho",
               title="signed shift (> 0: away from the lens)")
    for axes in (whole, zoom, signed):
        axes.axhline(0.0, color="0.8", lw=0.6)
        axes.axvline(0.0, color="0.8", lw=0.6)
    figure.legend(*whole.get_legend_handles_labels(), loc="lower center", ncol=3, fontsize=8, frameon=False)
    figure.subplots_adjust(left=0.06, right=0.98, top=0.92, bottom=0.3, wspace=0.28)
    figure.savefig(path, dpi=110)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rho", type=float, default=0.05, help="source radius in Einstein radii")
    parser.add_argument("--tE", type=float, default=20.0, help="Einstein time in days")
    parser.add_argument("--points", type=int, default=2000, help="epochs per grid")
    parser.add_argument("--out", default=os.path.join("out", "astrometric_ellipse.png"))
    args = parser.parse_args()
    rho = args.rho
    impacts = [2.0 * rho, 0.5 * rho, 0.1 * rho]
    for u0 in impacts:
        _, curves = tracks(u0, rho, args.tE, args.points)
        closest = {name: float(np.min(np.hypot(*pair))) for name, pair in curves.items()}
        shown = ", ".join(f"{name} {value:.3e}" for name, value in closest.items())
        print(f"u0 = {u0:g}: smallest shift (Einstein radii): {shown}")
    print("largest shift: 1 / sqrt(8) = 0.353553 at u = sqrt(2), for every source this small")
    try:
        os.makedirs(os.path.dirname(args.out) or ".", exist_ok=True)
        plot(args.out, rho, args.tE, impacts, args.points)
    except ModuleNotFoundError as error:
        if error.name != "matplotlib":
            raise
        print("no plot: matplotlib is not installed", file=sys.stderr)
        return 0
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
