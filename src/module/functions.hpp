#pragma once
// The module's functions: their method definitions, in registration order.

#include <Python.h>

#include <span>

namespace vellomir {

std::span<PyMethodDef> module_functions();

}  // namespace vellomir
