#pragma once
// The hooks through which an interpreter loads an extension, built from one description: the
// export hook's slot array (PyModExport_<name>, with the ABI record; CPython 3.15 on, where the
// headers define PyMODEXPORT_FUNC) and the classic multi-phase definition (PyInit_<name>, for
// interpreters without the export hook). Both extensions declare that they do not need the GIL.

#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>

namespace vellomir {

struct ModuleDescription {
    const char* name;
    const char* doc;
    PyMethodDef* methods;      // ends with a zeroed entry; nullptr where `exec` adds the functions
    int (*exec)(PyObject*);    // the exec slot, or nullptr
};

class ModuleHooks {
public:
    explicit ModuleHooks(const ModuleDescription& module) noexcept
        : definition_{PyModuleDef_HEAD_INIT, module.name, module.doc, 0, module.methods, classic_slots_.data(),
                      nullptr, nullptr, nullptr} {
        std::size_t classic_slot = 0;
        if (module.exec != nullptr) {
            classic_slots_[classic_slot++] = {Py_mod_exec, reinterpret_cast<void*>(module.exec)};
        }
        classic_slots_[classic_slot] = {Py_mod_gil, Py_MOD_GIL_NOT_USED};
#ifdef PyMODEXPORT_FUNC
        std::size_t slot = 0;
        if (module.exec != nullptr) {
            export_slots_[slot].sl_id = Py_mod_exec;
            export_slots_[slot++].sl_func = reinterpret_cast<_Py_funcptr_t>(module.exec);
        }
        add_static(slot, Py_mod_abi, &abi_info_);
        export_slots_[slot].sl_id = Py_mod_gil;
        export_slots_[slot].sl_flags = PySlot_INTPTR;
        export_slots_[slot++].sl_ptr = Py_MOD_GIL_NOT_USED;
        add_static(slot, Py_mod_name, const_cast<char*>(module.name));
        add_static(slot, Py_mod_doc, const_cast<char*>(module.doc));
        if (module.methods != nullptr) add_static(slot, Py_mod_methods, module.methods);
#endif
    }
    ModuleHooks(const ModuleHooks&) = delete;
    ModuleHooks& operator=(const ModuleHooks&) = delete;

#ifdef PyMODEXPORT_FUNC
    PySlot* export_slots() noexcept { return export_slots_.data(); }
#endif
    PyObject* init() noexcept { return PyModuleDef_Init(&definition_); }

private:
#ifdef PyMODEXPORT_FUNC
    void add_static(std::size_t& slot, std::uint16_t id, void* value) noexcept {
        export_slots_[slot].sl_id = id;
        export_slots_[slot].sl_flags = PySlot_STATIC;
        export_slots_[slot++].sl_ptr = value;
    }

    // Says which interpreter build the extension was compiled for: a regular interpreter
    // refuses one that claims to be free-threaded, and vice versa. Build and ABI versions are
    // 0: the interpreter checks only the build kind.
    PyABIInfo abi_info_ = {1, 0, PyABIInfo_DEFAULT_FLAGS, 0, 0};
    std::array<PySlot, 7> export_slots_{};               // the rest zeroed: PySlot_END
#endif
    // Without the export hook (3.14) no ABI record: a free-threaded 3.14 knows the build by the
    // file's ABI tag and checks the definition's object header.
    std::array<PyModuleDef_Slot, 3> classic_slots_{};    // the rest zeroed: {0, nullptr}
    PyModuleDef definition_;
};

}  // namespace vellomir
