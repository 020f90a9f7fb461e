#!/usr/bin/env python3
"""Check the Taylor tables of K(m) and E(m) in src/ellip/legendre_tables.hpp.

Every coefficient c_j of the polynomial about a centre c must be the Taylor
coefficient K^(j)(c) / j! (resp. E^(j)(c) / j!) rounded to double. The true
coefficients come from two independent routes at 60 digits:

  * closed form: K = pi/2 2F1(1/2, 1/2; 1; m), E = pi/2 2F1(-1/2, 1/2; 1; m) and
    d^j/dm^j 2F1(a, b; c; m) = (a)_j (b)_j / (c)_j 2F1(a + j, b + j; c + j; m);
  * mpmath.taylor of mpmath.ellipk / mpmath.ellipe (numerical differentiation).

A coefficient passes when it equals the correctly rounded true value; a
difference of one unit in the last place is reported as a warning (rounding of
a value that lies almost half-way), anything larger, or disagreement between the
two routes, as an error. Exit status 0 when no error was found.

Usage: python3 tools/check_taylor_tables.py [-v]
"""

import math
import re
import struct
import sys
from pathlib import Path

import mpmath
from mpmath import mp, mpf

TABLES = Path(__file__).resolve().parent.parent / "src" / "ellip" / "legendre_tables.hpp"


def read_tables(path):
    """Return {'k': [(centre, [coefficients])...], 'e': [...]} parsed from the header."""
    text = path.read_text()
    arrays = {}
    for match in re.finditer(r"inline constexpr std::array<double, (\d+)> ([ke])_(\d+)\{([^}]*)\};", text):
        count, kind, digits, body = int(match.group(1)), match.group(2), match.group(3), match.group(4)
        literals = [s.strip() for s in body.split(",") if s.strip()]
        if len(literals) != count:
            raise SystemExit(f"{kind}_{digits}: declared {count} coefficients, found {len(literals)}")
        arrays[(kind, digits)] = [float(s) for s in literals]
    tables = {"k": [], "e": []}
    for match in re.finditer(r"TaylorPolynomial\{([0-9.]+), ([ke])_(\d+)\},\s*// index (\d+)", text):
        centre, kind, digits, index = match.group(1), match.group(2), match.group(3), int(match.group(4))
        if centre != "0." + digits:
            raise SystemExit(f"index {index} of {kind}: centre {centre} does not match table {kind}_{digits}")
        entry = (centre, arrays[(kind, digits)])
        if entry not in tables[kind]:
            tables[kind].append(entry)
        expected_index_centre = (index // 2) / 10 + 0.05 if index < 16 else (0.825, 0.875)[index - 16]
        if abs(float(centre) - expected_index_centre) > 1e-12:
            raise SystemExit(f"index {index} of {kind} selects centre {centre}, expected {expected_index_centre}")
    return tables


def closed_form(kind, centre, j):
    c = mpf(centre)
    a = mpf(1) / 2 if kind == "k" else -mpf(1) / 2
    b = mpf(1) / 2
    factor = mpmath.rf(a, j) * mpmath.rf(b, j) / (mpmath.rf(1, j) * mpmath.factorial(j))
    return mpmath.pi / 2 * factor * mpmath.hyp2f1(a + j, b + j, 1 + j, c)


def ulp_distance(a, b):
    """Signed distance in units in the last place between two finite doubles of one sign."""
    def ordered(x):
        bits = int.from_bytes(struct.pack(">d", x), "big")
        return bits if bits < 1 << 63 else -(bits - (1 << 63))
    return ordered(a) - ordered(b)


def main():
    verbose = "-v" in sys.argv[1:]
    mp.dps = 60
    tables = read_tables(TABLES)
    errors = warnings = checked = 0
    for kind, function in (("k", mpmath.ellipk), ("e", mpmath.ellipe)):
        if len(tables[kind]) != 10:
            raise SystemExit(f"{kind}: expected 10 polynomials, found {len(tables[kind])}")
        for centre, coefficients in tables[kind]:
            series = mpmath.taylor(function, mpf(centre), len(coefficients) - 1)
            for j, value in enumerate(coefficients):
                truth = closed_form(kind, centre, j)
                if abs(series[j] - truth) > abs(truth) * mpf(10) ** -40:
                    print(f"ERROR {kind.upper()} c={centre} j={j}: closed form {truth} and taylor {series[j]} differ")
                    errors += 1
                distance = ulp_distance(value, float(truth))
                checked += 1
                if distance == 0:
                    if verbose:
                        print(f"ok    {kind.upper()} c={centre} j={j}: {value!r}")
                elif abs(distance) == 1:
                    print(f"WARN  {kind.upper()} c={centre} j={j}: {value!r} is 1 ulp from {mpmath.nstr(truth, 20)}")
                    warnings += 1
                else:
                    print(f"ERROR {kind.upper()} c={centre} j={j}: {value!r} is {distance} ulp from "
                          f"{mpmath.nstr(truth, 20)}")
                    errors += 1
    print(f"{checked} coefficients checked: {errors} errors, {warnings} one-ulp differences")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
