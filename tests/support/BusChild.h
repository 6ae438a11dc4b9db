// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace quaymark::test {

// Bus tests run in a child of the test program, so that each starts its bus connections
// afresh against a bus of its own; the variable marks such a child. The child tests are
// disabled so that only their parents run them.
inline constexpr const char* busChildMarker = "QUAYMARK_BUS_TEST_CHILD";

inline bool inBusChild() {
    return std::getenv(busChildMarker) != nullptr;
}

// Runs `test` of this program in a child under `command` (a prefix such as an environment).
inline void expectChildPasses(std::vector<std::string> command, const std::string& test) {
    command.insert(command.end(), {"/usr/bin/env", std::string(busChildMarker) + "=1",
                                   std::filesystem::read_symlink("/proc/self/exe").string(),
                                   "--gtest_also_run_disabled_tests", "--gtest_filter=" + test});
    const auto result = runProcess(command);
    EXPECT_EQ(result.status, 0) << result.output << result.errors;
    EXPECT_NE(result.output.find("[       OK ] " + test), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("[  SKIPPED ]"), std::string::npos) << result.output;
}

// The same under a session bus of its own.
inline void expectChildPassesOnSessionBus(const std::string& test) {
    if (!std::filesystem::exists("/usr/bin/dbus-run-session")) {
        GTEST_SKIP() << "dbus-run-session is not installed (Debian package dbus)";
    }
    expectChildPasses({"/usr/bin/dbus-run-session", "--"}, test);
}

} // namespace quaymark::test
