// Pool size: parsing of the two variables, the three-rule selection, cgroup quotas.

#include "parallel/pool_size.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>

namespace vellomir {
namespace {

TEST(ParseThreadCount, AcceptsUnsignedDecimalsWithOptionalPlus) {
    EXPECT_EQ(parse_thread_count("0"), 0u);
    EXPECT_EQ(parse_thread_count("1"), 1u);
    EXPECT_EQ(parse_thread_count("+3"), 3u);
    EXPECT_EQ(parse_thread_count("007"), 7u);
    EXPECT_EQ(parse_thread_count("+0"), 0u);
    EXPECT_EQ(parse_thread_count("18446744073709551615"), std::numeric_limits<std::size_t>::max());
}

TEST(ParseThreadCount, EverythingElseIsUnset) {
    for (const char* text : {"abc", "-2", "-0", "", "+", "++3", " 3", "3 ", "3\n", "\t", "3a", "0x10", "1e3", "3.0",
                             "99999999999999999999999", "18446744073709551616"}) {
        EXPECT_EQ(parse_thread_count(text), std::nullopt) << '"' << text << '"';
    }
    EXPECT_EQ(parse_thread_count(nullptr), std::nullopt);
}

TEST(PoolSizeFrom, NumThreadsWinsWhenPositive) {
    EXPECT_EQ(pool_size_from("4", "9", 2), 4u);
    EXPECT_EQ(pool_size_from("+1", nullptr, 16), 1u);
}

TEST(PoolSizeFrom, ZeroNumThreadsSelectsTheDefaultAndSkipsRsNumCpus) {
    EXPECT_EQ(pool_size_from("0", "9", 2), 2u);
    EXPECT_EQ(pool_size_from("000", "5", 7), 7u);
}

TEST(PoolSizeFrom, UnparsableNumThreadsFallsToRsNumCpus) {
    for (const char* text : {"abc", "-2", "", "+", "99999999999999999999999"}) {
        EXPECT_EQ(pool_size_from(text, "5", 2), 5u) << '"' << text << '"';
    }
    EXPECT_EQ(pool_size_from(nullptr, "+6", 2), 6u);
}

TEST(PoolSizeFrom, DefaultWhenNeitherGivesAPositiveCount) {
    EXPECT_EQ(pool_size_from(nullptr, nullptr, 3), 3u);
    EXPECT_EQ(pool_size_from(nullptr, "0", 3), 3u);
    EXPECT_EQ(pool_size_from("x", "y", 3), 3u);
    EXPECT_EQ(pool_size_from("", "", 1), 1u);
}

TEST(AvailableParallelism, IsAtLeastOneAndAtMostTheAffinityMask) {
    const std::size_t available = available_parallelism();
    EXPECT_GE(available, 1u);
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        EXPECT_LE(available, static_cast<std::size_t>(CPU_COUNT(&set)));
    }
}

TEST(CgroupQuota, CpuMaxIsRoundedUpToWholeCpus) {
    EXPECT_EQ(cpus_from_cpu_max("200000 100000\n"), 2u);
    EXPECT_EQ(cpus_from_cpu_max("150000 100000"), 2u);
    EXPECT_EQ(cpus_from_cpu_max("50000 100000"), 1u);
    EXPECT_EQ(cpus_from_cpu_max("1 100000"), 1u);
    EXPECT_EQ(cpus_from_cpu_max("max 100000\n"), std::nullopt);
    EXPECT_EQ(cpus_from_cpu_max("garbage"), std::nullopt);
    EXPECT_EQ(cpus_from_cpu_max("100000 0"), std::nullopt);
    EXPECT_EQ(cpus_from_cpu_max(""), std::nullopt);
}

TEST(CgroupQuota, CfsQuotaOfMinusOneIsNoLimit) {
    EXPECT_EQ(cpus_from_cfs("-1\n", "100000\n"), std::nullopt);
    EXPECT_EQ(cpus_from_cfs("300000\n", "100000\n"), 3u);
    EXPECT_EQ(cpus_from_cfs("250000", "100000"), 3u);
    EXPECT_EQ(cpus_from_cfs("x", "100000"), std::nullopt);
}

// A fake /proc and /sys under a temporary root.
class FakeCgroupTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("vellomir-cgroup-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_ / "proc/self");
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void write(const std::filesystem::path& relative, const std::string& text) {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }

    std::filesystem::path root_;
};

TEST_F(FakeCgroupTree, V2TakesTheTightestQuotaUpToTheMount) {
    write("proc/self/cgroup", "0::/outer/inner\n");
    write("proc/self/mountinfo",
          "22 1 0:21 / /proc rw - proc proc rw\n"
          "30 22 0:26 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n");
    write("sys/fs/cgroup/outer/inner/cpu.max", "max 100000\n");
    write("sys/fs/cgroup/outer/cpu.max", "250000 100000\n");
    EXPECT_EQ(cgroup_cpu_quota(root_), 3u);
    write("sys/fs/cgroup/outer/inner/cpu.max", "100000 100000\n");
    EXPECT_EQ(cgroup_cpu_quota(root_), 1u);
}

TEST_F(FakeCgroupTree, V2WithoutLimitIsUnset) {
    write("proc/self/cgroup", "0::/\n");
    write("proc/self/mountinfo", "30 22 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n");
    write("sys/fs/cgroup/cpu.max", "max 100000\n");
    EXPECT_EQ(cgroup_cpu_quota(root_), std::nullopt);
}

TEST_F(FakeCgroupTree, V1CpuControllerWithMountRoot) {
    write("proc/self/cgroup", "5:memory:/docker/abc\n4:cpu,cpuacct:/docker/abc\n0::/\n");
    write("proc/self/mountinfo",
          "40 30 0:35 /docker /sys/fs/cgroup/cpu,cpuacct ro - cgroup cgroup rw,cpu,cpuacct\n"
          "41 30 0:36 / /sys/fs/cgroup/memory ro - cgroup cgroup rw,memory\n");
    write("sys/fs/cgroup/cpu,cpuacct/abc/cpu.cfs_quota_us", "200000\n");
    write("sys/fs/cgroup/cpu,cpuacct/abc/cpu.cfs_period_us", "100000\n");
    write("sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1\n");
    write("sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(cgroup_cpu_quota(root_), 2u);
}

TEST_F(FakeCgroupTree, MissingFilesGiveNoQuota) {
    EXPECT_EQ(cgroup_cpu_quota(root_), std::nullopt);
    write("proc/self/cgroup", "0::/a\n");
    EXPECT_EQ(cgroup_cpu_quota(root_), std::nullopt);
    write("proc/self/mountinfo", "30 22 0:26 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n");
    EXPECT_EQ(cgroup_cpu_quota(root_), std::nullopt);
}

}  // namespace
}  // namespace vellomir
