#!/usr/bin/env python3
"""Worst error of the limb-darkened and tabulated derivatives against their 2-D references.

    PYTHONPATH=build python3 tools/profile_derivative_accuracy.py

Reads tests/data/profile_derivative_references.txt (tools/gen_profile_derivative_references.py)
and prints a Markdown table: for each rtol and each quantity (A, dA/du, dA/drho, dA/dc over all
laws; A, dA/du, dA/drho over the tables), the largest error |got - want| / max(|want|, A / x)
divided by rtol over the rows whose call did not warn (the tests require at most 10), for the
rows that warned their number and the largest error over the estimate the warning gave (the
dark-limbed law with the lens on its limb among them wherever its rounding floor exceeds rtol).
"""

import re
import warnings
from pathlib import Path

import vellomir_numpy as vn

REFERENCES = Path(__file__).resolve().parents[1] / "tests" / "data" / "profile_derivative_references.txt"
RTOLS = [1e-6, 1e-8, 1e-10, 1e-12]


def rows():
    for line in REFERENCES.read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        kind, first, second, rho, u, *numbers = line.split()
        yield kind, first, second, float(rho), float(u), [float(x) for x in numbers]


def evaluate(kind, first, second, rho, u, rtol):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        if kind == "law":
            d = vn.limb_darkened_derivatives(u, rho, first, [float(c) for c in second.split(",")], rtol=rtol)
            got = [d.A, d.dA_du, d.dA_drho, *d.dA_dcoefficients]
        else:
            radius, intensity = ([float(x) for x in s.split(",")] for s in (first, second))
            d = vn.profile_derivatives(u, rho, radius, intensity, rtol=rtol)
            got = [d.A, d.dA_du, d.dA_drho]
    estimates = [float(re.search(r"estimate (\S+)$", str(w.message)).group(1)) for w in caught]
    return got, max(estimates, default=None)


def main():
    print("| rtol | rows | laws: A | dA/du | dA/drho | dA/dc | tables: A | dA/du | dA/drho "
          "| warned rows: error / estimate |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for rtol in RTOLS:
        worst = {}
        count, warned, warned_worst = 0, 0, 0.0
        for kind, first, second, rho, u, want in rows():
            got, estimate = evaluate(kind, first, second, rho, u, rtol)
            count += 1
            x = [want[0], u, rho] + [1.0] * (len(want) - 3)
            for k, (g, w, xi) in enumerate(zip(got, want, x)):
                scale = max(abs(w), want[0] / xi if xi > 0 else 0.0)
                error = 0.0 if g == w else abs(g - w) / scale
                if estimate is None:
                    key = (kind, min(k, 3))
                    worst[key] = max(worst.get(key, 0.0), error / rtol)
                else:
                    warned_worst = max(warned_worst, error / estimate)
            warned += estimate is not None
        cells = [worst.get(("law", k), 0.0) for k in range(4)] + [worst.get(("table", k), 0.0) for k in range(3)]
        print(f"| {rtol:g} | {count} | " + " | ".join(f"{c:.2g}" for c in cells)
              + f" | {warned}: {warned_worst:.2g} |")


if __name__ == "__main__":
    main()
