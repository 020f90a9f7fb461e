// The module definition: the export hook (PyModExport_vellomir) with its slot
// array where the headers have it (CPython 3.15 on), the classic multi-phase
// definition (PyInit_vellomir) everywhere, and the exec slot that registers the
// functions and lists them in __all__. These hooks are the only exported symbols
// (the target builds with hidden visibility).

#include <Python.h>

#include <optional>
#include <string>

#include "models/internal_failure.hpp"
#include "module/arguments.hpp"
#include "module/errors.hpp"
#include "module/functions.hpp"
#include "module/interned.hpp"

namespace vellomir {
namespace {

constexpr const char module_name[] = "vellomir";
constexpr const char module_doc[] = "Finite-source magnification of a point-mass gravitational lens.";

// The module's __all__, created (empty) if the module has none yet.
Expected<OwnedRef> all_list(PyObject* module) {
    PyObject* found = nullptr;
    const int status = PyObject_GetOptionalAttr(module, interned_all_attribute(), &found);
    OwnedRef all(found);
    if (status < 0) {
        return fetch_after_failure();
    }
    if (status == 0) {
        all = OwnedRef(PyList_New(0));
        if (!all || PyObject_SetAttr(module, interned_all_attribute(), all.get()) < 0) {
            return fetch_after_failure();
        }
        return all;
    }
    if (!PyList_Check(all.get())) {
        return type_check_error(all.get(), &PyList_Type);
    }
    return all;
}

std::optional<PendingError> register_function(PyObject* module, PyMethodDef& definition) {
    OwnedRef name_object(PyModule_GetNameObject(module));
    if (!name_object) {
        return fetch_after_failure();
    }
    OwnedRef function(PyCMethod_New(&definition, module, name_object.get(), nullptr));
    if (!function) {
        return fetch_after_failure();
    }
    OwnedRef name(PyObject_GetAttr(function.get(), interned_name_attribute()));
    if (!name) {
        return fetch_after_failure();
    }
    if (!PyUnicode_Check(name.get())) {
        return type_check_error(name.get(), &PyUnicode_Type);
    }
    Expected<OwnedRef> all = all_list(module);
    if (!all.ok()) {
        return std::move(all).error();
    }
    if (PyList_Append(all.value().get(), name.get()) < 0) {
        OwnedRef cause = fetch_after_failure().into_exception();
        throw InternalFailure("could not append __name__ to __all__: " + debug_description(cause.get()));
    }
    if (PyObject_SetAttr(module, name.get(), function.get()) < 0) {
        return fetch_after_failure();
    }
    return std::nullopt;
}

int module_exec(PyObject* module) noexcept {
    return run_exec([module]() -> std::optional<PendingError> {
        if (module == nullptr) {
            return fetch_after_failure();
        }
        if (!PyModule_Check(module)) {
            return type_check_error(module, &PyModule_Type);
        }
        for (PyMethodDef& definition : module_functions()) {
            if (std::optional<PendingError> error = register_function(module, definition)) {
                return error;
            }
        }
        return std::nullopt;
    });
}

#ifdef PyMODEXPORT_FUNC
// The ABI record says which interpreter build the module was compiled for: a
// regular interpreter refuses a module that claims to be free-threaded, and vice
// versa. Build and ABI versions are 0: the interpreter checks only the build kind.
PyABIInfo abi_info = {1, 0, PyABIInfo_DEFAULT_FLAGS, 0, 0};

// The export hook's slots; the header's initialisers leave the reserved word and the
// other union members to zero-initialisation.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PySlot module_slots[] = {
    PySlot_FUNC(Py_mod_exec, module_exec),
    PySlot_STATIC_DATA(Py_mod_abi, &abi_info),
    PySlot_DATA(Py_mod_gil, Py_MOD_GIL_NOT_USED),
    PySlot_STATIC_DATA(Py_mod_name, const_cast<char*>(module_name)),
    PySlot_STATIC_DATA(Py_mod_doc, const_cast<char*>(module_doc)),
    PySlot_END,
};
#pragma GCC diagnostic pop
#endif

// The classic definition, for interpreters without the export hook (3.14): the same GIL
// independence, and no ABI record (a free-threaded 3.14 knows the build by the file's ABI
// tag and checks the definition's object header).
PyModuleDef_Slot classic_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    module_name,
    module_doc,
    0,        // no per-module state
    nullptr,  // functions are added by the exec slot
    classic_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace vellomir

#ifdef PyMODEXPORT_FUNC
PyMODEXPORT_FUNC PyModExport_vellomir(void) { return vellomir::module_slots; }
#endif

PyMODINIT_FUNC PyInit_vellomir(void) { return PyModuleDef_Init(&vellomir::module_definition); }
