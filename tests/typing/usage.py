"""Typed usage of the installed packages, checked by `make typecheck` (mypy --strict, pyright).

Everything above the last section runs; the lines marked `type: ignore[...]` are calls the
packages refuse at run time or results given a wrong type, which the checkers must reject
(both report an ignore that silences nothing).
"""

import array

import numpy as np
import numpy.typing as npt

import vellomir
import vellomir_numpy

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

# vellomir_numpy: array-likes in, a float64 array (or a NumPy scalar) out.
Magnification = npt.NDArray[np.float64] | np.float64
times = np.linspace(-40.0, 40.0, 801)
curve: Magnification = vellomir_numpy.light_curve(times, 0.0, 0.02, 20.0, 0.05)
curve = vellomir_numpy.light_curve(times, 0.0, [[0.01], [0.02]], 20.0, 0.05, law="claret", coefficients=(0.5, 0.2, 0.3, -0.2))
curve = vellomir_numpy.point_source([0.1, 1.0])
curve = vellomir_numpy.uniform(grid, rho=0.1)
curve = vellomir_numpy.limb_darkened(0.5, 0.1, "quadratic", [0.4, 0.25], rtol=1e-8)
curve = vellomir_numpy.profile(grid, 0.1, radii, brightness)
laws: dict[str, int] = vellomir_numpy.LAWS

# Rejected: calls refused at run time (TypeError) and results of another type.
vellomir.witt_mao_magnification("0.5", 1.0, 0.1)  # type: ignore[arg-type]
vellomir.witt_mao_magnification([0.5], "1.0", 0.1)  # type: ignore[arg-type]
vellomir.witt_mao_magnification(0.5, 1.0, 0.1)  # type: ignore[arg-type]
vellomir.heyrovsky_magnification(0.5, 0.8, 1.0)  # type: ignore[call-arg]
not_a_list: str = vellomir.witt_mao_magnification(separations, 1.0, 0.1)  # type: ignore[assignment]
vellomir_numpy.uniform(grid)  # type: ignore[call-overload]
vellomir_numpy.limb_darkened(grid, 0.1, "linear", [0.6], 1e-8)  # type: ignore[call-overload]
not_a_list = vellomir_numpy.point_source(grid)  # type: ignore[assignment]
