// Pool size from the environment, the affinity mask and the cgroup CPU quota.
// cgroup files: Documentation/admin-guide/cgroup-v2.rst (`cpu.max`) and
// Documentation/scheduler/sched-bwc.rst (v1 `cpu.cfs_quota_us`, `cpu.cfs_period_us`);
// /proc/self/mountinfo: proc(5).

#include "parallel/pool_size.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace vellomir {

std::optional<std::size_t> parse_thread_count(const char* text) noexcept {
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string_view digits(text);
    if (!digits.empty() && digits.front() == '+') {
        digits.remove_prefix(1);
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    std::size_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::size_t>(c - '0');
        if (value > (std::numeric_limits<std::size_t>::max() - digit) / 10) {
            return std::nullopt;  // overflow counts as unset
        }
        value = value * 10 + digit;
    }
    return value;
}

std::size_t pool_size_from(const char* num_threads, const char* rs_num_cpus, std::size_t available) noexcept {
    if (const auto n = parse_thread_count(num_threads)) {
        // 0 asks for the default explicitly: RAYON_RS_NUM_CPUS is not consulted.
        return *n > 0 ? *n : available;
    }
    if (const auto n = parse_thread_count(rs_num_cpus); n && *n > 0) {
        return *n;
    }
    return available;
}

