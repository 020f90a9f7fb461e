// The eight entry points. Each runs inside the entry trampoline: match the
// arguments, convert them in signature order (the first failure ends the call,
// with the parameter's note), call the model on plain C++ values with the
// interpreter released, build the result. Worker threads, and the calling thread
// while detached, only ever see plain C++ values.

#include "module/functions.hpp"

#include <array>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "models/flux_map.hpp"
#include "models/heyrovsky.hpp"
#include "models/integrated.hpp"
#include "models/multi_witt_mao.hpp"
#include "models/witt_mao.hpp"
#include "module/arguments.hpp"
#include "capi/detached.hpp"
#include "capi/errors.hpp"
#include "module/results.hpp"
#include "parallel/worker_pool.hpp"

namespace vellomir {
namespace {

// ---- Parameters --------------------------------------------------------------

constexpr std::string_view separation_parameters[] = {"l", "re", "rstar"};
constexpr std::string_view ring_parameters[] = {"l", "r", "re", "rstar"};
constexpr std::string_view flux_map_parameters[] = {"l", "re", "rstar", "bl", "bf"};

constexpr FunctionDescription witt_mao_description{"witt_mao_magnification", separation_parameters};
constexpr FunctionDescription heyrovsky_description{"heyrovsky_magnification", ring_parameters};
constexpr FunctionDescription multi_witt_mao_description{"multi_witt_mao_magnification", separation_parameters};
constexpr FunctionDescription integrated_witt_mao_description{"integrated_witt_mao_magnification",
                                                              separation_parameters};
constexpr FunctionDescription integrated_heyrovsky_description{"integrated_heyrovsky_magnification",
                                                               separation_parameters};
constexpr FunctionDescription discrete_flux_map_heyrovsky_description{"discrete_flux_map_heyrovsky_magnification",
                                                                      flux_map_parameters};
constexpr FunctionDescription integrated_flux_map_witt_mao_description{"integrated_flux_map_witt_mao_magnification",
                                                                       flux_map_parameters};
constexpr FunctionDescription integrated_flux_map_heyrovsky_description{
    "integrated_flux_map_heyrovsky_magnification", flux_map_parameters};

// ---- Conversion of one parameter ---------------------------------------------

Expected<double> float_parameter(PyObject* object, std::string_view name) {
    Expected<double> value = extract_double(object);
    if (!value.ok()) {
        return argument_extraction_error(name, std::move(value).error());
    }
    return value;
}

Expected<std::vector<double>> sequence_parameter(PyObject* object, std::string_view name) {
    Expected<std::vector<double>> values = extract_double_sequence(object);
    if (!values.ok()) {
        return argument_extraction_error(name, std::move(values).error());
    }
    return values;
}

// ---- Conversion of whole signatures -------------------------------------------

template <std::size_t N>
using Slots = std::array<PyObject*, N>;

// (l: sequence, re: float, rstar: float)
struct SeparationArguments {
    std::vector<double> l;
    double re;
    double rstar;
};

Expected<SeparationArguments> convert_separation_arguments(const Slots<3>& slots) {
    Expected<std::vector<double>> l = sequence_parameter(slots[0], "l");
    if (!l.ok()) {
        return std::move(l).error();
    }
    Expected<double> re = float_parameter(slots[1], "re");
    if (!re.ok()) {
        return std::move(re).error();
    }
    Expected<double> rstar = float_parameter(slots[2], "rstar");
    if (!rstar.ok()) {
        return std::move(rstar).error();
    }
    return SeparationArguments{std::move(l).value(), re.value(), rstar.value()};
}

// (l: sequence, re: float, rstar: float, bl: sequence, bf: sequence): the brightness table's
// radii (bl) and brightnesses (bf).
struct FluxMapArguments {
    std::vector<double> l;
    double re;
    double rstar;
    std::vector<double> table_radius;
    std::vector<double> table_brightness;
};

Expected<FluxMapArguments> convert_flux_map_arguments(const Slots<5>& slots) {
    Expected<SeparationArguments> head = convert_separation_arguments({slots[0], slots[1], slots[2]});
    if (!head.ok()) {
        return std::move(head).error();
    }
    Expected<std::vector<double>> table_radius = sequence_parameter(slots[3], "bl");
    if (!table_radius.ok()) {
        return std::move(table_radius).error();
    }
    Expected<std::vector<double>> table_brightness = sequence_parameter(slots[4], "bf");
    if (!table_brightness.ok()) {
        return std::move(table_brightness).error();
    }
    SeparationArguments& separations = head.value();
    return FluxMapArguments{std::move(separations.l), separations.re, separations.rstar,
                            std::move(table_radius).value(), std::move(table_brightness).value()};
}

// (l: sequence, re: sequence, rstar: sequence)
struct GridArguments {
    std::vector<double> l;
    std::vector<double> re;
    std::vector<double> rstar;
};

Expected<GridArguments> convert_grid_arguments(const Slots<3>& slots) {
    Expected<std::vector<double>> l = sequence_parameter(slots[0], "l");
    if (!l.ok()) {
        return std::move(l).error();
    }
    Expected<std::vector<double>> re = sequence_parameter(slots[1], "re");
    if (!re.ok()) {
        return std::move(re).error();
    }
    Expected<std::vector<double>> rstar = sequence_parameter(slots[2], "rstar");
    if (!rstar.ok()) {
        return std::move(rstar).error();
    }
    return GridArguments{std::move(l).value(), std::move(re).value(), std::move(rstar).value()};
}

// (l: float, r: float, re: float, rstar: float)
Expected<std::array<double, 4>> convert_ring_arguments(const Slots<4>& slots) {
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        Expected<double> value = float_parameter(slots[i], ring_parameters[i]);
        if (!value.ok()) {
            return std::move(value).error();
        }
        values[i] = value.value();
    }
    return values;
}

// ---- Results -----------------------------------------------------------------

Expected<OwnedRef> list_or_error(Outcome<std::vector<double>> outcome) {
    if (!outcome.ok()) {
        return PendingError::classic(Failure::model_error, outcome.message());
    }
    return new_float_list(std::move(outcome).value());
}

Expected<OwnedRef> float_or_error(const Outcome<double>& outcome) {
    if (!outcome.ok()) {
        return PendingError::classic(Failure::model_error, outcome.message());
    }
    return new_float(outcome.value());
}

Expected<OwnedRef> float_list(std::vector<double> values) { return new_float_list(std::move(values)); }

Expected<OwnedRef> nested_float_list(std::vector<std::vector<double>> rows) {
    return new_nested_float_list(std::move(rows));
}

// ---- Entry points --------------------------------------------------------------

// The sequence every entry point runs inside the trampoline, attached unless said otherwise:
//   1. match the arguments to the N parameters of `description`;
//   2. `convert` them (signature order, first failure wins);
//   3. detached, `compute` the model's value from the converted arguments, and from the
//      process-wide pool if `compute` takes one (it is looked up detached: a fork child
//      gets its own); Ctrl-C cancels this step (detached.hpp);
//   4. `build` the Python result (or the model's error) from that value.
// `compute` sees plain C++ values only: it runs on the calling thread and the pool's workers.
template <std::size_t N, class Convert, class Compute, class Build>
PyObject* call(const FunctionDescription& description, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               Convert convert, Compute compute, Build build) noexcept {
    return run_entry([&]() -> Expected<OwnedRef> {
        Slots<N> slots{};
        if (auto mismatch = extract_arguments_fastcall(description, args, nargs, kwnames, slots)) {
            return std::move(*mismatch);
        }
        auto arguments = convert(slots);
        if (!arguments.ok()) {
            return std::move(arguments).error();
        }
        auto computed = compute_detached([&] {
            if constexpr (std::is_invocable_v<Compute&, decltype(arguments.value()), WorkerPool&>) {
                return compute(arguments.value(), WorkerPool::global());
            } else {
                return compute(arguments.value());
            }
        });
        if (!computed.ok()) {
            return std::move(computed).error();
        }
        return build(std::move(computed).value());
    });
}

PyObject* witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call<3>(
        witt_mao_description, args, nargs, kwnames, convert_separation_arguments,
        [](SeparationArguments& a, WorkerPool& pool) {
            return witt_mao_magnification(pool, std::move(a.l), a.re, a.rstar);
        },
        float_list);
}

