// The module definition: the export hook (PyModExport_vellomir) and the classic
// multi-phase definition (PyInit_vellomir), both from capi/module_definition.hpp, and
// the exec slot that registers the functions and lists them in __all__. These two hooks are the
// only exported symbols (the target builds with hidden visibility).

#include <Python.h>

#include <optional>
#include <string>

#include "capi/errors.hpp"
#include "capi/module_definition.hpp"
#include "models/internal_failure.hpp"
#include "module/arguments.hpp"
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

ModuleHooks hooks({module_name, module_doc, nullptr, module_exec});  // functions are added by the exec slot

}  // namespace
}  // namespace vellomir

#ifdef PyMODEXPORT_FUNC
PyMODEXPORT_FUNC PyModExport_vellomir(void) { return vellomir::hooks.export_slots(); }
#endif

PyMODINIT_FUNC PyInit_vellomir(void) { return vellomir::hooks.init(); }
