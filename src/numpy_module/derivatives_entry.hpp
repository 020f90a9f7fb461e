#pragma once
// vellomir_numpy._core's entries for magnifications with their derivatives (derivatives_entry.cpp).

#include <Python.h>

namespace vellomir::numpy_face {

// uniform_derivatives(u, rho, out)
PyObject* uniform_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs);
// limb_darkened_derivatives(u, rho, law, coefficients, rtol, out)
PyObject* limb_darkened_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs);
// profile_derivatives(u, rho, radius, intensity, rtol, out)
PyObject* profile_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs);

}  // namespace vellomir::numpy_face
