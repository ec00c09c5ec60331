#include "collector/ResourceLimits.h"

#include <gtest/gtest.h>

namespace kestrel::collector {
namespace {

TEST(ResourceLimits, NamesTheLimitTooLowForTheFleet) {
  struct Case {
    ProcessLimits limits;
    std::uint64_t devices;
    bool csv;
    const char* named;  // nullptr: the fleet fits
  };
  const Case cases[] = {
      {{}, 100000, true, nullptr},  // unlimited
      {{1096, 1096, 5000, 5000}, 1000, false, nullptr},
      {{1095, 1095, 5000, 5000}, 1000, false, "LimitNOFILE="},
      {{1096, 1096, 5000, 5000}, 1000, true, "LimitNOFILE="},  // CSV: a file per device too
      // Threads do not grow with the fleet: the fixed ones must fit.
      {{8192, 8192, 63, std::nullopt}, 1000, true, "ulimit -u"},
      {{8192, 8192, std::nullopt, 63}, 1000, true, "TasksMax="},
      {{8192, 8192, std::nullopt, 64}, 1000, true, nullptr},
      {{8192, 8192, 64, 64}, 4000, true, nullptr},
  };
  for (const Case& c : cases) {
    const auto problem = LimitProblem(c.devices, c.csv, c.limits);
    if (c.named == nullptr) {
      EXPECT_FALSE(problem) << *problem;
      EXPECT_GE(DevicesWithin(c.limits, c.csv), c.devices);
    } else {
      ASSERT_TRUE(problem) << c.named;
      EXPECT_NE(problem->find(c.named), std::string::npos) << *problem;
      EXPECT_LT(DevicesWithin(c.limits, c.csv), c.devices) << *problem;
    }
  }
}

TEST(ResourceLimits, FindsTheOwnCgroupDirectory) {
  const std::pair<const char*, std::optional<std::string>> cases[] = {
      {"0::/system.slice/kestrel-collector.service\n", "/sys/fs/cgroup/system.slice/kestrel-collector.service"},
      {"4:memory:/x\n0::/\n", "/sys/fs/cgroup"},
      {"1:cpu:/\n", std::nullopt},  // no unified hierarchy
      {"0::/../etc\n", std::nullopt},
  };
  for (const auto& [text, dir] : cases) EXPECT_EQ(CgroupDirectory(text), dir) << text;
}

}  // namespace
}  // namespace kestrel::collector
