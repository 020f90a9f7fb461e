// vellomir_numpy._core's entries for magnifications with their derivatives. Each takes
// C-contiguous float64 buffers that the Python front has converted and checked and writes, per
// element of u, one row of `out`: A, dA/du, dA/drho, then dA/dc_k for a law's coefficients.
// `rho` holds one value or as many as `u`.

#include "numpy_module/derivatives_entry.hpp"

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
#include "models/derivative_maps.hpp"
#include "models/intensity_basis.hpp"
#include "models/limb_darkening_law.hpp"
#include "models/radial_profile.hpp"

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

// u, rho and out (`width` values per element of u); rho >= 0 (NaN passes).
bool acquire_operands(PyObject* const* args, std::size_t out_index, std::size_t width, Float64View& u,
                      Float64View& rho, Float64View& out) {
    if (!u.acquire_contiguous(args[0], "u", false) || !rho.acquire_contiguous(args[1], "rho", false) ||
        !out.acquire_contiguous(args[out_index], "out", true)) {
        return false;
    }
    if (out.size() != width * u.size() || (rho.size() != 1 && rho.size() != u.size())) {
        raise(Failure::argument_value, "u, rho and out have inconsistent lengths");
        return false;
    }
    for (double value : rho.values()) {
        if (value < 0.0) {
            raise(Failure::argument_value, "rho must be non-negative");
            return false;
        }
    }
    return true;
}

std::optional<double> tolerance_of(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        raise(Failure::argument_conversion, "rtol must be a real number");
        return std::nullopt;
    }
    return value;
}

// The plain functions' refusal of a profile that is negative somewhere (core_module.cpp).
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

template <class Body>
PyObject* guarded(const Body& body) noexcept {
    try {
        return body();
    } catch (...) {
        return raise_cpp_exception(Face::numpy, std::current_exception());
    }
}

}  // namespace

PyObject* uniform_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("uniform_derivatives", nargs, 3)) return nullptr;
        Float64View u, rho, out;
        if (!acquire_operands(args, 2, 3, u, rho, out)) return nullptr;
        DetachedPoolLauncher launcher;
        uniform_disk_gradient_map(u.values(), rho.values(), out.writable_values(), launcher);
        return launcher.finish(Face::numpy);
    });
}

PyObject* limb_darkened_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("limb_darkened_derivatives", nargs, 6)) return nullptr;
        Py_ssize_t length = 0;
        const char* name = PyUnicode_Check(args[2]) ? PyUnicode_AsUTF8AndSize(args[2], &length) : nullptr;
        const std::optional<LimbDarkeningLaw> law =
            name ? limb_darkening_law_named(std::string_view(name, static_cast<std::size_t>(length))) : std::nullopt;
        if (!law) {
            PyErr_Clear();
            return raise(Failure::argument_value, "law is not a known limb-darkening law");
        }
        Float64View coefficients;
        if (!coefficients.acquire_contiguous(args[3], "coefficients", false)) return nullptr;
        const std::size_t count = limb_darkening_coefficient_count(*law);
        if (coefficients.size() != count) {
            return raise(Failure::argument_value, "coefficients has the wrong length for the law");
        }
        Float64View u, rho, out;
        if (!acquire_operands(args, 5, 3 + count, u, rho, out)) return nullptr;
        const std::optional<double> rtol = tolerance_of(args[4]);
        if (!rtol) return nullptr;
        if (!law_is_non_negative(name, power_sum_of_law(*law, coefficients.values()))) return nullptr;
        const Outcome<RadialProfile> profile = RadialProfile::of_law(*law, coefficients.values());
        if (!profile.ok()) return raise(Failure::model_error, profile.message());
        const LawGradientBasis basis = law_gradient_basis(*law, coefficients.values());
        DetachedPoolLauncher launcher;
        law_gradient_map(u.values(), rho.values(), profile.value(), basis, *rtol, out.writable_values(), launcher);
        return launcher.finish(Face::numpy);
    });
}

PyObject* profile_derivatives(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return guarded([&]() -> PyObject* {
        if (!expect_arguments("profile_derivatives", nargs, 6)) return nullptr;
        Float64View u, rho, out, radius, intensity;
        if (!acquire_operands(args, 5, 3, u, rho, out)) return nullptr;
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
        const std::optional<double> rtol = tolerance_of(args[4]);
        if (!rtol) return nullptr;
        if (!table_is_non_negative(radii, intensity.values())) return nullptr;
        const Outcome<RadialProfile> profile = RadialProfile::of_table(radii, intensity.values());
        if (!profile.ok()) return raise(Failure::model_error, profile.message());
        DetachedPoolLauncher launcher;
        table_gradient_map(u.values(), rho.values(), profile.value(), *rtol, out.writable_values(), launcher);
        return launcher.finish(Face::numpy);
    });
}

}  // namespace vellomir::numpy_face