PyObject* integrated_witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                  PyObject* kwnames) noexcept {
    return call<3>(
        integrated_witt_mao_description, args, nargs, kwnames, convert_separation_arguments,
        [](SeparationArguments& a, WorkerPool& pool) {
            return integrated_witt_mao_magnification(pool, std::move(a.l), a.re, a.rstar);
        },
        float_list);
}

PyObject* integrated_flux_map_witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                           PyObject* kwnames) noexcept {
    return call<5>(
        integrated_flux_map_witt_mao_description, args, nargs, kwnames, convert_flux_map_arguments,
        [](FluxMapArguments& a, WorkerPool& pool) {
            return integrated_flux_map_witt_mao_magnification(pool, std::move(a.l), a.re, a.rstar,
                                                              std::move(a.table_radius), std::move(a.table_brightness));
        },
        list_or_error);
}

PyObject* multi_witt_mao_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                             PyObject* kwnames) noexcept {
    return call<3>(
        multi_witt_mao_description, args, nargs, kwnames, convert_grid_arguments,
        [](GridArguments& a, WorkerPool& pool) { return multi_witt_mao_magnification(pool, a.l, a.re, a.rstar); },
        nested_float_list);
}

PyObject* heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                        PyObject* kwnames) noexcept {
    return call<4>(
        heyrovsky_description, args, nargs, kwnames, convert_ring_arguments,
        [](const std::array<double, 4>& a) { return heyrovsky_magnification(a[0], a[1], a[2], a[3]); },
        float_or_error);
}

