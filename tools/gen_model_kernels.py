#!/usr/bin/env python3
"""Reference values for the two magnification kernels, computed with mpmath at 30 digits.

Writes tests/data/models_witt_mao.txt and tests/data/models_heyrovsky.txt (run from the
repository root or anywhere: paths are taken relative to this script).

Uniform disk (Witt & Mao 1994): every value is computed twice and the two must agree,
  1. the closed form in complete elliptic integrals, with mpmath's ellipe/ellipk/ellippi;
  2. the flux through the disk in polar coordinates about the lens (Lee et al. 2009): along
     each ray the radial integral of the point-lens magnification is x*sqrt(x^2+4)/2, so
     A = 1/(pi rho^2) * int_0^theta_max [x2 sqrt(x2^2+4) - x1 sqrt(x1^2+4)] dtheta,
     which uses no elliptic integral at all.
Ring (Heyrovsky): the point-lens magnification averaged over the circle by direct
quadrature over the angle, checked against the closed form in K and Pi.

Inputs are written with repr(), so they read back as exactly the same doubles; expected
values carry 20 significant digits.
"""

import os

import mpmath as mp

mp.mp.dps = 30
HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")


def point_lens(x):
    return (x * x + 2) / (x * mp.sqrt(x * x + 4))


def disk_elliptic(u, rho):
    n = 4 * rho * u / (u + rho) ** 2
    g = mp.sqrt((u - rho) ** 2 + 4)
    m = 4 * n / g**2
    e, k, p = mp.ellipe(m), mp.ellipk(m), mp.ellippi(n, m)
    te = (u + rho) * g / (2 * rho**2) * e
    tk = (u - rho) * ((u**2 - rho**2) / 2 + 4) / (g * rho**2) * k
    tp = 2 * (u - rho) ** 2 * (1 + rho**2) / (g * rho**2 * (u + rho)) * p
    return (te - tk + tp) / mp.pi


def disk_polar(u, rho):
    def flux(x):
        return x * mp.sqrt(x * x + 4)

    if u <= rho:
        def f(t):
            c, s = mp.cos(t), mp.sin(t)
            return flux(u * c + mp.sqrt(rho**2 - (u * s) ** 2))

        # At u = rho the outer radius has a kink at theta = pi/2.
        total = mp.quad(f, [0, mp.pi / 2, mp.pi])
    else:
        tmax = mp.asin(rho / u)

        def f(t):
            c, s = mp.cos(t), mp.sin(t)
            root = mp.sqrt(max(rho**2 - (u * s) ** 2, 0))
            return flux(u * c + root) - flux(u * c - root)

        total = mp.quad(f, [0, tmax])
    return total / (mp.pi * rho**2)


def ring_elliptic(l, r, q):
    d, s = r - l, l + r
    big_d = 4 * q * q + d * d
    m = 16 * q * q * l * r / (s * s * big_d)
    n = 4 * l * r / (s * s)
    return (2 * q * q * mp.ellipk(m) + d * d * mp.ellippi(n, m)) * 4 / (s * mp.sqrt(big_d)) / (2 * mp.pi)


def ring_angular(l, r, q):
    d = r - l

    def f(phi):
        # l^2 + r^2 - 2 l r cos(phi), written without cancellation near phi = 0.
        dist2 = d * d + 4 * l * r * mp.sin(phi / 2) ** 2
        return point_lens(mp.sqrt(dist2) / q)

    # The integrand peaks at phi = 0 with width |d| / sqrt(l r): split geometrically.
    points = [mp.mpf(0)]
    w = abs(d) / mp.sqrt(l * r)
    while w < mp.pi:
        points.append(w)
        w *= 4
    points.append(mp.pi)
    return mp.quad(f, points) / mp.pi


def agree(a, b, rel):
    assert abs(a - b) <= rel * abs(b), (a, b)