namespace {

std::string_view trim(std::string_view text) noexcept {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

template <class Int>
std::optional<Int> parse_integer(std::string_view text) noexcept {
    text = trim(text);
    Int value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// ceil(quota / period), at least 1: a quota of 1.5 CPUs still lets two threads run.
std::optional<std::size_t> cpus_from_quota(std::int64_t quota, std::int64_t period) noexcept {
    if (quota <= 0 || period <= 0) {
        return std::nullopt;
    }
    const auto cpus = static_cast<std::uint64_t>(quota / period + (quota % period != 0 ? 1 : 0));
    return static_cast<std::size_t>(std::max<std::uint64_t>(cpus, 1));
}

std::optional<std::string> read_file(const std::filesystem::path& path) {
    std::ifstream file(path);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return std::move(text).str();
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

bool has_token(std::string_view list, std::string_view token) {
    const auto tokens = split(list, ',');
    return std::find(tokens.begin(), tokens.end(), token) != tokens.end();
}

// mountinfo escapes blanks and backslashes in paths as \ooo octal sequences.
std::string unescape_octal(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const auto code = text.substr(i + 1, 3);
            if (code.find_first_not_of("01234567") == std::string_view::npos) {
                out.push_back(static_cast<char>((code[0] - '0') * 64 + (code[1] - '0') * 8 + (code[2] - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

enum class CgroupVersion { v1, v2 };

struct CgroupMount {
    std::string root;         // the hierarchy's directory that is mounted
    std::string mount_point;  // where it is mounted
};

std::optional<CgroupMount> find_mount(std::string_view mountinfo, CgroupVersion version) {
    for (const auto line : split(mountinfo, '\n')) {
        const auto separator = line.find(" - ");
        if (separator == std::string_view::npos) {
            continue;
        }
        const auto fields = split(line.substr(0, separator), ' ');
        const auto tail = split(line.substr(separator + 3), ' ');
        if (fields.size() < 5 || tail.size() < 3) {
            continue;
        }
        const bool match = version == CgroupVersion::v2 ? tail[0] == "cgroup2"
                                                        : tail[0] == "cgroup" && has_token(tail[2], "cpu");
        if (match) {
            return CgroupMount{unescape_octal(fields[3]), unescape_octal(fields[4])};
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> quota_in(const std::filesystem::path& dir, CgroupVersion version) {
    if (version == CgroupVersion::v2) {
        const auto cpu_max = read_file(dir / "cpu.max");
        return cpu_max ? cpus_from_cpu_max(*cpu_max) : std::nullopt;
    }
    const auto quota = read_file(dir / "cpu.cfs_quota_us");
    const auto period = read_file(dir / "cpu.cfs_period_us");
    return quota && period ? cpus_from_cfs(*quota, *period) : std::nullopt;
}

}  // namespace

std::optional<std::size_t> cpus_from_cpu_max(std::string_view cpu_max) noexcept {
    const auto text = trim(cpu_max);
    const auto blank = text.find(' ');
    if (blank == std::string_view::npos) {
        return std::nullopt;
    }
    const auto quota = parse_integer<std::int64_t>(text.substr(0, blank));  // "max" fails here: no limit
    const auto period = parse_integer<std::int64_t>(text.substr(blank + 1));
    return quota && period ? cpus_from_quota(*quota, *period) : std::nullopt;
}

std::optional<std::size_t> cpus_from_cfs(std::string_view quota_us, std::string_view period_us) noexcept {
    const auto quota = parse_integer<std::int64_t>(quota_us);
    const auto period = parse_integer<std::int64_t>(period_us);
    return quota && period ? cpus_from_quota(*quota, *period) : std::nullopt;
}

std::optional<std::size_t> cgroup_cpu_quota(const std::filesystem::path& root) {
    const auto membership = read_file(root / "proc/self/cgroup");
    const auto mountinfo = read_file(root / "proc/self/mountinfo");
    if (!membership || !mountinfo) {
        return std::nullopt;
    }
    // "hierarchy-id:controllers:path"; the cpu controller of cgroup v1 takes precedence
    // over the unified v2 hierarchy of a hybrid layout.
    std::optional<std::pair<CgroupVersion, std::string>> group;
    for (const auto line : split(*membership, '\n')) {
        const auto fields = split(line, ':');
        if (fields.size() < 3) {
            continue;
        }
        const auto path = line.substr(fields[0].size() + fields[1].size() + 2);
        if (has_token(fields[1], "cpu")) {
            group.emplace(CgroupVersion::v1, std::string(path));
            break;
        }
        if (fields[0] == "0" && fields[1].empty()) {
            group.emplace(CgroupVersion::v2, std::string(path));
        }
    }
    if (!group) {
        return std::nullopt;
    }
    const auto mount = find_mount(*mountinfo, group->first);
    if (!mount) {
        return std::nullopt;
    }
    std::string_view relative = group->second;
    if (mount->root != "/") {
        if (!relative.starts_with(mount->root)) {
            return std::nullopt;  // the group lies outside what is mounted here
        }
        relative.remove_prefix(mount->root.size());
    }
    const std::filesystem::path top = (root / std::filesystem::path(mount->mount_point).relative_path()).lexically_normal();
    std::filesystem::path dir = (top / std::filesystem::path(relative).relative_path()).lexically_normal();

    // A parent's limit binds its children too: take the tightest one up to the mount.
    std::optional<std::size_t> tightest;
    while (true) {
        if (const auto cpus = quota_in(dir, group->first)) {
            tightest = tightest ? std::min(*tightest, *cpus) : *cpus;
        }
        if (dir == top || !dir.has_relative_path()) {
            break;
        }
        auto parent = dir.parent_path();
        if (parent == dir) {
            break;
        }
        dir = std::move(parent);
    }
    return tightest;
}

namespace {

std::optional<std::size_t> affinity_cpu_count() noexcept {
    for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (set == nullptr) {
            return std::nullopt;
        }
        const std::size_t bytes = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(bytes, set);
        const int status = sched_getaffinity(0, bytes, set);
        const int error = errno;
        const int count = status == 0 ? CPU_COUNT_S(bytes, set) : 0;
        CPU_FREE(set);
        if (status == 0) {
            return count > 0 ? std::optional<std::size_t>(static_cast<std::size_t>(count)) : std::nullopt;
        }
        if (error != EINVAL) {
            return std::nullopt;  // EINVAL: the kernel's mask is larger than ours; retry wider
        }
    }
    return std::nullopt;
}

}  // namespace

std::size_t available_parallelism() noexcept {
    std::optional<std::size_t> cpus = affinity_cpu_count();
    if (!cpus) {
        const long online = sysconf(_SC_NPROCESSORS_ONLN);
        if (online > 0) {
            cpus = static_cast<std::size_t>(online);
        }
    }
    if (!cpus) {
        return 1;
    }
    try {
        if (const auto quota = cgroup_cpu_quota("/")) {
            cpus = std::min(*cpus, *quota);
        }
    } catch (...) {
        // An unreadable cgroup tree (or no memory to read it) leaves the affinity count.
    }
    return std::max<std::size_t>(*cpus, 1);
}

std::size_t pool_size_from_environment() noexcept {
    // Rule 3 is evaluated only when needed: it reads /proc.
    const char* num_threads = std::getenv("RAYON_NUM_THREADS");
    const char* rs_num_cpus = std::getenv("RAYON_RS_NUM_CPUS");
    const auto explicit_size = pool_size_from(num_threads, rs_num_cpus, 0);
    return explicit_size > 0 ? explicit_size : available_parallelism();
}

}  // namespace vellomir
