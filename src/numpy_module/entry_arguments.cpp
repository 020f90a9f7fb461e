// Argument acquisition shared by the entries of vellomir_numpy._core (entry_arguments.hpp).

#include "numpy_module/entry_arguments.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include "capi/owned_ref.hpp"

namespace vellomir::numpy_face {
namespace {

// repr(value) of a float, as %R shows it.
std::optional<std::string> float_repr(double value) {
    OwnedRef number(PyFloat_FromDouble(value));
    OwnedRef shown(number ? PyObject_Repr(number.get()) : nullptr);
    const char* text = shown ? PyUnicode_AsUTF8(shown.get()) : nullptr;
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

}  // namespace

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

bool acquire_operands(PyObject* const* args, std::size_t out_index, Float64View& u, Float64View& rho,
                      Float64View& out) {
    return u.acquire_contiguous(args[0], "u", false) && rho.acquire_contiguous(args[1], "rho", false) &&
           out.acquire_contiguous(args[out_index], "out", true);
}

bool lengths_agree(const Float64View& u, const Float64View& rho, const Float64View& out, std::size_t width) {
    if (out.size() == width * u.size() && (rho.size() == 1 || rho.size() == u.size())) return true;
    raise(Failure::argument_value, "u, rho and out have inconsistent lengths");
    return false;
}

bool rho_is_non_negative(const Float64View& rho, bool show_value) {
    for (double value : rho.values()) {
        if (value < 0.0) {
            if (!show_value) {
                raise(Failure::argument_value, "rho must be non-negative");
            } else if (const std::optional<std::string> shown = float_repr(value)) {
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

std::optional<LimbDarkeningLaw> acquire_law(PyObject* const* args, const char*& name, Float64View& coefficients) {
    Py_ssize_t length = 0;
    name = PyUnicode_Check(args[2]) ? PyUnicode_AsUTF8AndSize(args[2], &length) : nullptr;
    const std::optional<LimbDarkeningLaw> law =
        name ? limb_darkening_law_named(std::string_view(name, static_cast<std::size_t>(length))) : std::nullopt;
    if (!law) {
        PyErr_Clear();
        raise(Failure::argument_value, "law is not a known limb-darkening law");
        return std::nullopt;
    }
    if (!coefficients.acquire_contiguous(args[3], "coefficients", false)) return std::nullopt;
    if (coefficients.size() != limb_darkening_coefficient_count(*law)) {
        raise(Failure::argument_value, "coefficients has the wrong length for the law");
        return std::nullopt;
    }
    return law;
}

bool acquire_table(PyObject* const* args, Float64View& radius, Float64View& intensity) {
    if (!radius.acquire_contiguous(args[2], "radius", false) ||
        !intensity.acquire_contiguous(args[3], "intensity", false)) {
        return false;
    }
    if (radius.size() != intensity.size()) {
        raise(Failure::argument_value, "radius and intensity have different lengths");
        return false;
    }
    const std::span<const double> radii = radius.values();
    for (std::size_t j = 0; j < radii.size(); ++j) {
        if (!(0.0 <= radii[j] && radii[j] <= 1.0) || (j > 0 && !(radii[j - 1] <= radii[j]))) {
            raise(Failure::argument_value, "radius must be sorted and within [0, 1]");
            return false;
        }
    }
    return true;
}

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

}  // namespace vellomir::numpy_face
