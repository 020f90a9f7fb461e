"""Checks what a built extension (vellomir or vellomir_numpy._core) tells the interpreter about itself.

    python tools/check_abi.py [--free-threaded] path/to/vellomir.*.so
    python tools/check_abi.py [--free-threaded] path/to/vellomir_numpy/_core.*.so

Reads the slot array returned by the export hook without importing the module
(a free-threaded build cannot be imported by a regular interpreter), checks that
the ABI record names the intended build, and that the shared object exports
exactly its two entry points. The extension is known by its file name.
"""

import argparse
import ctypes
import os
import struct
import subprocess
import sys

SLOT_SIZE = 16
PY_MOD_ABI = 109
ABI_GIL = 0x0002
ABI_FREETHREADED = 0x0004
# Per extension: the slot ids and flags of its export hook (exec or methods, ABI record, GIL,
# name, doc), and its exported functions.
EXPECTED = {
    "vellomir": ([(85, 0), (109, 2), (87, 4), (100, 2), (101, 2)], {"PyInit_vellomir", "PyModExport_vellomir"}),
    "_core": ([(109, 2), (87, 4), (100, 2), (101, 2), (103, 2)], {"PyInit__core", "PyModExport__core"}),
}


def read_slots(library, name):
    export = getattr(library, f"PyModExport_{name}")
    export.restype = ctypes.c_void_p
    address = export()
    slots = []
    while True:
        sl_id, sl_flags, reserved, value = struct.unpack("<HHIQ", ctypes.string_at(address, SLOT_SIZE))
        if sl_id == 0:
            return slots
        if reserved != 0:
            raise SystemExit(f"slot {sl_id}: reserved word is {reserved}, not 0")
        slots.append((sl_id, sl_flags, value))
        address += SLOT_SIZE


def exported_functions(path):
    out = subprocess.run(["nm", "-D", "--defined-only", path], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1] for line in out.splitlines() if line.split()[-2:-1] in (["T"], ["t"])}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--free-threaded", action="store_true", help="expect a free-threaded ABI record")
    parser.add_argument("module")
    args = parser.parse_args()

    name = os.path.basename(args.module).split(".")[0]
    if name not in EXPECTED:
        raise SystemExit(f"check_abi: no expectations for an extension named {name!r}")
    expected_slots, expected_exports = EXPECTED[name]
    slots = read_slots(ctypes.CDLL(args.module, mode=ctypes.RTLD_LOCAL | 1), name)  # 1: RTLD_LAZY
    problems = []
    if [(i, f) for i, f, _ in slots] != expected_slots:
        problems.append(f"slot ids and flags are {[(i, f) for i, f, _ in slots]}, expected {expected_slots}")
    abi = [value for i, _, value in slots if i == PY_MOD_ABI]
    if not abi:
        problems.append("no ABI information slot")
    else:
        major, minor, flags, build_version, abi_version = struct.unpack("<BBHII", ctypes.string_at(abi[0], 12))
        want, unwanted = (ABI_FREETHREADED, ABI_GIL) if args.free_threaded else (ABI_GIL, ABI_FREETHREADED)
        print(f"ABI record: version {major}.{minor}, flags {flags:#06x}, build {build_version:#x}, abi {abi_version:#x}")
        if major != 1 or not flags & want or flags & unwanted:
            problems.append(f"ABI record flags {flags:#06x} do not say {'free-threaded' if args.free_threaded else 'GIL'}")
    exports = exported_functions(args.module)
    if exports != expected_exports:
        problems.append(f"exported functions are {sorted(exports)}, expected {sorted(expected_exports)}")
    for problem in problems:
        print("check_abi:", problem, file=sys.stderr)
    if problems:
        return 1
    print(f"{args.module}: {'free-threaded' if args.free_threaded else 'regular'} build, exports and slots as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
