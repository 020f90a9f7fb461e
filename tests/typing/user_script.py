"""A user's script as written against vellomir_numpy: arrays stay arrays, scalars float64.

Checked by `make typecheck` (mypy --strict and pyright, strict); the lines marked
`type: ignore[...]` are rejected by both, as they must be.
"""

import numpy as np
import numpy.typing as npt

import vellomir_numpy as vn

t: npt.NDArray[np.float64] = np.linspace(-40.0, 40.0, 801)
A: npt.NDArray[np.float64] = vn.light_curve(t, 0.0, 0.05, 20.0, 0.01, law="quadratic", coefficients=[0.4, 0.25])
A_point: npt.NDArray[np.float64] = vn.light_curve(list(t), t0=1.0, u0=0.05, tE=20.0, rho=0.0)
peak: np.float64 = vn.uniform(t, 0.01)[3]
one: np.float64 = vn.light_curve(0.0, 0.0, 0.05, 20.0, 0.01)
one = vn.point_source(1.0)
one = vn.uniform(np.float32(0.5), 0)
one = vn.limb_darkened(0.05, 0.01, "power-2", (0.6, 0.5), rtol=1e-8)
one = vn.profile(0.05, 0.01, [0.0, 1.0], [1.0, 0.4])
grid: npt.NDArray[np.float64] = vn.point_source([0.1, 1.0]) * 2.0
grid = vn.limb_darkened(t, [[0.01], [0.02]], "claret", [0.5, 0.2, 0.3, -0.2])
flux: float = float(vn.light_curve(0.0, 0.0, 0.05, 20.0, 0.01)) * 2.0
law: vn.Law = "square-root"
grid = vn.limb_darkened(t, 0.01, law, [0.3, 0.2])
version: str = vn.__version__

# Rejected.
vn.limb_darkened(t, 0.01, "cubic", [0.1])  # type: ignore[call-overload]
vn.light_curve(t, 0.0, 0.05, 20.0, 0.01, law="quadratic-ish")  # type: ignore[call-overload]
not_scalar: np.float64 = vn.light_curve(t, 0.0, 0.05, 20.0, 0.01)  # type: ignore[assignment]
not_array: npt.NDArray[np.float64] = vn.uniform(0.5, 0.01)  # type: ignore[assignment]
vn.limb_darkened(t, 0.01, "linear", [0.6], rtol="1e-8")  # type: ignore[call-overload]
