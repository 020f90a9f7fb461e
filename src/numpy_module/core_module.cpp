// vellomir_numpy._core: the private extension behind the package vellomir_numpy. Its functions
// take C-contiguous float64 buffers that the Python front has already converted and checked,
// and write the magnifications into a float64 buffer of the broadcast length:
//   uniform(u, rho, out)
//   limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)
//   profile(u, rho, radius, intensity, rtol, ring_only, out)
// `rho` holds one value or as many as `u`; `ring_only` forces the ring integral everywhere
// (for comparing the two routes).

#include <Python.h>

#include <cmath>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "models/limb_darkening_law.hpp"
#include "models/profile_magnification.hpp"
#include "models/radial_profile.hpp"
#include "models/witt_mao.hpp"
#include "numpy_module/elementwise.hpp"
#include "numpy_module/float64_buffer.hpp"

namespace vellomir::numpy_face {
namespace {

bool expect_arguments(const char* function, Py_ssize_t given, Py_ssize_t wanted) {
    if (given == wanted) return true;
    PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments (%zd given)", function, wanted, given);
    return false;
}

// Acquires u, rho and out and checks their lengths and rho >= 0 (NaN passes).
bool acquire_separations(PyObject* const* args, std::size_t out_index, Float64Buffer& u, Float64Buffer& rho,
                         Float64Buffer& out) {
    if (!u.acquire(args[0], "u", false) || !rho.acquire(args[1], "rho", false) ||
        !out.acquire(args[out_index], "out", true)) {
        return false;
    }
    if (out.size() != u.size() || (rho.size() != 1 && rho.size() != u.size())) {
        PyErr_SetString(PyExc_ValueError, "u, rho and out have inconsistent lengths");
        return false;
    }
    for (double value : rho.values()) {
        if (value < 0.0) {
            PyObject* shown = PyFloat_FromDouble(value);
            if (shown != nullptr) {
                PyErr_Format(PyExc_ValueError, "rho must be non-negative, got %R", shown);
                Py_DECREF(shown);
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
        PyErr_Format(PyExc_TypeError, "%s must be a real number", name);
        return std::nullopt;
    }
    return value;
}

// Turns what a worker threw into the matching Python exception; returns the result object.
PyObject* finish(std::exception_ptr error) {
    if (!error) Py_RETURN_NONE;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& failure) {
        PyErr_Format(PyExc_RuntimeError, "vellomir_numpy internal failure: %s", failure.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "vellomir_numpy internal failure");
    }
    return nullptr;
}

// Runs `body` (which returns a new reference or nullptr with an exception set), turning a C++
// exception thrown on the calling thread (allocation) into a Python one.
template <class Body>
PyObject* guarded(const Body& body) noexcept {
    try {
        return body();
    } catch (...) {
        return finish(std::current_exception());
    }
}

PyObject* map_profile(const Outcome<RadialProfile>& profile, double rtol, bool ring_only,
                      Float64Buffer& u, Float64Buffer& rho, Float64Buffer& out) {
    if (!profile.ok()) {
        PyErr_SetString(PyExc_ValueError, std::string(profile.message()).c_str());
        return nullptr;
    }
    const RadialProfile& shape = profile.value();
    // A few elements that all avoid the ring integral are cheaper here than on the pool (whose
    // wake-up costs tens of microseconds); otherwise the pool computes them all.
    if (!ring_only && u.size() <= INLINE_CHEAP_ELEMENTS) {
        const std::span<const double> separations = u.values(), radii = rho.values();
        const std::span<double> results = out.writable_values();
        std::size_t i = 0;
        for (; i < separations.size(); ++i) {
            const std::optional<double> cheap = profile_magnification_without_rings(
                separations[i], radii.size() == 1 ? radii[0] : radii[i], shape, rtol);
            if (!cheap) break;
            results[i] = *cheap;
        }
        if (i == separations.size()) Py_RETURN_NONE;
    }
    return finish(map_elements(u.values(), rho.values(), out.writable_values(), false,
                               [&shape, rtol, ring_only](double separation, double radius) {
                                   return profile_magnification(separation, radius, shape, rtol, !ring_only);
                               }));
}

PyObject* uniform(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("uniform", nargs, 3)) return nullptr;
        Float64Buffer u, rho, out;
        if (!acquire_separations(args, 2, u, rho, out)) return nullptr;
        return finish(map_elements(u.values(), rho.values(), out.writable_values(), true,
                                   [](double separation, double radius) -> double {
                                       if (std::isnan(separation) || std::isnan(radius)) return std::numeric_limits<double>::quiet_NaN();
                                       const double distance = std::fabs(separation);
                                       if (std::isinf(distance)) return 1.0;
                                       return witt_mao_magnification_scaled(distance, radius);
                                   }));
    });
}

