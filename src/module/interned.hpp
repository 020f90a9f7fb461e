#pragma once
// Interned attribute and method names, created on first use and kept for the
// life of the process. Each returns a borrowed reference.

#include <Python.h>

namespace vellomir {

PyObject* interned_name_attribute();  // "__name__"
PyObject* interned_all_attribute();   // "__all__"
PyObject* interned_add_note();        // "add_note"

}  // namespace vellomir
