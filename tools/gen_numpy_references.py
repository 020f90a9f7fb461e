#!/usr/bin/env python3
"""Reference magnifications for vellomir_numpy: limb-darkening laws and a table, by 2-D integration.

Writes tests/data/numpy_profile_references.txt. The magnification of a star of radius rho
(Einstein radii) whose centre is at distance u from a point lens is

    A = int int A_p(x) I(r) dS / int int I(r) dS,   A_p(x) = (x^2 + 2) / (x sqrt(x^2 + 4)),

integrated here in polar coordinates (x, phi) about the lens, where the point-lens factor
x A_p(x) = (x^2 + 2) / sqrt(x^2 + 4) is smooth, and r^2 = (x^2 + u^2 - 2 x u cos phi) / rho^2.
No ring magnification or elliptic integral is involved. The inner integral over phi runs over the
arc of the circle |z| = x that lies on the star, split where that arc crosses a break of the
profile (the limb, a table radius); the outer one over x is split at the distances where the
circle touches a break. Both are a tanh-sinh rule at 20 digits with step 1/16 (1/32 where that
does not converge). The error estimate is the change from the rule with twice the step (of the
outer rule, plus the inner rules' changes integrated over x); it bounds the error of that coarser
rule and must stay below 1e-11 relative. The rule converges quadratically, so the finer rule's
error is far below the 1e-16 the tests need.

Cost: about four minutes of one core.
"""

import os
import sys

import mpmath as mp

mp.mp.dps = 20
HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "tests", "data", "numpy_profile_references.txt")

POWERS = [0, 0.5, 1, 1.5, 2, 0.6, 1.3]  # powers of mu; the log term mu ln(mu) comes last
LAWS = [
    ("linear", [0.6]),
    ("linear", [0.3]),
    ("linear", [1.0]),
    ("quadratic", [0.4, 0.25]),
    ("quadratic", [0.1, 0.5]),
    ("square-root", [0.3, 0.4]),
    ("square-root", [-0.1, 0.8]),
    ("logarithmic", [0.6, 0.2]),
    ("logarithmic", [0.7, -0.1]),
    ("power-2", [0.6, 0.6]),
    ("power-2", [0.8, 1.3]),
    ("claret", [0.5, 0.1, 0.2, -0.1]),
    ("claret", [0.7, -0.6, 0.9, -0.3]),
]
# A table with a kink at 0.3 and a step at 0.7, ending at 0.95 (zero beyond).
TABLE_RADIUS = [0.0, 0.3, 0.7, 0.7, 0.95]
TABLE_INTENSITY = [1.0, 0.9, 0.6, 0.3, 0.2]
RHOS = ["1e-5", "1e-2", "1", "10"]
TABLE_RHOS = ["1e-2", "1"]
U_OVER_RHO = ["0", "0.5", "0.999", "1", "1.001", "1.5", "3", "10", "100"]
LEVELS = (4, 5)  # the finer one only where the coarser does not converge


