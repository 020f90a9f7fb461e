#pragma once
// Turning result vectors into new Python lists of floats.

#include <Python.h>

#include <vector>

#include "capi/errors.hpp"
#include "capi/owned_ref.hpp"

namespace vellomir {

// A list allocated at its final length and filled in place; its visible size is the
// number of items filled so far, so no Python code ever sees an unfilled slot. A NULL from
// the interpreter is an internal failure (InternalFailure "PyObject pointer is null")
// after the interpreter's own error, if any, has been reported as unraisable. Long lists
// stop for pending signals now and then (signals_checked_every): an exception that a
// signal handler raises (KeyboardInterrupt) drops the list and is returned instead.
Expected<OwnedRef> new_float_list(std::vector<double> values);

// A list of such lists, in row order; each row is released once converted.
Expected<OwnedRef> new_nested_float_list(std::vector<std::vector<double>> rows);

// One float (the same failure rule).
OwnedRef new_float(double value);

}  // namespace vellomir
