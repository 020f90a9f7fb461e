#pragma once
// Argument acquisition shared by the entries of vellomir_numpy._core (core_module.cpp,
// derivatives_entry.cpp, centroid_entry.cpp): the arity check, u/rho/out with their lengths, the
// limb-darkening law with its coefficients, a radial table, and the refusal of negative profiles.
// Each function that fails raises the NumPy column of the exception table and returns false,
// std::nullopt or nullptr.

#include <Python.h>

#include <cstddef>
#include <exception>
#include <optional>
#include <span>
#include <string_view>

#include "capi/errors.hpp"
#include "capi/exception_table.hpp"
#include "capi/float64_view.hpp"
#include "models/limb_darkening_law.hpp"

namespace vellomir::numpy_face {

// Raises `failure` with `message`; returns nullptr for the caller to return.
PyObject* raise(Failure failure, std::string_view message);

// TypeError "f() takes N arguments (M given)" unless given == wanted.
bool expect_arguments(const char* function, Py_ssize_t given, Py_ssize_t wanted);

// Acquires u (args[0]), rho (args[1]) and the writable out (args[out_index]).
bool acquire_operands(PyObject* const* args, std::size_t out_index, Float64View& u, Float64View& rho,
                      Float64View& out);

// out holds `width` values per element of u and rho one value or as many as u.
bool lengths_agree(const Float64View& u, const Float64View& rho, const Float64View& out, std::size_t width);

// rho >= 0 (NaN passes); the message shows the offending value's repr when `show_value`.
bool rho_is_non_negative(const Float64View& rho, bool show_value);

// A real number, or the argument-conversion error "<name> must be a real number".
std::optional<double> as_double(PyObject* object, const char* name);

// The law named by args[2] (its UTF-8 name in `name`) and its coefficients from args[3], of the
// length the law takes.
std::optional<LimbDarkeningLaw> acquire_law(PyObject* const* args, const char*& name, Float64View& coefficients);

// The radial table: radius (args[2]) sorted within [0, 1] and intensity (args[3]) of its length.
bool acquire_table(PyObject* const* args, Float64View& radius, Float64View& intensity);

// ValueError for a law whose intensity is negative somewhere on the star (beyond rounding).
bool law_is_non_negative(const char* name, const PowerSumIntensity& sum);

// ValueError for a table with a negative intensity.
bool table_is_non_negative(std::span<const double> radii, std::span<const double> intensities);

// Runs `body` (which returns a new reference or nullptr with an exception set), turning a C++
// exception thrown on the calling thread (allocation, a kernel's failure) into a Python one.
template <class Body>
PyObject* guarded(const Body& body) noexcept {
    try {
        return body();
    } catch (...) {
        return raise_cpp_exception(Face::numpy, std::current_exception());
    }
}

}  // namespace vellomir::numpy_face
