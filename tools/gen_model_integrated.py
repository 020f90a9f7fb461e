#!/usr/bin/env python3
"""Reference values for the magnification of stars with a radial brightness profile.

    python3 tools/gen_model_integrated.py        (about three minutes of CPU)

writes tests/data/models_integrated.txt. The magnified flux of a star of profile I(r) (r in
stellar radii) seen through a point lens at distance l (stellar radii), Einstein radius q
(stellar radii), is the point-lens magnification A(x) = (X^2 + 2) / (X sqrt(X^2 + 4)), X = x / q,
integrated over the star; the results divide it by the unmagnified flux. Two routes, neither of
them the closed forms in elliptic integrals that the code evaluates:

  polar   (limb-darkened star, I(r) = 1 - 0.6 (1 - sqrt(1 - r^2))): a 2-D integral over the
          star in polar coordinates (x, t) about the lens, where the area element turns the
          point-lens factor into x A(x) = q (X^2 + 2) / sqrt(X^2 + 4), which has no singularity.
          Divided by 2.5132741228717936, the normalisation the limb-darkened functions use.
  rings   (tabulated stars, the table interpolated linearly and 0 outside its radii, a one-point
          table constant): F = int_0^1 I(r) 2 pi r H(l, r) dr, H the average of A over the circle
          of radius r, by direct quadrature over the angle (graded towards the point nearest the
          lens). The r-integral is split at every radius of every table and at r = l; since I is
          linear on each piece, each piece needs only the moments int 2 pi r H dr and
          int 2 pi r^2 H dr, shared by all tables. Pieces next to r = l (logarithmic singularity)
          by tanh-sinh, the others by Gauss-Legendre. Divided by N = int_0^1 I(r) 2 pi r dr.

Checks (assertions): H against the closed form at a few points; the rings route against the
polar route for a uniform star; Gauss-Legendre pieces against a higher order.
Precision: mpmath's 15 digits (53-bit mantissas with guard digits inside quad); the two routes
agree to 1e-14, plenty for the 1e-10 to 1e-13 bounds of the tests.
"""

import math
import os

import mpmath as mp

mp.mp.dps = 15
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")
LIMB_DARKENED_NORM = mp.mpf(2.5132741228717936)


