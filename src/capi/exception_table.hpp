#pragma once
// The exception table of the Python boundary: what each kind of failure becomes in each face
// (vellomir, vellomir_numpy._core). Both faces raise through it; docs/internals.md shows it as
// a table. Plain C++ (no Python.h), so that it is tested on its own.
//
// A row's text is the whole message where the face fixes it, else the prefix of the detail
// (a model's message, a C++ exception's what()); where the face raises what Python raised
// (a conversion's exception, a signal handler's KeyboardInterrupt) the row names no type.

#include <array>
#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

namespace vellomir {

enum class Face { classic, numpy };

enum class Failure {
    argument_mismatch,      // wrong number or names of arguments
    argument_conversion,    // an argument that cannot be read as the parameter's type
    argument_value,         // a value the face refuses before computing (lengths, rho < 0, a law's name)
    model_error,            // a model's failure (the Result's status message)
    signal,                 // a signal handler raised while the call ran (Ctrl-C)
    out_of_memory,          // std::bad_alloc from the calling thread or a worker
    cpp_exception,          // any other std::exception (InternalFailure, a fault from a worker)
    unknown_cpp_exception,  // a thrown object that is no std::exception
};

enum class PythonType {
    as_raised,        // the exception Python code or a signal handler raised
    type_error,
    value_error,
    runtime_error,
    memory_error,     // PyErr_NoMemory (no message)
    panic_exception,  // pyo3_runtime.PanicException, a BaseException
    not_raised,       // the face never meets this failure
};

struct FaceRule {
    PythonType type;
    std::string_view text;  // the message, or its prefix where `with_detail`
    bool with_detail;       // the message is text + detail
};

struct ExceptionRow {
    Failure failure;
    FaceRule classic;
    FaceRule numpy;
};

inline constexpr std::array<ExceptionRow, 8> exception_table{{
    {Failure::argument_mismatch,  //
     {PythonType::type_error, "", true},
     {PythonType::type_error, "", true}},
    {Failure::argument_conversion,  // vellomir adds the note "while processing '<parameter>'"
     {PythonType::as_raised, "", false},
     {PythonType::type_error, "", true}},
    {Failure::argument_value,  //
     {PythonType::not_raised, "", false},
     {PythonType::value_error, "", true}},
    {Failure::model_error,  //
     {PythonType::runtime_error, "", true},
     {PythonType::value_error, "", true}},
    {Failure::signal,  //
     {PythonType::as_raised, "", false},
     {PythonType::as_raised, "", false}},
    {Failure::out_of_memory,  //
     {PythonType::panic_exception, "native code ran out of memory", false},
     {PythonType::memory_error, "", false}},
    {Failure::cpp_exception,  //
     {PythonType::panic_exception, "", true},
     {PythonType::runtime_error, "vellomir_numpy internal failure: ", true}},
    {Failure::unknown_cpp_exception,  //
     {PythonType::panic_exception, "native code panicked with an exception that carries no message", false},
     {PythonType::runtime_error, "vellomir_numpy internal failure", false}},
}};

static_assert([] {
    for (std::size_t i = 0; i < exception_table.size(); ++i) {
        if (exception_table[i].failure != static_cast<Failure>(i)) return false;
    }
    return true;
}(), "the exception table lists the failures in their order");

const FaceRule& exception_rule(Face face, Failure failure) noexcept;

// The message `face` shows for `failure` with `detail`.
std::string exception_message(Face face, Failure failure, std::string_view detail);

// A C++ exception sorted into its row, with its what() as the detail.
struct CppFailure {
    Failure failure;
    std::string detail;
};
CppFailure classify_cpp_exception(std::exception_ptr exception);

}  // namespace vellomir
