#!/usr/bin/env python3
"""Reference centroid shifts for vellomir_numpy.centroid_shift, by 2-D integration over the star.

Writes tests/data/centroid_references.txt (run: python3 tools/gen_centroid_references.py; needs
mpmath; about an hour of one core, JOBS=2 processes by default). A point source at distance x
from a point lens has two
images whose total magnification is A(x) = (x^2 + 2) / (x sqrt(x^2 + 4)) and whose light
centroid lies at s A_c(x) / A(x), A_c(x) = (x^2 + 3) / (x sqrt(x^2 + 4)). For a star of radius
rho (Einstein radii) and intensity I(r), centred at distance u from the lens on the x axis,

    delta = int int I (s_x A_c - u A) dS / int int I A dS,

integrated here in polar coordinates (x, phi) about the lens, where the factors x A_c and x A
are smooth and r^2 = (x^2 + u^2 - 2 x u cos phi) / rho^2. The inner integral runs over the arc
of the circle |s| = x inside the star (phi from 0 to its end, doubled; all of [0, pi] inside
x < rho - u), the outer one over x split where the arc becomes a full circle (x = |rho - u|).
No elliptic integral, sub-disk or series is involved. Both are tanh-sinh rules at 22 digits
with step 1/16; the change from the rule with step 1/8 (outer and inner together) bounds that
coarser rule's error and must stay below 1e-8 relative (or 1e-9 max(rho, 1) absolute): the rule
converges quadratically, so the finer one's error is far below the 1e-16 the tests need.
"""

import multiprocessing
import os

import mpmath as mp

mp.mp.dps = 22
HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "tests", "data", "centroid_references.txt")

LAWS = [
    ("uniform", []),
    ("linear", [0.6]),
    ("quadratic", [0.4, 0.25]),
]
RHOS = ["1e-3", "0.1", "1", "10"]
RATIOS = ["0", "1e-3", "0.1", "0.5", "0.9", "0.999", "1", "1.001", "1.5", "2.5", "3.5", "10", "30"]
# Extra uniform-disk cases: a large star and a tiny one.
EXTRA = [("uniform", [], "100", r) for r in ["0.01", "0.5", "0.99", "1", "1.01", "2", "5"]] + [
    ("uniform", [], "1e-6", r) for r in ["0.3", "1", "2", "4"]
]


def intensity(law, c, r2):
    mu = mp.sqrt(max(1 - r2, 0))
    if law == "uniform":
        return mp.mpf(1)
    if law == "linear":
        return 1 - c[0] * (1 - mu)
    if law == "quadratic":
        return 1 - c[0] * (1 - mu) - c[1] * (1 - mu) ** 2
    raise ValueError(law)


def tanh_sinh_nodes(h, levels_out=3.5):
    """Nodes x in (-1, 1) and weights of the tanh-sinh rule with step h."""
    nodes = []
    k = 0
    while True:
        t = k * h
        if t > levels_out:
            break
        s = mp.pi / 2 * mp.sinh(t)
        x = mp.tanh(s)
        w = h * mp.pi / 2 * mp.cosh(t) / mp.cosh(s) ** 2
        one_minus = 1 / (mp.exp(2 * s) + 1) * 2  # 1 - x without cancellation
        nodes.append((x, one_minus, w))
        k += 1
    return nodes


COARSE = tanh_sinh_nodes(mp.mpf(1) / 8)
FINE = tanh_sinh_nodes(mp.mpf(1) / 16)


def rule(f, a, b, nodes):
    """int_a^b f with the given rule; f returns a tuple, summed componentwise."""
    half = (b - a) / 2
    total = None
    for i, (x, one_minus, w) in enumerate(nodes):
        points = [a + half] if i == 0 else [b - half * one_minus, a + half * one_minus]
        for p in points:
            values = f(p)
            if total is None:
                total = [w * v for v in values]
            else:
                total = [t + w * v for t, v in zip(total, values)]
    return [half * t for t in total]


def shift(law, c, rho, u, nodes):
    def arc(x):
        # phi from 0 to the arc's end inside the star
        if x == 0:
            return None
        if u == 0 or x <= rho - u:
            end = mp.pi
        else:
            cos_end = (x * x + u * u - rho * rho) / (2 * x * u)
            if cos_end >= 1:
                return None
            end = mp.acos(max(cos_end, -1))

        def inner(phi):
            r2 = (x * x + u * u - 2 * x * u * mp.cos(phi)) / (rho * rho)
            i = intensity(law, c, r2)
            return (i * mp.cos(phi), i)

        cos_part, plain = rule(inner, mp.mpf(0), end, nodes)
        root = mp.sqrt(x * x + 4)
        # x dx (s_x A_c - u A) = cos(phi) (x^2 + 3) x / root - u (x^2 + 2) / root, per dphi
        numerator = 2 * (x * (x * x + 3) / root * cos_part - u * (x * x + 2) / root * plain)
        return (numerator, 2 * (x * x + 2) / root * plain)

    def outer(x):
        v = arc(x)
        return v if v is not None else (mp.mpf(0), mp.mpf(0))

    inner_edge = abs(rho - u)
    pieces = [(mp.mpf(0), inner_edge), (inner_edge, u + rho)] if inner_edge > 0 else [(mp.mpf(0), u + rho)]
    numerator = denominator = mp.mpf(0)
    for a, b in pieces:
        n, d = rule(outer, a, b, nodes)
        numerator += n
        denominator += d
    return numerator / denominator, denominator


def reference_line(case):
    law, c, rho_text, ratio_text = case
    rho = mp.mpf(rho_text)
    u = mp.mpf(ratio_text) * rho
    if u == 0:
        value = mp.mpf(0)
    else:
        value, _ = shift(law, [mp.mpf(x) for x in c], rho, u, FINE)
        coarse, _ = shift(law, [mp.mpf(x) for x in c], rho, u, COARSE)
        error = abs(value - coarse)
        bound = max(mp.mpf("1e-8") * abs(value), mp.mpf("1e-9") * max(rho, 1))
        assert error <= bound, (law, rho_text, ratio_text, error)
    coefficients = ",".join(str(x) for x in c) or "-"
    line = f"{law} {coefficients} {rho_text} {ratio_text} {mp.nstr(value, 20, min_fixed=0, max_fixed=0)}"
    print(line, flush=True)
    return line


def main():
    cases = [(law, c, rho, r) for law, c in LAWS for rho in RHOS for r in RATIOS] + EXTRA
    with multiprocessing.Pool(int(os.environ.get("JOBS", "2"))) as pool:
        computed = pool.map(reference_line, cases, chunksize=1)
    lines = [
        "# Centroid shifts for vellomir_numpy.centroid_shift, generated by tools/gen_centroid_references.py",
        "# (mpmath, 2-D integration in polar coordinates about the lens, 22 digits).",
        "# law <c1,c2,...|-> rho u_over_rho delta",
    ]
    lines += computed
    with open(OUTPUT, "w") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
