#pragma once
// The centroid-shift entries of vellomir_numpy._core (centroid_entry.cpp), registered in the
// module's method table (core_module.cpp).

#include <Python.h>

namespace vellomir::numpy_face {

// centroid_uniform(u, rho, out)
PyObject* centroid_uniform(PyObject*, PyObject* const* args, Py_ssize_t nargs);
// centroid_limb_darkened(u, rho, law, coefficients, rtol, out)
PyObject* centroid_limb_darkened(PyObject*, PyObject* const* args, Py_ssize_t nargs);

}  // namespace vellomir::numpy_face
