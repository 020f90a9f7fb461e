// Result lists: built at their final length, no appends.

#include "module/results.hpp"

#include <utility>

#include "models/internal_failure.hpp"

namespace vellomir {
namespace {

// Keeps the interpreter's own error visible, then aborts the call as an internal failure.
[[noreturn]] void null_object_failure() {
    if (PyErr_Occurred() != nullptr) {
        PyErr_WriteUnraisable(nullptr);
    }
    throw InternalFailure("PyObject pointer is null");
}

OwnedRef checked(PyObject* object) {
    if (object == nullptr) {
        null_object_failure();
    }
    return OwnedRef(object);
}

}  // namespace

Expected<OwnedRef> new_float_list(std::vector<double> values) {
    OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(values.size())));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % signals_checked_every == signals_checked_every - 1) {
            if (std::optional<PendingError> interrupted = pending_signal_error()) {
                // Drop only the filled items: the slots beyond them were never touched, and
                // visiting them page by page would hold up the interrupt.
                Py_SET_SIZE(list.get(), static_cast<Py_ssize_t>(i));
                return std::move(*interrupted);
            }
        }
        // The list is new and not yet shared, so storing into it needs no lock.
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), checked(PyFloat_FromDouble(values[i])).release());
    }
    return list;
}

Expected<OwnedRef> new_nested_float_list(std::vector<std::vector<double>> rows) {
    OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(rows.size())));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        Expected<OwnedRef> row = new_float_list(std::move(rows[i]));
        if (!row.ok()) {
            return std::move(row).error();
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), std::move(row).value().release());
    }
    return list;
}

OwnedRef new_float(double value) { return checked(PyFloat_FromDouble(value)); }

}  // namespace vellomir
