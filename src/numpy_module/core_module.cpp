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

#include <cstddef>
#include <optional>
#include <span>

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
#include "numpy_module/derivatives_entry.hpp"
#include "numpy_module/entry_arguments.hpp"

namespace vellomir::numpy_face {
namespace {

// Acquires u, rho and out and checks their lengths and rho >= 0 (NaN passes).
bool acquire_separations(PyObject* const* args, std::size_t out_index, Float64View& u, Float64View& rho,
                         Float64View& out) {
    return acquire_operands(args, out_index, u, rho, out) && lengths_agree(u, rho, out, 1) &&
           rho_is_non_negative(rho, true);
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
        const char* name = nullptr;
        const std::optional<LimbDarkeningLaw> law = acquire_law(args, name, coefficients);
        if (!law) return nullptr;
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
        if (!acquire_table(args, radius, intensity)) return nullptr;
        const std::span<const double> radii = radius.values();
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