def gauss_legendre_nodes(n):
    """Positive roots of P_n and their weights, by Newton's method at 40 digits."""
    nodes = []
    with mp.workdps(40):
        for i in range(1, n // 2 + 1):
            x = mp.cos(mp.pi * (i - mp.mpf(0.25)) / (n + mp.mpf(0.5)))
            for _ in range(100):
                p_prev, p = mp.mpf(1), x
                for k in range(2, n + 1):
                    p_prev, p = p, ((2 * k - 1) * x * p - (k - 1) * p_prev) / k
                dp = n * (x * p - p_prev) / (x * x - 1)
                x -= p / dp
                if abs(p / dp) < mp.mpf(10) ** -38:
                    break
            nodes.append((+x, +(2 / ((1 - x * x) * dp * dp))))
    return nodes


GAUSS = {n: gauss_legendre_nodes(n) for n in (6, 12, 24, 36)}


def gauss(f, a, b, n):
    c, h = (a + b) / 2, (b - a) / 2
    return h * mp.fsum(w * (f(c + h * x) + f(c - h * x)) for x, w in GAUSS[n])


# ---- rings route ------------------------------------------------------------------------


def ring_average(l, r, q):
    """A averaged over the circle of radius r about a centre at distance l from the lens."""
    d2, lr = (r - l) ** 2, l * r

    def magnification(phi):
        big_x2 = (d2 + 4 * lr * mp.sin(phi / 2) ** 2) / (q * q)
        return (big_x2 + 2) / mp.sqrt(big_x2 * (big_x2 + 4))

    if lr == 0:
        return magnification(mp.mpf(0))
    # Nearest the lens at phi = 0, within an angle eps; pieces shrinking by 4 towards it.
    eps = abs(r - l) / mp.sqrt(lr)
    points = [mp.pi, mp.pi / 2]
    while points[-1] > eps and points[-1] > mp.mpf(10) ** -25:
        points.append(points[-1] / 4)
    points.append(mp.mpf(0))
    points.reverse()
    return mp.fsum(gauss(magnification, a, b, 24) for a, b in zip(points, points[1:])) / mp.pi


def ring_closed_form(l, r, q):
    """Heyrovsky's form through Carlson's integrals: a cross-check of ring_average only."""
    d, s = r - l, l + r
    big_d = 4 * q * q + d * d
    one_minus_m = d * d * (4 * q * q + s * s) / (s * s * big_d)
    k = mp.elliprf(0, one_minus_m, 1)
    p = k + 4 * l * r / (s * s) / 3 * mp.elliprj(0, one_minus_m, 1, d * d / (s * s))
    return (2 * q * q * k + d * d * p) * 4 / (s * mp.sqrt(big_d)) / (2 * mp.pi)


def moments(l, q, breakpoints):
    """For each piece [a, b] of the breakpoints: (a, b, int 2 pi r H dr, int 2 pi r^2 H dr)."""
    cache = {}

    def ring(r):
        if r not in cache:
            cache[r] = ring_average(l, r, q)
        return cache[r]

    pieces = []
    for a, b in zip(breakpoints, breakpoints[1:]):
        zeroth = lambda r: 2 * mp.pi * r * ring(r)
        first = lambda r: 2 * mp.pi * r * r * ring(r)
        if l in (a, b):
            m0, m1 = mp.quad(zeroth, [a, b]), mp.quad(first, [a, b])
        else:
            # Order by the distance to the singularity at r = l relative to the piece's width.
            ratio = min(abs(a - l), abs(b - l)) / (b - a)
            if ratio < 0.5:
                m0, m1 = mp.quad(zeroth, [a, b]), mp.quad(first, [a, b])
            else:
                n = 6 if ratio > 8 else (12 if ratio > 2 else 24)
                m0, m1 = gauss(zeroth, a, b, n), gauss(first, a, b, n)
        pieces.append((a, b, m0, m1))
    return pieces


def table_lines(bl, bf):
    """The profile's linear pieces on [0, 1] as (a, b, slope, intercept)."""
    if len(bl) == 1:
        return [(mp.mpf(0), mp.mpf(1), mp.mpf(0), mp.mpf(bf[0]))]
    lines = []
    for j in range(len(bl) - 1):
        a, b = max(mp.mpf(bl[j]), 0), min(mp.mpf(bl[j + 1]), 1)
        if a < b:
            slope = (mp.mpf(bf[j + 1]) - bf[j]) / (mp.mpf(bl[j + 1]) - bl[j])
            lines.append((a, b, slope, bf[j] - bl[j] * slope))
    return lines


def table_magnification(lines, pieces):
    flux = norm = mp.mpf(0)
    for a, b, slope, intercept in lines:
        norm += 2 * mp.pi * (slope * (b**3 - a**3) / 3 + intercept * (b**2 - a**2) / 2)
        for pa, pb, m0, m1 in pieces:
            if a <= pa and pb <= b:
                flux += intercept * m0 + slope * m1
    return flux / norm


# ---- polar route ------------------------------------------------------------------------


def polar_flux(profile, l, q):
    """int over the star of I(r) A(x): polar coordinates (x, t) about the lens, t = 0 towards the
    star's centre."""

    def weight(x):
        big_x2 = (x / q) ** 2
        return q * (big_x2 + 2) / mp.sqrt(big_x2 + 4)

    def along_ray(t):
        c, s = mp.cos(t), mp.sin(t)
        root = mp.sqrt(max(1 - (l * s) ** 2, 0))
        x1 = max(l * c - root, 0) if l > 1 else mp.mpf(0)
        x2 = l * c + root

        def f(x):
            r2 = (x - l * c) ** 2 + (l * s) ** 2
            return profile(mp.sqrt(r2)) * weight(x)

        return mp.quad(f, [x1, x2]) if x2 > x1 else mp.mpf(0)

    if l < 1:
        # The chord is shortest, and changes fastest, about t = pi / 2 when l is near 1.
        angles = [0, mp.pi / 2, mp.pi]
    else:
        angles = [0, mp.asin(1 / l)] if l > 1 else [0, mp.pi / 2]
    return 2 * mp.quad(along_ray, angles)


def linear_law(r):
    return 1 - mp.mpf("0.6") * (1 - mp.sqrt(max(1 - r * r, 0)))


# ---- cases --------------------------------------------------------------------------------

PROFILES = {
    "quadratic20": (
        [j / 19 for j in range(20)],
        [1.0 - 0.4 * (1.0 - m) - 0.25 * (1.0 - m) ** 2 for m in (math.sqrt(1.0 - (j / 19) ** 2) for j in range(20))],
    ),
    "quadratic200": (
        [j / 199 for j in range(200)],
        [1.0 - 0.4 * (1.0 - m) - 0.25 * (1.0 - m) ** 2 for m in (math.sqrt(1.0 - (j / 199) ** 2) for j in range(200))],
    ),
    "single": ([0.5], [1.0]),
    "partial": ([0.2, 0.5, 0.8], [1.0, 0.7, 0.4]),
    "band": ([0.1, 0.35, 0.6, 0.9], [0.0, 1.0, 1.0, 0.0]),
}
# Limb-darkened star: the lens crossing the limb, inside and outside the star; rho = rstar / re.
CROSSING = [1 - 1e-3, 1 - 1e-5, 1.0, 1 + 1e-5, 1 + 1e-3]
CROSSING_RHO = [1e-4, 1e-3, 1e-2, 0.1, 1.0]
INSIDE = [0.0, 0.3, 0.7, 0.95]
OUTSIDE = [1.05, 1.5, 3.0, 10.0]
AWAY_RHO = [1e-3, 1.0]
# Tabulated stars: q = re / rstar; the smallest q (the largest star) with fewer separations, and
# the 200-point table (whose 199 pieces cost most) at one q only.
TABLE_SEPARATIONS = [0.0, 0.1, 0.3, 0.5, 0.75, 0.9, 0.999, 1.0, 1.001, 1.2, 2.0, 5.0]
TABLE_Q = {0.5: TABLE_SEPARATIONS, 2.0: TABLE_SEPARATIONS, 10.0: [0.3, 0.999, 1.001, 2.0]}
LARGE_TABLE = "quadratic200"
LARGE_TABLE_CASES = {(2.0, l) for l in (0.0, 0.3, 0.75, 0.999, 1.001, 2.0)}


def region(l):
    return "inside" if l < 1 - 1e-3 else ("outside" if l > 1 + 1e-3 else "crossing")


def self_checks():
    for l, r, q in [(0.5, 0.7, 1.0), (0.5, 0.5 + 1e-9, 1.0), (0.999, 0.3, 1e4), (2.0, 0.1, 0.5)]:
        l, r, q = mp.mpf(l), mp.mpf(r), mp.mpf(q)
        direct, closed = ring_average(l, r, q), ring_closed_form(l, r, q)
        assert abs(direct - closed) <= mp.mpf(10) ** -14 * closed, (l, r, q)
    for l, q in [(0.3, 2.0), (1.5, 0.5)]:
        l, q = mp.mpf(l), mp.mpf(q)
        breakpoints = sorted({mp.mpf(0), mp.mpf(1)} | ({l} if l < 1 else set()))
        rings = table_magnification(table_lines([0.5], [1.0]), moments(l, q, breakpoints))
        polar = polar_flux(lambda r: 1, l, q) / mp.pi
        assert abs(rings - polar) <= mp.mpf(10) ** -14 * polar, (l, q, rings, polar)


def main():
    self_checks()
    lines = [
        "# Magnification of stars with a radial brightness profile, generated by\n",
        "# tools/gen_model_integrated.py (mpmath, 15 digits; polar 2-D integrals over the\n",
        "# limb-darkened star, direct ring averages over the tabulated ones).\n",
        "# table <name> <bl,...> <bf,...>   a tabulated profile\n",
        "# case <region> <profile> l re rstar expected; region inside (l < 1 - 1e-3), crossing\n",
        "# (|l - 1| <= 1e-3) or outside; profile 'linear' is the law 1 - 0.6 (1 - sqrt(1 - r^2))\n",
        "# with the flux over 2.5132741228717936; the tables give the flux over their own N\n",
    ]
    for name, (bl, bf) in PROFILES.items():
        lines.append("table %s %s %s\n" % (name, ",".join(map(repr, bl)), ",".join(map(repr, bf))))
    linear_cases = [(l, rho) for rho in CROSSING_RHO for l in CROSSING]
    linear_cases += [(l, rho) for rho in AWAY_RHO for l in INSIDE + OUTSIDE]
    for l, rho in linear_cases:
        q = 1 / mp.mpf(rho)  # re = 1, rstar = rho
        value = polar_flux(linear_law, mp.mpf(l), q) / LIMB_DARKENED_NORM
        lines.append("case %s linear %r 1.0 %r %s\n" % (region(l), l, rho, mp.nstr(value, 17)))
    for q, separations in TABLE_Q.items():
        for l in separations:
            names = [name for name in PROFILES if name != LARGE_TABLE or (q, l) in LARGE_TABLE_CASES]
            knots = {mp.mpf(b) for name in names for b in PROFILES[name][0] if 0 < b < 1}
            big_l = mp.mpf(l)
            breakpoints = sorted(knots | {mp.mpf(0), mp.mpf(1)} | ({big_l} if 0 < l < 1 else set()))
            pieces = moments(big_l, mp.mpf(q), breakpoints)
            for name in names:
                bl, bf = PROFILES[name]
                value = table_magnification(table_lines(bl, bf), pieces)
                lines.append("case %s %s %r %r 1.0 %s\n" % (region(l), name, l, q, mp.nstr(value, 17)))
    with open(os.path.join(DATA, "models_integrated.txt"), "w") as out:
        out.writelines(lines)


if __name__ == "__main__":
    main()
