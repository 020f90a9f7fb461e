#!/usr/bin/env python3
"""Generate tests/data/ellip_exact_order.txt: K, E and RF to the last bit.

The elliptic routines evaluate every expression in a fixed order and grouping, so that
their results are reproducible to the last bit. This script evaluates the same steps in
IEEE doubles (Python floats: every +, -, *, / and math.sqrt is correctly rounded, and
nothing is fused), independently of the C++ code, and writes the bit patterns that the
C++ routines must reproduce exactly. A regrouped product, a reordered sum or a changed
loop test shows up as a difference of a few units in the last place, which the tests
against high-precision truth (tests/data/ellip_cases.txt) tolerate.

Only paths that need nothing but the basic operations and the square root are covered,
so that the expected values do not depend on the C mathematics library:

  * ellipk: Fukushima's Taylor polynomials (Horner's scheme in t = m + (-c)) and the
    arithmetic-geometric mean for 0.9 <= m < 1 and m <= -0.05;
  * ellipe: the polynomials, the AGM with the weighted sum of squared differences, and
    the imaginary-modulus transformation E(m) = sqrt(1 - m) E(m / (m - 1)) for m < 0;
  * elliprf: the duplication (Carlson 1995) for three distinct non-zero arguments and
    the AGM for one zero argument.

The Taylor coefficients are read from src/ellip/legendre_tables.hpp (their values are
checked separately by tools/check_taylor_tables.py); this table tests the evaluation.

Lines: <function> <inputs> -> <expected>, all doubles as C99 hexadecimal literals.

Usage: python3 tools/gen_exact_order_cases.py            (writes the file)
       python3 tools/gen_exact_order_cases.py --stdout   (prints it)
"""

import math
import random
import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TABLES = ROOT / "src" / "ellip" / "legendre_tables.hpp"
OUTPUT = ROOT / "tests" / "data" / "ellip_exact_order.txt"

PI = 3.141592653589793
AGM_TOLERANCE = 5.995204332975846e-16  # 2.7 eps
CENTRES = [0.05, 0.05, 0.15, 0.15, 0.25, 0.25, 0.35, 0.35, 0.45, 0.45,
           0.55, 0.55, 0.65, 0.65, 0.75, 0.75, 0.825, 0.875]


def read_tables():
    text = TABLES.read_text()
    tables = {"k": {}, "e": {}}
    for match in re.finditer(r"std::array<double, \d+> ([ke])_(\d+)\{([^}]*)\};", text):
        centre = float("0." + match.group(2))
        tables[match.group(1)][centre] = [float(s) for s in match.group(3).split(",") if s.strip()]
    return tables


TAYLOR = read_tables()


def interval_index(x):
    p = 20.0 * x
    if math.isnan(p) or p < -2.0**63 or p >= 2.0**63:
        return None
    return int(p)  # truncation toward zero


def horner(kind, index, x):
    centre = CENTRES[index]
    coefficients = TAYLOR[kind][centre]
    t = x + (-centre)
    s = coefficients[-1]
    for c in reversed(coefficients[:-1]):
        s = s * t + c
    return s


def ellipk(m):
    index = interval_index(m)
    assert index is not None and m < 1.0
    if 0 <= index <= 17:
        return horner("k", index, m)
    a, g = 1.0, math.sqrt(1.0 - m)
    for _ in range(10):
        if abs(a - g) < AGM_TOLERANCE * abs(a):
            break
        a, g = (a + g) * 0.5, math.sqrt(a * g)
    return PI / (a + g)


def ellipe(m):
    s, m_prime = 1.0, m
    if m < 0.0:
        s = math.sqrt(1.0 - m)
        m_prime = m / (m - 1.0)
    index = interval_index(m_prime)
    assert index is not None and m_prime < 1.0
    if 0 <= index <= 17:
        return s * horner("e", index, m_prime)
    x0, y0 = 1.0, math.sqrt(1.0 - m_prime)
    a, b, total, w = x0, y0, 0.0, 0.25
    while abs(a - b) >= AGM_TOLERANCE * abs(a):
        t = math.sqrt(b * a)
        a = (a + b) * 0.5
        b = t
        w = w + w
        total = total + (w * (a - b)) * (a - b)
    return s * ((x0 + y0) * (x0 + y0) * 0.25 - total) * (PI / (a + b))


