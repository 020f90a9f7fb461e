#pragma once
// Size of the process-wide worker pool, fixed once when the pool is created:
//   1. RAYON_NUM_THREADS, if it parses to 1 or more; 0 selects rule 3 at once;
//   2. RAYON_RS_NUM_CPUS, if it parses to 1 or more;
//   3. the processors available to the process: its affinity mask, lowered to the
//      CPU quota of its cgroup (v2 `cpu.max`, v1 `cpu.cfs_quota_us`/`cpu.cfs_period_us`),
//      or 1 where neither can be determined.
// The rule and the parsers are pure so that tests need not touch the real environment.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace vellomir {

// An unsigned decimal count with an optional leading '+'. Anything else (a null
// pointer, an empty text, a sign alone, '-', blanks, other characters) or a value
// that overflows std::size_t is "unset" (nullopt).
std::optional<std::size_t> parse_thread_count(const char* text) noexcept;

// The three rules above, given the two variables' texts (null when not set) and the
// processor count of rule 3.
std::size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, std::size_t available) noexcept;

// Processors the process may run on: affinity mask, lowered to the cgroup quota; at least 1.
std::size_t available_parallelism() noexcept;

// Reads both variables now and applies the rule.
std::size_t pool_size_from_environment() noexcept;

// ceil(quota / period) of a cgroup v2 `cpu.max` text ("200000 100000" gives 2);
// nullopt for "max" (no limit) or anything unreadable.
std::optional<std::size_t> cpus_from_cpu_max(std::string_view cpu_max) noexcept;

// The same for cgroup v1's two files; a negative quota (-1) means no limit.
std::optional<std::size_t> cpus_from_cfs(std::string_view quota_us, std::string_view period_us) noexcept;

// The tightest CPU quota on the path from the process's cgroup up to its hierarchy's
// mount point, found through <root>/proc/self/cgroup and <root>/proc/self/mountinfo.
// `root` is "/" except in tests. nullopt when no quota is set or nothing can be read.
std::optional<std::size_t> cgroup_cpu_quota(const std::filesystem::path& root);

}  // namespace vellomir
