// Argument matching and conversion for the vectorcall entry points.

#include "module/arguments.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "capi/float64_view.hpp"
#include "capi/once.hpp"
#include "models/internal_failure.hpp"
#include "module/interned.hpp"

namespace vellomir {
namespace {

constexpr const char* failed_type_name = "<failed to extract type name>";

PyObject* type_error_type() { return PyExc_TypeError; }

OnceValue<PyObject*> sequence_type_cell;

// collections.abc.Sequence, named in the error for a non-sequence argument.
PyTypeObject* sequence_type() {
    PyObject* type = sequence_type_cell.get([] {
        OwnedRef module_name(PyUnicode_FromString("collections.abc"));
        OwnedRef module(module_name ? PyImport_Import(module_name.get()) : nullptr);
        OwnedRef sequence(module ? PyObject_GetAttrString(module.get(), "Sequence") : nullptr);
        if (!sequence) {
            OwnedRef cause(PyErr_GetRaisedException());
            throw InternalFailure("failed to look up collections.abc.Sequence: " +
                                  (cause ? debug_description(cause.get()) : std::string("no exception set")));
        }
        if (!PyType_Check(sequence.get())) {
            throw InternalFailure("collections.abc.Sequence is not a type");
        }
        return sequence.release();
    });
    return reinterpret_cast<PyTypeObject*>(type);
}

std::string qualified_type_name(PyTypeObject* type) {
    OwnedRef name(PyType_GetQualName(type));
    if (name) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
            return std::string(text, static_cast<std::size_t>(size));
        }
    }
    PyErr_Clear();
    return failed_type_name;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
void push_parameter_list(std::string& out, std::span<const std::string_view> names) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) {
                out += ',';
            }
            out += ' ';
            if (i + 1 == names.size()) {
                out += "and ";
            }
        }
        out += '\'';
        out += names[i];
        out += '\'';
    }
}

std::string message_prefix(const FunctionDescription& function) {
    std::string prefix(function.name);
    prefix += "()";
    return prefix;
}

// A keyword that cannot be read as UTF-8 text (lone surrogates) is shown as str()
// gives it, so this message is built as a Python string.
PendingError unreadable_keyword_error(const FunctionDescription& function, PyObject* keyword) {
    const std::string prefix = message_prefix(function) + " got an unexpected keyword argument '";
    OwnedRef shown(PyObject_Str(keyword));
    if (!shown) {
        shown = OwnedRef(PyUnicode_FromString(unprintable_text(keyword).c_str()));
    }
    OwnedRef message(shown ? PyUnicode_FromFormat("%s%U'", prefix.c_str(), shown.get()) : nullptr);
    if (!message) {
        return fetch_after_failure();
    }
    return PendingError::lazy(type_error_type, std::move(message));
}

// Whether `type` is the attribute `attribute` of the module `module_name`; false when that
// module is not loaded (it is never imported here).
bool is_type_of_loaded_module(PyTypeObject* type, const char* module_name, const char* attribute) {
    PyObject* module = nullptr;
    if (PyDict_GetItemStringRef(PyImport_GetModuleDict(), module_name, &module) <= 0) {
        PyErr_Clear();
        return false;
    }
    OwnedRef owned_module(module);
    PyObject* found = nullptr;
    if (PyObject_GetOptionalAttrString(module, attribute, &found) <= 0) {
        PyErr_Clear();
        return false;
    }
    OwnedRef owned_found(found);
    return found == reinterpret_cast<PyObject*>(type);
}

// Types whose iteration yields exactly their buffer's values, so that copying a native
// float64 buffer gives what the item-by-item conversion would: memoryview, array.array and
// NumPy's ndarray. Only the exact types: a subclass may redefine item access or iteration.
bool items_are_buffer_values(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    return type == &PyMemoryView_Type || is_type_of_loaded_module(type, "numpy", "ndarray") ||
           is_type_of_loaded_module(type, "array", "array");
}

