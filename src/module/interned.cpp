// Interned names: one OnceValue each, so that every one is created by one thread.

#include "module/interned.hpp"

#include <string>

#include "models/internal_failure.hpp"
#include "capi/once.hpp"

namespace vellomir {
namespace {

PyObject* intern_once(OnceValue<PyObject*>& cell, const char* text) {
    return cell.get([text] {
        PyObject* name = PyUnicode_InternFromString(text);
        if (name == nullptr) {
            PyErr_Clear();
            throw InternalFailure(std::string("could not intern the name ") + text);
        }
        return name;
    });
}

OnceValue<PyObject*> name_attribute;
OnceValue<PyObject*> all_attribute;
OnceValue<PyObject*> add_note_method;

}  // namespace

PyObject* interned_name_attribute() { return intern_once(name_attribute, "__name__"); }
PyObject* interned_all_attribute() { return intern_once(all_attribute, "__all__"); }
PyObject* interned_add_note() { return intern_once(add_note_method, "add_note"); }

}  // namespace vellomir
