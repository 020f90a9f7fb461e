// Cost of the integrated functions and flux maps per separation, and their speed-up on two workers.
//
// (a) Per-element cost on one thread, on the same inputs before and after a change: build this file
//     against the older sources too and run both programs back to back, for instance
//       cmake -S <old checkout> -B <before-build> -DVELLOMIR_BUILD_BENCH=ON -DVELLOMIR_BUILD_MODULE=OFF
//       cmake --build <before-build>
//       g++ -O3 -DNDEBUG -std=c++20 -ffp-contract=off -I<old checkout>/src bench/bench_integrated.cpp (and the
//           four libraries libvellomir_{models,quadrature,ellip,parallel}.a of <before-build>)
//           -lbenchmark -lpthread -o <before-build>/bench_integrated
//     (older sources compute on the calling thread; here a one-worker pool does).
// (b) The same functions on 1000 separations with pools of one and two workers, and their ratio;
//     with how evenly the two workers shared the work (total thread time over the busiest thread's).
// Times are the best of several runs, in microseconds per separation: CPU time in (a), wall-clock
// time in (b).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "models/flux_map.hpp"
#include "models/integrated.hpp"
#include "parallel/worker_pool.hpp"

// The sources that map these functions over a pool take it as their first argument.
#if __has_include("quadrature/piecewise_rule.hpp")
#define VELLOMIR_INTEGRALS_ON_POOL 1
#endif

