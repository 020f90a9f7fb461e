"""Sample the posterior of the synthetic event of fit_event.py with emcee; a corner plot.

    python examples/emcee_fit.py [--points 1500] [--walkers 32] [--steps 2000] [--png out/corner.png]

The likelihood is Gaussian in the flux residuals, with flat priors on t0, u0 >= 0,
tE > 0, rho > 0 and the two fluxes; the walkers start in a small ball about the
least-squares fit of fit_event.py. Prints the medians and the 16-84% ranges, and
the mean acceptance fraction; writes the corner plot (emcee and corner: Debian's
python3-emcee and python3-corner, which scripts/bootstrap-python installs).
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Sequence
from pathlib import Path

import numpy as np
import numpy.typing as npt

sys.path.insert(0, str(Path(__file__).resolve().parent))
import fit_event  # noqa: E402  (the example beside this one)

FloatArray = npt.NDArray[np.float64]


def log_probability(theta: FloatArray, event: fit_event.Event) -> float:
    t0, u0, tE, rho, f_source, f_blend = theta
    if not (u0 >= 0.0 and tE > 0.0 and rho > 0.0 and f_source > 0.0):
        return -np.inf
    model = f_source * fit_event.magnification(event.t, t0, u0, tE, rho) + f_blend
    return float(-0.5 * np.sum(((event.flux - model) / event.sigma) ** 2))


def sample(event: fit_event.Event, walkers: int, steps: int, seed: int) -> tuple[FloatArray, float]:
    """The chain after a burn-in of a quarter of the steps, flattened, and the acceptance fraction."""
    import emcee

    start = fit_event.fit_from_data(event)
    rng = np.random.default_rng(seed)
    ball = start.values + 0.1 * start.errors * rng.standard_normal((walkers, start.values.size))
    ball[:, 1:4] = np.abs(ball[:, 1:4])
    sampler = emcee.EnsembleSampler(walkers, start.values.size, log_probability, args=(event,))
    sampler.random_state = np.random.RandomState(seed).get_state()  # reproducible moves
    sampler.run_mcmc(ball, steps)
    chain = sampler.get_chain(discard=steps // 4, flat=True)
    return chain, float(np.mean(sampler.acceptance_fraction))


def corner_plot(chain: FloatArray, path: str) -> None:
    import corner
    import matplotlib

    matplotlib.use("Agg")
    figure = corner.corner(chain, labels=list(fit_event.NAMES), truths=list(fit_event.TRUTH),
                           quantiles=[0.16, 0.5, 0.84], show_titles=True, title_fmt=".3g",
                           title_kwargs={"fontsize": 8}, max_n_ticks=3)
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    figure.savefig(path, dpi=90)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    parser.add_argument("--points", type=int, default=1500, help="number of epochs (default 1500)")
    parser.add_argument("--walkers", type=int, default=32, help="emcee walkers (default 32)")
    parser.add_argument("--steps", type=int, default=2000, help="steps per walker (default 2000)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the noise and the sampler (default 1)")
    parser.add_argument("--png", default=os.path.join("out", "corner.png"), help="corner plot (default out/corner.png)")
    args = parser.parse_args(argv)
    event = fit_event.simulate(args.points, args.seed)
    chain, acceptance = sample(event, args.walkers, args.steps, args.seed)
    low, median, high = np.percentile(chain, [16.0, 50.0, 84.0], axis=0)
    print(f"{chain.shape[0]} samples, mean acceptance fraction {acceptance:.2f}")
    for k, name in enumerate(fit_event.NAMES):
        print(f"{name:>9} {median[k]:11.6g} +{high[k] - median[k]:.2g} -{median[k] - low[k]:.2g}"
              f"   (true {fit_event.TRUTH[k]:g})")
    corner_plot(chain, args.png)
    print(f"wrote {args.png}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
