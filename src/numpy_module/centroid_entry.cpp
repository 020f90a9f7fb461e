// The centroid shift in vellomir_numpy._core: C-contiguous float64 buffers that the Python front
// (vellomir_numpy._centroid) has converted and checked, the shifts written into `out`:
//   centroid_uniform(u, rho, out)
//   centroid_limb_darkened(u, rho, law, coefficients, rtol, out)
// `rho` holds one value or as many as `u`. Each acquires its arguments, calls one models entry
// (models/centroid_maps.hpp) and returns None (uniform) or (missed, worst) as limb_darkened does,
// or raises the NumPy column of the exception table.

#include "numpy_module/centroid_entry.hpp"

#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "capi/detached.hpp"
#include "capi/errors.hpp"
#include "capi/exception_table.hpp"
#include "capi/float64_view.hpp"
#include "capi/owned_ref.hpp"
#include "models/centroid_maps.hpp"
#include "models/centroid_profile.hpp"
#include "models/limb_darkening_law.hpp"

namespace vellomir::numpy_face {
namespace {

PyObject* raise(Failure failure, std::string_view message) {
    raise_failure(Face::numpy, failure, message);
    return nullptr;
}

bool expect_arguments(const char* function, Py_ssize_t given, Py_ssize_t wanted) {
    if (given == wanted) return true;
    raise(Failure::argument_mismatch, std::string(function) + "() takes " + std::to_string(wanted) + " arguments (" +
                                          std::to_string(given) + " given)");
    return false;
}

// repr(value) of a float, as %R shows it.
std::optional<std::string> float_repr(double value) {
    OwnedRef number(PyFloat_FromDouble(value));
    OwnedRef shown(number ? PyObject_Repr(number.get()) : nullptr);
    const char* text = shown ? PyUnicode_AsUTF8(shown.get()) : nullptr;
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

// u, rho and out with consistent lengths and rho >= 0 (NaN passes), as the magnification's.
bool acquire_separations(PyObject* const* args, std::size_t out_index, Float64View& u, Float64View& rho,
                         Float64View& out) {
    if (!u.acquire_contiguous(args[0], "u", false) || !rho.acquire_contiguous(args[1], "rho", false) ||
        !out.acquire_contiguous(args[out_index], "out", true)) {
        return false;
    }
    for (double value : rho.values()) {
        if (value < 0.0) {
            if (const std::optional<std::string> shown = float_repr(value)) {
                raise(Failure::argument_value, "rho must be non-negative, got " + *shown);
            }
            return false;
        }
    }
    if (out.size() == u.size() && (rho.size() == 1 || rho.size() == u.size())) return true;
    raise(Failure::argument_value, "u, rho and out have inconsistent lengths");
    return false;
}

template <class Body>
PyObject* guarded(const Body& body) noexcept {
    try {
        return body();
    } catch (...) {
        return raise_cpp_exception(Face::numpy, std::current_exception());
    }
}

}  // namespace

PyObject* centroid_uniform(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("centroid_uniform", nargs, 3)) return nullptr;
        Float64View u, rho, out;
        if (!acquire_separations(args, 2, u, rho, out)) return nullptr;
        DetachedPoolLauncher launcher;
        uniform_centroid_shift_map(u.values(), rho.values(), out.writable_values(), launcher);
        return launcher.finish(Face::numpy);
    });
}

PyObject* centroid_limb_darkened(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("centroid_limb_darkened", nargs, 6)) return nullptr;
        Float64View u, rho, out, coefficients;
        if (!acquire_separations(args, 5, u, rho, out)) return nullptr;
        Py_ssize_t length = 0;
        const char* name = PyUnicode_Check(args[2]) ? PyUnicode_AsUTF8AndSize(args[2], &length) : nullptr;
        const std::optional<LimbDarkeningLaw> law =
            name ? limb_darkening_law_named(std::string_view(name, static_cast<std::size_t>(length))) : std::nullopt;
        if (!law) {
            PyErr_Clear();
            return raise(Failure::argument_value, "law is not a known limb-darkening law");
        }
        if (!coefficients.acquire_contiguous(args[3], "coefficients", false)) return nullptr;
        if (coefficients.size() != limb_darkening_coefficient_count(*law)) {
            return raise(Failure::argument_value, "coefficients has the wrong length for the law");
        }
        const double rtol = PyFloat_AsDouble(args[4]);
        if (rtol == -1.0 && PyErr_Occurred()) return nullptr;
        const Outcome<CentroidProfile> profile = CentroidProfile::of_law(*law, coefficients.values());
        if (!profile.ok()) return raise(Failure::model_error, profile.message());
        DetachedPoolLauncher launcher;
        const MissedTolerance missed =
            profile_centroid_shift_map(u.values(), rho.values(), profile.value(), rtol, out.writable_values(), launcher);
        PyObject* done = launcher.finish(Face::numpy);
        if (done == nullptr) return nullptr;
        Py_DECREF(done);
        return Py_BuildValue("(nd)", static_cast<Py_ssize_t>(missed.elements), missed.worst_estimate);
    });
}

}  // namespace vellomir::numpy_face