PyObject* integrated_heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                   PyObject* kwnames) noexcept {
    return call<3>(
        integrated_heyrovsky_description, args, nargs, kwnames, convert_separation_arguments,
        [](SeparationArguments& a, WorkerPool& pool) {
            return integrated_heyrovsky_magnification(pool, std::move(a.l), a.re, a.rstar);
        },
        float_list);
}

PyObject* integrated_flux_map_heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                            PyObject* kwnames) noexcept {
    return call<5>(
        integrated_flux_map_heyrovsky_description, args, nargs, kwnames, convert_flux_map_arguments,
        [](FluxMapArguments& a, WorkerPool& pool) {
            return integrated_flux_map_heyrovsky_magnification(pool, std::move(a.l), a.re, a.rstar,
                                                               std::move(a.table_radius),
                                                               std::move(a.table_brightness));
        },
        list_or_error);
}

PyObject* discrete_flux_map_heyrovsky_magnification_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                          PyObject* kwnames) noexcept {
    return call<5>(
        discrete_flux_map_heyrovsky_description, args, nargs, kwnames, convert_flux_map_arguments,
        [](FluxMapArguments& a, WorkerPool& pool) {
            return discrete_flux_map_heyrovsky_magnification(pool, std::move(a.l), a.re, a.rstar,
                                                             std::move(a.table_radius), std::move(a.table_brightness));
        },
        list_or_error);
}

// ---- Method table -------------------------------------------------------------

PyCFunction as_method(PyCFunctionFastWithKeywords entry) {
    // The interpreter calls it back with the fastcall-with-keywords signature that
    // METH_FASTCALL | METH_KEYWORDS announces.
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

constexpr int method_flags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

// The docstrings hold only the text signature: __text_signature__ is set, __doc__ is None.
PyMethodDef method_table[] = {
    {"witt_mao_magnification", as_method(witt_mao_magnification_entry), method_flags,
     "witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_witt_mao_magnification", as_method(integrated_witt_mao_magnification_entry), method_flags,
     "integrated_witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_flux_map_witt_mao_magnification", as_method(integrated_flux_map_witt_mao_magnification_entry),
     method_flags, "integrated_flux_map_witt_mao_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    {"multi_witt_mao_magnification", as_method(multi_witt_mao_magnification_entry), method_flags,
     "multi_witt_mao_magnification(l, re, rstar)\n--\n\n"},
    {"heyrovsky_magnification", as_method(heyrovsky_magnification_entry), method_flags,
     "heyrovsky_magnification(l, r, re, rstar)\n--\n\n"},
    {"integrated_heyrovsky_magnification", as_method(integrated_heyrovsky_magnification_entry), method_flags,
     "integrated_heyrovsky_magnification(l, re, rstar)\n--\n\n"},
    {"integrated_flux_map_heyrovsky_magnification", as_method(integrated_flux_map_heyrovsky_magnification_entry),
     method_flags, "integrated_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
    {"discrete_flux_map_heyrovsky_magnification", as_method(discrete_flux_map_heyrovsky_magnification_entry),
     method_flags, "discrete_flux_map_heyrovsky_magnification(l, re, rstar, bl, bf)\n--\n\n"},
};

}  // namespace

std::span<PyMethodDef> module_functions() { return method_table; }

}  // namespace vellomir
