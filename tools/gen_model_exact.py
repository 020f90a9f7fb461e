#!/usr/bin/env python3
"""Reference values where finite-source effects are measured: the uniform disk across its rim
and far from the lens, and thin rings next to the lens, across their expansion band and at
extreme arguments. mpmath, by routes free of the closed forms under test.

Writes tests/data/models_disk_exact.txt and tests/data/models_ring_exact.txt (paths relative to
this script). About a minute of CPU.

Uniform disk: the flux through the disk in polar coordinates about the lens (along each ray the
radial integral of the point-lens magnification is x sqrt(x^2+4)/2), a 2-D integral of A with
no elliptic integral, at a working precision raised with u/rho to absorb the difference of the
two ray ends; the closed form in mpmath's elliptic integrals is the cross-check where it is
cheap. Far beyond the reach of the quadrature (u/rho >= 1e10, u >= 10) the reference is the
mean-value series summed from the Laurent expansion of A in 1/u^2 (an independent route from the
kernel's polynomials), A = sum_j a_j s^-j, a_j = (-1)^j C(2j-2, j-1) 2(j-1)/j:
    mean = sum_N s^-N sum_k rho^2k / (k+1) a_(N-k) C(N-1, k)^2.
Rings: the point-lens magnification averaged over the circle by quadrature over the angle.
"""

import os

import mpmath as mp

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")


def point_lens(x):
    return (x * x + 2) / (x * mp.sqrt(x * x + 4))


def disk_polar(u, rho):
    """1/(pi rho^2) times the integral of A over the disk, in polar coordinates about the lens."""

    def flux(x):
        return x * mp.sqrt(x * x + 4)

    # Features of width sqrt(|u - rho| / rho) sit next to theta = pi/2 (the ray tangent to the
    # rim through the lens): split the angle geometrically towards them.
    width = mp.sqrt(abs(u - rho) / rho) if u != rho else mp.mpf(0)
    if u <= rho:
        def f(t):
            return flux(u * mp.cos(t) + mp.sqrt(rho**2 - (u * mp.sin(t)) ** 2))

        points = [mp.mpf(0)]
        w = mp.mpf(1)
        while w > max(width, mp.mpf(10) ** -30) / 4:
            points.append(mp.pi / 2 - w)
            w /= 8
        points += [mp.pi / 2]
        w = width * 4 if width > 0 else mp.mpf(10) ** -30
        extra = []
        while w < 1:
            extra.append(mp.pi / 2 + w)
            w *= 8
        points += extra + [mp.pi]
        total = mp.quad(f, points)
    else:
        tmax = mp.asin(rho / u)

        def f(t):
            c, s = mp.cos(t), mp.sin(t)
            root = mp.sqrt(max(rho**2 - (u * s) ** 2, 0))
            return flux(u * c + root) - flux(u * c - root)

        points = [mp.mpf(0)]
        w = tmax / 2
        while w > tmax * max(width, mp.mpf(10) ** -30) / 4:
            points.append(tmax - w)
            w /= 8
        points.append(tmax)
        total = mp.quad(f, points)
    return total / (mp.pi * rho**2)


def disk_elliptic(u, rho):
    n = 4 * rho * u / (u + rho) ** 2
    g = mp.sqrt((u - rho) ** 2 + 4)
    m = 4 * n / g**2
    te = (u + rho) * g / (2 * rho**2) * mp.ellipe(m)
    tk = (u - rho) * ((u**2 - rho**2) / 2 + 4) / (g * rho**2) * mp.ellipk(m)
    tp = 2 * (u - rho) ** 2 * (1 + rho**2) / (g * rho**2 * (u + rho)) * mp.ellippi(n, m)
    return (te - tk + tp) / mp.pi


def disk_laurent(u, rho):
    s, r2 = u * u, rho * rho

    def a(j):
        if j < 2:
            return mp.mpf(1 - j)
        return (-1) ** j * mp.binomial(2 * j - 2, j - 1) * 2 * (j - 1) / j

    total, n = mp.mpf(0), 0
    while True:
        inner = sum(r2**k / (k + 1) * a(n - k) * mp.binomial(n - 1, k) ** 2 for k in range(0, n + 1) if n - k != 1)
        if n == 0:
            inner = mp.mpf(1)
        term = inner / s**n
        total += term
        if n > 3 and abs(term) < mp.mpf(10) ** (-mp.mp.dps) * abs(total):
            return total
        n += 1


def disk_value(u, rho, cross_check=True):
    U, R = mp.mpf(u), mp.mpf(rho)
    ratio = max(u / rho, rho / u, 1.0)
    with mp.workdps(30 + int(mp.log10(ratio)) + 5):
        value = disk_polar(U, R)
    if cross_check and ratio < 1e8:
        # mpmath's Pi loses about log10((u+rho)/(u-rho))^2 digits next to the rim: work wide.
        with mp.workdps(80):
            closed = disk_elliptic(U, R)
            assert abs(closed - value) <= mp.mpf(10) ** -24 * value, (u, rho, value, closed)
    return value


