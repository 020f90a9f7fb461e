#!/usr/bin/env python3
"""Reference derivatives of the magnification of limb-darkened and tabulated stars.

Writes tests/data/profile_derivative_references.txt: A, dA/du, dA/drho and dA/dc_k for several
laws, and A, dA/du, dA/drho for two tables, by the 2-D integral over the star differentiated
under the integral sign. No ring or disk closed form, elliptic integral or sub-disk integral is
involved.

The star's intensity g(r) (r in stellar radii) is written in polar coordinates (r, theta) about
the star's centre, z = u + rho r e^(i theta), so that the domain does not move with u or rho:

    N = int int A_p(|z|) g(|z - u| / rho) dS,   F = int int g dS = rho^2 Phi,   A = N / F,

A_p(x) = (x^2 + 2) / (x sqrt(x^2 + 4)). With r = |z - u| / rho, dr/du = -cos(theta) / rho and
dr/drho = -r / rho at fixed z; a jump of g by h at radius s (the limb, a table's step or edge)
moves the boundary of its disk, which adds h times the flux of A_p through the moving circle
(Reynolds' transport theorem). With the ring integrals over the circle |z - u| = R,

    E(R) = int_0^2pi (A_p - 1) d theta,   C(R) = int_0^2pi (A_p - 1) cos(theta) d theta,

(A_p - 1 written free of cancellation; C is log-singular at R = u), c(r) the continuous part of
g (zero at r = 1) and h the jumps at radii s (g = c + sum h [r <= s]):

    Phi (A - 1)  = int g r E(r rho) dr,
    Phi dA/du    = [ sum h s C(s rho) - int c'(r) r C(r rho) dr ] / rho,
    Phi dA/drho  = [ sum h s^2 E(s rho) - int c'(r) r^2 E(r rho) dr - 2 int g r E(r rho) dr ] / rho
                   (the 2 pi of A_p = 1 cancels against dF/drho = 2 F / rho),
    Phi dA/dc_k  = sum_j dw_j/dc_k (e_j - (A - 1) Phi_j),   e_j = int b_j r E dr,

for a law I = sum_j w_j(c) b_j, b_j = mu^p or mu ln mu. The ring integrals are Gauss-Legendre
rules on [0, pi/2] and, where the circle passes near the lens, in t with
sin(psi/2) = (|u - R| / (2 sqrt(u R))) sinh t (psi = pi - theta), which makes |z| = |u - R| cosh t
and the peak smooth. The radial integrals are the tanh-sinh rule of gen_numpy_references (error
estimate from the halved rule) split at r = u / rho and the table's radii; for a law over
r > 1/2 in v = sqrt(mu) (r = sqrt(1 - v^4)), which removes the slopes' mu^(p-2) singularity at
the limb.

Checks before writing: the ring rule against mpmath.quad at 45 digits; the uniform disk's
derivatives against the arc integrals of gen_derivative_references (lens-centred coordinates);
laws' A against the lens-centred 2-D values of tests/data/numpy_nearfield_references.txt; dA/du
and dA/drho against 4-point central differences of this A at 30 digits.

Run: JOBS=2 python3 tools/gen_profile_derivative_references.py   (mpmath with gmpy2: about twenty
minutes of two cores; CACHE=folder keeps finished cells, so that a stopped run goes on)
"""

import multiprocessing
import os
import sys

import mpmath as mp
from mpmath.calculus.quadrature import GaussLegendre

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import gen_numpy_references as base  # noqa: E402  (the tanh-sinh rule and the laws' weights)

DIGITS = 30
mp.mp.dps = DIGITS
OUTPUT = os.path.join(HERE, "..", "tests", "data", "profile_derivative_references.txt")
ESTIMATE = mp.mpf(10) ** -11  # on the radial rules' error estimates, relative to the integrals

LAWS = [
    ("linear", [0.6]),
    ("linear", [1.0]),  # intensity zero at the limb: finite derivatives on the rim
    ("quadratic", [0.4, 0.25]),
    ("square-root", [0.3, 0.4]),
    ("logarithmic", [0.6, 0.2]),
    ("power-2", [0.6, 0.6]),
    ("claret", [0.5, 0.1, 0.2, -0.1]),
]
TABLES = [
    ([0.0, 0.5, 0.8, 1.0], [1.0, 0.9, 0.6, 0.0]),  # falls to zero at the limb
    ([0.0, 0.3, 0.7, 0.7, 0.95], [1.0, 0.9, 0.6, 0.3, 0.2]),  # a kink, a step and an edge inside
]
RHOS = ["1e-6", "1e-3", "0.1", "1", "100"]
# The centre, inside, the rim band on both sides (the rim itself where the limb is dark), and
# across the far-field switch.
RATIOS = ["0", "1e-6", "0.25", "0.9", "0.999999", "0.999999999", "1", "1.000000001", "1.000001", "1.5", "3",
          "10"]

