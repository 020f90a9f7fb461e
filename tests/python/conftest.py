"""Shared helpers for the pytest suite of the vellomir extension module."""

import ctypes
import os
import struct
import subprocess
import sys
import sysconfig
from pathlib import Path

import pytest

import vellomir

# Registration order, which is also the order of __all__.
FUNCTION_NAMES = [
    "witt_mao_magnification",
    "integrated_witt_mao_magnification",
    "integrated_flux_map_witt_mao_magnification",
    "multi_witt_mao_magnification",
    "heyrovsky_magnification",
    "integrated_heyrovsky_magnification",
    "integrated_flux_map_heyrovsky_magnification",
    "discrete_flux_map_heyrovsky_magnification",
]

SIGNATURES = {
    "witt_mao_magnification": ("l", "re", "rstar"),
    "integrated_witt_mao_magnification": ("l", "re", "rstar"),
    "integrated_flux_map_witt_mao_magnification": ("l", "re", "rstar", "bl", "bf"),
    "multi_witt_mao_magnification": ("l", "re", "rstar"),
    "heyrovsky_magnification": ("l", "r", "re", "rstar"),
    "integrated_heyrovsky_magnification": ("l", "re", "rstar"),
    "integrated_flux_map_heyrovsky_magnification": ("l", "re", "rstar", "bl", "bf"),
    "discrete_flux_map_heyrovsky_magnification": ("l", "re", "rstar", "bl", "bf"),
}

# One valid call per function, as keyword arguments.
VALID_ARGUMENTS = {
    "witt_mao_magnification": dict(l=[0.5, 1.0, 2.0], re=1.0, rstar=0.1),
    "integrated_witt_mao_magnification": dict(l=[0.5, 2.0], re=1.0, rstar=0.1),
    "integrated_flux_map_witt_mao_magnification": dict(l=[0.5, 2.0], re=1.0, rstar=0.1, bl=[0.0, 1.0], bf=[1.0, 0.5]),
    "multi_witt_mao_magnification": dict(l=[0.5, 2.0], re=[1.0, 2.0], rstar=[0.1, 0.2]),
    "heyrovsky_magnification": dict(l=0.5, r=0.7, re=1.0, rstar=1.0),
    "integrated_heyrovsky_magnification": dict(l=[0.5, 2.0], re=1.0, rstar=0.1),
    "integrated_flux_map_heyrovsky_magnification": dict(l=[0.5, 2.0], re=1.0, rstar=0.1, bl=[0.0, 1.0], bf=[1.0, 0.5]),
    "discrete_flux_map_heyrovsky_magnification": dict(l=[0.5, 2.0], re=1.0, rstar=0.1, bl=[0.3, 0.6], bf=[0.5, 0.5]),
}

FLUX_MAP_NAMES = [name for name in FUNCTION_NAMES if "flux_map" in name]

# CPython 3.15 loads extensions through their export hook (PyModExport_*); 3.14 through the
# classic definition that PyInit_* returns. Both hooks exist where the headers have both.
HAS_EXPORT_HOOK = sys.version_info >= (3, 15)
# The module slot ids of the classic definition: 3.15 renumbered them.
PY_MOD_EXEC, PY_MOD_GIL = (85, 87) if HAS_EXPORT_HOOK else (2, 4)


def classic_slots():
    """(id, value) of each slot of the definition that PyInit_vellomir returns."""
    init = ctypes.PyDLL(vellomir.__file__).PyInit_vellomir
    init.restype = ctypes.c_void_p
    # PyModuleDef: the object header (larger in the free-threaded build), m_init, m_index,
    # m_copy, then m_name, m_doc, m_size, m_methods and m_slots.
    header = 32 if sysconfig.get_config_var("Py_GIL_DISABLED") else 16
    address = ctypes.c_void_p.from_address(init() + header + 3 * 8 + 4 * 8).value
    slots = []
    while True:
        slot_id, _, value = struct.unpack("<iiQ", ctypes.string_at(address, 16))
        if slot_id == 0:
            return slots
        slots.append((slot_id, value))
        address += 16


def exec_slot_address():
    """The address of the module's exec function, from whichever hook the interpreter uses."""
    if HAS_EXPORT_HOOK:
        export = ctypes.PyDLL(vellomir.__file__).PyModExport_vellomir
        export.restype = ctypes.c_void_p
        slot_id, _, _, value = struct.unpack("<HHIQ", ctypes.string_at(export(), 16))
        assert slot_id == 85
        return value
    slot_id, value = classic_slots()[0]
    assert slot_id == PY_MOD_EXEC
    return value


def module_environment(**overrides):
    """The environment for a child interpreter that imports the same built module."""
    env = dict(os.environ)
    module_dir = str(Path(vellomir.__file__).resolve().parent)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (module_dir, env.get("PYTHONPATH", "")) if p)
    for key, value in overrides.items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    return env


def run_python(code, *options, timeout=120, **env):
    """Runs `code` in a fresh interpreter (same executable), returning the CompletedProcess."""
    return subprocess.run(
        [sys.executable, *options, "-c", code],
        env=module_environment(**env),
        capture_output=True,
        text=True,
        timeout=timeout,
    )


@pytest.fixture
def panic_exception_type():
    """The PanicException type, obtained the way users meet it: from a failed call."""
    with pytest.raises(BaseException) as caught:
        vellomir.discrete_flux_map_heyrovsky_magnification([1.0], 1.0, 1.0, [0.5], [])
    return type(caught.value)