// The fast path of extract_double_sequence: the values of a one-dimensional native float64
// buffer (contiguous or strided, any alignment), or nullopt where the item-by-item path must
// decide (another type, format or shape, no buffer, or no memory for the copy). Like the
// item path it stops for pending signals now and then: copying a large buffer into fresh
// pages can take a while.
std::optional<Expected<std::vector<double>>> copy_float64_buffer(PyObject* object) {
    if (!PyObject_CheckBuffer(object) || !items_are_buffer_values(object)) {
        return std::nullopt;
    }
    Float64View buffer;
    if (!buffer.request(object, Float64View::Layout::strided, false) || !buffer.is_vector() ||
        !buffer.holds_float64(Float64View::NativeMarks::none_or_at)) {
        return std::nullopt;
    }
    const Py_buffer& view = buffer.buffer();
    const auto count = static_cast<std::size_t>(view.shape[0]);
    const Py_ssize_t stride = view.strides[0];
    const auto* first = static_cast<const char*>(view.buf);
    std::vector<double> values;
    try {
        values.reserve(count);  // pages are touched (faulted in) chunk by chunk below
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    const bool contiguous = stride == static_cast<Py_ssize_t>(sizeof(double)) &&
                            reinterpret_cast<std::uintptr_t>(first) % alignof(double) == 0;
    for (std::size_t begin = 0; begin < count; begin += signals_checked_every) {
        const std::size_t end = std::min(count, begin + signals_checked_every);
        if (contiguous) {
            const auto* chunk = reinterpret_cast<const double*>(first) + begin;
            values.insert(values.end(), chunk, chunk + (end - begin));
        } else {
            for (std::size_t i = begin; i < end; ++i) {
                double value;
                std::memcpy(&value, first + static_cast<Py_ssize_t>(i) * stride, sizeof(double));
                values.push_back(value);
            }
        }
        if (end < count) {
            if (std::optional<PendingError> interrupted = pending_signal_error()) {
                return Expected<std::vector<double>>(std::move(*interrupted));
            }
        }
    }
    return Expected<std::vector<double>>(std::move(values));
}

// Item `index` of an exact list or tuple as its own iterator would give it (a new
// reference), or nullptr past the end. A list's length is read again for every item:
// converting an item may run Python code that changes the list.
PyObject* list_or_tuple_item(PyObject* sequence, Py_ssize_t index) {
    if (PyTuple_CheckExact(sequence)) {
        return index < PyTuple_GET_SIZE(sequence) ? Py_NewRef(PyTuple_GET_ITEM(sequence, index)) : nullptr;
    }
#ifdef Py_GIL_DISABLED
    PyObject* item = PyList_GetItemRef(sequence, index);
    if (item == nullptr) {
        PyErr_Clear();  // IndexError: past the end
    }
    return item;
#else
    return index < PyList_GET_SIZE(sequence) ? Py_NewRef(PyList_GET_ITEM(sequence, index)) : nullptr;
#endif
}

}  // namespace

std::optional<PendingError> extract_arguments_fastcall(const FunctionDescription& function, PyObject* const* args,
                                                       Py_ssize_t positional_count, PyObject* keyword_names,
                                                       std::span<PyObject*> slots) {
    const std::size_t parameter_count = function.parameters.size();
    const auto given = static_cast<std::size_t>(positional_count);
    std::copy_n(args, std::min(given, parameter_count), slots.begin());
    if (given > parameter_count) {
        return PendingError::type_error(message_prefix(function) + " takes " + std::to_string(parameter_count) +
                                        " positional arguments but " + std::to_string(given) +
                                        (given == 1 ? " was" : " were") + " given");
    }

    const Py_ssize_t keyword_count = keyword_names == nullptr ? 0 : PyTuple_GET_SIZE(keyword_names);
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
        PyObject* keyword = PyTuple_GET_ITEM(keyword_names, k);
        Py_ssize_t size = 0;
        const char* text = PyUnicode_Check(keyword) ? PyUnicode_AsUTF8AndSize(keyword, &size) : nullptr;
        if (text == nullptr) {
            PyErr_Clear();
            return unreadable_keyword_error(function, keyword);
        }
        const std::string_view name(text, static_cast<std::size_t>(size));
        const auto match = std::find(function.parameters.begin(), function.parameters.end(), name);
        if (match == function.parameters.end()) {
            return PendingError::type_error(message_prefix(function) + " got an unexpected keyword argument '" +
                                            std::string(name) + "'");
        }
        PyObject*& slot = slots[static_cast<std::size_t>(match - function.parameters.begin())];
        if (slot != nullptr) {
            return PendingError::type_error(message_prefix(function) + " got multiple values for argument '" +
                                            std::string(name) + "'");
        }
        slot = args[positional_count + k];
    }

    if (given < parameter_count) {
        std::vector<std::string_view> missing;
        for (std::size_t i = given; i < parameter_count; ++i) {
            if (slots[i] == nullptr) {
                missing.push_back(function.parameters[i]);
            }
        }
        if (!missing.empty()) {
            std::string message = message_prefix(function) + " missing " + std::to_string(missing.size()) +
                                  (missing.size() == 1 ? " required positional argument: "
                                                       : " required positional arguments: ");
            push_parameter_list(message, missing);
            return PendingError::type_error(std::move(message));
        }
    }
    return std::nullopt;
}

