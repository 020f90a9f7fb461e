// Raising and fetching errors, the PanicException type and the panic conversion.

#include "capi/errors.hpp"

#include <cstdlib>
#include <new>

#include "models/internal_failure.hpp"
#include "capi/once.hpp"

namespace vellomir {
namespace {

constexpr const char* panic_exception_doc =
    "Raised when native code called from Python fails an internal check (a panic).\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that\n"
    "handlers for Exception let it pass: it normally propagates all the way up the\n"
    "stack and ends the interpreter.";

OnceValue<PyObject*> panic_type_cell;

PyObject* type_error_type() { return PyExc_TypeError; }
PyObject* value_error_type() { return PyExc_ValueError; }
PyObject* runtime_error_type() { return PyExc_RuntimeError; }
PyObject* system_error_type() { return PyExc_SystemError; }
PyObject* memory_error_type() { return PyExc_MemoryError; }

// The type a row names (panic_exception_type creates its type on first use).
PendingError::TypeGetter type_getter(PythonType type) {
    switch (type) {
        case PythonType::type_error: return type_error_type;
        case PythonType::value_error: return value_error_type;
        case PythonType::runtime_error: return runtime_error_type;
        case PythonType::memory_error: return memory_error_type;
        case PythonType::panic_exception: return panic_exception_type;
        case PythonType::as_raised:
        case PythonType::not_raised: break;
    }
    throw InternalFailure("the exception table names no type to raise for this failure");
}

std::string type_name_text(PyObject* object) {
    OwnedRef name(PyType_GetName(Py_TYPE(object)));
    if (name) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(name.get(), &size)) {
            return std::string(text, static_cast<std::size_t>(size));
        }
    }
    PyErr_Clear();
    return "<failed to extract type name>";
}

std::string repr_text(PyObject* object) {
    OwnedRef repr(PyObject_Repr(object));
    if (repr) {
        Py_ssize_t size = 0;
        if (const char* text = PyUnicode_AsUTF8AndSize(repr.get(), &size)) {
            return std::string(text, static_cast<std::size_t>(size));
        }
    }
    return unprintable_text(object);
}

}  // namespace

PendingError PendingError::type_error(std::string message) { return lazy(type_error_type, std::move(message)); }

PendingError PendingError::classic(Failure failure, std::string_view detail) {
    return lazy(type_getter(exception_rule(Face::classic, failure).type),
                exception_message(Face::classic, failure, detail));
}

void raise_failure(Face face, Failure failure, std::string_view detail) {
    const FaceRule& rule = exception_rule(face, failure);
    if (face == Face::classic) {
        raise_pending(PendingError::classic(failure, detail));
        return;
    }
    if (rule.type == PythonType::memory_error) {
        PyErr_NoMemory();
        return;
    }
    PyObject* type = type_getter(rule.type)();
    // As PyErr_Format's "%s" reads text: UTF-8, undecodable bytes replaced.
    const std::string message = exception_message(face, failure, detail);
    OwnedRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    if (text) PyErr_SetObject(type, text.get());
}

PyObject* raise_cpp_exception(Face face, std::exception_ptr exception) noexcept {
    try {
        const CppFailure failure = classify_cpp_exception(exception);
        raise_failure(face, failure.failure, failure.detail);
    } catch (...) {
        if (face == Face::numpy) return PyErr_NoMemory();
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
    return nullptr;
}

void raise_pending(PendingError error) {
    if (error.is_normalised()) {
        PyErr_SetRaisedException(error.object_.release());
        return;
    }
    PyObject* type = error.type_();
    if (!PyExceptionClass_Check(type)) {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
        return;
    }
    OwnedRef argument = error.object_ ? std::move(error.object_)
                                      : OwnedRef(PyUnicode_FromStringAndSize(
                                            error.text_.data(), static_cast<Py_ssize_t>(error.text_.size())));
    if (!argument) {
        return;  // the interpreter's MemoryError (or decoding error) is set instead
    }
    PyErr_SetObject(type, argument.get());
}

OwnedRef PendingError::into_exception() && {
    if (is_normalised()) {
        return std::move(object_);
    }
    raise_pending(std::move(*this));
    return OwnedRef(PyErr_GetRaisedException());
}

std::optional<PendingError> fetch_pending() {
    OwnedRef exception(PyErr_GetRaisedException());
    if (!exception) {
        return std::nullopt;
    }
    PyObject* const* panic_type = panic_type_cell.peek();
    if (panic_type != nullptr && Py_IS_TYPE(exception.get(), reinterpret_cast<PyTypeObject*>(*panic_type))) {
        // A panic of ours went out through Python code (e.g. a __float__ method) and
        // came back: show where it passed, then let it continue as the same failure.
        std::string message = display_text(exception.get());
        std::fputs("--- vellomir is resuming a panic after fetching a PanicException from Python. ---\n", stderr);
        std::fputs("Python stack trace below:\n", stderr);
        PyErr_SetRaisedException(exception.release());
        PyErr_PrintEx(0);
        throw InternalFailure(message);
    }
    return PendingError::normalised(std::move(exception));
}

PendingError fetch_after_failure() {
    if (std::optional<PendingError> error = fetch_pending()) {
        return std::move(*error);
    }
    return PendingError::lazy(system_error_type, std::string("attempted to fetch exception but none was set"));
}

std::optional<PendingError> pending_signal_error() {
    if (PyErr_CheckSignals() < 0) {
        return fetch_after_failure();
    }
    return std::nullopt;
}

PyObject* panic_exception_type() {
    return panic_type_cell.get([] {
        PyObject* type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", panic_exception_doc,
                                                   PyExc_BaseException, nullptr);
        if (type == nullptr) {
            OwnedRef cause(PyErr_GetRaisedException());
            throw InternalFailure("Failed to initialize new exception type.: " +
                                  (cause ? repr_text(cause.get()) : std::string("no exception set")));
        }
        return type;
    });
}

PendingError panic_to_exception(std::string message) { return PendingError::lazy(panic_exception_type, std::move(message)); }

std::string display_text(PyObject* object) {
    OwnedRef text(PyObject_Str(object));
    if (text) {
        Py_ssize_t size = 0;
        if (const char* utf8 = PyUnicode_AsUTF8AndSize(text.get(), &size)) {
            return std::string(utf8, static_cast<std::size_t>(size));
        }
    }
    return unprintable_text(object);
}

std::string unprintable_text(PyObject* object) {
    PyErr_WriteUnraisable(object);
    return "<unprintable " + type_name_text(object) + " object>";
}

std::string debug_description(PyObject* exception) {
    OwnedRef traceback(PyException_GetTraceback(exception));
    return "{ type: " + repr_text(reinterpret_cast<PyObject*>(Py_TYPE(exception))) + ", value: " + repr_text(exception) +
           ", traceback: " + (traceback ? repr_text(traceback.get()) : std::string("None")) + " }";
}

void raise_current_exception_as_panic() noexcept {
    raise_cpp_exception(Face::classic, std::current_exception());
}

}  // namespace vellomir
