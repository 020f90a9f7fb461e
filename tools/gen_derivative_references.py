#!/usr/bin/env python3
"""Reference derivatives of the finite-source magnification, by integrals over the star.

Writes tests/data/derivative_references.txt. Run: python3 tools/gen_derivative_references.py
(mpmath; about twenty minutes of one core).

Uniform disk. In polar coordinates (x, phi) about the lens the disk of radius rho centred at
distance u covers, on the circle |z| = x, the arc of half-angle acos(c), c = (x^2 + u^2 - rho^2)
/ (2 x u) (the whole circle for x < rho - u), so with g(x) = A_p(x) - 1 =
4 / (x sqrt(x^2 + 4) (x^2 + 2 + x sqrt(x^2 + 4))) (the point-lens excess, free of cancellation)

    A = 1 + N / (pi rho^2),   N = int x g(x) 2 acos(c(x)) dx.

The derivatives are taken under the integral (the arc vanishes at the ends of its range, and
the whole circle meets the partial arcs continuously, so no boundary term remains):

    dA/du   = int x g(x) d(2 acos c)/du dx / (pi rho^2),
    dA/drho = int x g(x) d(2 acos c)/drho dx / (pi rho^2) - 2 N / (pi rho^3),

with d(2 acos c) = -2 dc / sqrt((1 - c)(1 + c)) and 1 - c, 1 + c, dc written as products of
differences known exactly in the variable t of the arc's range (no elliptic integral, no ring
or disk closed form). mpmath's tanh-sinh rule integrates the inverse square roots at the ends;
the working precision grows by three digits per decade of u / rho, where the integrals cancel
to (rho / u)^2 of their parts. Each value
is computed at two precisions and must agree to 1e-18.

Far out (u / rho >= 1e14) the arc integrals would need hundreds of digits; there the disk's
mean-value expansion A = f + (rho^2 / 8) (f'' + f' / u) + O((rho / u)^4) is differentiated, f's
derivatives in closed form (checked against mpmath.diff; no tabulated series).

Limb-darkened stars: the same polar coordinates, the arc carrying the law's intensity,
differentiated under the integral (the law's slope along the arc, and I(1) times the motion of
the arc's ends), at 20 digits; the coefficients' derivatives from the law's basis integrals.
"""

import math
import os
import sys

import mpmath as mp

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "..", "tests", "data", "derivative_references.txt")

RHOS = ["1e-10", "1e-6", "1e-3", "0.1", "1", "10", "1e3"]
RATIOS = ["0", "1e-8", "1e-4", "0.5", "0.999", "0.999999", "0.9999999999", "1.0000000001", "1.000001",
          "1.001", "1.5", "2.9999", "3.0001", "10", "1e6"]
FAR = [("1e10", "1")]
# So far out (u / rho >= 1e14) that the expansion's next term is below 1e-28 of the first.
ASYMPTOTIC = [("1e8", "1e-6"), ("1e20", "1"), ("1e30", "1e3"), ("1e40", "1e3"), ("1e55", "1")]
# Where the integrand peaks next to the lower end of the arc's range (lens next to the rim).
SPLIT_EXPONENTS = (14, 11, 8, 5, 3, 1)


def excess(x):
    root = mp.sqrt(x * x + 4)
    return 4 / (x * root * (x * x + 2 + x * root))


def disk(u, rho):
    """(A, dA/du, dA/drho) of the uniform disk by the arc integrals above."""
    if u == 0:
        inner = mp.quad(lambda x: x * excess(x) * 2 * mp.pi, [0, rho])
        a = 1 + inner / (mp.pi * rho * rho)
        return a, mp.mpf(0), rho * excess(rho) * 2 * mp.pi / (mp.pi * rho * rho) - 2 * inner / (mp.pi * rho ** 3)

    if u >= rho:
        # x = u + rho t over t in [-1, 1].
        def geometry(t):
            x = u + rho * t
            one_minus = rho * rho * (1 - t) * (1 + t) / (2 * x * u)
            one_plus = (2 * u + rho * (t - 1)) * (2 * u + rho * (t + 1)) / (2 * x * u)
            dc_du = rho * (rho - 2 * u * t - rho * t * t) / (2 * x * u * u)
            return x, one_minus, one_plus, dc_du, rho
        inner = mp.mpf(0)
    else:
        # x = rho + u t over t in [-1, 1]; the whole circle below x = rho - u.
        def geometry(t):
            x = rho + u * t
            one_minus = u * (1 - t) * (2 * rho + u * (t - 1)) / (2 * x * u)
            one_plus = u * (1 + t) * (2 * rho + u * (t + 1)) / (2 * x * u)
            dc_du = u * (u - 2 * rho * t - u * t * t) / (2 * x * u * u)
            return x, one_minus, one_plus, dc_du, u
        inner = mp.quad(lambda x: x * excess(x) * 2 * mp.pi, [0, rho - u])

    def integrand(t, which):
        x, one_minus, one_plus, dc_du, jacobian = geometry(t)
        weight = x * excess(x) * jacobian
        if which == 0:
            return weight * 4 * mp.asin(mp.sqrt(one_minus / 2))
        root = mp.sqrt(one_minus * one_plus)
        if root == 0:  # a node rounded onto an end, where the weight is nil
            return mp.mpf(0)
        dc = dc_du if which == 1 else -rho / (x * u)
        return weight * (-2 * dc / root)

    # Next to the rim the integrand peaks at the lower end, over a width of about |u - rho|.
    near_rim = abs(u - rho) < rho / 100
    splits = [mp.mpf(-1) + mp.mpf(10) ** -k for k in SPLIT_EXPONENTS] if near_rim else []
    points = [mp.mpf(-1)] + splits + [mp.mpf(1)]
    n = inner + mp.quad(lambda t: integrand(t, 0), points)
    n_u = mp.quad(lambda t: integrand(t, 1), points)
    n_rho = mp.quad(lambda t: integrand(t, 2), points)
    area = mp.pi * rho * rho
    return 1 + n / area, n_u / area, n_rho / area - 2 * n / (area * rho)


