// vellomir_numpy._core: the private extension behind the package vellomir_numpy. Its functions
// take C-contiguous float64 buffers that the Python front has already converted and checked,
// and write the magnifications into a float64 buffer of the broadcast length:
//   uniform(u, rho, out)
//   limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)
//   profile(u, rho, radius, intensity, rtol, ring_only, out)
// `rho` holds one value or as many as `u`; `ring_only` forces the sub-disk integral everywhere
// (for comparing the two routes). Each function acquires its arguments, calls one models
// entry (models/magnification_maps.hpp) and returns None (uniform) or (missed, worst): how many
// elements the adaptive integral could not bring within rtol and the largest relative error
// estimate among them (the front warns); or raises; what it raises is the NumPy column of the
// exception table (capi/exception_table.hpp).

#include <Python.h>

#include <cmath>
#include <cstdio>
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
#include "numpy_module/derivatives_entry.hpp"
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
    const MissedTolerance missed = profile_magnification_map(u.values(), rho.values(), profile.value(), rtol,
                                                             ring_only, out.writable_values(), launcher);
    OwnedRef done(launcher.finish(Face::numpy));
    if (!done) return nullptr;
    return Py_BuildValue("(nd)", static_cast<Py_ssize_t>(missed.elements), missed.worst_estimate);
}

// ValueError for a law whose intensity is negative somewhere on the star (beyond rounding).
bool law_is_non_negative(const char* name, const PowerSumIntensity& sum) {
    const IntensityMinimum lowest = power_sum_minimum(sum);
    if (!(lowest.intensity < -1e-14)) return true;
    char text[320];
    std::snprintf(text, sizeof text,
                  "the %s law with these coefficients has a negative intensity, I = %.6g at mu = %.6g "
                  "(r = %.6g stellar radii); only non-negative profiles are accepted",
                  name, lowest.intensity, lowest.mu, std::sqrt(1.0 - lowest.mu * lowest.mu));
    raise(Failure::argument_value, text);
    return false;
}

// ValueError for a table with a negative intensity.
bool table_is_non_negative(std::span<const double> radii, std::span<const double> intensities) {
    for (std::size_t j = 0; j < intensities.size(); ++j) {
        if (intensities[j] < 0.0) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "intensity is negative at radius %.6g (intensity[%zu] = %.6g); only non-negative "
                          "profiles are accepted",
                          radii[j], j, intensities[j]);
            raise(Failure::argument_value, text);
            return false;
        }
    }
    return true;
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
        const Outcome<RadialProfile> shape = RadialProfile::of_law(*law, coefficients.values());
        // A profile with no positive flux is reported as such first.
        if (shape.ok() && !law_is_non_negative(name, shape.value().law())) return nullptr;
        return map_profile(shape, rtol, ring_only, u, rho, out);
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
        const Outcome<RadialProfile> shape = RadialProfile::of_table(radii, intensity.values());
        if (shape.ok() && !table_is_non_negative(radii, intensity.values())) return nullptr;
        return map_profile(shape, rtol, ring_only, u, rho, out);
    });
}

PyMethodDef core_functions[] = {
    {"uniform", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(uniform)), METH_FASTCALL,
     "uniform(u, rho, out): Witt & Mao uniform-disk magnification into out."},
    {"limb_darkened", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(limb_darkened)), METH_FASTCALL,
     "limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)."},
    {"profile", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(profile)), METH_FASTCALL,
     "profile(u, rho, radius, intensity, rtol, ring_only, out)."},
    {"uniform_derivatives", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(uniform_derivatives)),
     METH_FASTCALL, "uniform_derivatives(u, rho, out): rows A, dA/du, dA/drho."},
    {"limb_darkened_derivatives",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(limb_darkened_derivatives)), METH_FASTCALL,
     "limb_darkened_derivatives(u, rho, law, coefficients, rtol, out): rows A, dA/du, dA/drho, dA/dc..."},
    {"profile_derivatives", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(profile_derivatives)),
     METH_FASTCALL, "profile_derivatives(u, rho, radius, intensity, rtol, out): rows A, dA/du, dA/drho."},
    {"centroid_uniform", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(centroid_uniform)), METH_FASTCALL,
     "centroid_uniform(u, rho, out): uniform-disk centroid shift into out."},
    {"centroid_limb_darkened", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(centroid_limb_darkened)),
     METH_FASTCALL, "centroid_limb_darkened(u, rho, law, coefficients, rtol, out)."},
    {nullptr, nullptr, 0, nullptr},
};

ModuleHooks hooks({"vellomir_numpy._core", "Private kernels of vellomir_numpy.", core_functions, nullptr});

}  // namespace
}  // namespace vellomir::numpy_face

#ifdef PyMODEXPORT_FUNC
PyMODEXPORT_FUNC PyModExport__core(void) { return vellomir::numpy_face::hooks.export_slots(); }
#endif

PyMODINIT_FUNC PyInit__core(void) { return vellomir::numpy_face::hooks.init(); }