# The laws' basis: mu^p for POWERS, mu ln mu, and mu^0.6 ln mu (power-2's exponent derivative).
POWERS = [0, 0.5, 1, 1.5, 2, 0.6, 1.3]
BASIS = len(POWERS) + 2
GAUSS = GaussLegendre(mp.mp).calc_nodes(4, mp.mp.prec)  # 24 nodes on [-1, 1]


def excess(x):
    """x (A_p(x) - 1) = 4 / (sqrt(x^2 + 4) (x^2 + 2 + x sqrt(x^2 + 4))), smooth and exact."""
    root = mp.sqrt(x * x + 4)
    return 4 / (root * (x * x + 2 + x * root))


def gauss(f, a, b, sums):
    half, centre = (b - a) / 2, (a + b) / 2
    for x, w in GAUSS:
        for i, v in enumerate(f(centre + half * x)):
            sums[i] += w * half * v


def ring(u, radius, apart=None):
    """(E, C) over the circle of that radius about the star's centre, u from the lens; `apart`
    is |u - radius| where the caller knows it better than the working precision does."""
    if u == 0 or radius == 0:
        x = u + radius
        return 2 * mp.pi * excess(x) / x, mp.mpf(0)
    sums = [mp.mpf(0), mp.mpf(0)]

    def near_side(theta):  # theta in [0, pi/2]: |z| >= sqrt(u^2 + R^2)
        c = mp.cos(theta)
        x = mp.sqrt(u * u + radius * radius + 2 * u * radius * c)
        e = excess(x) / x
        return e, e * c

    gauss(near_side, mp.mpf(0), mp.pi / 4, sums)
    gauss(near_side, mp.pi / 4, mp.pi / 2, sums)
    # A node that rounds onto the lens's circle (weight far below what it could change) is
    # moved off it by twice the working precision.
    d = max(abs(u - radius) if apart is None else apart, mp.mpf(10) ** (-2 * mp.mp.dps) * radius)
    q = 2 * mp.sqrt(u * radius)
    k = d / q
    top = mp.asinh(mp.sqrt(mp.mpf(0.5)) / k)

    def far_side(t):  # psi = pi - theta in [0, pi/2], |z| = d cosh t
        s = k * mp.sinh(t)
        f = excess(d * mp.cosh(t)) * 2 / (q * mp.sqrt((1 - s) * (1 + s)))
        return f, f * (2 * s * s - 1)

    ends = [mp.mpf(0)]
    while top - ends[-1] > 3:
        ends.append(ends[-1] + 2)
    if top - ends[-1] > 1:
        ends.append(top - 1)
    ends.append(top)
    for a, b in zip(ends[:-1], ends[1:]):
        gauss(far_side, a, b, sums)
    return 2 * sums[0], 2 * sums[1]


def integrate(f, a, b, groups):
    """Vector integral of f over [a, b] by base's tanh-sinh nodes, with step 1/16, or 1/32 where
    the change against the halved rule (a bound on the coarser rule's error) is not below
    ESTIMATE of the largest integral in each group of components (a list of slices). The rule
    converges quadratically, so the finer rule is then good to far below 1e-16. Returns the
    integrals and that change per component."""
    half, centre = (b - a) / 2, (a + b) / 2
    for level in base.LEVELS:
        fine, coarse = None, None
        for k, t, w in base.NODES[level]:
            for x in [centre] if k == 0 else [centre + half * t, centre - half * t]:
                values = f(x)
                if fine is None:
                    fine, coarse = [mp.mpf(0)] * len(values), [mp.mpf(0)] * len(values)
                for i, v in enumerate(values):
                    fine[i] += w * v
                    if k % 2 == 0:
                        coarse[i] += 2 * w * v
        total = [half * v for v in fine]
        error = [half * abs(p - q) for p, q in zip(fine, coarse)]
        if group_error(total, error, groups) < ESTIMATE:
            break
    return total, error