def point_lens(x):
    return (x * x + 2) / (x * mp.sqrt(x * x + 4))


def asymptotic_disk(u_text, rho_text):
    """Far out: A = f + (rho^2 / 8) Lf + O((rho/u)^4), L the plane Laplacian of the point-lens
    magnification f. With q = u^2 + 4, by hand and free of cancellation:
        f'  = -8 u^-2 q^-3/2,
        Lf  = f'' + f' / u = 8 u^-3 q^-3/2 + 24 u^-1 q^-5/2,
        (Lf)' = -24 u^-4 q^-3/2 - 48 u^-2 q^-5/2 - 120 q^-7/2
    (checked against mpmath.diff at moderate u by the self-check below)."""
    with mp.workdps(60):
        u, rho = mp.mpf(float(u_text)), mp.mpf(float(rho_text))
        slope, laplacian, laplacian_slope = point_lens_derivatives(u)
        return (point_lens(u) + rho * rho / 8 * laplacian, slope + rho * rho / 8 * laplacian_slope, rho / 4 * laplacian)


def point_lens_derivatives(u):
    q = u * u + 4
    slope = -8 / (u * u * q ** mp.mpf(1.5))
    laplacian = 8 / (u ** 3 * q ** mp.mpf(1.5)) + 24 / (u * q ** mp.mpf(2.5))
    laplacian_slope = -24 / (u ** 4 * q ** mp.mpf(1.5)) - 48 / (u * u * q ** mp.mpf(2.5)) - 120 / q ** mp.mpf(3.5)
    return slope, laplacian, laplacian_slope


def self_check():
    with mp.workdps(40):
        for u in (mp.mpf("0.3"), mp.mpf(2), mp.mpf(50)):
            slope, laplacian, laplacian_slope = point_lens_derivatives(u)
            laplacian_of = lambda x: mp.diff(point_lens, x, 2) + mp.diff(point_lens, x) / x  # noqa: E731
            for got, want in ((slope, mp.diff(point_lens, u)), (laplacian, laplacian_of(u)),
                              (laplacian_slope, mp.diff(laplacian_of, u))):
                if abs(got - want) > mp.mpf(10) ** -25 * abs(want):
                    raise SystemExit(f"point-lens derivatives at u={u}: {got} vs {want}")


def checked_disk(u_text, rho_text):
    u_ratio = max(1.0, float(u_text) / float(rho_text))
    digits = 40 + int(3 * math.log10(u_ratio))
    results = []
    for dps in (digits, digits + 10):
        with mp.workdps(dps):
            # At the doubles the tests read (next to the rim a last-digit change of u moves the
            # derivatives by ulp / |u - rho|).
            results.append(disk(mp.mpf(float(u_text)), mp.mpf(float(rho_text))))
    for coarse, fine in zip(*results):
        if abs(coarse - fine) > mp.mpf(10) ** -18 * abs(fine) and abs(fine) > mp.mpf(10) ** -300:
            raise SystemExit(f"disk u={u_text} rho={rho_text}: precisions disagree ({coarse} vs {fine})")
    return results[1]


def main():
    self_check()
    lines = [
        "# Magnification derivatives, generated by tools/gen_derivative_references.py (mpmath, integrals",
        "# over the star in polar coordinates about the lens, differentiated under the integral).",
        "# disk u rho A dA/du dA/drho",
    ]
    cases = []
    for rho_text in RHOS:
        for ratio_text in RATIOS:
            u = mp.mpf(rho_text) * mp.mpf(ratio_text)
            cases.append((mp.nstr(u, 17, strip_zeros=True) if ratio_text != "1" else rho_text, rho_text))
    cases += FAR
    for u_text, rho_text in cases + ASYMPTOTIC:
        if float(u_text) == float(rho_text):
            continue  # the rim: infinite derivatives, tested without a reference
        far = (u_text, rho_text) in ASYMPTOTIC
        a, du, drho = asymptotic_disk(u_text, rho_text) if far else checked_disk(u_text, rho_text)
        lines.append(f"disk {u_text} {rho_text} {mp.nstr(a, 20)} {mp.nstr(du, 20)} {mp.nstr(drho, 20)}")
        print(lines[-1], file=sys.stderr, flush=True)
    with open(OUTPUT, "w") as handle:
        handle.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
