"""Typed usage of the installed packages, checked by `make typecheck` (mypy --strict, pyright).

Every call here is valid at run time; the lines marked `type: ignore[...]` are errors at run
time too, and the checkers must reject them (both report an ignore that silences nothing).
"""

import array

import numpy as np
import numpy.typing as npt

import vellomir

separations = [0.5, 1.0, 2.0]
grid: npt.NDArray[np.float64] = np.linspace(0.1, 3.0, 30)

# Every kind of sequence the module reads: list, tuple, range, array.array, NumPy arrays.
uniform: list[float] = vellomir.witt_mao_magnification(separations, 1.0, 0.1)
uniform = vellomir.witt_mao_magnification((0.5, 1.0), re=1, rstar=np.float64(0.1))
uniform = vellomir.witt_mao_magnification(range(1, 4), 1.0, 0.1)
uniform = vellomir.witt_mao_magnification(array.array("d", separations), 1.0, 0.1)
uniform = vellomir.witt_mao_magnification(grid, np.float32(1.0), 0.1)
uniform = vellomir.integrated_witt_mao_magnification(np.arange(1, 5), 1.0, 0.1)
limb: list[float] = vellomir.integrated_heyrovsky_magnification(grid, 1.0, 0.1)
rows: list[list[float]] = vellomir.multi_witt_mao_magnification(grid, [1.0, 2.0], np.array([0.1, 0.2]))
ring: float = vellomir.heyrovsky_magnification(0.5, 0.8, 1.0, 1.0)
radii, brightness = np.linspace(0.0, 1.0, 5), array.array("d", [1.0, 0.9, 0.8, 0.6, 0.3])
table: list[float] = vellomir.integrated_flux_map_heyrovsky_magnification(grid, 1.0, 0.1, radii, brightness)
table = vellomir.integrated_flux_map_witt_mao_magnification(grid, 1.0, 0.1, bl=radii, bf=brightness)
table = vellomir.discrete_flux_map_heyrovsky_magnification(grid, 1.0, 0.1, [0.3, 0.6], (0.5, 0.5))
names: list[str] = vellomir.__all__

# Rejected by the module at run time, rejected by the checkers.
vellomir.witt_mao_magnification("0.5", 1.0, 0.1)  # type: ignore[arg-type]
vellomir.witt_mao_magnification([0.5], "1.0", 0.1)  # type: ignore[arg-type]
vellomir.witt_mao_magnification(0.5, 1.0, 0.1)  # type: ignore[arg-type]
vellomir.heyrovsky_magnification(0.5, 0.8, 1.0)  # type: ignore[call-arg]
not_a_list: str = vellomir.witt_mao_magnification(separations, 1.0, 0.1)  # type: ignore[assignment]