namespace vellomir {
namespace {

constexpr double RHO = 0.1;

struct Table {
    const char* name;
    std::vector<double> bl, bf;
};

Table quadratic_table(const char* name, int points) {
    Table table{name, {}, {}};
    for (int j = 0; j < points; ++j) {
        const double r = points == 1 ? 0.5 : static_cast<double>(j) / (points - 1);
        const double mu = std::sqrt(1.0 - r * r);
        table.bl.push_back(r);
        table.bf.push_back(1.0 - 0.4 * (1.0 - mu) - 0.25 * (1.0 - mu) * (1.0 - mu));
    }
    return table;
}

std::vector<double> spread(std::size_t count) {
    std::vector<double> l(count);
    for (std::size_t i = 0; i < count; ++i) l[i] = 3.0 * static_cast<double>(i) / static_cast<double>(count);
    return l;
}

std::vector<double> limb_crossing() {
    std::vector<double> l;
    for (const double offset : {1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-8}) {
        l.push_back(1.0 - offset);
        l.push_back(1.0 + offset);
    }
    return l;
}

// Best time of `runs` calls of f, in microseconds per element: the process's CPU time for the
// cost of the work (steadier than the wall clock on a shared machine), the wall clock for speed-ups.
enum class Clock { cpu, wall };

double now_microseconds(Clock clock) {
    if (clock == Clock::cpu) return 1e6 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <class F>
double microseconds_per_element(F f, std::size_t elements, int runs, Clock clock = Clock::cpu) {
    double best = 0.0;
    for (int run = 0; run < runs; ++run) {
        const double start = now_microseconds(clock);
        benchmark::DoNotOptimize(f());
        const double per = (now_microseconds(clock) - start) / static_cast<double>(elements);
        if (run == 0 || per < best) best = per;
    }
    return best;
}

// The five functions for one set of separations, on `pool` where the sources take one.
struct Calls {
    WorkerPool* pool;

    template <class... A>
    auto witt_mao(A&&... a) const {
#ifdef VELLOMIR_INTEGRALS_ON_POOL
        return integrated_witt_mao_magnification(*pool, a...);
#else
        return integrated_witt_mao_magnification(a...);
#endif
    }
    template <class... A>
    auto heyrovsky(A&&... a) const {
#ifdef VELLOMIR_INTEGRALS_ON_POOL
        return integrated_heyrovsky_magnification(*pool, a...);
#else
        return integrated_heyrovsky_magnification(a...);
#endif
    }
    template <class... A>
    auto annuli(A&&... a) const {
#ifdef VELLOMIR_INTEGRALS_ON_POOL
        return integrated_flux_map_witt_mao_magnification(*pool, a...);
#else
        return integrated_flux_map_witt_mao_magnification(a...);
#endif
    }
    template <class... A>
    auto rings(A&&... a) const {
#ifdef VELLOMIR_INTEGRALS_ON_POOL
        return integrated_flux_map_heyrovsky_magnification(*pool, a...);
#else
        return integrated_flux_map_heyrovsky_magnification(a...);
#endif
    }
    template <class... A>
    auto discrete(A&&... a) const {
#ifdef VELLOMIR_INTEGRALS_ON_POOL
        return discrete_flux_map_heyrovsky_magnification(*pool, a...);
#else
        return discrete_flux_map_heyrovsky_magnification(a...);
#endif
    }
};

void per_element_cost(const Calls& calls) {
    std::printf("(a) per-element cost on one thread, rho = %g, CPU us per separation\n", RHO);
    const std::vector<std::pair<const char*, std::vector<double>>> sets = {{"l in [0, 3)", spread(48)},
                                                                         {"limb crossing", limb_crossing()}};
    for (const auto& [set_name, l] : sets) {
        const auto report = [&](const std::string& name, auto f) {
            std::printf("  %-58s %-14s %10.1f\n", name.c_str(), set_name, microseconds_per_element(f, l.size(), 3));
        };
        report("integrated_witt_mao_magnification", [&] { return calls.witt_mao(l, 1.0, RHO); });
        report("integrated_heyrovsky_magnification", [&] { return calls.heyrovsky(l, 1.0, RHO); });
        for (const Table& table : {quadratic_table("1-point", 1), quadratic_table("20-point", 20),
                                   quadratic_table("200-point", 200), Table{"ending at 0.8", {0.2, 0.5, 0.8},
                                                                           {1.0, 0.7, 0.4}}}) {
            const std::string suffix = std::string(", ") + table.name;
            report("integrated_flux_map_witt_mao_magnification" + suffix,
                   [&] { return calls.annuli(l, 1.0, RHO, table.bl, table.bf); });
            report("integrated_flux_map_heyrovsky_magnification" + suffix,
                   [&] { return calls.rings(l, 1.0, RHO, table.bl, table.bf); });
        }
        const Table twenty = quadratic_table("20-point", 20);
        report("discrete_flux_map_heyrovsky_magnification, 20-point",
               [&] { return calls.discrete(l, 1.0, RHO, twenty.bl, twenty.bf); });
    }
}

#ifdef VELLOMIR_INTEGRALS_ON_POOL
// Nanoseconds each thread of the process has run, from /proc/self/task/*/schedstat (empty where
// that is not available). On a machine whose cores are busy with other work the wall clock cannot
// show a speed-up; the split of the work between the threads still can: total / busiest thread.
std::map<std::string, double> thread_run_times() {
    std::map<std::string, double> times;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream in(entry.path() / "schedstat");
        double nanoseconds = 0.0;
        if (in >> nanoseconds) times[entry.path().filename().string()] = nanoseconds;
    }
    return times;
}

template <class F>
double balance_speed_up(F f) {
    const std::map<std::string, double> before = thread_run_times();
    benchmark::DoNotOptimize(f());
    double total = 0.0, busiest = 0.0;
    for (const auto& [thread, after] : thread_run_times()) {
        const auto start = before.find(thread);
        const double ran = after - (start == before.end() ? 0.0 : start->second);
        total += ran;
        busiest = std::max(busiest, ran);
    }
    return busiest > 0.0 ? total / busiest : std::nan("");
}

void two_workers_against_one(WorkerPool& one, WorkerPool& two) {
    std::printf("(b) 1000 separations in [0, 3), rho = %g: wall-clock us per separation on 1 and 2 workers\n", RHO);
    const std::vector<double> l = spread(1000);
    const Table twenty = quadratic_table("20-point", 20);
    const auto report = [&](const char* name, auto f) {
        const double single = microseconds_per_element([&] { return f(Calls{&one}); }, l.size(), 3, Clock::wall);
        const double pair = microseconds_per_element([&] { return f(Calls{&two}); }, l.size(), 3, Clock::wall);
        const double balance = balance_speed_up([&] { return f(Calls{&two}); });
        std::printf("  %-58s %8.1f %8.1f   ratio %.2f   (CPU total / busiest thread on 2: %.2f)\n", name, single,
                    pair, single / pair, balance);
    };
    report("integrated_witt_mao_magnification", [&](const Calls& c) { return c.witt_mao(l, 1.0, RHO); });
    report("integrated_heyrovsky_magnification", [&](const Calls& c) { return c.heyrovsky(l, 1.0, RHO); });
    report("integrated_flux_map_witt_mao_magnification, 20-point",
           [&](const Calls& c) { return c.annuli(l, 1.0, RHO, twenty.bl, twenty.bf); });
    report("integrated_flux_map_heyrovsky_magnification, 20-point",
           [&](const Calls& c) { return c.rings(l, 1.0, RHO, twenty.bl, twenty.bf); });
    report("discrete_flux_map_heyrovsky_magnification, 20-point",
           [&](const Calls& c) { return c.discrete(l, 1.0, RHO, twenty.bl, twenty.bf); });
}
#endif

}  // namespace
}  // namespace vellomir

int main() {
    using namespace vellomir;
#ifdef VELLOMIR_INTEGRALS_ON_POOL
    WorkerPool one(1), two(2);
    per_element_cost(Calls{&one});
    two_workers_against_one(one, two);
#else
    per_element_cost(Calls{nullptr});
#endif
    return 0;
}