def law_weights(law, c):
    """The law's coefficients of mu^p for POWERS, then of mu ln(mu)."""
    w = {p: mp.mpf(0) for p in POWERS}
    log = mp.mpf(0)
    c = [mp.mpf(x) for x in c]
    if law == "linear":
        w[0], w[1] = 1 - c[0], c[0]
    elif law == "quadratic":
        w[0], w[1], w[2] = 1 - c[0] - c[1], c[0] + 2 * c[1], -c[1]
    elif law == "square-root":
        w[0], w[1], w[0.5] = 1 - c[0] - c[1], c[0], c[1]
    elif law == "logarithmic":
        w[0], w[1], log = 1 - c[0], c[0], -c[1]
    elif law == "power-2":
        w[0] = 1 - c[0]
        w[float(c[1])] += c[0]
    elif law == "claret":
        w[0] = 1 - sum(c)
        for k in range(4):
            w[(k + 1) / 2 if k % 2 == 0 else (k + 1) // 2] += c[k]
    return [w[p] for p in POWERS] + [log]


def tanh_sinh_nodes(level):
    """Nodes t in (-1, 1) and weights for step 2^-level, in pairs so that level - 1 is every other node."""
    h = mp.mpf(2) ** -level
    nodes = []
    k = 0
    while True:
        s = k * h
        t = mp.tanh(mp.pi / 2 * mp.sinh(s))
        w = h * (mp.pi / 2) * mp.cosh(s) / mp.cosh(mp.pi / 2 * mp.sinh(s)) ** 2
        if w < mp.mpf(10) ** -18 or 1 - t == 0:
            break
        nodes.append((k, t, w))
        k += 1
    return nodes


NODES = {level: tanh_sinh_nodes(level) for level in LEVELS}


def integrate(f, a, b, width, nodes):
    """Vector integral of f over [a, b] and the largest change against the halved rule."""
    half, centre = (b - a) / 2, (a + b) / 2
    fine = [mp.mpf(0)] * width
    coarse = [mp.mpf(0)] * width
    for k, t, w in nodes:
        points = [centre] if k == 0 else [centre + half * t, centre - half * t]
        for x in points:
            values = f(x)
            for i in range(width):
                fine[i] += w * values[i]
                if k % 2 == 0:
                    coarse[i] += 2 * w * values[i]
    fine = [half * v for v in fine]
    coarse = [half * v for v in coarse]
    return fine, max(abs(p - q) for p, q in zip(fine, coarse))


def cut(a, b, breaks):
    points = sorted({a, b, *(x for x in breaks if a < x < b)})
    return list(zip(points[:-1], points[1:]))


def geometry_integrals(u, rho, breaks, intensities, width, nodes):
    """[int int A_p I_j dS] and [int int I_j dS] for the values I_j(r^2) of intensities(r^2), and
    the error estimate."""

    def cos_at(x, radius):  # cos phi where the circle |z| = x meets the circle of that radius about the star
        return (x * x + u * u - (rho * radius) ** 2) / (2 * x * u)

    def inner(x):
        if u == 0:
            r2 = (x / rho) ** 2
            return [2 * mp.pi * v for v in intensities(r2)] + [mp.mpf(0)]
        top = cos_at(x, 1)
        if top >= 1:
            return [mp.mpf(0)] * (width + 1)
        phi_max = mp.pi if top <= -1 else mp.acos(top)
        phi_breaks = [mp.acos(c) for c in (cos_at(x, b) for b in breaks) if -1 < c < 1]

        def arc(phi):
            r2 = (x * x + u * u - 2 * x * u * mp.cos(phi)) / (rho * rho)
            return intensities(r2) if r2 <= 1 else [mp.mpf(0)] * width

        total = [mp.mpf(0)] * width
        errors = mp.mpf(0)
        for a, b in cut(mp.mpf(0), phi_max, phi_breaks):
            part, error = integrate(arc, a, b, width, nodes)
            errors += error
            total = [s + 2 * p for s, p in zip(total, part)]
        return total + [2 * errors]

    def outer(x):
        *values, error = inner(x)
        lensed = (x * x + 2) / mp.sqrt(x * x + 4)
        return [lensed * v for v in values] + [x * v for v in values] + [lensed * error]

    x_breaks = [abs(u - rho * b) for b in breaks] + [u + rho * b for b in breaks]
    sums = [mp.mpf(0)] * (2 * width + 1)
    errors = mp.mpf(0)
    for a, b in cut(max(u - rho, mp.mpf(0)), u + rho, x_breaks):
        part, error = integrate(outer, a, b, 2 * width + 1, nodes)
        errors += error
        sums = [s + p for s, p in zip(sums, part)]
    # The outer rule's change plus the inner rules' changes integrated over x.
    return sums[:width], sums[width : 2 * width], (errors + abs(sums[-1])) / abs(sums[width])


def law_terms(r2):
    """mu^p for POWERS, then mu ln(mu), sharing the roots and the logarithm."""
    mu2 = 1 - r2
    if mu2 <= 0:
        return [mp.mpf(1)] + [mp.mpf(0)] * len(POWERS)
    mu = mp.sqrt(mu2)
    root = mp.sqrt(mu)
    log = mp.log(mu)
    return [mp.mpf(1), root, mu, mu * root, mu2, mp.exp(log * mp.mpf(0.6)), mp.exp(log * mp.mpf(1.3)), mu * log]


def table_term(r2):
    r = mp.sqrt(max(r2, mp.mpf(0)))
    for j in range(len(TABLE_RADIUS) - 1):
        a, b = TABLE_RADIUS[j], TABLE_RADIUS[j + 1]
        if a <= r <= b and b > a:
            return [TABLE_INTENSITY[j] + (TABLE_INTENSITY[j + 1] - TABLE_INTENSITY[j]) * (r - a) / (b - a)]
    return [mp.mpf(0)]


def converged(u, rho, breaks, intensities, width):
    """geometry_integrals at the coarsest level whose error estimate is below 1e-11."""
    for level in LEVELS:
        lensed, plain, error = geometry_integrals(u, rho, breaks, intensities, width, NODES[level])
        if error < 1e-11:
            break
    return lensed, plain, error


def main():
    lines = [
        "# Magnifications for vellomir_numpy, generated by tools/gen_numpy_references.py (mpmath,",
        "# 2-D integration in polar coordinates about the lens, 20 digits).",
        "# law <name> <c1,c2,...> rho u_over_rho magnification",
        "# table <r1,...> <I1,...> rho u_over_rho magnification   (linear between points, zero outside)",
    ]
    table_spec = ",".join(str(x) for x in TABLE_RADIUS) + " " + ",".join(str(x) for x in TABLE_INTENSITY)
    for rho_text in RHOS:
        for ratio_text in U_OVER_RHO:
            rho = mp.mpf(rho_text)
            u = rho * mp.mpf(ratio_text)
            lensed, plain, error = converged(u, rho, [mp.mpf(1)], law_terms, len(POWERS) + 1)
            t_error = 0
            if rho_text in TABLE_RHOS:
                # A table is linear in r, not r^2: its centre (the break b = 0) is a kink too.
                t_lensed, t_plain, t_error = converged(
                    u, rho, sorted({mp.mpf(x) for x in TABLE_RADIUS} | {mp.mpf(1)}), table_term, 1
                )
                lines.append(f"table {table_spec} {rho_text} {ratio_text} {mp.nstr(t_lensed[0] / t_plain[0], 17)}")
            # The plain integrals have closed forms: pi rho^2 * 2/(p+2), and -2/9 pi rho^2 for mu ln(mu).
            exact = [mp.pi * rho * rho * 2 / (mp.mpf(p) + 2) for p in POWERS] + [-2 * mp.pi * rho * rho / 9]
            drift = max(abs(a - b) / abs(b) for a, b in zip(plain, exact))
            worst = max(error, t_error, drift)
            print(f"rho {rho_text} u/rho {ratio_text}: worst relative error estimate {mp.nstr(worst, 3)}", file=sys.stderr)
            if worst > 1e-11:
                raise SystemExit(f"quadrature not converged at rho {rho_text}, u/rho {ratio_text}")
            for law, coefficients in LAWS:
                weights = law_weights(law, coefficients)
                value = sum(w * n for w, n in zip(weights, lensed)) / sum(w * d for w, d in zip(weights, exact))
                spec = ",".join(repr(c) for c in coefficients)
                lines.append(f"law {law} {spec} {rho_text} {ratio_text} {mp.nstr(value, 17)}")
    with open(OUTPUT, "w") as handle:
        handle.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
