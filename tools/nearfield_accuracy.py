#!/usr/bin/env python3
"""Worst error of vellomir_numpy near the lens, per law and rtol, against the 2-D references.

    PYTHONPATH=build python3 tools/nearfield_accuracy.py [--older]

Reads tests/data/numpy_nearfield_references.txt (tools/gen_nearfield_references.py; with --older
tests/data/numpy_profile_references.txt, whose fifth column is u / rho) and prints a
Markdown table: for each law (and the table profile) and each rtol, the largest relative error
over all cells divided by rtol (the tests require at most 1), with the sub-disk integral used
everywhere (the series switched off) and with the normal route.
"""

from pathlib import Path

import sys

import numpy as np

import vellomir_numpy as vn

REFERENCES = Path(__file__).resolve().parents[1] / "tests" / "data" / "numpy_nearfield_references.txt"
RTOLS = [1e-3, 1e-6, 1e-8, 1e-10, 1e-12, 1e-13, 1e-14]


def main():
    older = "--older" in sys.argv
    path = REFERENCES.with_name("numpy_profile_references.txt") if older else REFERENCES
    laws, tables = {}, []
    for line in path.read_text().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        kind, first, second, rho, u, value = line.split()
        row = (float(rho), float(u) * (float(rho) if older else 1.0), float(value))
        if kind == "law":
            laws.setdefault((first, tuple(float(c) for c in second.split(","))), []).append(row)
        else:
            tables.append(([float(r) for r in first.split(",")], [float(i) for i in second.split(",")], *row))
    print("| law | " + " | ".join(f"rtol {r:g}" for r in RTOLS) + " |")
    print("|---|" + "---|" * len(RTOLS))
    for (law, coefficients), cells in laws.items():
        rho, u, expected = map(np.array, zip(*cells))
        ratios = []
        for rtol in RTOLS:
            got = vn.limb_darkened(u, rho, law, coefficients, rtol=rtol)
            forced = np.empty(u.size)
            vn._core.limb_darkened(u, rho, law, np.array(coefficients), rtol, True, forced)
            ratios.append(max(np.max(np.abs(got - expected) / expected), np.max(np.abs(forced - expected) / expected))
                          / rtol)
        print(f"| {law} {list(coefficients)} | " + " | ".join(f"{r:.2g}" for r in ratios) + " |")
    ratios = []
    for rtol in RTOLS:
        worst = max(abs(vn.profile(u, rho, radius, intensity, rtol=rtol) - value) / value
                    for radius, intensity, rho, u, value in tables)
        ratios.append(worst / rtol)
    print("| table (kink, step, end at 0.95) | " + " | ".join(f"{r:.2g}" for r in ratios) + " |")


if __name__ == "__main__":
    main()