PyObject* limb_darkened(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("limb_darkened", nargs, 7)) return nullptr;
        Float64Buffer u, rho, out, coefficients;
        if (!acquire_separations(args, 6, u, rho, out)) return nullptr;
        Py_ssize_t length = 0;
        const char* name = PyUnicode_Check(args[2]) ? PyUnicode_AsUTF8AndSize(args[2], &length) : nullptr;
        const std::optional<LimbDarkeningLaw> law =
            name ? limb_darkening_law_named(std::string_view(name, static_cast<std::size_t>(length))) : std::nullopt;
        if (!law) {
            PyErr_Clear();
            PyErr_SetString(PyExc_ValueError, "law is not a known limb-darkening law");
            return nullptr;
        }
        if (!coefficients.acquire(args[3], "coefficients", false)) return nullptr;
        if (coefficients.size() != limb_darkening_coefficient_count(*law)) {
            PyErr_SetString(PyExc_ValueError, "coefficients has the wrong length for the law");
            return nullptr;
        }
        const std::optional<double> rtol = as_double(args[4], "rtol");
        if (!rtol) return nullptr;
        const int ring_only = PyObject_IsTrue(args[5]);
        if (ring_only < 0) return nullptr;
        return map_profile(RadialProfile::of_law(*law, coefficients.values()), *rtol, ring_only != 0, u, rho,
                           out);
    });
}

PyObject* profile(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("profile", nargs, 7)) return nullptr;
        Float64Buffer u, rho, out, radius, intensity;
        if (!acquire_separations(args, 6, u, rho, out)) return nullptr;
        if (!radius.acquire(args[2], "radius", false) || !intensity.acquire(args[3], "intensity", false)) {
            return nullptr;
        }
        if (radius.size() != intensity.size()) {
            PyErr_SetString(PyExc_ValueError, "radius and intensity have different lengths");
            return nullptr;
        }
        const std::span<const double> radii = radius.values();
        for (std::size_t j = 0; j < radii.size(); ++j) {
            if (!(0.0 <= radii[j] && radii[j] <= 1.0) || (j > 0 && !(radii[j - 1] <= radii[j]))) {
                PyErr_SetString(PyExc_ValueError, "radius must be sorted and within [0, 1]");
                return nullptr;
            }
        }
        const std::optional<double> rtol = as_double(args[4], "rtol");
        if (!rtol) return nullptr;
        const int ring_only = PyObject_IsTrue(args[5]);
        if (ring_only < 0) return nullptr;
        return map_profile(RadialProfile::of_table(radii, intensity.values()), *rtol, ring_only != 0, u, rho,
                           out);
    });
}

PyMethodDef core_functions[] = {
    {"uniform", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(uniform)), METH_FASTCALL,
     "uniform(u, rho, out): Witt & Mao uniform-disk magnification into out."},
    {"limb_darkened", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(limb_darkened)), METH_FASTCALL,
     "limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)."},
    {"profile", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(profile)), METH_FASTCALL,
     "profile(u, rho, radius, intensity, rtol, ring_only, out)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot core_slots[] = {
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef core_definition = {
    PyModuleDef_HEAD_INIT, "vellomir_numpy._core", "Private kernels of vellomir_numpy.", 0, core_functions,
    core_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace vellomir::numpy_face

PyMODINIT_FUNC PyInit__core(void) { return PyModuleDef_Init(&vellomir::numpy_face::core_definition); }