def group_error(total, error, groups):
    """The largest error relative to the largest integral of its group."""
    return max(max(error[g]) / max(max(abs(x) for x in total[g]), mp.mpf(10) ** -300) for g in groups)


def law_cell(u, rho):
    """Per basis function: e = int b r E dr, U = b(1) C(rho) - int b' r C dr,
    P = b(1) E(rho) - int b' r^2 E dr - 2 e, and the radial rules' error estimate relative to
    the largest of them. r is the variable on [0, 1/2] (where E is 1/r for a lens at the
    centre), v = sqrt(mu) beyond (where the slopes hold mu^(p-2))."""
    l = u / rho

    def in_r(r):
        mu2 = (1 - r) * (1 + r)
        mu = mp.sqrt(mu2)
        e, c = ring(u, r * rho)
        log_mu = mp.log(mu)
        values = [mu ** mp.mpf(p) for p in POWERS] + [mu * log_mu, mu ** mp.mpf(0.6) * log_mu]
        # b'(r) = -r p mu^(p-2), and -r (ln mu + 1) / mu for mu ln mu
        slopes = [-r * p * mu ** (mp.mpf(p) - 2) for p in POWERS] + [-r * (log_mu + 1) / mu, mp.mpf(0)]
        return ([b * r * e for b in values] + [-s * r * c for s in slopes] + [-s * r * r * e for s in slopes])

    def in_v(v):
        # r dr = -2 v^3 dv and b'(r) dr = (db/dv) dv, v running from 1 to 0 as r from 0 to 1.
        mu = v * v
        r = mp.sqrt((1 - mu) * (1 + mu))
        # R - u = (rho - u) - rho (1 - r), 1 - r = mu^2 / (1 + r): exact next to the limb.
        e, c = ring(u, r * rho, abs((rho - u) - rho * mu * mu / (1 + r)))
        log_v = mp.log(v)
        values = [v ** (2 * mp.mpf(p)) for p in POWERS] + [2 * mu * log_v, 2 * v ** mp.mpf(1.2) * log_v]
        slopes = [2 * mp.mpf(p) * v ** (2 * mp.mpf(p) - 1) for p in POWERS] + [4 * v * log_v + 2 * v, mp.mpf(0)]
        return [2 * v ** 3 * b * e for b in values] + [r * s * c for s in slopes] + [r * r * s * e for s in slopes]

    def v_of(one_minus_r, one_plus_r):
        return mp.sqrt(mp.sqrt(one_minus_r * one_plus_r))

    # r up to the junction, v beyond; the junction moves onto the lens when it is near.
    junction = l if mp.mpf(0.4) < l < mp.mpf(0.6) else mp.mpf(0.5)
    v_junction = v_of(1 - junction, 1 + junction)
    r_breaks, v_breaks = [], []
    if 0 < l < junction:
        r_breaks.append(l)
    elif junction < l < 1:
        v_breaks.append(v_of((rho - u) / rho, (rho + u) / rho))
    elif 1 < l < mp.mpf(1.5):
        # Just outside, C peaks at the limb over a width l - 1, which is v^4 / 2 in v.
        v_breaks.append(v_of((u - rho) / rho, (3 * rho - u) / rho))
    groups = [slice(0, BASIS), slice(BASIS, 2 * BASIS), slice(2 * BASIS, 3 * BASIS)]
    sums = [mp.mpf(0)] * 3 * BASIS
    errors = [mp.mpf(0)] * 3 * BASIS
    for f, points in ((in_r, [mp.mpf(0)] + r_breaks + [junction]), (in_v, [mp.mpf(0)] + v_breaks + [v_junction])):
        for a, b in zip(points[:-1], points[1:]):
            part, error = integrate(f, a, b, groups)
            sums = [s + p for s, p in zip(sums, part)]
            errors = [s + e for s, e in zip(errors, error)]
    # On the rim C(rho) is infinite; only a law whose weight of mu^0 is nil is evaluated there.
    e_rim, c_rim = ring(u, rho) if u != rho else (mp.mpf(0), mp.mpf(0))
    e_values = sums[:BASIS]
    u_terms = [(c_rim if p == 0 else 0) + s for p, s in zip(POWERS + [None, None], sums[BASIS : 2 * BASIS])]
    p_terms = [(e_rim if p == 0 else 0) + s - 2 * ev
               for p, s, ev in zip(POWERS + [None, None], sums[2 * BASIS :], e_values)]
    return e_values, u_terms, p_terms, group_error(sums, errors, groups)


