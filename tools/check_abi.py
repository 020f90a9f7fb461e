"""Checks what a built extension (vellomir or vellomir_numpy._core) tells the interpreter about itself.

    python tools/check_abi.py [--free-threaded] path/to/vellomir.*.so
    python tools/check_abi.py [--free-threaded] path/to/vellomir_numpy/_core.*.so

Reads what the module's hooks return without importing the module (a free-threaded
build cannot be imported by a regular interpreter): where the file is for CPython 3.15
or later, the slot array of the export hook, whose ABI record must name the intended
build; for every version, the slots of the classic definition that PyInit_* returns,
whose object header must have the intended build's layout. Also checks that the shared
object exports exactly its entry points. The extension is known by its file name, the
interpreter version by the file's ABI tag (cpython-314t-...). Run it with a regular
interpreter, or one of the same build kind as the file.
"""

import argparse
import ctypes
import os
import re
import struct
import subprocess
import sys
import sysconfig

SLOT_SIZE = 16
PY_MOD_ABI = 109
ABI_GIL = 0x0002
ABI_FREETHREADED = 0x0004
# Per extension: the slot ids and flags of its export hook (exec or methods, ABI record, GIL,
# name, doc), its full name, and whether its classic definition has an exec slot (before the
# GIL slot).
EXPECTED = {
    "vellomir": ([(85, 0), (109, 2), (87, 4), (100, 2), (101, 2)], "vellomir", True),
    "_core": ([(109, 2), (87, 4), (100, 2), (101, 2), (103, 2)], "vellomir_numpy._core", False),
}
# The classic definition's slot ids: 3.15 renumbered them (exec, GIL).
CLASSIC_IDS = {(3, 14): (2, 4)}
CLASSIC_IDS_FROM_3_15 = (85, 87)
PY_MOD_GIL_NOT_USED = 1


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


def read_classic_definition(library, name, free_threaded):
    """The m_name and the slots of the PyModuleDef that PyInit_<name> returns, read with the
    layout of the intended build (None, [] if m_name is not where that layout puts it).

    PyModuleDef: the object header (32 bytes in the free-threaded build, 16 in the regular
    one), m_init, m_index, m_copy, then m_name, m_doc, m_size, m_methods and m_slots. The
    running interpreter's PyModuleDef_Init writes only within the first 32 bytes.
    """
    init = getattr(library, f"PyInit_{name}")
    init.restype = ctypes.c_void_p
    fields = init() + (32 if free_threaded else 16) + 3 * 8
    name_address, _, _, _, address = struct.unpack("<5Q", ctypes.string_at(fields, 5 * 8))
    if name_address == 0:
        return None, []
    slots = []
    while address:
        slot_id, _, value = struct.unpack("<iiQ", ctypes.string_at(address, 16))
        if slot_id == 0:
            break
        slots.append((slot_id, value))
        address += 16
    return ctypes.string_at(name_address).decode(errors="replace"), slots


def exported_functions(path):
    out = subprocess.run(["nm", "-D", "--defined-only", path], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1] for line in out.splitlines() if line.split()[-2:-1] in (["T"], ["t"])}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--free-threaded", action="store_true", help="expect a free-threaded ABI record")
    parser.add_argument("module")
    args = parser.parse_args()

    file_name = os.path.basename(args.module)
    name = file_name.split(".")[0]
    if name not in EXPECTED:
        raise SystemExit(f"check_abi: no expectations for an extension named {name!r}")
    tag = re.search(r"\.cpython-3(\d+)(t?)-", file_name)
    if tag is None:
        raise SystemExit(f"check_abi: {file_name!r} has no CPython ABI tag")
    version = (3, int(tag.group(1)))
    if bool(tag.group(2)) != args.free_threaded:
        raise SystemExit(f"check_abi: the ABI tag of {file_name!r} does not match --free-threaded")
    if sysconfig.get_config_var("Py_GIL_DISABLED") and not args.free_threaded:
        raise SystemExit("check_abi: a free-threaded interpreter cannot check a regular build's definition")
    expected_slots, full_name, classic_exec = EXPECTED[name]
    has_export_hook = version >= (3, 15)
    library = ctypes.CDLL(args.module, mode=ctypes.RTLD_LOCAL | 1)  # 1: RTLD_LAZY
    problems = []
    if has_export_hook:
        slots = read_slots(library, name)
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
    exec_id, gil_id = CLASSIC_IDS.get(version, CLASSIC_IDS_FROM_3_15)
    # Its name is where the intended build's layout puts it only if compiled for that build.
    defined_name, classic = read_classic_definition(library, name, args.free_threaded)
    expected_ids = [exec_id, gil_id] if classic_exec else [gil_id]
    if defined_name != full_name:
        problems.append(f"the classic definition does not have the {'free-threaded' if args.free_threaded else 'regular'}"
                        f" build's layout (its name reads {defined_name!r})")
    elif [i for i, _ in classic] != expected_ids or classic[-1][1] != PY_MOD_GIL_NOT_USED:
        problems.append(f"classic definition slots are {classic}, expected ids {expected_ids} with the GIL not used")
    print(f"classic definition: {defined_name!r}, slot ids {[i for i, _ in classic]}")
    expected_exports = {f"PyInit_{name}"} | ({f"PyModExport_{name}"} if has_export_hook else set())
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
