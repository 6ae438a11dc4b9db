// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace quaymark::test {

// Tests that need their own bus or screen run again in a child of the test program, which
// starts its connections afresh; the variable marks such a child.
inline constexpr const char* childMarker = "QUAYMARK_TEST_CHILD";

// A prefix for `inChild`: a session bus of the child's own, which starts no installed service.
inline const std::vector<std::string> privateSessionBus{
    "/usr/bin/dbus-run-session", "--config-file=" QUAYMARK_TEST_BUS_CONFIG, "--"};

// True in the child, which runs the test's body. In the test program, runs the current test in
// a child under `command` (a prefix such as an environment), expects it to pass there and
// returns false.
inline bool inChild(std::vector<std::string> command) {
    if (std::getenv(childMarker)) {
        return true;
    }
    if (!std::filesystem::exists(command.front())) {
        [&] { GTEST_SKIP() << command.front() << " is not installed"; }();
        return false;
    }
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string test = std::string(info->test_suite_name()) + "." + info->name();
    command.insert(command.end(), {"/usr/bin/env", std::string(childMarker) + "=1",
                                   std::filesystem::read_symlink("/proc/self/exe").string(),
                                   "--gtest_filter=" + test});
    const auto result = runProcess(command);
    EXPECT_EQ(result.status, 0) << result.output << result.errors;
    EXPECT_NE(result.output.find("[       OK ] " + test), std::string::npos) << result.output;
    return false;
}

} // namespace quaymark::test