def law_fluxes():
    """Phi_j = 2 pi int b_j r dr."""
    return ([2 * mp.pi / (mp.mpf(p) + 2) for p in POWERS]
            + [-2 * mp.pi / 9, -2 * mp.pi / (mp.mpf("0.6") + 2) ** 2])


def law_weights(law, coefficients):
    """The weights of BASIS, and their derivatives in each coefficient."""
    def weights(c):
        return base.law_weights(law, c) + [mp.mpf(0)]

    w = weights(coefficients)
    zero = weights([0.0] * len(coefficients))
    derivatives = []
    for k in range(len(coefficients)):
        if law == "power-2" and k == 1:
            # d/d alpha (c mu^alpha) = c mu^alpha ln mu
            derivatives.append([mp.mpf(0)] * (BASIS - 1) + [mp.mpf(coefficients[0])])
            continue
        unit = [1.0 if j == k else 0.0 for j in range(len(coefficients))]
        if law == "power-2":
            unit[1] = coefficients[1]
        derivatives.append([a - b for a, b in zip(weights(unit), zero if law != "power-2" else weights([0.0, coefficients[1]]))])
    return w, derivatives


def law_derivatives(law, coefficients, rho, cell):
    e_values, u_terms, p_terms, _ = cell
    phi = law_fluxes()
    w, dw = law_weights(law, coefficients)
    flux = sum(a * b for a, b in zip(w, phi))
    a_minus_1 = sum(a * b for a, b in zip(w, e_values)) / flux
    d_u = sum(a * b for a, b in zip(w, u_terms)) / (rho * flux)
    d_rho = sum(a * b for a, b in zip(w, p_terms)) / (rho * flux)
    d_c = [sum(dj * (ej - a_minus_1 * pj) for dj, ej, pj in zip(d, e_values, phi)) / flux for d in dw]
    return 1 + a_minus_1, d_u, d_rho, d_c


def table_segments(radius, intensity):
    """(r0, r1, g(r0), slope) of the linear pieces, and the jumps (s, h = g(s-) - g(s+))."""
    segments, jumps = [], []
    for j in range(len(radius) - 1):
        r0, r1 = mp.mpf(radius[j]), mp.mpf(radius[j + 1])
        if r1 > r0:
            segments.append((r0, r1, mp.mpf(intensity[j]), (mp.mpf(intensity[j + 1]) - intensity[j]) / (r1 - r0)))
        elif intensity[j] != intensity[j + 1]:
            jumps.append((r0, mp.mpf(intensity[j]) - intensity[j + 1]))
    if intensity[-1] != 0:
        jumps.append((mp.mpf(radius[-1]), mp.mpf(intensity[-1])))
    return segments, jumps


def table_derivatives(radius, intensity, u, rho):
    """(A, dA/du, dA/drho) of a table (linear between points, zero outside), and the error estimate."""
    segments, jumps = table_segments(radius, intensity)
    l = u / rho
    flux = sum(2 * mp.pi * (g0 * (r1 ** 2 - r0 ** 2) / 2 + k * ((r1 ** 3 - r0 ** 3) / 3 - r0 * (r1 ** 2 - r0 ** 2) / 2))
               for r0, r1, g0, k in segments)
    sums = [mp.mpf(0)] * 3
    errors = [mp.mpf(0)] * 3
    groups = [slice(0, 1), slice(1, 2), slice(2, 3)]
    for r0, r1, g0, k in segments:
        def f(r, r0=r0, g0=g0, k=k):
            e, c = ring(u, r * rho)
            g = g0 + k * (r - r0)
            return [g * r * e, -k * r * c, -k * r * r * e - 2 * g * r * e]

        for a, b in ([(r0, l), (l, r1)] if r0 < l < r1 else [(r0, r1)]):
            part, error = integrate(f, a, b, groups)
            sums = [s + p for s, p in zip(sums, part)]
            errors = [s + e for s, e in zip(errors, error)]
    for s, h in jumps:
        e, c = ring(u, s * rho)
        sums[1] += h * s * c
        sums[2] += h * s * s * e
    # The errors of the integrals, each against its own size (A - 1 against A).
    scaled = [errors[0] / (abs(sums[0]) + flux)] + [e / max(abs(x), mp.mpf(10) ** -300) for e, x in zip(errors[1:], sums[1:])]
    return 1 + sums[0] / flux, sums[1] / (rho * flux), sums[2] / (rho * flux), max(scaled)