def disk_rows():
    rows = []
    # On the rim, down to the smallest sources.
    for rho in (1e-12, 1e-10, 1e-8, 1e-6, 1e-4, 1e-2, 1.0, 10.0, 100.0):
        rows.append(("rim", rho, rho, disk_value(rho, rho, cross_check=False)))
    # Across the rim, both sides, |u - rho| / rho from 3e-14 to 0.1.
    for rho in (1e-10, 1e-6, 1e-4, 1e-3, 0.01, 0.1, 1.0, 10.0, 100.0):
        for delta in (3e-14, 1e-12, 1e-9, 1e-6, 1e-4, 1e-3, 1e-2, 0.1):
            for side in (-1, 1):
                u = rho * (1 + side * delta)
                if u != rho:
                    rows.append(("limb", u, rho, disk_value(u, rho)))
    # Inside the disk, at the lens and between.
    for rho in (1e-10, 1e-4, 0.1, 1.0, 100.0):
        for ratio in (0.0, 0.3, 0.8):
            u = rho * ratio
            value = mp.sqrt(1 + 4 / mp.mpf(rho) ** 2) if u == 0 else disk_value(u, rho)
            rows.append(("inside", u, rho, value))
    # Outside, out to u/rho = 1e10 by quadrature and to 1e300 by the Laurent series.
    for rho in (1e-10, 1e-4, 0.01, 1.0, 100.0):
        for ratio in (1.5, 2.0, 3.0, 4.0, 6.0, 10.0, 30.0, 100.0, 1e3, 1e5, 1e7, 1e10):
            rows.append(("far", rho * ratio, rho, disk_value(rho * ratio, rho)))
    with mp.workdps(40):
        for rho in (1e-3, 1.0, 100.0):
            for ratio in (1e12, 1e50, 1e150, 1e300):
                u = rho * ratio
                rows.append(("far", u, rho, disk_laurent(mp.mpf(u), mp.mpf(rho))))
    return rows


def ring_angular(l, r, q):
    d = r - l

    def f(phi):
        dist2 = d * d + 4 * l * r * mp.sin(phi / 2) ** 2
        return point_lens(mp.sqrt(dist2) / q)

    points = [mp.mpf(0)]
    w = abs(d) / mp.sqrt(l * r) if l * r > 0 else mp.pi
    while w < mp.pi:
        points.append(w)
        w *= 4
    points.append(mp.pi)
    return mp.quad(f, points) / mp.pi


def ring_rows():
    rows = []
    # Next to the lens.
    for l in (1e-300, 1e-100, 1e-20, 1e-10, 1e-6, 1e-3):
        for r in (5e-6, 1e-3, 0.5, 3.0):
            for q in (0.1, 1.0, 10.0):
                if abs(r - l) >= 1e-6:
                    rows.append(("lens", l, r, q, ring_angular(mp.mpf(l), mp.mpf(r), mp.mpf(q))))
    # Through the lens and around the expansion band.
    for l in (0.5, 1.0, 3.0, 1e4):
        for d in (1e-9, 1e-7, 1e-6, 3e-6, 9e-6, 1e-5, 1.1e-5, 2e-5, 3e-5, 1e-4, 1e-3):
            for side in (-1, 1):
                for q in (0.1, 1.0, 10.0):
                    r = l + side * d
                    rows.append(("band", l, r, q, ring_angular(mp.mpf(l), mp.mpf(r), mp.mpf(q))))
    # Extreme arguments.
    for l, r, q in ((1.3e154, 0.5, 1.0), (1.4e154, 0.5, 1.0), (1e300, 0.5, 1.0), (1e300, 1e300 * 1.001, 1.0),
                    (0.5, 1e300, 1.0), (1.0, 0.5, 1e300), (1.0, 0.5, 1e-300), (1e200, 1e200 + 1e190, 1e195)):
        with mp.workdps(60):
            rows.append(("large", l, r, q, ring_angular(mp.mpf(l), mp.mpf(r), mp.mpf(q))))
    return rows


def write(name, header, rows):
    with open(os.path.join(DATA, name), "w") as out:
        out.write(header)
        for row in rows:
            out.write(" ".join([row[0]] + [repr(float(v)) for v in row[1:-1]] + [mp.nstr(row[-1], 22)]) + "\n")


def main():
    mp.mp.dps = 30
    write(
        "models_disk_exact.txt",
        "# Uniform disk, generated by tools/gen_model_exact.py (mpmath 2-D integral; Laurent series far out).\n"
        "# kind u rho expected; kind: rim (u = rho), limb (|u - rho| / rho from 3e-14 to 0.1), inside, far\n",
        disk_rows(),
    )
    write(
        "models_ring_exact.txt",
        "# Ring, generated by tools/gen_model_exact.py (mpmath angular quadrature).\n"
        "# kind l r q expected (call with re = q, rstar = 1); kind: lens (l from 1e-300 to 1e-3),\n"
        "# band (|r - l| from 1e-9 to 1e-3), large (arguments up to 1e300)\n",
        ring_rows(),
    )


if __name__ == "__main__":
    main()
