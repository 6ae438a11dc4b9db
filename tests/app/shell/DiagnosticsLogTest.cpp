// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShellTestHome.h"
#include "TestFiles.h"
#include "app/core/AppDiagnostics.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace quaymark::test {
namespace {

namespace fs = std::filesystem;

constexpr size_t limit = 5'242'880;

class DiagnosticsLogTest : public ::testing::Test {
protected:
    ShellTestHome env;
    fs::path current = env.data() / "diagnostics.log";
    fs::path previous = env.data() / "diagnostics.previous.log";

    void SetUp() override { fs::create_directories(env.data()); }

    static void logNow(const char* message) {
        AppDiagnostics::log(QString::fromUtf8(message));
        AppDiagnostics::flush();
    }
};

// The message of one written line, after checking its UTC timestamp and blank.
std::string messageOf(const std::string& line) {
    EXPECT_TRUE(
        std::regex_match(line.substr(0, 21), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ )")))
        << line;
    return line.substr(std::min<size_t>(21, line.size()));
}

TEST_F(DiagnosticsLogTest, RotatesOnlyAboveTheLimitKeepingOneGeneration) {
    writeFile(current, std::string(limit, 'a'));
    logNow("at the limit");
    const std::string grown = readFile(current);
    ASSERT_EQ(grown.size(), limit + 21 + 13);
    EXPECT_EQ(messageOf(grown.substr(limit)), "at the limit\n");
    EXPECT_FALSE(fs::exists(previous));

    // Written unchanged, blanks, line breaks and all.
    logNow("  first\nline after rotation, caf\xc3\xa9\t ");
    EXPECT_EQ(readFile(previous), grown);
    EXPECT_EQ(messageOf(readFile(current)), "  first\nline after rotation, caf\xc3\xa9\t \n");

    writeFile(current, std::string(limit + 1, 'b'));
    logNow("second rotation");
    EXPECT_EQ(readFile(previous), std::string(limit + 1, 'b'));
    EXPECT_EQ(messageOf(readFile(current)), "second rotation\n");
}

} // namespace
} // namespace quaymark::test