Expected<double> extract_double(PyObject* object) {
    if (PyFloat_CheckExact(object)) {
        return PyFloat_AS_DOUBLE(object);
    }
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0) {
        if (std::optional<PendingError> error = fetch_pending()) {
            return std::move(*error);
        }
    }
    return value;
}

Expected<std::vector<double>> extract_double_sequence(PyObject* object) {
    if (PyUnicode_Check(object)) {
        return PendingError::type_error("Can't extract `str` to `Vec`");
    }
    if (!PySequence_Check(object)) {
        return type_check_error(object, sequence_type());
    }
    if (std::optional<Expected<std::vector<double>>> copied = copy_float64_buffer(object)) {
        return std::move(*copied);
    }
    Py_ssize_t capacity = PyObject_Size(object);
    if (capacity < 0) {
        (void)fetch_pending();  // no usable length (e.g. __getitem__ only): start empty
        capacity = 0;
    }
    std::vector<double> values;
    try {
        values.reserve(static_cast<std::size_t>(capacity));
    } catch (const std::length_error&) {
        // A __len__ that claims more items than memory can hold is a guess, not a
        // promise: grow with what the iteration actually yields instead.
    } catch (const std::bad_alloc&) {
    }

    // Exact lists and tuples are read by index, which is what their iterators do, without
    // creating an iterator and calling it for every item.
    const bool by_index = PyList_CheckExact(object) || PyTuple_CheckExact(object);
    OwnedRef iterator(by_index ? nullptr : PyObject_GetIter(object));
    if (!by_index && !iterator) {
        return fetch_after_failure();
    }
    for (Py_ssize_t index = 0;; ++index) {
        PyObject* item = nullptr;
        if (by_index) {
            item = list_or_tuple_item(object, index);
            if (item == nullptr) {
                break;
            }
        } else {
            const int status = PyIter_NextItem(iterator.get(), &item);
            if (status == 0) {
                break;
            }
            if (status < 0) {
                return fetch_after_failure();
            }
        }
        OwnedRef owned_item(item);
        if (values.size() % signals_checked_every == signals_checked_every - 1) {
            if (std::optional<PendingError> interrupted = pending_signal_error()) {
                return std::move(*interrupted);
            }
        }
        Expected<double> value = extract_double(item);
        if (!value.ok()) {
            return std::move(value).error();
        }
        values.push_back(value.value());
    }
    return values;
}

PendingError argument_extraction_error(std::string_view parameter, PendingError error) {
    OwnedRef exception = std::move(error).into_exception();
    if (!exception) {
        return fetch_after_failure();
    }
    PyUnicodeWriter* writer = PyUnicodeWriter_Create(0);
    OwnedRef note;
    if (writer != nullptr) {
        const std::string text = "while processing '" + std::string(parameter) + "'";
        if (PyUnicodeWriter_WriteUTF8(writer, text.data(), static_cast<Py_ssize_t>(text.size())) == 0) {
            note = OwnedRef(PyUnicodeWriter_Finish(writer));
        } else {
            PyUnicodeWriter_Discard(writer);
        }
    }
    if (note) {
        PyObject* call_args[] = {exception.get(), note.get()};
        OwnedRef result(PyObject_VectorcallMethod(interned_add_note(), call_args, 2, nullptr));
        if (!result) {
            PyErr_Clear();  // the exception is still worth raising without its note
        }
    } else {
        PyErr_Clear();
    }
    return PendingError::normalised(std::move(exception));
}

PendingError type_check_error(PyObject* object, PyTypeObject* target) {
    std::string message = "'";
    message += object == Py_None ? std::string("None") : qualified_type_name(Py_TYPE(object));
    message += object == Py_None ? "' is not an instance of '" : "' object is not an instance of '";
    message += qualified_type_name(target);
    message += '\'';
    return PendingError::type_error(std::move(message));
}

}  // namespace vellomir
