// vellomir_numpy._core: the private extension behind the package vellomir_numpy. Its functions
// take C-contiguous float64 buffers that the Python front has already converted and checked,
// and write the magnifications into a float64 buffer of the broadcast length:
//   uniform(u, rho, out)
//   limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)
//   profile(u, rho, radius, intensity, rtol, ring_only, out)
// `rho` holds one value or as many as `u`; `ring_only` forces the ring integral everywhere
// (for comparing the two routes). Each function acquires its arguments, calls one models
// entry (models/magnification_maps.hpp) and returns None or raises; what it raises is the
// NumPy column of the exception table (capi/exception_table.hpp).

#include <Python.h>

#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "capi/detached.hpp"
#include "capi/errors.hpp"
#include "capi/exception_table.hpp"
#include "capi/float64_view.hpp"
#include "capi/module_definition.hpp"
#include "capi/owned_ref.hpp"
#include "models/limb_darkening_law.hpp"
#include "models/magnification_maps.hpp"
#include "models/radial_profile.hpp"
#include "numpy_module/centroid_entry.hpp"

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

// Acquires u, rho and out and checks their lengths and rho >= 0 (NaN passes).
bool acquire_separations(PyObject* const* args, std::size_t out_index, Float64View& u, Float64View& rho,
                         Float64View& out) {
    if (!u.acquire_contiguous(args[0], "u", false) || !rho.acquire_contiguous(args[1], "rho", false) ||
        !out.acquire_contiguous(args[out_index], "out", true)) {
        return false;
    }
    if (out.size() != u.size() || (rho.size() != 1 && rho.size() != u.size())) {
        raise(Failure::argument_value, "u, rho and out have inconsistent lengths");
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
    return true;
}

std::optional<double> as_double(PyObject* object, const char* name) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        raise(Failure::argument_conversion, std::string(name) + " must be a real number");
        return std::nullopt;
    }
    return value;
}

// rtol and ring_only, arguments 4 and 5 of limb_darkened and profile.
bool acquire_tolerance(PyObject* const* args, double& rtol, bool& ring_only) {
    const std::optional<double> tolerance = as_double(args[4], "rtol");
    if (!tolerance) return false;
    const int truth = PyObject_IsTrue(args[5]);
    if (truth < 0) return false;
    rtol = *tolerance;
    ring_only = truth != 0;
    return true;
}

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

PyObject* map_profile(const Outcome<RadialProfile>& profile, double rtol, bool ring_only, Float64View& u,
                      Float64View& rho, Float64View& out) {
    if (!profile.ok()) return raise(Failure::model_error, profile.message());
    DetachedPoolLauncher launcher;
    profile_magnification_map(u.values(), rho.values(), profile.value(), rtol, ring_only, out.writable_values(),
                              launcher);
    return launcher.finish(Face::numpy);
}

PyObject* uniform(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("uniform", nargs, 3)) return nullptr;
        Float64View u, rho, out;
        if (!acquire_separations(args, 2, u, rho, out)) return nullptr;
        DetachedPoolLauncher launcher;
        uniform_disk_magnification_map(u.values(), rho.values(), out.writable_values(), launcher);
        return launcher.finish(Face::numpy);
    });
}

PyObject* limb_darkened(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("limb_darkened", nargs, 7)) return nullptr;
        Float64View u, rho, out, coefficients;
        if (!acquire_separations(args, 6, u, rho, out)) return nullptr;
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
        double rtol = 0.0;
        bool ring_only = false;
        if (!acquire_tolerance(args, rtol, ring_only)) return nullptr;
        return map_profile(RadialProfile::of_law(*law, coefficients.values()), rtol, ring_only, u, rho, out);
    });
}

PyObject* profile(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("profile", nargs, 7)) return nullptr;
        Float64View u, rho, out, radius, intensity;
        if (!acquire_separations(args, 6, u, rho, out)) return nullptr;
        if (!radius.acquire_contiguous(args[2], "radius", false) ||
            !intensity.acquire_contiguous(args[3], "intensity", false)) {
            return nullptr;
        }
        if (radius.size() != intensity.size()) {
            return raise(Failure::argument_value, "radius and intensity have different lengths");
        }
        const std::span<const double> radii = radius.values();
        for (std::size_t j = 0; j < radii.size(); ++j) {
            if (!(0.0 <= radii[j] && radii[j] <= 1.0) || (j > 0 && !(radii[j - 1] <= radii[j]))) {
                return raise(Failure::argument_value, "radius must be sorted and within [0, 1]");
            }
        }
        double rtol = 0.0;
        bool ring_only = false;
        if (!acquire_tolerance(args, rtol, ring_only)) return nullptr;
        return map_profile(RadialProfile::of_table(radii, intensity.values()), rtol, ring_only, u, rho, out);
    });
}

PyMethodDef core_functions[] = {
    {"uniform", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(uniform)), METH_FASTCALL,
     "uniform(u, rho, out): Witt & Mao uniform-disk magnification into out."},
    {"limb_darkened", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(limb_darkened)), METH_FASTCALL,
     "limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)."},
    {"profile", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(profile)), METH_FASTCALL,
     "profile(u, rho, radius, intensity, rtol, ring_only, out)."},
    {"centroid_uniform", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(centroid_uniform)), METH_FASTCALL,
     "centroid_uniform(u, rho, out): uniform-disk centroid shift into out."},
    {"centroid_limb_darkened", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(centroid_limb_darkened)),
     METH_FASTCALL, "centroid_limb_darkened(u, rho, law, coefficients, rtol, out)."},
    {nullptr, nullptr, 0, nullptr},
};

ModuleHooks hooks({"vellomir_numpy._core", "Private kernels of vellomir_numpy.", core_functions, nullptr});

}  // namespace
}  // namespace vellomir::numpy_face

PyMODEXPORT_FUNC PyModExport__core(void) { return vellomir::numpy_face::hooks.export_slots(); }

PyMODINIT_FUNC PyInit__core(void) { return vellomir::numpy_face::hooks.init(); }