def cell(rho_text, ratio_text):
    """The reference lines of one (rho, u/rho), kept in CACHE (a folder, if set) so that a run
    that stops goes on where it was."""
    cache = os.environ.get("CACHE")
    path = os.path.join(cache, f"{rho_text}_{ratio_text}.txt") if cache else None
    if path and os.path.exists(path):
        return open(path).read().splitlines()
    try:
        lines = compute_cell(rho_text, ratio_text)
    except Exception as error:  # reported by main after every cell has run
        return [f"FAILED {error}"]
    if path:
        with open(path, "w") as handle:
            handle.write("\n".join(lines))
    return lines


def compute_cell(rho_text, ratio_text):
    mp.mp.dps = DIGITS
    rho_double = float(rho_text)
    u_double = float(ratio_text) * rho_double
    rho, u = mp.mpf(rho_double), mp.mpf(u_double)
    lines = []
    data = law_cell(u, rho)
    check_error(data[3], rho_text, ratio_text, "laws")
    for law, coefficients in LAWS:
        limb_bright = law != "linear" or coefficients[0] != 1.0
        if u == rho and limb_bright:
            continue  # infinite derivatives on the rim: tested without a reference
        a, d_u, d_rho, d_c = law_derivatives(law, coefficients, rho, data)
        spec = ",".join(repr(c) for c in coefficients)
        numbers = " ".join(mp.nstr(x, 20) for x in [a, d_u, d_rho] + d_c)
        lines.append(f"law {law} {spec} {rho_double!r} {u_double!r} {numbers}")
    for radius, intensity in TABLES:
        if any(mp.mpf(s) * rho == u for s, _ in table_segments(radius, intensity)[1]):
            continue
        a, d_u, d_rho, error = table_derivatives(radius, intensity, u, rho)
        check_error(error, rho_text, ratio_text, "table")
        spec = ",".join(str(x) for x in radius) + " " + ",".join(str(x) for x in intensity)
        lines.append(f"table {spec} {rho_double!r} {u_double!r} {mp.nstr(a, 20)} {mp.nstr(d_u, 20)} {mp.nstr(d_rho, 20)}")
    print(f"rho {rho_text} u/rho {ratio_text}: error estimate {mp.nstr(data[3], 3)}", file=sys.stderr, flush=True)
    return lines


def check_error(error, rho_text, ratio_text, what):
    # The finer rule's error is about the square of this change (relative to the largest
    # integral of its group): 1e-10 still leaves it far below 1e-16.
    if not error < 10 * ESTIMATE:
        raise RuntimeError(f"{what}: radial rule not converged at rho {rho_text}, u/rho {ratio_text}: {error}")


def agree(what, got, want, tolerance):
    if not abs(got - want) <= tolerance * abs(want):
        raise RuntimeError(f"self-check {what}: {mp.nstr(got, 25)} vs {mp.nstr(want, 25)}")


def check_rings():
    """The ring rule against mpmath.quad at 45 digits, split geometrically towards the peak."""
    for u, radius in [("1", "0.5"), ("1", "1.000000000000001"), ("1e-6", "9.99999999e-7"), ("100", "3"),
                      ("1e-3", "5e-2"), ("30", "99.9999999999")]:
        u, radius = mp.mpf(u), mp.mpf(radius)
        e, c = ring(u, radius)
        with mp.workdps(45):
            def point_lens_excess(theta):
                x = mp.sqrt(u * u + radius * radius + 2 * u * radius * mp.cos(theta))
                return excess(x) / x
            width = abs(u - radius) / max(u, radius)
            points = sorted({mp.mpf(0), mp.pi / 2} | {mp.pi - width * 10 ** j for j in range(12) if width * 10 ** j < 1})
            points.append(mp.pi)
            want_e = 2 * mp.quad(point_lens_excess, points)
            want_c = 2 * mp.quad(lambda t: point_lens_excess(t) * mp.cos(t), points)
        agree(f"ring E at u={u}, R={radius}", e, want_e, mp.mpf(10) ** -20)
        # C cancels to (R/u)^2 of E far from the lens: measured against E.
        agree(f"ring C at u={u}, R={radius}", c + e, want_c + want_e, mp.mpf(10) ** -20)