def elliprf(x, y, z):
    assert len({x, y, z}) == 3 and min(x, y, z) >= 0.0
    if x == 0.0:
        x, z = z, x
    elif y == 0.0:
        y, z = z, y
    if z == 0.0:
        a, g = math.sqrt(x), math.sqrt(y)
        for _ in range(11):
            if not abs(a - g) >= AGM_TOLERANCE * abs(a):
                break
            a, g = (a + g) * 0.5, math.sqrt(a * g)
        return PI / (a + g)
    a0 = (x + y + z) / 3.0
    q = 78.8959690786408 * max(abs(a0), abs(a0 - x), abs(a0 - y), abs(a0 - z))
    a, f, xn, yn, zn = a0, 1.0, x, y, z
    for _ in range(11):
        lam = math.sqrt(xn) * math.sqrt(yn) + math.sqrt(xn) * math.sqrt(zn) + math.sqrt(yn) * math.sqrt(zn)
        a = (a + lam) * 0.25
        xn, yn, zn = (xn + lam) * 0.25, (yn + lam) * 0.25, (zn + lam) * 0.25
        q = q * 0.25
        f = f * 4.0
        if abs(a) > q:
            break
    else:
        raise AssertionError("no convergence")
    dx = (a0 - x) / (f * a)
    dy = (a0 - y) / (f * a)
    dz = -dx - dy
    e2 = dx * dy - dz * dz
    e3 = dx * dy * dz
    series = (1.0 + e3 * (1.0 / 14.0 + 3.0 * e3 / 104.0)
              + e2 * (-1.0 / 10.0 + e2 / 24.0 - 3.0 * e3 / 44.0 - 5.0 * (e2 * e2) / 208.0 + e2 * e3 / 16.0))
    return series / math.sqrt(a)


def parameters(rng):
    """Parameters m over every Taylor interval and both AGM ranges, ends included."""
    ms = [0.0, 0.05, 0.1, 0.8, 0.85, 0.8999, 0.9, 0.8999999999999999, -0.049999999999999996,
          -0.05, -1.0, -9.0, -1e3, -1e15, 1.0 - 2.0**-52, 0.999999]
    for index in range(18):
        ms += [rng.uniform(index / 20.0, (index + 1) / 20.0) for _ in range(20)]
    ms += [rng.uniform(-0.05, 0.0) for _ in range(20)]
    ms += [rng.uniform(0.9, 1.0) for _ in range(20)]
    ms += [1.0 - 10.0 ** rng.uniform(-15.0, -2.0) for _ in range(20)]
    ms += [-(10.0 ** rng.uniform(-1.3, 15.0)) for _ in range(20)]
    return ms


def rf_arguments(rng):
    args = [(1.0, 2.0, 0.0), (0.0, 1.0, 2.0), (2.0, 3.0, 4.0), (1e-80, 1.0, 1e80), (0.5, 0.0, 3.0)]
    for _ in range(80):
        args.append(tuple(10.0 ** rng.uniform(-3.0, 3.0) for _ in range(3)))
    for _ in range(8):
        x, y = (10.0 ** rng.uniform(-3.0, 3.0) for _ in range(2))
        args.append((x, y, 0.0) if rng.random() < 0.5 else (0.0, x, y))
    return args


def main():
    rng = random.Random(20240611)
    lines = [
        "-- K, E and RF evaluated in the routines' fixed order in IEEE doubles: bit-exact targets.",
        "-- Generated by tools/gen_exact_order_cases.py; do not edit by hand.",
        "-- <function> <inputs> -> <expected>, hexadecimal doubles.",
    ]
    for m in parameters(rng):
        lines.append(f"ellipk {m.hex()} -> {ellipk(m).hex()}")
        lines.append(f"ellipe {m.hex()} -> {ellipe(m).hex()}")
    for x, y, z in rf_arguments(rng):
        lines.append(f"elliprf {x.hex()} {y.hex()} {z.hex()} -> {elliprf(x, y, z).hex()}")
    text = "\n".join(lines) + "\n"
    if "--stdout" in sys.argv[1:]:
        sys.stdout.write(text)
    else:
        OUTPUT.write_text(text)


if __name__ == "__main__":
    main()
