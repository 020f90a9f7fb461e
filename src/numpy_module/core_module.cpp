// vellomir_numpy._core: the private extension behind the package vellomir_numpy. Its functions
// take C-contiguous float64 buffers that the Python front has already converted and checked,
// and write the magnifications into a float64 buffer of the broadcast length:
//   uniform(u, rho, out)
//   limb_darkened(u, rho, law, coefficients, rtol, ring_only, out)
//   profile(u, rho, radius, intensity, rtol, ring_only, out)
// `rho` holds one value or as many as `u`; `ring_only` forces the ring integral everywhere
// (for comparing the two routes).

#include <Python.h>

#include <algorithm>
#include <array>
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
#include "models/witt_mao_batch.hpp"
#include "parallel/parallel_for_blocks.hpp"
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
    return map_elements(u.values(), rho.values(), out.writable_values(), false,
                        [&shape, rtol, ring_only](double separation, double radius) {
                            return profile_magnification(separation, radius, shape, rtol, !ring_only);
                        });
}

double uniform_element(double separation, double radius) noexcept {
    if (std::isnan(separation) || std::isnan(radius)) return std::numeric_limits<double>::quiet_NaN();
    const double distance = std::fabs(separation);
    if (std::isinf(distance)) return 1.0;
    return witt_mao_magnification_scaled(distance, radius);
}

// uniform_element over a run of separations about one radius, a block of whole SIMD batches
// at a time (bit for bit the same): the batched kernel takes the distances, and the NaN and
// infinite inputs are then set as uniform_element sets them. `out` may be `u` itself.
void uniform_run(std::span<const double> u, double radius, std::span<double> out) noexcept {
    std::array<double, BATCH_BLOCK> distance;
    for (std::size_t begin = 0; begin < u.size(); begin += BATCH_BLOCK) {
        const std::size_t count = std::min(BATCH_BLOCK, u.size() - begin);
        for (std::size_t i = 0; i < count; ++i) distance[i] = std::fabs(u[begin + i]);
        const std::span<double> results = out.subspan(begin, count);
        witt_mao_magnification_batch(std::span<const double>(distance.data(), count), 1.0, radius, results);
        for (std::size_t i = 0; i < count; ++i) {
            if (std::isnan(distance[i]) || std::isnan(radius)) {
                results[i] = std::numeric_limits<double>::quiet_NaN();
            } else if (std::isinf(distance[i])) {
                results[i] = 1.0;
            }
        }
    }
}

PyObject* uniform(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("uniform", nargs, 3)) return nullptr;
        Float64Buffer u, rho, out;
        if (!acquire_separations(args, 2, u, rho, out)) return nullptr;
        if (rho.size() != 1) return map_elements(u.values(), rho.values(), out.writable_values(), true, uniform_element);
        const std::span<const double> separations = u.values();
        const std::span<double> results = out.writable_values();
        const double radius = rho.values()[0];
        if (separations.size() <= INLINE_CHEAP_ELEMENTS) {
            uniform_run(separations, radius, results);
            Py_RETURN_NONE;
        }
        return run_on_pool([&] {
            parallel_for_blocks(WorkerPool::global(), separations.size(), BATCH_BLOCK,
                                [&](std::size_t begin, std::size_t end) {
                                    uniform_run(separations.subspan(begin, end - begin), radius,
                                                results.subspan(begin, end - begin));
                                });
        });
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

constexpr const char* core_name = "vellomir_numpy._core";
constexpr const char* core_doc = "Private kernels of vellomir_numpy.";

#ifdef PyMODEXPORT_FUNC
// The export hook (CPython 3.15 on). The ABI record says which interpreter build the extension
// was compiled for (as vellomir's): a regular interpreter refuses one that claims to be
// free-threaded, and vice versa.
PyABIInfo abi_info = {1, 0, PyABIInfo_DEFAULT_FLAGS, 0, 0};

// The export hook's slots; the header's initialisers leave the reserved word and the other
// union members to zero-initialisation.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
PySlot core_export_slots[] = {
    PySlot_STATIC_DATA(Py_mod_abi, &abi_info),
    PySlot_DATA(Py_mod_gil, Py_MOD_GIL_NOT_USED),
    PySlot_STATIC_DATA(Py_mod_name, const_cast<char*>(core_name)),
    PySlot_STATIC_DATA(Py_mod_doc, const_cast<char*>(core_doc)),
    PySlot_STATIC_DATA(Py_mod_methods, core_functions),
    PySlot_END,
};
#pragma GCC diagnostic pop
#endif

// The classic definition, for interpreters without the export hook (3.14).
PyModuleDef_Slot core_slots[] = {
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef core_definition = {
    PyModuleDef_HEAD_INIT, core_name, core_doc, 0, core_functions, core_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace vellomir::numpy_face

#ifdef PyMODEXPORT_FUNC
PyMODEXPORT_FUNC PyModExport__core(void) { return vellomir::numpy_face::core_export_slots; }
#endif

PyMODINIT_FUNC PyInit__core(void) { return PyModuleDef_Init(&vellomir::numpy_face::core_definition); }
