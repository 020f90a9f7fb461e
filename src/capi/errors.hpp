#pragma once
// Errors on their way to the interpreter, and the traps that keep C++ exceptions
// out of it. What each failure becomes in each face is the exception table
// (exception_table.hpp); for vellomir:
//   argument matching           -> TypeError with a fixed text
//   argument conversion         -> the conversion's own exception + note "while processing '<name>'"
//   a model's error message     -> RuntimeError(message)
//   any C++ exception (a broken invariant, InternalFailure, std::bad_alloc, a fault
//   rethrown from a worker)     -> pyo3_runtime.PanicException(message), a BaseException
// A failure while that last conversion runs aborts the process.

#include <Python.h>

#include <cstddef>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "capi/exception_table.hpp"
#include "capi/owned_ref.hpp"

namespace vellomir {

// An error not yet raised. A lazy error (exception type + one constructor argument)
// holding a text argument touches no interpreter object until it is raised, so it
// can be made on any thread; a normalised error is an exception object.
class PendingError {
public:
    // Returns a borrowed reference to the exception type; called only when raised.
    using TypeGetter = PyObject* (*)();

    static PendingError lazy(TypeGetter type, std::string argument) {
        PendingError error;
        error.type_ = type;
        error.text_ = std::move(argument);
        return error;
    }
    // A lazy error whose argument is a Python object (a str, a tuple or an exception).
    static PendingError lazy(TypeGetter type, OwnedRef argument) {
        PendingError error;
        error.type_ = type;
        error.object_ = std::move(argument);
        return error;
    }
    static PendingError normalised(OwnedRef exception) {
        PendingError error;
        error.object_ = std::move(exception);
        return error;
    }
    static PendingError type_error(std::string message);
    // vellomir's exception for `failure` (a row whose type the table names), created when raised.
    static PendingError classic(Failure failure, std::string_view detail);

    bool is_normalised() const noexcept { return type_ == nullptr; }

    // The exception object, created now if the error is lazy.
    OwnedRef into_exception() &&;

    // Sets the interpreter's current exception.
    friend void raise_pending(PendingError error);

private:
    PendingError() = default;

    TypeGetter type_ = nullptr;
    std::string text_;
    OwnedRef object_;  // lazy: the Python argument, if any; normalised: the exception
};

void raise_pending(PendingError error);

// The exception now set, if any. An internal failure that passed through Python
// code and came back (a PanicException) is not an ordinary error: it is reported
// on standard error and resumed by throwing InternalFailure with the same message.
std::optional<PendingError> fetch_pending();

// The exception set by a C-API call that reported failure; SystemError if none is.
PendingError fetch_after_failure();

PendingError panic_to_exception(std::string message);

// Long loops over Python objects (converting a sequence, building a result list) look for
// pending signals once every this many items, so that Ctrl-C stops them promptly.
inline constexpr std::size_t signals_checked_every = std::size_t{1} << 14;

// Runs the handlers of pending signals (PyErr_CheckSignals); the exception one raised, if any.
std::optional<PendingError> pending_signal_error();

// The PanicException type (created on first use, kept for the process's life).
PyObject* panic_exception_type();

// str(object) as UTF-8 text; if that fails, the failure is reported as
// unraisable and the object shown as "<unprintable <type name> object>".
std::string display_text(PyObject* object);

// Called with the failure of str() or repr() of `object` pending: reports it as
// unraisable and returns "<unprintable <type name> object>".
std::string unprintable_text(PyObject* object);

// "{ type: <repr>, value: <repr>, traceback: <repr> }" of an exception object.
std::string debug_description(PyObject* exception);

// A value or a PendingError.
template <class T>
class [[nodiscard]] Expected {
public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(PendingError error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    T& value() & noexcept { return *std::get_if<0>(&state_); }
    T&& value() && noexcept { return std::move(*std::get_if<0>(&state_)); }
    PendingError&& error() && noexcept { return std::move(*std::get_if<1>(&state_)); }

private:
    std::variant<T, PendingError> state_;
};

// Sets the exception `face` raises for `failure` (a row whose type the table names) with `detail`.
// vellomir's (PanicException) may throw InternalFailure if its type cannot be created.
void raise_failure(Face face, Failure failure, std::string_view detail);

// Sets the exception `face` raises for the C++ exception `exception` and returns nullptr.
// If that fails, vellomir aborts the process and vellomir_numpy raises MemoryError.
PyObject* raise_cpp_exception(Face face, std::exception_ptr exception) noexcept;

// Called inside a catch handler: raises the exception in flight as PanicException.
// Never returns by exception; if the conversion itself fails the process aborts.
void raise_current_exception_as_panic() noexcept;

// The entry trampoline of the module's functions: runs `body` (returning
// Expected<OwnedRef>) and returns its object, or NULL with exactly one exception set.
template <class Body>
PyObject* run_entry(Body&& body) noexcept {
    try {
        Expected<OwnedRef> result = body();
        if (result.ok()) {
            return std::move(result).value().release();
        }
        raise_pending(std::move(result).error());
    } catch (...) {
        raise_current_exception_as_panic();
    }
    return nullptr;
}

// The same trap for the module's exec slot: `body` returns an optional error;
// the result is 0 on success, -1 with an exception set otherwise.
template <class Body>
int run_exec(Body&& body) noexcept {
    try {
        std::optional<PendingError> error = body();
        if (!error) {
            return 0;
        }
        raise_pending(std::move(*error));
    } catch (...) {
        raise_current_exception_as_panic();
    }
    return -1;
}

}  // namespace vellomir