def witt_mao_rows():
    rows = []
    rhos = [1e-3, 0.01, 0.1, 0.3, 1.0, 3.0, 10.0]
    ratios = [0.0, 0.05, 0.3, 0.5, 0.8, 0.95, 0.99, 1.01, 1.05, 1.3, 2.0, 5.0, 30.0]
    for rho in rhos:
        tol = max(0.001 * rho, 1e-5)
        for ratio in ratios:
            u = float(rho * ratio)
            if abs(u - rho) < 3 * tol:
                continue  # the rim band has its own rows below
            U, R = mp.mpf(u), mp.mpf(rho)
            if u == 0.0:
                value = mp.sqrt(1 + 4 / R**2)
            else:
                value = disk_elliptic(U, R)
            agree(value, disk_polar(U, R), mp.mpf(10) ** -24)
            rows.append(("general", u, rho, value))
        # Just outside the band, where the general case applies again.
        for side in (-1.2, 1.2):
            u = float(rho + side * tol)
            value = disk_elliptic(mp.mpf(u), mp.mpf(rho))
            agree(value, disk_polar(mp.mpf(u), mp.mpf(rho)), mp.mpf(10) ** -24)
            rows.append(("edge", u, rho, value))
        # On the rim: the exact value, which the rim formula reproduces.
        R = mp.mpf(rho)
        rows.append(("rim", rho, rho, disk_polar(R, R)))
        # Inside the band, where the rim formula stands in for the value at u = rho.
        for side in (-0.5, 0.5):
            u = float(rho + side * tol)
            rows.append(("band", u, rho, disk_polar(mp.mpf(u), R)))
    return rows


def heyrovsky_rows():
    rows = []
    ls = [0.05, 0.3, 0.7, 1.0, 2.0, 5.0]
    rs = [0.01, 0.2, 0.5, 0.9, 1.0, 1.5, 3.0]
    qs = [0.01, 0.1, 1.0, 10.0, 100.0]
    for q in qs:
        for l in ls:
            for r in rs:
                if abs(r - l) < 1e-3:
                    continue
                L, R, Q = mp.mpf(l), mp.mpf(r), mp.mpf(q)
                value = ring_angular(L, R, Q)
                agree(value, ring_elliptic(L, R, Q), mp.mpf(10) ** -24)
                rows.append(("general", l, r, q, value))
    # Circles passing close to the lens: both sides of the 1e-5 switch and a little further.
    for q in (0.1, 1.0, 10.0):
        for l in (0.5, 1.0, 3.0):
            for d in (-1e-4, -1.1e-5, -9e-6, -1e-6, 1e-6, 9e-6, 1.1e-5, 1e-4):
                r = l + d
                value = ring_angular(mp.mpf(l), mp.mpf(r), mp.mpf(q))
                rows.append(("near", l, r, q, value))
    return rows


def write(name, header, rows):
    with open(os.path.join(DATA, name), "w") as out:
        out.write(header)
        for row in rows:
            out.write(" ".join([row[0]] + [repr(v) for v in row[1:-1]] + [mp.nstr(row[-1], 20)]) + "\n")


def main():
    write(
        "models_witt_mao.txt",
        "# Uniform-disk magnification, generated by tools/gen_model_kernels.py (mpmath, 30 digits).\n"
        "# kind u rho expected; kind: general (away from the rim), edge (|u - rho| = 1.2 tol),\n"
        "# rim (u = rho), band (|u - rho| = tol / 2, the rim form standing in)\n",
        witt_mao_rows(),
    )
    write(
        "models_heyrovsky.txt",
        "# Ring magnification, generated by tools/gen_model_kernels.py (mpmath, 30 digits).\n"
        "# kind l r q expected (call with re = q, rstar = 1); kind: general (|r - l| >= 1e-3),\n"
        "# near (circle within 1e-4 of the lens)\n",
        heyrovsky_rows(),
    )


if __name__ == "__main__":
    main()
