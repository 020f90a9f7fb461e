"""Shared helpers for the pytest suite of the vellomir extension module."""

import os
import subprocess
import sys
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
