#pragma once
// Matching vectorcall arguments to parameters, and converting them to doubles
// and vectors of doubles.

#include <Python.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "capi/errors.hpp"

namespace vellomir {

// The parameters of one function. Every parameter is positional-or-keyword and
// required; the name used in messages is `name` followed by "()".
struct FunctionDescription {
    std::string_view name;
    std::span<const std::string_view> parameters;  // in signature order
};

// Fills `slots` (one per parameter) with borrowed references to the arguments.
// A mismatch is returned as a TypeError with the interpreter's usual wording.
std::optional<PendingError> extract_arguments_fastcall(const FunctionDescription& function, PyObject* const* args,
                                                       Py_ssize_t positional_count, PyObject* keyword_names,
                                                       std::span<PyObject*> slots);

// A float parameter: an exact float is read directly; anything else goes through
// PyFloat_AsDouble (ints, bools, float subclasses, __float__, __index__).
Expected<double> extract_double(PyObject* object);

// A sequence parameter: any object that implements the sequence protocol except
// str; every item is converted with extract_double. A shortcut copies the buffer of a
// one-dimensional native float64 memoryview, array.array or NumPy array (exact types)
// directly; it yields exactly what the item-by-item conversion would.
Expected<std::vector<double>> extract_double_sequence(PyObject* object);

// The same error, with the note "while processing '<parameter>'" added.
PendingError argument_extraction_error(std::string_view parameter, PendingError error);

// TypeError "'<type>' object is not an instance of '<target>'" (or "'None' is not an
// instance of '<target>'"), both names being qualified type names.
PendingError type_check_error(PyObject* object, PyTypeObject* target);

}  // namespace vellomir
