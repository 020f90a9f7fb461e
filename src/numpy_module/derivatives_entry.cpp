// vellomir_numpy._core's entries for magnifications with their derivatives. Each takes
// C-contiguous float64 buffers that the Python front has converted and checked and writes, per
// element of u, one row of `out`: A, dA/du, dA/drho, then dA/dc_k for a law's coefficients.
// `rho` holds one value or as many as `u`. The uniform disk returns None; a law or a table
// (missed, worst) as limb_darkened does: the elements whose adaptive integrals reached their cap
// short of rtol and the largest relative error estimate among them (the front warns).

#include "numpy_module/derivatives_entry.hpp"

#include <cstddef>
#include <optional>
#include <span>

#include "capi/detached.hpp"
#include "capi/float64_view.hpp"
#include "capi/owned_ref.hpp"
#include "models/derivative_maps.hpp"
#include "models/intensity_basis.hpp"
#include "models/limb_darkening_law.hpp"
#include "models/radial_profile.hpp"
#include "numpy_module/entry_arguments.hpp"

namespace vellomir::numpy_face {
namespace {

// u, rho and out (`width` values per element of u); rho >= 0 (NaN passes).
bool acquire_rows(PyObject* const* args, std::size_t out_index, std::size_t width, Float64View& u, Float64View& rho,
                  Float64View& out) {
    return acquire_operands(args, out_index, u, rho, out) && lengths_agree(u, rho, out, width) &&
           rho_is_non_negative(rho, false);
}

// (missed, worst) once the map has finished, or its exception.
PyObject* missed_or_raise(DetachedPoolLauncher& launcher, const MissedTolerance& missed) {
    OwnedRef done(launcher.finish(Face::numpy));
    if (!done) return nullptr;
    return Py_BuildValue("(nd)", static_cast<Py_ssize_t>(missed.elements), missed.worst_estimate);
}

}  // namespace

PyObject* uniform_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("uniform_derivatives", nargs, 3)) return nullptr;
        Float64View u, rho, out;
        if (!acquire_rows(args, 2, 3, u, rho, out)) return nullptr;
        DetachedPoolLauncher launcher;
        uniform_disk_gradient_map(u.values(), rho.values(), out.writable_values(), launcher);
        return launcher.finish(Face::numpy);
    });
}

PyObject* limb_darkened_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("limb_darkened_derivatives", nargs, 6)) return nullptr;
        const char* name = nullptr;
        Float64View coefficients;
        const std::optional<LimbDarkeningLaw> law = acquire_law(args, name, coefficients);
        if (!law) return nullptr;
        const std::size_t count = coefficients.size();
        Float64View u, rho, out;
        if (!acquire_rows(args, 5, 3 + count, u, rho, out)) return nullptr;
        const std::optional<double> rtol = as_double(args[4], "rtol");
        if (!rtol) return nullptr;
        if (!law_is_non_negative(name, power_sum_of_law(*law, coefficients.values()))) return nullptr;
        const Outcome<RadialProfile> profile = RadialProfile::of_law(*law, coefficients.values());
        if (!profile.ok()) return raise(Failure::model_error, profile.message());
        const LawGradientBasis basis = law_gradient_basis(*law, coefficients.values());
        DetachedPoolLauncher launcher;
        const MissedTolerance missed =
            law_gradient_map(u.values(), rho.values(), profile.value(), basis, *rtol, out.writable_values(), launcher);
        return missed_or_raise(launcher, missed);
    });
}

PyObject* profile_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("profile_derivatives", nargs, 6)) return nullptr;
        Float64View u, rho, out, radius, intensity;
        if (!acquire_rows(args, 5, 3, u, rho, out)) return nullptr;
        if (!acquire_table(args, radius, intensity)) return nullptr;
        const std::span<const double> radii = radius.values();
        const std::optional<double> rtol = as_double(args[4], "rtol");
        if (!rtol) return nullptr;
        if (!table_is_non_negative(radii, intensity.values())) return nullptr;
        const Outcome<RadialProfile> profile = RadialProfile::of_table(radii, intensity.values());
        if (!profile.ok()) return raise(Failure::model_error, profile.message());
        DetachedPoolLauncher launcher;
        const MissedTolerance missed =
            table_gradient_map(u.values(), rho.values(), profile.value(), *rtol, out.writable_values(), launcher);
        return missed_or_raise(launcher, missed);
    });
}

}  // namespace vellomir::numpy_face
