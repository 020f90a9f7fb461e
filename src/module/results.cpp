// Result lists: allocated at their final length, filled in place.

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

// A list created at full capacity but with no visible items: its size grows with each item
// stored, so that code reached before it is full (a signal handler or a garbage collection,
// at the signal checks, walking gc.get_objects()) never sees an unfilled slot.
OwnedRef new_empty_list_with_capacity(std::size_t capacity) {
    OwnedRef list = checked(PyList_New(static_cast<Py_ssize_t>(capacity)));
    Py_SET_SIZE(list.get(), 0);
    return list;
}

// Stores `item` (a new reference) as the list's next item. The list is new and not yet
// shared with another thread, so storing into it needs no lock.
void append_within_capacity(PyObject* list, PyObject* item) noexcept {
    const Py_ssize_t filled = Py_SIZE(list);
    PyList_SET_ITEM(list, filled, item);
    Py_SET_SIZE(list, filled + 1);
}

}  // namespace

Expected<OwnedRef> new_float_list(std::vector<double> values) {
    OwnedRef list = new_empty_list_with_capacity(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % signals_checked_every == signals_checked_every - 1) {
            if (std::optional<PendingError> interrupted = pending_signal_error()) {
                return std::move(*interrupted);  // dropping the list releases the filled items only
            }
        }
        append_within_capacity(list.get(), checked(PyFloat_FromDouble(values[i])).release());
    }
    return list;
}

Expected<OwnedRef> new_nested_float_list(std::vector<std::vector<double>> rows) {
    OwnedRef list = new_empty_list_with_capacity(rows.size());
    for (std::vector<double>& values : rows) {
        Expected<OwnedRef> row = new_float_list(std::move(values));
        if (!row.ok()) {
            return std::move(row).error();
        }
        append_within_capacity(list.get(), std::move(row).value().release());
    }
    return list;
}

OwnedRef new_float(double value) { return checked(PyFloat_FromDouble(value)); }

}  // namespace vellomir
