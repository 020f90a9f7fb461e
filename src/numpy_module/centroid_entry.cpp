// The centroid shift in vellomir_numpy._core: C-contiguous float64 buffers that the Python front
// (vellomir_numpy._centroid) has converted and checked, the shifts written into `out`:
//   centroid_uniform(u, rho, out)
//   centroid_limb_darkened(u, rho, law, coefficients, rtol, out)
// `rho` holds one value or as many as `u`. Each acquires its arguments, calls one models entry
// (models/centroid_maps.hpp) and returns None (uniform) or (missed, worst) as limb_darkened does,
// or raises the NumPy column of the exception table.

#include "numpy_module/centroid_entry.hpp"

#include <cstddef>
#include <optional>

#include "capi/detached.hpp"
#include "capi/float64_view.hpp"
#include "models/centroid_maps.hpp"
#include "models/centroid_profile.hpp"
#include "models/limb_darkening_law.hpp"
#include "numpy_module/entry_arguments.hpp"

namespace vellomir::numpy_face {
namespace {

// u, rho and out with consistent lengths and rho >= 0 (NaN passes), as the magnification's.
bool acquire_separations(PyObject* const* args, std::size_t out_index, Float64View& u, Float64View& rho,
                         Float64View& out) {
    return acquire_operands(args, out_index, u, rho, out) && rho_is_non_negative(rho, true) &&
           lengths_agree(u, rho, out, 1);
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
        const char* name = nullptr;
        const std::optional<LimbDarkeningLaw> law = acquire_law(args, name, coefficients);
        if (!law) return nullptr;
        const std::optional<double> rtol = as_double(args[4], "rtol");
        if (!rtol) return nullptr;
        const Outcome<CentroidProfile> profile = CentroidProfile::of_law(*law, coefficients.values());
        if (!profile.ok()) return raise(Failure::model_error, profile.message());
        DetachedPoolLauncher launcher;
        const MissedTolerance missed = profile_centroid_shift_map(u.values(), rho.values(), profile.value(), *rtol,
                                                                  out.writable_values(), launcher);
        PyObject* done = launcher.finish(Face::numpy);
        if (done == nullptr) return nullptr;
        Py_DECREF(done);
        return Py_BuildValue("(nd)", static_cast<Py_ssize_t>(missed.elements), missed.worst_estimate);
    });
}

}  // namespace vellomir::numpy_face