def check_uniform_disk():
    """The uniform disk (linear law, a = 0) against the arc integrals in lens-centred coordinates."""
    import gen_derivative_references as arcs

    for u, rho in [(mp.mpf("0.05"), mp.mpf("0.1")), (mp.mpf("0.15"), mp.mpf("0.1"))]:
        mine = law_derivatives("linear", [0.0], rho, law_cell(u, rho))[:3]
        with mp.workdps(45):
            theirs = arcs.disk(u, rho)
        for name, got, want in zip(("A", "dA/du", "dA/drho"), mine, theirs):
            agree(f"disk {name} at u={u}, rho={rho}", got, want, mp.mpf(10) ** -15)


def check_values_and_slopes():
    """A against the lens-centred 2-D integrals of the near-field references, and dA/du, dA/drho
    against 4-point central differences of this A."""
    lines = open(os.path.join(HERE, "..", "tests", "data", "numpy_nearfield_references.txt")).read().splitlines()
    table = TABLES[1]
    for rho, u in [(mp.mpf(1), mp.mpf("0.5")), (mp.mpf(100), mp.mpf(150))]:
        data = law_cell(u, rho)
        for law, coefficients in LAWS:
            spec = ",".join(repr(c) for c in coefficients)
            for line in lines:
                if line.startswith(f"law {law} {spec} {float(rho)!r} {float(u)!r} "):
                    agree(f"{law} A at u={u}, rho={rho}", law_derivatives(law, coefficients, rho, data)[0],
                          mp.mpf(line.split()[-1]), mp.mpf(10) ** -16)
    rho, u, h = mp.mpf(1), mp.mpf("0.5"), mp.mpf(10) ** -6
    spec = ",".join(str(x) for x in table[0]) + " " + ",".join(str(x) for x in table[1])
    want = [mp.mpf(x.split()[-1]) for x in lines if x.startswith(f"table {spec} 1.0 0.5 ")][0]
    agree("table A at u=0.5, rho=1", table_derivatives(*table, u, rho)[0], want, mp.mpf(10) ** -16)

    def central(f):
        return (8 * (f(h) - f(-h)) - (f(2 * h) - f(-2 * h))) / (12 * h)

    claret = LAWS[-1]
    exact = law_derivatives(*claret, rho, law_cell(u, rho))
    agree("claret dA/du", exact[1], central(lambda x: law_derivatives(*claret, rho, law_cell(u + x, rho))[0]),
          mp.mpf(10) ** -12)
    agree("claret dA/drho", exact[2],
          central(lambda x: law_derivatives(*claret, rho + x, law_cell(u, rho + x))[0]), mp.mpf(10) ** -12)
    exact = table_derivatives(*table, u, rho)
    agree("table dA/du", exact[1], central(lambda x: table_derivatives(*table, u + x, rho)[0]), mp.mpf(10) ** -12)
    agree("table dA/drho", exact[2], central(lambda x: table_derivatives(*table, u, rho + x)[0]), mp.mpf(10) ** -12)


def run_check(name):
    mp.mp.dps = DIGITS
    globals()[name]()
    print(f"self-check {name}: passed", file=sys.stderr, flush=True)
    return []


def main():
    jobs = int(os.environ.get("JOBS", "2"))
    cells = [(r, q) for r in RHOS for q in RATIOS]
    with multiprocessing.Pool(jobs) as pool:
        if os.environ.get("CHECKS") != "0":  # CHECKS=0 skips them (a few minutes) on a resumed run
            pool.map(run_check, ["check_rings", "check_uniform_disk", "check_values_and_slopes"])
        results = pool.starmap(cell, cells)
    lines = [
        "# Derivatives of limb-darkened and tabulated magnifications, generated by",
        "# tools/gen_profile_derivative_references.py (mpmath, 2-D integral over the star in polar",
        "# coordinates about its centre, differentiated under the integral sign; 30 digits), at the",
        "# exact doubles u and rho.",
        "# law <name> <c1,...> <rho> <u> <A> <dA/du> <dA/drho> <dA/dc1> ...",
        "# table <r1,...> <I1,...> <rho> <u> <A> <dA/du> <dA/drho>   (linear between points, zero outside)",
    ]
    failed = [line for part in results for line in part if line.startswith("FAILED")]
    if failed:
        raise SystemExit("\n".join(failed))
    for part in results:
        lines += part
    with open(OUTPUT, "w") as handle:
        handle.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
